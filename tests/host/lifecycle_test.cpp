// The filter lifecycle, driven by the real host code through the real plug-in.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>

#include "platform/os/win32/wide_text.h"
#else
#include <dlfcn.h>
#endif

#include <cstring>
#include <vector>

#include "host/plugin_main.h"
#include "tests/host/dialog_answers.h"
#include "tests/host/host_fixture.h"

namespace mirel::testing {
namespace {

using host_app::Picture;
using hostkit::FilterHost;
using hostkit::HostOptions;

constexpr std::int16_t kAbout = 0, kParameters = 1, kPrepare = 2, kStart = 3, kContinue = 4,
                       kFinish = 5;

TEST(PluginLibrary, ExportsPluginMainAndLoadsThroughItsPiPL) {
#if defined(_WIN32)
    HMODULE handle = ::LoadLibraryW(os::win32::wideText(pluginPath()).c_str());
    ASSERT_NE(handle, nullptr) << ::GetLastError();
    EXPECT_NE(reinterpret_cast<void*>(::GetProcAddress(handle, "PluginMain")), nullptr);
    ::FreeLibrary(handle);
#else
    void* handle = dlopen(pluginPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    EXPECT_NE(dlsym(handle, "PluginMain"), nullptr);
    dlclose(handle);
#endif

    const auto& library = plugin();
    ASSERT_TRUE(library.isOpen());
    EXPECT_EQ(library.pipl().entryPoint, "PluginMain");
}

TEST(Lifecycle, FirstRunKeepsTwoUnlockedBlocksAndACancelledDialogChangesNothing) {
    Picture picture = gradientPicture(64, 48, 3);
    FilterHost host(plugin(), picture);

    ASSERT_EQ(host.call(kParameters), 0);
    ASSERT_EQ(host.liveBlockCount(), 2);
    ASSERT_NE(host.parametersBlock(), nullptr);
    ASSERT_NE(host.runStateBlock(), nullptr);
    EXPECT_EQ(host.parametersBlock()->size, std::int32_t(kParameterBlockSize));
    EXPECT_EQ(host.runStateBlock()->size, std::int32_t(kRunStateSize));
    EXPECT_TRUE(blocksUnlocked(host));
    EXPECT_EQ(runStateOf(host).showDialog, 1);
    EXPECT_EQ(runStateOf(host).resetExportOptions, 1);
    EXPECT_FLOAT_EQ(runStateOf(host).scale, 1.0f);

    ASSERT_EQ(host.call(kPrepare), 0);
    EXPECT_TRUE(blocksUnlocked(host));
    const ParameterBlock& params = parametersOf(host);
    EXPECT_EQ(params.settings.version, kVersionNothingRead);
    EXPECT_EQ(params.settings.outputMode, 1);
    EXPECT_FLOAT_EQ(params.settings.horizon, 50.0f);
    EXPECT_STREQ(params.settings.settingsName, "Mirel settings");
    EXPECT_EQ(params.pickedCenterX, 32);
    EXPECT_EQ(params.pickedCenterY, 24);
    EXPECT_EQ(host.record().bufferSpace, 0);
    EXPECT_EQ(host.record().maxSpace, 2 * 48 * 64 * 3);
    EXPECT_EQ(runStateOf(host).filterWidth, 64);
    EXPECT_EQ(runStateOf(host).filterHeight, 48);
    EXPECT_EQ(runStateOf(host).rowBufferBytes, rowBufferBytesFor(64, 48));

    // Parameters asked for the dialog; closed with its close box, the run
    // counts as cancelled and the picture stays as it was.
    const Picture before = picture;
    cancelNextDialog();
    EXPECT_EQ(host.call(kStart), pi::kUserCanceledErr);
    EXPECT_TRUE(blocksUnlocked(host));
    EXPECT_EQ(picture.pixels, before.pixels);
    EXPECT_TRUE(workingMemoryFreed(runStateOf(host)));
    EXPECT_EQ(runStateOf(host).showDialog, 0);
    EXPECT_EQ(runStateOf(host).resetExportOptions, 0);
    EXPECT_EQ(parametersOf(host).exportSizeChoice, kExportSameSize);
    EXPECT_EQ(parametersOf(host).hostCanPreview, 1);

    EXPECT_EQ(host.call(kFinish), 0);
    EXPECT_TRUE(blocksUnlocked(host));
    EXPECT_EQ(host.liveBlockCount(), 2);  // the blocks outlive the run
    EXPECT_EQ(host.selectorLog(),
              (std::vector<std::int16_t>{kParameters, kPrepare, kStart, kFinish}));
}

TEST(Lifecycle, RunsWithoutTheParametersStepKeepWorking) {
    Picture picture = gradientPicture(40, 30, 3);
    FilterHost host(plugin(), picture);
    cancelNextDialog();
    EXPECT_EQ(host.run(true), pi::kUserCanceledErr);

    for (int repeat = 0; repeat < 2; ++repeat) {
        ASSERT_EQ(host.call(kPrepare), 0);
        ASSERT_EQ(host.call(kStart), 0);
        // Start of a confirmed run keeps its working memory until Finish.
        EXPECT_FALSE(workingMemoryFreed(runStateOf(host)));
        EXPECT_EQ(runStateOf(host).memory.rowBuffer != nullptr, true);
        EXPECT_TRUE(blocksUnlocked(host));
        ASSERT_EQ(host.call(kFinish), 0);
        EXPECT_TRUE(workingMemoryFreed(runStateOf(host)));
    }
    EXPECT_EQ(host.liveBlockCount(), 2);
}

TEST(Lifecycle, MissingBlockAtTheLockStepIsBadParameters) {
    Picture picture = gradientPicture(16, 16, 3);
    FilterHost host(plugin(), picture);
    ASSERT_EQ(host.call(kParameters), 0);
    ASSERT_EQ(host.call(kPrepare), 0);
    host.dropParametersBlock();
    EXPECT_EQ(host.call(kStart), pi::kFilterBadParameters);
    EXPECT_EQ(host.call(kFinish), pi::kFilterBadParameters);
    EXPECT_TRUE(blocksUnlocked(host));

    Picture other = gradientPicture(16, 16, 3);
    FilterHost fresh(plugin(), other);
    EXPECT_EQ(fresh.call(kStart), pi::kFilterBadParameters);
    EXPECT_EQ(fresh.liveBlockCount(), 0);
}

TEST(Lifecycle, FailedHandleAllocationIsOutOfMemory) {
    for (int allocationsLeft : {0, 1}) {
        SCOPED_TRACE(allocationsLeft);
        Picture picture = gradientPicture(16, 16, 3);
        HostOptions options;
        options.handleAllocationsLeft = allocationsLeft;
        FilterHost host(plugin(), picture, options);
        EXPECT_EQ(host.call(kParameters), pi::kMemFullErr);
        EXPECT_EQ(host.liveBlockCount(), allocationsLeft);
        EXPECT_TRUE(blocksUnlocked(host));
    }
    // Prepare makes missing blocks as Parameters does, with the same failure.
    Picture picture = gradientPicture(16, 16, 3);
    HostOptions options;
    options.handleAllocationsLeft = 0;
    FilterHost host(plugin(), picture, options);
    EXPECT_EQ(host.call(kPrepare), pi::kMemFullErr);
}

TEST(Lifecycle, PrepareAloneMakesTheBlocksAndAsksForTheDialog) {
    Picture picture = gradientPicture(20, 10, 1);
    FilterHost host(plugin(), picture);
    ASSERT_EQ(host.call(kPrepare), 0);
    EXPECT_EQ(host.liveBlockCount(), 2);
    EXPECT_EQ(runStateOf(host).showDialog, 1);
    EXPECT_EQ(host.record().maxSpace, 2 * 10 * 20 * 1);
    cancelNextDialog();
    EXPECT_EQ(host.call(kStart), pi::kUserCanceledErr);
}

TEST(Lifecycle, MultichannelIsRefusedWithoutADialog) {
    Picture picture = gradientPicture(16, 16, 3);
    HostOptions options;
    options.imageModeOverride = pi::kModeMultichannel;
    FilterHost host(plugin(), picture, options);
    ASSERT_EQ(host.call(kParameters), 0);
    ASSERT_EQ(host.call(kPrepare), 0);
    EXPECT_EQ(host.call(kStart), 1);
    EXPECT_TRUE(workingMemoryFreed(runStateOf(host)));
    EXPECT_TRUE(blocksUnlocked(host));
    // The refused run did not reach the dialog step, so it still asks for one.
    EXPECT_EQ(runStateOf(host).showDialog, 1);
}

TEST(Lifecycle, SelectorsAboveFiveOnlyStoreAndUnlock) {
    Picture picture = gradientPicture(16, 16, 3);
    FilterHost host(plugin(), picture);
    ASSERT_EQ(host.call(kParameters), 0);
    ASSERT_EQ(host.call(kPrepare), 0);
    const std::vector<char> params(host.parametersBlock()->memory,
                                   host.parametersBlock()->memory + kParameterBlockSize);
    const std::vector<char> run(host.runStateBlock()->memory,
                                host.runStateBlock()->memory + kRunStateSize);
    const pi::FilterRecord record = host.record();
    for (std::int16_t selector : {std::int16_t(6), std::int16_t(99), std::int16_t(-1)}) {
        EXPECT_EQ(host.call(selector), 0);
        EXPECT_TRUE(blocksUnlocked(host));
    }
    EXPECT_EQ(std::memcmp(params.data(), host.parametersBlock()->memory, params.size()), 0);
    EXPECT_EQ(std::memcmp(run.data(), host.runStateBlock()->memory, run.size()), 0);
    EXPECT_EQ(std::memcmp(&record, &host.record(), sizeof record), 0);
}

TEST(Lifecycle, ContinueEmptiesTheRequestAndAboutLocksNothing) {
    Picture picture = gradientPicture(16, 16, 3);
    FilterHost host(plugin(), picture);
    ASSERT_EQ(host.call(kParameters), 0);
    host.record().inRect = {0, 0, 4, 4};
    host.record().outRect = {0, 0, 4, 4};
    host.record().maskRect = {0, 0, 4, 4};
    EXPECT_EQ(host.call(kContinue), 0);
    EXPECT_EQ(host.record().inRect.bottom, 0);
    EXPECT_EQ(host.record().outRect.right, 0);
    EXPECT_EQ(host.record().maskRect.bottom, 0);
    EXPECT_EQ(host.call(kAbout), 0);
    EXPECT_TRUE(blocksUnlocked(host));
}

TEST(Lifecycle, BigDocumentRectanglesAreReadInThirtyTwoBits) {
    // 40000 columns do not fit the 16-bit rectangle; the host describes the
    // picture in its big-document record and the plug-in must read that.
    Picture picture = gradientPicture(40000, 2, 1);
    FilterHost host(plugin(), picture);
    ASSERT_EQ(host.call(kParameters), 0);
    ASSERT_EQ(host.call(kPrepare), 0);
    EXPECT_EQ(runStateOf(host).filterWidth, 40000);
    EXPECT_EQ(parametersOf(host).pickedCenterX, 20000);

    HostOptions noBigDocument;
    noBigDocument.offerBigDocument = false;
    Picture small = gradientPicture(300, 200, 3);
    FilterHost older(plugin(), small, noBigDocument);
    ASSERT_EQ(older.call(kParameters), 0);
    ASSERT_EQ(older.call(kPrepare), 0);
    EXPECT_EQ(runStateOf(older).filterWidth, 300);
    EXPECT_EQ(runStateOf(older).filterHeight, 200);
    EXPECT_EQ(older.record().maxSpace, 2 * 200 * 256 * 3);
}

TEST(Lifecycle, WorkingSizes) {
    EXPECT_EQ(rowBufferBytesFor(100, 50), 256 * (3 * 100 + 2184));
    EXPECT_EQ(rowBufferBytesFor(10, 5000), 256 * (2 * (5000 + 4)));
    EXPECT_EQ(rowBufferBytesFor(0, 0), 256 * 2184);
    // Wide pictures pass 2^31 bytes; the size must not wrap.
    EXPECT_EQ(rowBufferBytesFor(3000000, 10), std::int64_t(256) * (3 * 3000000LL + 2184));
    EXPECT_EQ(maxSpaceCapFor(1000, 1000, 3, true), 2 * 256 * 256 * 4);
    EXPECT_EQ(maxSpaceCapFor(10, 20, 1, false), 2 * 10 * 20);
}

}  // namespace
}  // namespace mirel::testing
