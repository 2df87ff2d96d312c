// The main dialog's controls: start-up from the record, Cancel and Escape,
// typed values and the typing timer, slider drags, the lists and the light pad.
#include <gtest/gtest.h>

#include <QTest>
#include <cmath>
#include <cstring>

#include "tests/host/host_fixture.h"
#include "tests/ui/dialog_driver.h"

namespace mirel::testing {
namespace {

using hostkit::FilterHost;
using hostkit::HostOptions;
using host_app::Picture;

// Control ids of the dialog, as its template gives them.
constexpr int kHorizonSlider = 37, kHorizonField = 86;
constexpr int kOffsetField = 91;
constexpr int kSpinSlider = 152, kSpinField = 153;
constexpr int kBlurSlider = 61, kBlurField = 93;
constexpr int kStyleList = 147, kModeList = 73, kNextMode = 21;
constexpr int kPreview = 18, kZoomIn = 32, kZoomOut = 33, kZoomPercent = 34;
constexpr int kCancel = 2, kOk = 3;

// The middle of the preview pane, where the middle of a small picture shows.
QPoint paneMiddle(const DialogDriver& dialog) {
    const QRect pane = dialog.rectOf(kPreview);
    return {pane.x() + pane.width() / 2, pane.y() + pane.height() / 2};
}

TEST(MainDialog, StartsFromTheRecordAndCancelPutsItBackButKeepsAPickedCentre) {
    useOwnTemporaryFolder();
    Picture picture = rampPicture(120, 80);
    FilterHost host(plugin(), picture);
    SettingsRecord entry{};
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        entry = parametersOf(host).settings;
        EXPECT_EQ(dialog.field(kHorizonField)->text().toStdString(), "50");
        EXPECT_EQ(dialog.controlValue(kHorizonSlider), 50);
        EXPECT_EQ(dialog.list(kModeList)->count(), 69);
        EXPECT_EQ(dialog.list(kModeList)->currentIndex(), 0);
        EXPECT_EQ(dialog.list(kStyleList)->count(), 2);
        EXPECT_EQ(dialog.list(kStyleList)->currentText().toStdString(), "Complex");
        // A picture smaller than the pane: 100%, and no zooming either way.
        EXPECT_EQ(dialog.button(kZoomPercent)->text().toStdString(), "100%");
        EXPECT_FALSE(dialog.button(kZoomIn)->isEnabled());
        EXPECT_FALSE(dialog.button(kZoomOut)->isEnabled());

        dialog.drag(dialog.centreOf(kBlurSlider), dialog.rectOf(kBlurSlider).topRight());
        EXPECT_GT(parametersOf(host).settings.blur, 50.0f);
        // Every click in the pane sets the centre when the whole picture shows.
        const QPoint picked = paneMiddle(dialog) + QPoint(30, 20);
        dialog.press(picked);
        dialog.release(picked);
        dialog.click(kCancel);
    });
    EXPECT_EQ(result, pi::kUserCanceledErr);
    const SettingsRecord& after = parametersOf(host).settings;
    EXPECT_EQ(after.blur, entry.blur);
    EXPECT_EQ(after.horizon, entry.horizon);
    // 30 and 20 pixels right of and below the middle of a 120 x 80 picture.
    EXPECT_NEAR(after.center.x, 90.0 / 120.0, 1e-6);
    EXPECT_NEAR(after.center.y, 60.0 / 80.0, 1e-6);
}

}  // namespace
}  // namespace mirel::testing
