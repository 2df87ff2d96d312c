// The memory dots, undo and random settings on the main dialog, driven as a
// person would: the opening with kept dots, clicks by state, button and
// Shift, hovering, the folder rebuild, Undo, Dice, Ecce and plain settings.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "platform/os/os.h"
#include "settings/memory_dots.h"
#include "settings/settings_file.h"
#include "settings/temp_files.h"
#include "tests/host/host_fixture.h"
#include "tests/support/host_program.h"
#include "tests/ui/dialog_driver.h"
#include "tests/ui/small_windows.h"

namespace mirel::testing {
namespace {

using host_app::Picture;
using hostkit::FilterHost;

constexpr int kFirstDot = 121;
constexpr int kDotPreview = 119;
constexpr int kRandomSettings = 72, kUndo = 74, kNewSeed = 75, kPlainSettings = 98;
constexpr int kWavinessField = 92;
constexpr int kPastTypingDelayMs = 1300;
// What a dot shows: its state (0 empty, 1 filled, 2 current), 4 when kept, 8 while pressed.
constexpr int kFilledKept = 5, kCurrent = 2, kCurrentKept = 6;

int dotValue(DialogDriver& dialog, int index) {
    return dialog.controlValue(kFirstDot + index);
}

void clickDot(DialogDriver& dialog, int index, gui::MouseButton button = gui::MouseButton::Left,
              unsigned modifiers = 0) {
    const gui::Point at = dialog.centreOf(kFirstDot + index);
    dialog.press(at, button, modifiers);
    dialog.release(at, button);
    dialog.wait(50);  // the click is a posted command
}

void writeKeptMap(std::initializer_list<int> kept) {
    MemoryDots dots;
    for (int i : kept) dots.kept[std::size_t(i)] = 1;
    ASSERT_TRUE(writeDotMap(dots));
}

const SettingsRecord& settingsOf(const FilterHost& host) {
    return parametersOf(host).settings;
}

TEST(MemoryDotsDialog, TheOpeningFillsTheKeptDotsAndStoresIntoTheNextOne) {
    useOwnTemporaryFolder();
    writeKeptMap({0, 1, 2, 3, 4});
    Picture picture = rampPicture(96, 64);
    FilterHost host(plugin(), picture);
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        for (int i = 0; i < 5; ++i) EXPECT_EQ(dotValue(dialog, i), kFilledKept) << "dot " << i;
        EXPECT_EQ(dotValue(dialog, 5), kCurrent) << "current, not kept";
        for (int i = 6; i < kMemoryDotCount; ++i) EXPECT_EQ(dotValue(dialog, i), 0);
        EXPECT_EQ(dialog.controlValue(kDotPreview), 5) << "its thumbnail shows";
        EXPECT_TRUE(os::fileExists(memoryDotFilePath(5)));

        // Right-clicking the current dot empties it, and no dot is current then.
        clickDot(dialog, 5, gui::MouseButton::Right);
        EXPECT_EQ(dotValue(dialog, 5), 0);
        for (int i = 0; i < kMemoryDotCount; ++i) EXPECT_NE(dotValue(dialog, i) & 3, kCurrent);
        EXPECT_EQ(dialog.controlValue(kDotPreview), -1);

        // A press dragged off a dot and let go elsewhere still clicks it: it stores and keeps.
        const gui::Point on = dialog.centreOf(kFirstDot + 6);
        dialog.press(on);
        EXPECT_EQ(dotValue(dialog, 6) & 8, 8) << "pressed while the pointer is on it";
        dialog.moveTo(on + gui::Point{40, 0});
        EXPECT_EQ(dotValue(dialog, 6) & 8, 0);
        dialog.release(on + gui::Point{40, 0});
        dialog.wait(50);
        EXPECT_EQ(dotValue(dialog, 6), kCurrentKept);

        // Shift stores without keeping; on a filled dot it only clears the kept flag.
        clickDot(dialog, 7, gui::MouseButton::Left, gui::kModifierShift);
        EXPECT_EQ(dotValue(dialog, 7), kCurrent);
        clickDot(dialog, 2, gui::MouseButton::Left, gui::kModifierShift);
        EXPECT_EQ(dotValue(dialog, 2), 1);
        dialog.click(3);
    });
    EXPECT_EQ(result, 0);
    // Finish wrote the flags: 0, 1, 3, 4 and 6 are kept now.
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(os::readFile(memoryDotMapPath(), bytes));
    MemoryDots read;
    decodeDotMap(bytes, read);
    for (int i = 0; i < kMemoryDotCount; ++i)
        EXPECT_EQ(read.kept[std::size_t(i)], i == 0 || i == 1 || i == 3 || i == 4 || i == 6)
            << "dot " << i;
}

TEST(MemoryDotsDialog, HoveringShowsAThumbnailAndAClickRecallsTheDot) {
    useOwnTemporaryFolder();
    writeKeptMap({});
    Picture picture = rampPicture(96, 64);
    FilterHost host(plugin(), picture);
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        EXPECT_EQ(dotValue(dialog, 0), kCurrent);
        const gui::Rect preview = dialog.rectOf(kDotPreview);
        const gui::Image before = cropOf(dialog.grab(), preview);
        // Another look into dot 8, then the pointer goes off and back.
        dialog.typeInto(kWavinessField, "10");
        dialog.wait(kPastTypingDelayMs);
        clickDot(dialog, 8);
        EXPECT_EQ(dotValue(dialog, 8), kCurrentKept);
        dialog.moveTo(dialog.centreOf(kFirstDot + 12));  // an empty dot clears the preview
        EXPECT_EQ(dialog.controlValue(kDotPreview), -1);
        const gui::Image empty = cropOf(dialog.grab(), preview);
        dialog.moveTo(dialog.centreOf(kFirstDot));
        EXPECT_EQ(dialog.controlValue(kDotPreview), 0);
        const gui::Image shown = cropOf(dialog.grab(), preview);
        EXPECT_FALSE(samePixels(shown, empty)) << "the thumbnail is drawn in the frame";
        EXPECT_TRUE(samePixels(shown, before)) << "dot 0's thumbnail, as at the opening";

        // A plain click on the dot preview recalls the hovered dot.
        dialog.press(centreOf(preview));
        dialog.release(centreOf(preview));
        dialog.wait(50);
        EXPECT_EQ(settingsOf(host).waviness, 65.0f);
        EXPECT_EQ(settingsNameView(settingsOf(host)), "dot 1");
        EXPECT_EQ(dotValue(dialog, 0), kCurrent);
        EXPECT_EQ(dotValue(dialog, 8), kFilledKept);
        // Clicking dot 8 itself brings its settings back; Undo goes back to dot 1's.
        clickDot(dialog, 8);
        EXPECT_EQ(settingsOf(host).waviness, 10.0f);
        EXPECT_EQ(settingsNameView(settingsOf(host)), "dot 9");
        dialog.click(kUndo);
        EXPECT_EQ(settingsOf(host).waviness, 65.0f);

        // A right click on the dot preview asks where, writes the page of the
        // filled dots and opens it; the settings stay as they were.
        UrlCatcher browser;
        answerFileDialog([&](FileDialog& save) {
            EXPECT_EQ(save.title(), "Save an HTML page");
            EXPECT_TRUE(save.choose(tempFilePath("Mirel memory dots.html")));
        });
        dialog.press(centreOf(preview), gui::MouseButton::Right);
        dialog.release(centreOf(preview), gui::MouseButton::Right);
        dialog.wait(50);
        std::vector<std::uint8_t> page;
        ASSERT_TRUE(os::readFile(tempFilePath("Mirel memory dots.html"), page));
        const std::string text(page.begin(), page.end());
        EXPECT_NE(text.find("web_images/dot%201.jpg"), std::string::npos);
        EXPECT_NE(text.find("web_images/dot%209.jpg"), std::string::npos);
        EXPECT_TRUE(os::fileExists(tempFilePath("web_images/dot 9.jpg")));
        EXPECT_EQ(browser.opened().size(), 1u);
        EXPECT_EQ(settingsOf(host).waviness, 65.0f);
        EXPECT_EQ(settingsNameView(settingsOf(host)), "dot 1");
        dialog.click(2);
    });
    EXPECT_EQ(result, pi::kUserCanceledErr);
    // A cancelled run keeps its kept flags too.
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(os::readFile(memoryDotMapPath(), bytes));
    MemoryDots read;
    decodeDotMap(bytes, read);
    EXPECT_EQ(read.kept[8], 1);
    EXPECT_EQ(read.kept[0], 0);

    // The page's image of dot 9 is the water the host program renders from the
    // dot's settings file, within what a JPEG at quality 50 changes.
    const std::string folder = tempFilePath("");
    std::string error;
    ASSERT_TRUE(host_app::writePicture(folder + "in.png", picture, error)) << error;
    const ProgramOutcome apply = runProgram(
        pluginPath(), "apply in.png -o dot9.png --quiet --settings " + quoted(memoryDotFilePath(8)),
        "TMPDIR=" + quoted(folder) + " ", folder);
    ASSERT_EQ(apply.exitCode, 0) << apply.output;
    Picture rendered, shown;
    ASSERT_TRUE(host_app::readPicture(folder + "dot9.png", rendered, error)) << error;
    ASSERT_TRUE(host_app::readPicture(folder + "web_images/dot 9.jpg", shown, error)) << error;
    ASSERT_EQ(shown.width, rendered.width);
    ASSERT_EQ(shown.height, rendered.height);
    double total = 0;
    for (std::int32_t y = 0; y < shown.height; ++y)
        for (std::int32_t x = 0; x < shown.width; ++x)
            for (int c = 0; c < 3; ++c)
                total += std::abs(host_app::sampleValue(shown, x, y, c) -
                                  host_app::sampleValue(rendered, x, y, c));
    EXPECT_LT(total / (3.0 * shown.width * shown.height), 4.0) << "mean difference in levels";
}

TEST(MemoryDotsDialog, UndoDiceEcceAndPlainSettings) {
    useOwnTemporaryFolder();
    Picture picture = rampPicture(64, 48);
    FilterHost host(plugin(), picture);
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        dialog.click(kUndo);
        EXPECT_EQ(settingsOf(host).waviness, 65.0f) << "nothing to undo yet";
        dialog.typeInto(kWavinessField, "80");
        dialog.wait(kPastTypingDelayMs);
        EXPECT_EQ(settingsOf(host).waviness, 80.0f);
        dialog.click(kUndo);
        EXPECT_EQ(settingsOf(host).waviness, 65.0f);
        EXPECT_EQ(dialog.textOf(kWavinessField), "65");
        dialog.click(kUndo);
        EXPECT_EQ(settingsOf(host).waviness, 80.0f);

        const SettingsRecord before = settingsOf(host);
        dialog.click(kRandomSettings);
        const SettingsRecord& diced = settingsOf(host);
        EXPECT_EQ(settingsNameView(diced), "random settings");
        EXPECT_LE(diced.randomSeed, 2047);
        EXPECT_EQ(diced.horizon, before.horizon);
        EXPECT_EQ(diced.waterStyle, before.waterStyle);
        EXPECT_EQ(dialog.textOf(kWavinessField), std::to_string(int(diced.waviness)));
        const float dicedWaviness = diced.waviness;
        dialog.click(kUndo);
        EXPECT_EQ(settingsOf(host).waviness, 80.0f) << "Dice is a step of its own";
        dialog.click(kUndo);
        EXPECT_EQ(settingsOf(host).waviness, dicedWaviness);

        setSettingsName(writableParametersOf(host).settings, "x");
        dialog.click(kNewSeed);
        EXPECT_EQ(settingsNameView(settingsOf(host)), "random settings");
        EXPECT_LE(settingsOf(host).randomSeed, 2047);

        dialog.click(kPlainSettings);
        EXPECT_EQ(settingsNameView(settingsOf(host)), "plain settings");
        EXPECT_EQ(settingsOf(host).waviness, 65.0f);
        EXPECT_EQ(settingsOf(host).randomSeed, 1841);
        dialog.click(kUndo);
        EXPECT_EQ(settingsNameView(settingsOf(host)), "random settings");
        dialog.click(2);
    });
    EXPECT_EQ(result, pi::kUserCanceledErr);
}

TEST(MemoryDotsDialog, TheFolderRebuildGivesThumbnailsAndPutsTheSettingsBack) {
    const std::string scratch = useOwnTemporaryFolder();
    const std::string folder = nativePath(scratch + "presets/");
    std::filesystem::create_directories(folder);
    for (int i = 0; i < 3; ++i) {
        SettingsRecord record{};
        fullReset(record);
        record.height = float(10 * (i + 1));
        ASSERT_TRUE(
            writeSettingsFile(folder + "sea " + std::to_string(i) + ".q9q", record, nullptr));
    }
    Picture picture = rampPicture(64, 48);
    FilterHost host(plugin(), picture);
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        dialog.typeInto(kWavinessField, "30");
        dialog.wait(kPastTypingDelayMs);
        setSettingsName(writableParametersOf(host).settings, "my water");
        answerFileDialog([&](FileDialog& open) {
            EXPECT_EQ(open.title(), "Choose any file in the source folder");
            EXPECT_TRUE(open.choose(folder + "sea 1.q9q"));
        });
        const gui::Point preview = dialog.centreOf(kDotPreview);
        dialog.press(preview, gui::MouseButton::Left, gui::kModifierShift);
        dialog.release(preview);
        dialog.wait(100);
        EXPECT_EQ(settingsOf(host).waviness, 30.0f);
        EXPECT_EQ(settingsOf(host).height, 20.0f);
        EXPECT_EQ(settingsNameView(settingsOf(host)), "my water");
        EXPECT_EQ(dialog.textOf(kWavinessField), "30");
        dialog.click(3);
    });
    EXPECT_EQ(result, 0);
    auto thumbnail = image::createThumbnailImage();
    for (int i = 0; i < 3; ++i) {
        const std::string stem = folder + "sea " + std::to_string(i);
        EXPECT_FALSE(os::fileExists(stem + ".q9q"));
        SettingsRecord read{};
        const SettingsReadResult loaded =
            readSettingsFile(stem + ".q5q", SettingsReadMode::Load, read, thumbnail.get());
        EXPECT_TRUE(loaded.thumbnailLoaded) << stem;
        EXPECT_EQ(read.height, float(10 * (i + 1)));
    }
}

}  // namespace
}  // namespace mirel::testing
