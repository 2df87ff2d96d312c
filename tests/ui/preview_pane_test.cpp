// The preview pane of the real dialog: zoom levels and their buttons, panning
// that stays on the picture, centre clicks, the pointer's shapes, and the
// water the user confirms against what the host program renders with the
// confirmed settings.
#include <gtest/gtest.h>

#include <optional>
#include <utility>

#include "apps/host/action_file.h"
#include "apps/host/descriptor_terminology.h"
#include "tests/host/host_fixture.h"
#include "tests/support/host_program.h"
#include "tests/ui/dialog_driver.h"

namespace mirel::testing {
namespace {

using namespace ids;
using host_app::Picture;
using hostkit::FilterHost;

// 2000 x 1500 in a pane of 642 x 488: the whole picture shows at zoom 4.
constexpr std::int32_t kWidth = 2000, kHeight = 1500;

// A whole run with the dialog in the Simple style: zooming and panning render the
// preview again and again, and the style does not matter to them.
std::int16_t runSimpleWithDialog(FilterHost& host,
                                 const std::function<void(DialogDriver&)>& script) {
    if (const std::int16_t r = host.call(pi::kFilterSelectorParameters); r != 0) return r;
    if (const std::int16_t r = host.call(pi::kFilterSelectorPrepare); r != 0) return r;
    writableParametersOf(host).settings.waterStyle = kWaterStyleSimple;
    const std::int16_t started = startWithDialog(host, script);
    if (started != 0) return started;
    return host.call(pi::kFilterSelectorFinish);
}

std::string percentOf(DialogDriver& dialog) {
    return dialog.textOf(kZoomPercent);
}

TEST(PreviewPane, ZoomButtonsFollowTheLevelAndKeepTheMiddleInView) {
    useOwnTemporaryFolder();
    Picture picture = rampPicture(kWidth, kHeight);
    FilterHost host(plugin(), picture);
    const std::int16_t result = runSimpleWithDialog(host, [&](DialogDriver& dialog) {
        const ParameterBlock& params = parametersOf(host);
        EXPECT_EQ(params.zoomLevel, 4);
        EXPECT_EQ(percentOf(dialog), "25%");
        EXPECT_TRUE(dialog.isEnabled(kZoomIn));
        EXPECT_FALSE(dialog.isEnabled(kZoomOut));

        dialog.click(kZoomIn);
        EXPECT_EQ(params.zoomLevel, 3);
        EXPECT_EQ(percentOf(dialog), "33%");
        EXPECT_TRUE(dialog.isEnabled(kZoomIn));
        EXPECT_TRUE(dialog.isEnabled(kZoomOut));
        // The middle stays as far as the picture allows: 666 x 500 preview
        // pixels at zoom 3 leave 24 x 12 to pan, 72 x 36 picture pixels.
        EXPECT_EQ(params.panX, 72);
        EXPECT_EQ(params.panY, 36);

        dialog.click(kZoomOut);
        EXPECT_EQ(params.zoomLevel, 4);
        EXPECT_EQ(params.panX, 0);
        EXPECT_EQ(params.panY, 0);

        dialog.click(kZoomPercent);
        EXPECT_EQ(params.zoomLevel, 1);
        EXPECT_EQ(percentOf(dialog), "100%");
        EXPECT_FALSE(dialog.isEnabled(kZoomIn));
        EXPECT_EQ(params.panX, 321 * 4 - 321);
        EXPECT_EQ(params.panY, 244 * 4 - 244);
        dialog.click(kOk);
    });
    EXPECT_EQ(result, 0);
}

TEST(PreviewPane, EnterAfterZoomingInAsFarAsItGoesIsOk) {
    useOwnTemporaryFolder();
    Picture picture = rampPicture(kWidth, kHeight);
    FilterHost host(plugin(), picture);
    const std::int16_t result = runSimpleWithDialog(host, [&](DialogDriver& dialog) {
        // The last click disables the button that has the keyboard focus.
        while (dialog.isEnabled(kZoomIn)) dialog.click(kZoomIn);
        EXPECT_EQ(percentOf(dialog), "100%");
        ASSERT_TRUE(dialog.hasFocus(kOk))
            << "the focus went to another button, which Enter presses";
        dialog.key(Key::Return);
    });
    EXPECT_EQ(result, 0);
}

// A pixel of the pane that shows no white, so the picture covers it.
bool showsPicture(const gui::Image& shown, gui::Point at) {
    return !(pixelOf(shown, at) == gui::Rgb{255, 255, 255});
}

TEST(PreviewPane, PanningStaysOnThePictureAndClicksPickThePixelUnderThePointer) {
    useOwnTemporaryFolder();
    Picture picture = rampPicture(kWidth, kHeight);
    FilterHost host(plugin(), picture);
    const std::int16_t result = runSimpleWithDialog(host, [&](DialogDriver& dialog) {
        const ParameterBlock& params = parametersOf(host);
        void* window = dialog.window();
        const gui::Rect pane = dialog.paneRect();
        const gui::Point middle = dialog.paneMiddle();
        const auto cursorHotSpot = [&] {
            const gui::testing::ShownCursor shown = gui::testing::cursorOf(window);
            return std::make_pair(shown.hotSpot.x, shown.hotSpot.y);
        };

        // At the fit level a press picks the centre at once.
        dialog.press(middle + gui::Point{40, 30});
        EXPECT_FLOAT_EQ(params.settings.center.x, (250 + 40) * 4 / float(kWidth));
        EXPECT_FLOAT_EQ(params.settings.center.y, (187 + 30) * 4 / float(kHeight));
        dialog.release(middle + gui::Point{40, 30});

        dialog.click(kZoomPercent);
        dialog.click(kZoomOut);
        ASSERT_EQ(params.zoomLevel, 2);
        // Dragged far right and down: the view stops at the picture's top-left corner.
        dialog.press(middle);
        dialog.moveTo(middle + gui::Point{150, 120});
        EXPECT_EQ(cursorHotSpot(), std::make_pair(16, 19)) << "the grabbing hand (107)";
        dialog.moveTo(middle + gui::Point{300, 250});
        dialog.release(middle + gui::Point{300, 250});
        dialog.drag(middle, middle + gui::Point{300, 250});
        EXPECT_EQ(params.panX, 0);
        EXPECT_EQ(params.panY, 0);
        EXPECT_TRUE(showsPicture(dialog.grab(), {pane.x, pane.y}));
        // And far the other way: at the bottom-right corner, 1000 - 642 and
        // 750 - 488 preview pixels in.
        dialog.drag(middle, middle - gui::Point{600, 400});
        EXPECT_EQ(params.panX, (1000 - 642) * 2);
        EXPECT_EQ(params.panY, (750 - 488) * 2);
        EXPECT_TRUE(
            showsPicture(dialog.grab(), {pane.x + pane.width - 1, pane.y + pane.height - 1}));

        dialog.moveTo(middle);
        EXPECT_EQ(cursorHotSpot(), std::make_pair(15, 15)) << "the cross-hair (109)";
        dialog.moveTo(dialog.centreOf(kHorizonSlider));
        EXPECT_TRUE(gui::testing::cursorOf(window).systemArrow);

        // A press and release without motion is a centre click where it was let go.
        const gui::Point click = middle + gui::Point{10, -20};
        dialog.press(click);
        dialog.release(click);
        EXPECT_FLOAT_EQ(params.settings.center.x, ((321 + 10) * 2 + params.panX) / float(kWidth));
        EXPECT_FLOAT_EQ(params.settings.center.y, ((244 - 20) * 2 + params.panY) / float(kHeight));
        EXPECT_EQ(params.pickedCenterX, (321 + 10) * 2 + params.panX);

        // Back out to the whole picture: no pan left.
        dialog.click(kZoomOut);
        dialog.click(kZoomOut);
        EXPECT_EQ(params.zoomLevel, 4);
        EXPECT_EQ(params.panX, 0);
        dialog.click(kCancel);
    });
    EXPECT_EQ(result, pi::kUserCanceledErr);
}

TEST(PreviewPane, WhatTheDialogConfirmsIsWhatTheHostProgramRenders) {
    const std::string folder = useOwnTemporaryFolder();
    Picture picture = rampPicture(200, 150);
    std::string error;
    ASSERT_TRUE(host_app::writePicture(folder + "in.png", picture, error)) << error;
    // A paint program that records actions: the confirmed settings come back
    // as a descriptor, exactly (the cached settings file rounds the light and
    // the centre).
    hostkit::HostOptions recording;
    recording.offerDescriptors = true;
    recording.playInfo = pi::kPlugInDialogDisplay;
    FilterHost host(plugin(), picture, recording);
    {
        const auto active = host.activate();
        ASSERT_TRUE(host.descriptors().offer(std::nullopt));
    }
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        dialog.typeInto(kHorizonField, "30");
        dialog.click(kNextMode);
        dialog.answerColorDialog(gui::Rgb{10, 200, 30});
        dialog.click(kWaterColor);
        dialog.answerColorDialog(std::nullopt);  // cancelled: nothing changes
        dialog.click(kWaterColor);
        // Chosen colours are whole 8-bit values, which a descriptor carries exactly.
        dialog.answerColorDialog(gui::Rgb{250, 240, 200});
        dialog.click(kGlitterColor);
        dialog.press(dialog.paneMiddle() + gui::Point{-20, 40});
        dialog.release(dialog.paneMiddle() + gui::Point{-20, 40});
        dialog.key(Key::Return);  // before the typing timer: OK reads the field itself
    });
    ASSERT_EQ(result, 0);
    const SettingsRecord& confirmed = parametersOf(host).settings;
    EXPECT_EQ(confirmed.horizon, 30.0f);
    EXPECT_EQ(confirmed.outputMode, 2);
    EXPECT_EQ(confirmed.waterColor.red, 0x0A00);
    EXPECT_EQ(confirmed.waterColor.green, 0xC800);
    EXPECT_EQ(confirmed.waterColor.blue, 0x1E00);
    EXPECT_EQ(confirmed.glitterColor.red, 0xFA00);
    EXPECT_FLOAT_EQ(confirmed.center.x, 80.0f / 200.0f);

    const std::optional<hostkit::Descriptor> recorded = host.descriptors().current();
    ASSERT_TRUE(recorded.has_value());
    hostkit::Terminology terminology;
    ASSERT_TRUE(hostkit::loadFilterTerminology(pluginPath(), terminology, error)) << error;
    ASSERT_TRUE(hostkit::writeActionFile(folder + "confirmed.json", *recorded, terminology, error))
        << error;

    const ProgramOutcome outcome =
        runProgram(pluginPath(), "apply in.png -o out.png --action confirmed.json",
                   "TMPDIR=" + quoted(ownTemporaryFolder()) + " ", folder);
    ASSERT_EQ(outcome.exitCode, 0) << outcome.output;
    Picture rendered;
    ASSERT_TRUE(host_app::readPicture(folder + "out.png", rendered, error)) << error;
    EXPECT_EQ(rendered.pixels, picture.pixels);
}

}  // namespace
}  // namespace mirel::testing
