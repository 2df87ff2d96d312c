// Save and Load from the real dialog: the file dialogs' titles, types and
// proposed names, the remembered folder, the round trip of the settings, the
// thumbnail beside the open dialog's list, and dialogs that are cancelled.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "image/pyramid.h"
#include "image/tiled_image.h"
#include "platform/os/os.h"
#include "settings/settings_file.h"
#include "tests/host/host_fixture.h"
#include "tests/support/scratch.h"
#include "tests/ui/dialog_driver.h"
#include "tests/ui/small_windows.h"

namespace mirel::testing {
namespace {

namespace gt = gui::testing;
using namespace ids;
using hostkit::FilterHost;

constexpr int kLoad = 35, kSave = 26, kPlainSettings = 98, kHtmlPage = 40;
constexpr int kPastTypingDelayMs = 1300;

// The parameters of a record, without the bookkeeping of the last read.
SettingsRecord parametersIn(const SettingsRecord& record) {
    SettingsRecord copy;
    std::memset(&copy, 0, sizeof copy);
    snapshotCopy(record, copy);
    setSettingsName(copy, "");
    return copy;
}

// On a difference, says where in the record it begins.
::testing::AssertionResult sameParameters(const SettingsRecord& a, const SettingsRecord& b) {
    const SettingsRecord left = parametersIn(a), right = parametersIn(b);
    const auto* l = reinterpret_cast<const unsigned char*>(&left);
    const auto* r = reinterpret_cast<const unsigned char*>(&right);
    for (std::size_t i = 0; i < sizeof left; ++i)
        if (l[i] != r[i])
            return ::testing::AssertionFailure() << "the records differ from byte " << i;
    return ::testing::AssertionSuccess();
}

void prepare(FilterHost& host) {
    ASSERT_EQ(host.call(pi::kFilterSelectorParameters), 0);
    ASSERT_EQ(host.call(pi::kFilterSelectorPrepare), 0);
}

// A path the save dialog takes but the settings cannot be written to, and
// whether what was there is still there as it was. On Windows a file that
// another program holds open without sharing (the dialog asks before it is
// replaced, the write cannot replace it); elsewhere a name below a plain file,
// which the dialog takes as a name in a folder it need not list.
class UnwritableTarget {
  public:
    explicit UnwritableTarget(const std::string& folder) : folder_(folder) {
#if defined(_WIN32)
        oldFile_ = path = folder + "x.q8r";
        std::ofstream(oldFile_) << kOldText;
        held_ = ::CreateFileW(std::filesystem::path(path).c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(held_, INVALID_HANDLE_VALUE);
#else
        oldFile_ = folder + "plain";
        std::ofstream(oldFile_) << kOldText;
        path = oldFile_ + "/x.q8r";
#endif
    }
    ~UnwritableTarget() {
        release();
    }
    UnwritableTarget(const UnwritableTarget&) = delete;
    UnwritableTarget& operator=(const UnwritableTarget&) = delete;

    // Nothing but the old file in the folder, as it was.
    ::testing::AssertionResult keptAsItWas() {
        release();
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder_))
            names.push_back(entry.path().filename().string());
        std::ifstream in(oldFile_);
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        if (names.size() != 1) return ::testing::AssertionFailure() << names.size() << " files";
        if (text != kOldText) return ::testing::AssertionFailure() << "the old file holds " << text;
        return ::testing::AssertionSuccess();
    }

    std::string path;

  private:
    static constexpr const char* kOldText = "an older file";

    void release() {
#if defined(_WIN32)
        if (held_ != INVALID_HANDLE_VALUE) ::CloseHandle(held_);
        held_ = INVALID_HANDLE_VALUE;
#endif
    }

    std::string folder_;
    std::string oldFile_;
#if defined(_WIN32)
    HANDLE held_ = INVALID_HANDLE_VALUE;
#endif
};

// A settings file whose thumbnail is one colour.
void writeSettingsWithThumbnail(const std::string& path, std::uint8_t r, std::uint8_t g,
                                std::uint8_t b) {
    auto thumbnail = image::create(128, 128, image::SampleFormat::Rgba8);
    ASSERT_TRUE(thumbnail);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) image::writeRgba8(*thumbnail, x, y, 0, r, g, b, 255);
    image::buildPyramid(*thumbnail);
    SettingsRecord record{};
    fullReset(record);
    ASSERT_TRUE(saveSettingsFile(path, record, thumbnail.get()));
}

TEST(FileDialogs, SaveRemembersTheFolderAndLoadBringsTheSettingsBack) {
    useOwnTemporaryFolder();
    const std::string folder = nativePath(scratchFolder() + "a/b/");
    std::filesystem::create_directories(folder);
    host_app::Picture picture = rampPicture(120, 80);
    FilterHost host(plugin(), picture);
    SettingsRecord saved{};
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        dialog.typeInto(kHorizonField, "21");
        const gui::Rect blur = dialog.rectOf(kBlurSlider);
        dialog.drag(dialog.centreOf(kBlurSlider), {blur.x + blur.width - 1, blur.y});
        dialog.wait(kPastTypingDelayMs);

        answerFileDialog([&](FileDialog& save) {
            EXPECT_EQ(save.title(), "Save a settings file");
            EXPECT_EQ(save.acceptButtonText(), "Save");
            EXPECT_EQ(save.fileTypes(), std::vector<std::string>{"Mirel presets (*.q8r)"});
            EXPECT_EQ(save.nameField(), "Mirel settings.q8r");
            // Typed without its extension: the default one is added.
            EXPECT_TRUE(save.choose(folder + "x"));
        });
        dialog.click(kSave);
        const ParameterBlock& params = parametersOf(host);
        EXPECT_EQ(folderView(params.settingsFolder), folder);
        EXPECT_EQ(settingsNameView(params.settings), "x.q8r");
        EXPECT_TRUE(std::filesystem::exists(folder + "x.q8r"));
        // What Load is to bring back: the dialog's settings as the file keeps them, with
        // the whole-number mirrors a write brings up to date and the vectors to
        // hundredths.
        ASSERT_TRUE(loadSettingsFile(folder + "x.q8r", saved, nullptr).versionRead);
        EXPECT_EQ(saved.horizon, params.settings.horizon);
        EXPECT_EQ(saved.blur, params.settings.blur);

        dialog.click(kPlainSettings);
        EXPECT_FALSE(sameParameters(params.settings, saved));
        answerFileDialog([&](FileDialog& open) {
            EXPECT_EQ(open.title(), "Open a settings file");
            EXPECT_EQ(open.acceptButtonText(), "Open");
            EXPECT_EQ(open.folder(), folder);
            EXPECT_TRUE(open.choose(folder + "x.q8r"));
        });
        dialog.click(kLoad);
        EXPECT_TRUE(sameParameters(params.settings, saved));
        EXPECT_EQ(settingsNameView(params.settings), "x.q8r");
        // The controls show what was loaded.
        EXPECT_EQ(dialog.textOf(kHorizonField), "21");
        EXPECT_EQ(dialog.controlValue(kBlurSlider), int(saved.blur));
        dialog.click(kOk);
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(sameParameters(parametersOf(host).settings, saved));
    // The filter's own files (cached settings, undo steps, memory dots) stayed in the
    // test's temporary folder, out of reach of the tests running beside it.
    EXPECT_EQ(os::tempFolder(), ownTemporaryFolder());

    // The file holds the thumbnail of the preview, not the default ramp.
    auto thumbnail = image::create(128, 128, image::SampleFormat::Rgba8);
    SettingsRecord scratch{};
    ASSERT_TRUE(readSettingsFile(folder + "x.q8r", SettingsReadMode::ThumbnailOnly, scratch,
                                 thumbnail.get())
                    .thumbnailLoaded);
    const std::uint32_t top = image::readRgba8(*thumbnail, 5, 0, 0);
    EXPECT_NE(top >> 8, 0xFFFFFFu) << "the default ramp is white at the top";
}

TEST(FileDialogs, ASaveThatCannotBeWrittenSaysSoAndKeepsTheName) {
    useOwnTemporaryFolder();
    const std::string folder = scratchFolder();
    host_app::Picture picture = rampPicture(64, 48);
    FilterHost host(plugin(), picture);
    UnwritableTarget target(folder);
    std::string message;
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        const std::string nameBefore(settingsNameView(parametersOf(host).settings));
        answerFileDialog([&](FileDialog& save) {
            EXPECT_TRUE(save.choose(target.path, true));
            // The message comes once the file dialog has gone.
            answerModalWindow("Save a settings file", [&](void* window) {
                for (const gt::ShownControl& control : gt::controlsOf(window))
                    if (control.kind == gt::ControlKind::Label) message += control.text;
                gt::closeFromWindowSystem(window);
            });
        });
        dialog.click(kSave);
        EXPECT_EQ(settingsNameView(parametersOf(host).settings), nameBefore);
        dialog.click(kOk);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(message.rfind("The settings file could not be written:", 0), 0u) << message;
    EXPECT_TRUE(target.keptAsItWas());
}

TEST(FileDialogs, LoadingAFileThatIsNoSettingsFileSaysSoAndChangesNothing) {
    useOwnTemporaryFolder();
    const std::string folder = nativePath(scratchFolder());
    // A JPEG under a settings file's name.
    const std::vector<std::uint8_t> jpeg{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0};
    std::ofstream(folder + "bad.q8r", std::ios::binary)
        .write(reinterpret_cast<const char*>(jpeg.data()), std::streamsize(jpeg.size()));
    host_app::Picture picture = rampPicture(64, 48);
    FilterHost host(plugin(), picture);
    std::string message;
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        dialog.typeInto(kHorizonField, "61");
        dialog.wait(1300);
        const SettingsRecord before = parametersOf(host).settings;
        answerFileDialog([&](FileDialog& open) {
            EXPECT_TRUE(open.choose(folder + "bad.q8r"));
            answerModalWindow("Open a settings file", [&](void* window) {
                for (const gt::ShownControl& control : gt::controlsOf(window))
                    if (control.kind == gt::ControlKind::Label) message += control.text;
                gt::closeFromWindowSystem(window);
            });
        });
        dialog.click(kLoad);
        EXPECT_TRUE(sameParameters(parametersOf(host).settings, before));
        EXPECT_EQ(settingsNameView(parametersOf(host).settings), settingsNameView(before));
        EXPECT_EQ(dialog.textOf(kHorizonField), "61");
        dialog.click(kOk);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(message.rfind("The file is not a settings file:", 0), 0u) << message;
}

TEST(FileDialogs, AFreshStartForgetsTheFoldersAndCancelledDialogsChangeNothing) {
    useOwnTemporaryFolder();
    const std::string folder = scratchFolder();
    host_app::Picture picture = rampPicture(64, 48);
    FilterHost host(plugin(), picture);
    prepare(host);
    ParameterBlock& block = writableParametersOf(host);
    setFolder(block.settingsFolder, folder);
    setFolder(block.exportFolder, folder);
    setFolder(block.sourceFolder, folder);
    setSettingsName(block.settings, "");
    const std::int16_t result = startWithDialog(host, [&](DialogDriver& dialog) {
        const ParameterBlock& params = parametersOf(host);
        EXPECT_EQ(folderView(params.settingsFolder), "");
        EXPECT_EQ(folderView(params.exportFolder), "");
        EXPECT_EQ(folderView(params.sourceFolder), "");
        const SettingsRecord before = params.settings;

        answerFileDialog([&](FileDialog& save) {
            EXPECT_EQ(save.nameField(), "Mirel settings.q8r");
            save.cancel();
        });
        dialog.click(kSave);
        // Everything from the last point on is replaced.
        setSettingsName(writableParametersOf(host).settings, "sea.v2.q8r");
        answerFileDialog([&](FileDialog& save) {
            EXPECT_EQ(save.nameField(), "sea.v2.q8r");
            save.cancel();
        });
        dialog.click(kSave);
        answerFileDialog([&](FileDialog& open) { open.cancel(); });
        dialog.click(kLoad);

        EXPECT_TRUE(sameParameters(params.settings, before));
        EXPECT_EQ(settingsNameView(params.settings), "sea.v2.q8r");
        EXPECT_EQ(folderView(params.settingsFolder), "");
        dialog.click(kCancel);
    });
    EXPECT_EQ(result, pi::kUserCanceledErr);
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        EXPECT_NE(entry.path().extension(), ".q8r") << entry.path();
}

TEST(FileDialogs, TheOpenDialogShowsTheThumbnailOfTheSelectedFileOnly) {
    useOwnTemporaryFolder();
    const std::string folder = nativePath(scratchFolder() + "presets/");
    std::filesystem::create_directories(folder);
    writeSettingsWithThumbnail(folder + "x.Q8R", 200, 30, 40);
    // A file cut in the middle of its thumbnail.
    writeSettingsWithThumbnail(folder + "whole.q8r", 20, 200, 40);
    {
        std::ifstream in(folder + "whole.q8r", std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), {});
        std::ofstream(folder + "broken.q8r", std::ios::binary)
            .write(bytes.data(), std::streamsize(kSettingsFileBytesWithoutThumbnail + 40));
    }
    host_app::Picture picture = rampPicture(64, 48);
    FilterHost host(plugin(), picture);
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        setFolder(writableParametersOf(host).settingsFolder, folder);
        const SettingsRecord before = parametersOf(host).settings;
        answerFileDialog([&](FileDialog& open) {
            EXPECT_GE(open.preview().width, 100);
            const auto middle = [&open] {
                const gui::Image shot = open.preview();
                return pixelOf(shot, {shot.width / 2, shot.height / 2});
            };
            const gui::Rgb empty = middle();

            ASSERT_TRUE(open.selectInList("x.Q8R"));
            const gui::Rgb shown = middle();
            EXPECT_NEAR(shown.red, 200, 12);
            EXPECT_NEAR(shown.green, 30, 12);
            EXPECT_NEAR(shown.blue, 40, 12);

            ASSERT_TRUE(open.selectInList("broken.q8r"));
            EXPECT_TRUE(middle() == empty);
            ASSERT_TRUE(open.selectInList("whole.q8r"));
            EXPECT_NEAR(middle().green, 200, 12);
            open.cancel();
        });
        dialog.click(kLoad);
        EXPECT_TRUE(sameParameters(parametersOf(host).settings, before));
        dialog.click(kOk);
    });
    EXPECT_EQ(result, 0);
}

TEST(PresetsPage, APageOfTheChosenFoldersPresetsOpensInTheBrowser) {
    useOwnTemporaryFolder();
    const std::string presets = nativePath(scratchFolder() + "presets/");
    const std::string pages = nativePath(scratchFolder() + "pages/");
    std::filesystem::create_directories(presets);
    std::filesystem::create_directories(pages);
    writeSettingsWithThumbnail(presets + "calm.q8r", 40, 90, 160);
    writeSettingsWithThumbnail(presets + "Storm.Q8R", 90, 90, 90);
    host_app::Picture picture = rampPicture(64, 48);
    FilterHost host(plugin(), picture);
    UrlCatcher browser;
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        // Cancelling the first dialog ends it.
        answerFileDialog([](FileDialog& open) { open.cancel(); });
        dialog.click(kHtmlPage);
        EXPECT_TRUE(browser.opened().empty());

        answerFileDialog([&](FileDialog& open) {
            EXPECT_EQ(open.title(), "Choose any file in the source folder");
            EXPECT_EQ(open.fileTypes(), std::vector<std::string>{"Mirel presets (*.q8r)"});
            EXPECT_TRUE(open.choose(presets + "calm.q8r"));
            // The next dialog, once this one is gone.
            answerFileDialog([&](FileDialog& save) {
                EXPECT_EQ(save.title(), "Save an HTML page");
                EXPECT_EQ(save.fileTypes(), std::vector<std::string>{"HTML files (*.html)"});
                EXPECT_EQ(save.nameField(), "Mirel presets.html");
                EXPECT_TRUE(save.choose(pages + "mine"));
            });
        });
        dialog.click(kHtmlPage);
        EXPECT_EQ(folderView(parametersOf(host).sourceFolder), presets);
        EXPECT_EQ(folderView(parametersOf(host).exportFolder), pages);
        dialog.click(kOk);
    });
    EXPECT_EQ(result, 0);
    // The page itself, handed to the browser by its path.
    EXPECT_EQ(browser.opened(), std::vector<std::string>{pages + "mine.html"});
    EXPECT_TRUE(std::filesystem::exists(pages + "web_images/calm.jpg"));
    EXPECT_TRUE(std::filesystem::exists(pages + "web_images/Storm.jpg"));
}

}  // namespace
}  // namespace mirel::testing
