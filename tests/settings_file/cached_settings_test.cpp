// The cached settings of the last confirmed run and the names in the temporary folder,
// down to whole runs of the real plug-in in the real host.
#include "settings/cached_settings.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <csignal>
#include <cstdlib>
#include <string>

#include "settings/settings_file.h"
#include "settings/temp_files.h"
#include "tests/host/host_fixture.h"
#include "tests/settings_file/settings_file_test_support.h"

namespace mirel::testing {
namespace {

constexpr std::int16_t kPrepare = 2, kStart = 3, kFinish = 5;

// The temporary folder of this process (and of the plug-in loaded into it) in the
// test's scratch folder.
class TempFolderHere : public TemporaryFolderScope {
  public:
    TempFolderHere() : TemporaryFolderScope(scratchFolder()) {}
};

TEST(TempFiles, NamesInTheTemporaryFolder) {
    const TempFolderHere temp;
    EXPECT_EQ(tempFolder(), temp.folder());
    EXPECT_EQ(cachedSettingsPath(), temp.folder() + "Mirel cached settings D");
    EXPECT_EQ(memoryDotMapPath(), temp.folder() + "Mirel memdot map 2");
    EXPECT_EQ(memoryDotFileName(0), "Mirel A memory dot 0.q8r");
    EXPECT_EQ(memoryDotFilePath(25), temp.folder() + "Mirel A memory dot 25.q8r");
    EXPECT_EQ(memoryDotFileName(26), "");
    EXPECT_EQ(memoryDotFileName(-1), "");
    EXPECT_EQ(undoFilePath(1), temp.folder() + "Mirel undo 1");
    EXPECT_EQ(undoFileName(2), "");
}

TEST(CachedSettings, WrittenWithoutThumbnailAndReadBackOverTheRecord) {
    const TempFolderHere temp;
    SettingsRecord record = defaultRecord();
    EXPECT_FALSE(readCachedSettings(record, nullptr));  // first run: nothing there
    EXPECT_TRUE(sameRecord(record, defaultRecord()));

    SettingsRecord confirmed = distinctRecord();
    ASSERT_TRUE(writeCachedSettings(confirmed));
    EXPECT_EQ(readBytes(cachedSettingsPath()).size(), kSettingsFileBytesWithoutThumbnail);
    SettingsRecord next = defaultRecord();
    ASSERT_TRUE(readCachedSettings(next, nullptr));
    setSettingsName(next, settingsNameView(confirmed));
    EXPECT_TRUE(sameRecord(next, confirmed));
}

TEST(CachedSettings, AnUnwritableCacheIsSkippedSilently) {
    const TempFolderHere temp;
    // A folder where the file should be: it can be neither written nor read.
    ASSERT_TRUE(os::makeFolder(cachedSettingsPath()));
    SettingsRecord record = distinctRecord();
    EXPECT_FALSE(writeCachedSettings(record));
    SettingsRecord read = defaultRecord();
    EXPECT_FALSE(readCachedSettings(read, nullptr));
    EXPECT_TRUE(sameRecord(read, defaultRecord()));
}

#if !defined(_WIN32)
TEST(CachedSettings, AWriteThatFailsPartWayKeepsTheOldSettings) {
    const TempFolderHere temp;
    SettingsRecord confirmed = distinctRecord();
    ASSERT_TRUE(writeCachedSettings(confirmed));
    const std::vector<std::uint8_t> before = readBytes(cachedSettingsPath());
    // A file-size limit below the file's size fails the write part way, as a full
    // disk does; it is set in a child, which reports whether the write said so.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100, 100};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        SettingsRecord other = defaultRecord();
        _exit(writeCachedSettings(other) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the failed write was reported as done";
    EXPECT_EQ(readBytes(cachedSettingsPath()), before);
    EXPECT_EQ(folderEntries(temp.folder()), std::vector<std::string>{kCachedSettingsName});
}
#endif

// A version-44 cache, as an older release left it: after reading, the sliders come from
// the mirrors and the glitter is white, so a cache rewritten by a confirmed run differs.
std::vector<std::uint8_t> olderCache() {
    SettingsRecord record = distinctRecord();
    return asVersion(encodeSettings(record, nullptr), 44);
}

TEST(CachedSettingsRun, ACancelledRunLeavesTheCacheAlone) {
    const TempFolderHere temp;
    const std::vector<std::uint8_t> cache = olderCache();
    writeBytes(cachedSettingsPath(), cache);

    host_app::Picture picture = gradientPicture(32, 24, 3);
    hostkit::FilterHost host(plugin(), picture);
    // With the parameters step the dialog is asked for, and without a display it
    // cannot open to be confirmed.
    withoutDisplay();
    ASSERT_EQ(host.run(true), pi::kUserCanceledErr);
    // The cache was read over the defaults at Start, and left as it was.
    EXPECT_EQ(parametersOf(host).settings.version, 44);
    EXPECT_EQ(parametersOf(host).settings.perspective, 33.0f);
    EXPECT_EQ(readBytes(cachedSettingsPath()), cache);
}

TEST(CachedSettingsRun, TwoRunsWithoutTheParametersStepShareTheConfirmedSettings) {
    const TempFolderHere temp;
    writeBytes(cachedSettingsPath(), olderCache());

    host_app::Picture picture = gradientPicture(32, 24, 3);
    hostkit::FilterHost host(plugin(), picture);
    withoutDisplay();
    ASSERT_EQ(host.run(true), pi::kUserCanceledErr);  // the first use asks for the dialog

    // The repeat command: no parameters step, no dialog, confirmed.
    ASSERT_EQ(host.call(kPrepare), 0);
    ASSERT_EQ(host.call(kStart), 0);
    const SettingsRecord confirmed = parametersOf(host).settings;
    ASSERT_EQ(host.call(kFinish), 0);
    EXPECT_EQ(confirmed.glitterColor.red, 0xFFFF);
    EXPECT_EQ(confirmed.perspective, 33.0f);
    // The confirmed run stored its record: version 45 now.
    SettingsRecord expected = confirmed;
    EXPECT_EQ(readBytes(cachedSettingsPath()), encodeSettings(expected, nullptr));

    // The next repeat starts from the defaults at Prepare and reads that record at Start.
    ASSERT_EQ(host.call(kPrepare), 0);
    EXPECT_EQ(parametersOf(host).settings.perspective, 48.0f);
    ASSERT_EQ(host.call(kStart), 0);
    const SettingsRecord second = parametersOf(host).settings;
    ASSERT_EQ(host.call(kFinish), 0);
    EXPECT_EQ(second.version, 45);
    EXPECT_EQ(second.perspective, 33.0f);
    EXPECT_EQ(second.glitterColor.red, 0xFFFF);
    EXPECT_EQ(second.horizon, confirmed.horizon);
    EXPECT_EQ(second.center.y, confirmed.center.y);
}

TEST(CachedSettingsRun, FirstRunWithAnEmptyTemporaryFolderUsesTheDefaults) {
    const TempFolderHere temp;
    host_app::Picture picture = gradientPicture(16, 16, 3);
    hostkit::FilterHost host(plugin(), picture);
    withoutDisplay();
    ASSERT_EQ(host.run(true), pi::kUserCanceledErr);
    EXPECT_EQ(parametersOf(host).settings.version, kVersionNothingRead);
    EXPECT_EQ(parametersOf(host).settings.waviness, 65.0f);
    EXPECT_FALSE(os::fileExists(cachedSettingsPath()));  // cancelled: nothing written
    ASSERT_EQ(host.call(kPrepare), 0);
    ASSERT_EQ(host.call(kStart), 0);
    ASSERT_EQ(host.call(kFinish), 0);
    EXPECT_EQ(readBytes(cachedSettingsPath()).size(), kSettingsFileBytesWithoutThumbnail);
}

}  // namespace
}  // namespace mirel::testing
