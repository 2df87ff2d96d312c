// The main dialog's controls, driven as a person would: start-up from the
// record, Cancel, Escape and Enter, typed values and the typing timer, slider
// drags, the two lists, the light pad and a host without displayPixels.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/host/host_fixture.h"
#include "tests/ui/dialog_driver.h"

namespace mirel::testing {
namespace {

using namespace ids;
using host_app::Picture;
using hostkit::FilterHost;
using hostkit::HostOptions;

// Longer than the typing delay of one second.
constexpr int kPastTypingDelayMs = 1300;

TEST(MainDialog, StartsFromTheRecordAndCancelPutsItBackButKeepsAPickedCentre) {
    useOwnTemporaryFolder();
    Picture picture = rampPicture(120, 80);
    const Picture before = picture;
    FilterHost host(plugin(), picture);
    SettingsRecord entry{};
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        entry = parametersOf(host).settings;
        EXPECT_EQ(dialog.textOf(kHorizonField), "50");
        EXPECT_EQ(dialog.controlValue(kHorizonSlider), 50);
        EXPECT_EQ(dialog.textOf(kSpinField), "0");
        EXPECT_EQ(dialog.listCount(kModeList), 69);
        EXPECT_EQ(dialog.textOf(kModeList), "normal");
        EXPECT_EQ(dialog.listEntry(kModeList, 68), "contrast negate");
        EXPECT_EQ(dialog.listCount(kStyleList), 2);
        EXPECT_EQ(dialog.textOf(kStyleList), "Complex");
        // A picture smaller than the pane: 100%, and no zooming either way.
        EXPECT_EQ(dialog.textOf(kZoomPercent), "100%");
        EXPECT_FALSE(dialog.isEnabled(kZoomIn));
        EXPECT_FALSE(dialog.isEnabled(kZoomOut));

        const gui::Rect blurSlider = dialog.rectOf(kBlurSlider);
        dialog.drag(dialog.centreOf(kBlurSlider),
                    {blurSlider.x + blurSlider.width - 1, blurSlider.y});
        EXPECT_GT(parametersOf(host).settings.blur, 50.0f);
        dialog.typeInto(kHorizonField, "20");
        dialog.wait(kPastTypingDelayMs);
        EXPECT_EQ(parametersOf(host).settings.horizon, 20.0f);
        // Every press in the pane sets the centre when the whole picture shows.
        const gui::Point picked = dialog.paneMiddle() + gui::Point{30, 20};
        dialog.press(picked);
        dialog.release(picked);
        dialog.click(kCancel);
    });
    EXPECT_EQ(result, pi::kUserCanceledErr);
    EXPECT_EQ(picture.pixels, before.pixels);
    const SettingsRecord& after = parametersOf(host).settings;
    EXPECT_EQ(after.blur, entry.blur);
    EXPECT_EQ(after.horizon, entry.horizon);
    // 30 and 20 pixels right of and below the middle of a 120 x 80 picture.
    EXPECT_FLOAT_EQ(after.center.x, 90.0f / 120.0f);
    EXPECT_FLOAT_EQ(after.center.y, 60.0f / 80.0f);
    EXPECT_EQ(parametersOf(host).pickedCenterX, 90);
    EXPECT_EQ(parametersOf(host).pickedCenterY, 60);
}

TEST(MainDialog, TypedValuesMoveTheSliderAtOnceAndReachTheRecordAfterTheTimer) {
    useOwnTemporaryFolder();
    Picture picture = rampPicture(64, 48);
    FilterHost host(plugin(), picture);
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        const SettingsRecord& record = parametersOf(host).settings;
        dialog.typeInto(kHorizonField, "12.7");
        EXPECT_EQ(dialog.controlValue(kHorizonSlider), 12);
        EXPECT_EQ(record.horizon, 50.0f) << "no render and no record change on each keystroke";
        dialog.typeInto(kOffsetField, "500");
        EXPECT_EQ(dialog.controlValue(kOffsetSlider), 100);
        EXPECT_EQ(dialog.textOf(kOffsetField), "500");
        dialog.typeInto(kSpinField, "-7.5");
        EXPECT_EQ(dialog.controlValue(kSpinSlider), -7);
        dialog.wait(kPastTypingDelayMs);
        EXPECT_FLOAT_EQ(record.horizon, 12.7f);
        EXPECT_EQ(record.offset, 100.0f);
        EXPECT_EQ(dialog.textOf(kOffsetField), "100");
        EXPECT_EQ(record.spin, -7.5f);

        // Text without a number leaves the slider where it is and goes back to the last
        // good value when the typing timer fires, or when the field loses the focus.
        dialog.typeInto(kSpinField, "");
        EXPECT_EQ(dialog.controlValue(kSpinSlider), -7);
        dialog.typeInto(kSpinField, "abc");
        EXPECT_EQ(dialog.controlValue(kSpinSlider), -7);
        dialog.wait(kPastTypingDelayMs);
        EXPECT_EQ(record.spin, -7.5f);
        EXPECT_EQ(dialog.textOf(kSpinField), "-7.5");
        dialog.focus(kOffsetField);
        dialog.typeInto(kOffsetField, "-");
        dialog.focus(kHorizonField);
        EXPECT_EQ(dialog.textOf(kOffsetField), "100");
        EXPECT_EQ(dialog.controlValue(kOffsetSlider), 100);
        EXPECT_EQ(record.offset, 100.0f);

        // Tab goes from one value field to the next; the sliders take no focus.
        dialog.focus(kHorizonField);
        dialog.key(Key::Tab);
        EXPECT_TRUE(dialog.hasFocus(kOffsetField));
        dialog.key(Key::Escape);
    });
    EXPECT_EQ(result, pi::kUserCanceledErr) << "Escape is Cancel";
}

TEST(MainDialog, DraggingFarPastASliderGivesItsEnds) {
    useOwnTemporaryFolder();
    Picture picture = rampPicture(64, 48);
    FilterHost host(plugin(), picture);
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        const gui::Rect spin = dialog.rectOf(kSpinSlider);
        const gui::Point middle = centreOf(spin);
        dialog.drag(middle, {spin.x - 200, middle.y + 40});
        EXPECT_EQ(dialog.controlValue(kSpinSlider), -90);
        EXPECT_EQ(dialog.textOf(kSpinField), "-90");
        EXPECT_EQ(parametersOf(host).settings.spin, -90.0f);
        dialog.drag(middle, {spin.x + spin.width + 300, middle.y});
        EXPECT_EQ(dialog.controlValue(kSpinSlider), 90);
        EXPECT_EQ(parametersOf(host).settings.spin, 90.0f);

        // The right button drags too, and a press alone sets the place under the pointer.
        const gui::Rect blur = dialog.rectOf(kBlurSlider);
        const gui::Point leftOfBlur{blur.x - 50, centreOf(blur).y};
        dialog.press(leftOfBlur, gui::MouseButton::Right);
        dialog.release(leftOfBlur, gui::MouseButton::Right);
        EXPECT_EQ(dialog.controlValue(kBlurSlider), 0);
        EXPECT_EQ(dialog.textOf(kBlurField), "0");
        dialog.key(Key::Return);
    });
    EXPECT_EQ(result, 0) << "Enter is OK";
}

TEST(MainDialog, TheListsFollowTheRecordAndNextModeWrapsToNormal) {
    useOwnTemporaryFolder();
    Picture picture = rampPicture(64, 48);
    FilterHost host(plugin(), picture);
    ASSERT_EQ(host.call(pi::kFilterSelectorParameters), 0);
    ASSERT_EQ(host.call(pi::kFilterSelectorPrepare), 0);
    // A record whose output mode is no mode (as an unknown scripting value leaves it).
    writableParametersOf(host).settings.outputMode = 0;
    const std::int16_t result = startWithDialog(host, [&](DialogDriver& dialog) {
        EXPECT_EQ(dialog.listSelection(kModeList), -1);
        EXPECT_EQ(parametersOf(host).settings.outputMode, 0);

        dialog.focus(kModeList);
        // Twice: Wine's lists stop at the first entry on the first End when
        // nothing is chosen; a second End on the last entry changes nothing.
        dialog.key(Key::End);
        dialog.key(Key::End);
        EXPECT_EQ(parametersOf(host).settings.outputMode, 69);
        dialog.click(kNextMode);
        EXPECT_EQ(parametersOf(host).settings.outputMode, 1);
        EXPECT_EQ(dialog.listSelection(kModeList), 0);

        // Simple water has no light and no glitter: their pad and swatch are greyed, and
        // the pad takes no presses.
        EXPECT_TRUE(dialog.isEnabled(kGlitterColor));
        dialog.focus(kStyleList);
        dialog.key(Key::Up);
        EXPECT_EQ(parametersOf(host).settings.waterStyle, kWaterStyleSimple);
        EXPECT_FALSE(dialog.isEnabled(kGlitterColor));
        const Vec3f light = parametersOf(host).settings.lightDirection;
        const gui::Rect pad = dialog.rectOf(kLightPad);
        const gui::Point offCentre{pad.x + pad.width / 4, pad.y + pad.height / 4};
        dialog.press(offCentre);
        dialog.release(offCentre);
        EXPECT_EQ(parametersOf(host).settings.lightDirection.x, light.x);
        EXPECT_EQ(parametersOf(host).settings.lightDirection.y, light.y);
        dialog.key(Key::Down);
        EXPECT_EQ(parametersOf(host).settings.waterStyle, kWaterStyleComplex);
        EXPECT_TRUE(dialog.isEnabled(kGlitterColor));
        dialog.press(offCentre);
        dialog.release(offCentre);
        EXPECT_NE(parametersOf(host).settings.lightDirection.x, light.x);
        dialog.click(kOk);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(host.call(pi::kFilterSelectorFinish), 0);
}

// True when the rectangle holds pixels of about `color` and none darker than it.
bool drawnIn(const gui::Image& image, const gui::Rect& rect, int grey) {
    bool found = false;
    for (int y = rect.y; y < rect.y + rect.height; ++y)
        for (int x = rect.x; x < rect.x + rect.width; ++x) {
            const gui::Rgb c = pixelOf(image, {x, y});
            // Weighted as Qt's qGray weighs: (11 r + 16 g + 5 b) / 32.
            const int value = (c.red * 11 + c.green * 16 + c.blue * 5) / 32;
            if (value < grey - 20) return false;
            if (std::abs(value - grey) <= 20) found = true;
        }
    return found;
}

TEST(MainDialog, AFloatPictureClosesTheOutputModeToTheDialog) {
    useOwnTemporaryFolder();
    Picture picture = rampPicture(64, 48, 32);
    FilterHost host(plugin(), picture);
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        EXPECT_FALSE(dialog.isEnabled(kModeList));
        EXPECT_FALSE(dialog.isEnabled(kNextMode));
        EXPECT_TRUE(dialog.isEnabled(kStyleList));
        const gui::Image shown = dialog.grab();
        EXPECT_TRUE(drawnIn(shown, dialog.rectOf(kModeLabel), 140)) << "\"Glue\" is drawn grey";
        EXPECT_FALSE(drawnIn(shown, dialog.rectOf(kStyleLabel), 140)) << "\"Style\" is black";
        dialog.click(kCancel);
    });
    EXPECT_EQ(result, pi::kUserCanceledErr);
}

TEST(MainDialog, TheLightPadPointsTheLightWhereThePointerIs) {
    useOwnTemporaryFolder();
    Picture picture = rampPicture(64, 48);
    FilterHost host(plugin(), picture);
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        const gui::Rect pad = dialog.rectOf(kLightPad);
        const double s = pad.width / 85.0;
        const auto at = [&](double dx, double dy) {
            return gui::Point{int(std::lround(pad.x + (43 + dx) * s)),
                              int(std::lround(pad.y + (41 + dy) * s))};
        };
        const Vec3f& light = parametersOf(host).settings.lightDirection;
        const auto pressAndLetGo = [&](gui::Point point, unsigned keys) {
            dialog.press(point, gui::MouseButton::Left, keys);
            dialog.release(point);
        };
        // Half the working radius to the right: a light tilted by 30 degrees.
        pressAndLetGo(at(16.5, 0), 0);
        EXPECT_NEAR(light.x, 0.5, 0.03);
        EXPECT_NEAR(light.y, 0.0, 0.03);
        EXPECT_NEAR(light.z, std::sqrt(0.75), 0.03);
        // Dragged beyond the radius, even off the pad, up and to the left: a
        // light from the side.
        dialog.drag(at(0, 0), at(-60, -60));
        EXPECT_NEAR(light.x, -std::sqrt(0.5), 0.02);
        EXPECT_NEAR(light.y, -std::sqrt(0.5), 0.02);
        EXPECT_NEAR(light.z, 0.0, 1e-6);
        // With Ctrl held, straight from above.
        pressAndLetGo(at(20, 10), gui::kModifierControl);
        EXPECT_EQ(light.x, 0.0f);
        EXPECT_EQ(light.y, 0.0f);
        EXPECT_EQ(light.z, 1.0f);
        // Ctrl let go during a drag, the pointer still: the light follows the pointer.
        dialog.press(at(0, 33), gui::MouseButton::Left, gui::kModifierControl);
        dialog.moveTo(at(0, 33), gui::kModifierShift);
        EXPECT_NEAR(light.y, 1.0, 0.03);
        dialog.release(at(0, 33));
        dialog.click(kCancel);
    });
    EXPECT_EQ(result, pi::kUserCanceledErr);
    // Cancel puts the light back.
    EXPECT_EQ(parametersOf(host).settings.lightDirection.x, defaultLightDirection().x);
}

TEST(MainDialog, AHostWithoutDisplayPixelsShowsNoPreviewYetConfirmsAndCancels) {
    useOwnTemporaryFolder();
    HostOptions options;
    options.offerDisplayPixels = false;
    Picture picture = rampPicture(64, 48);
    const Picture before = picture;
    FilterHost host(plugin(), picture, options);
    const std::int16_t confirmed = runWithDialog(host, [&](DialogDriver& dialog) {
        const gui::Image shown = dialog.grab();
        const gui::Rect pane = dialog.paneRect();
        for (int y = pane.y; y < pane.y + pane.height; y += 7)
            for (int x = pane.x; x < pane.x + pane.width; x += 7)
                ASSERT_TRUE(pixelOf(shown, {x, y}) == (gui::Rgb{255, 255, 255})) << x << ", " << y;
        EXPECT_FALSE(dialog.isEnabled(kZoomIn));
        EXPECT_FALSE(dialog.isEnabled(kZoomOut));
        EXPECT_EQ(dialog.textOf(kZoomPercent), "100%");
        dialog.click(kOk);
    });
    EXPECT_EQ(confirmed, 0);
    EXPECT_NE(picture.pixels, before.pixels) << "OK renders the water";

    Picture other = rampPicture(64, 48);
    FilterHost second(plugin(), other, options);
    const std::int16_t cancelled =
        runWithDialog(second, [&](DialogDriver& dialog) { dialog.key(Key::Escape); });
    EXPECT_EQ(cancelled, pi::kUserCanceledErr);
    EXPECT_EQ(other.pixels, before.pixels);
}

}  // namespace
}  // namespace mirel::testing
