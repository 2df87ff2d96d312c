// The about box and the info box beside the real dialog: one of each however
// often they are asked for, on the screen even when the dialog is not, the
// web page handed to the desktop, and both gone with the main dialog.
#include "tests/ui/small_windows.h"

#include <gtest/gtest.h>

#include "settings/metadata.h"
#include "tests/host/host_fixture.h"
#include "tests/ui/dialog_driver.h"

namespace mirel::testing {
namespace {

namespace gt = gui::testing;
using namespace ids;
using hostkit::FilterHost;

constexpr int kAboutIcon = 25, kInfoButton = 27;
constexpr gui::Rgb kWhite{255, 255, 255};

void clickAboutIcon(DialogDriver& dialog) {
    // The about icon is drawn by the dialog: a press and a release on it.
    dialog.press(dialog.centreOf(kAboutIcon));
    dialog.release(dialog.centreOf(kAboutIcon));
    dialog.wait(50);
}

::testing::AssertionResult insideScreen(void* window) {
    const gui::Rect screen = gt::workAreaOf(window);
    const gui::Rect frame = gt::frameOnScreen(window);
    if (frame.x >= screen.x && frame.y >= screen.y &&
        frame.x + frame.width <= screen.x + screen.width &&
        frame.y + frame.height <= screen.y + screen.height)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the frame at " << frame.x << "," << frame.y << " "
                                         << frame.width << "x" << frame.height;
}

gui::Rgb pixelOfWindow(void* window, gui::Point at) {
    return pixelOf(gt::grabClientArea(window), at);
}

TEST(SmallWindows, OneAboutBoxOnTheScreenWhoseButtonOpensTheWebPage) {
    useOwnTemporaryFolder();
    host_app::Picture picture = rampPicture(64, 48);
    FilterHost host(plugin(), picture);
    UrlCatcher browser;
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        // The dialog partly off the screen: the box still opens fully on it.
        gt::moveWindowTo(dialog.window(), {-300, -200});
        clickAboutIcon(dialog);
        clickAboutIcon(dialog);
        const std::vector<void*> boxes = gt::windowsTitled("About");
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(insideScreen(boxes.front()));
        // White behind the picture.
        EXPECT_TRUE(pixelOfWindow(boxes.front(), {2, 2}) == kWhite);

        const std::vector<gt::ShownControl> controls = gt::controlsOf(boxes.front());
        const gt::ShownControl* visit =
            gt::findControl(controls, gt::ControlKind::PushButton, "Visit");
        ASSERT_NE(visit, nullptr);
        // The version is written in grey left of the button, on the white.
        {
            const gui::Image shot = gt::grabClientArea(boxes.front());
            int inked = 0;
            for (int y = visit->rect.y; y < visit->rect.y + visit->rect.height; ++y)
                for (int x = 0; x < visit->rect.x - 2; ++x) {
                    const gui::Rgb c = pixelOf(shot, {x, y});
                    if (c.red < 160 && c.red == c.green && c.green == c.blue) ++inked;
                }
            EXPECT_GT(inked, 20) << "no version beside the button";
        }
        gt::clickControlWindow(boxes.front(), *visit);
        dialog.wait(50);
        EXPECT_EQ(browser.opened(), std::vector<std::string>{std::string(kMakerWebAddress)});
        EXPECT_TRUE(gt::windowsTitled("About").empty());

        // Closed another way, it opens the page nowhere; and it can open again.
        clickAboutIcon(dialog);
        ASSERT_EQ(gt::windowsTitled("About").size(), 1u);
        gt::closeFromWindowSystem(gt::windowsTitled("About").front());
        dialog.wait(50);
        EXPECT_TRUE(gt::windowsTitled("About").empty());
        EXPECT_EQ(browser.opened().size(), 1u);
        clickAboutIcon(dialog);
        EXPECT_EQ(gt::windowsTitled("About").size(), 1u);
        dialog.click(kCancel);
    });
    EXPECT_EQ(result, pi::kUserCanceledErr);
    gt::processEvents(50);
    EXPECT_TRUE(gt::windowsTitled("About").empty()) << "Cancel closes the about box";
}

TEST(SmallWindows, OneInfoBoxThatGoesWithTheMainDialog) {
    useOwnTemporaryFolder();
    host_app::Picture picture = rampPicture(64, 48);
    FilterHost host(plugin(), picture);
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        dialog.click(kInfoButton);
        dialog.click(kInfoButton);
        dialog.wait(50);
        const std::vector<void*> boxes = gt::windowsTitled("Info");
        ASSERT_EQ(boxes.size(), 1u);
        void* info = boxes.front();
        EXPECT_TRUE(insideScreen(info));
        // Its picture, framed in white.
        const gui::Image shot = gt::grabClientArea(info);
        EXPECT_TRUE(pixelOf(shot, {2, 2}) == kWhite);
        EXPECT_FALSE(pixelOf(shot, {shot.width / 2, shot.height / 2}) == kWhite);
        // Still there a few ticks of its timer later while the dialog lives.
        dialog.wait(2200);
        EXPECT_EQ(gt::windowsTitled("Info"), boxes);
        dialog.click(kOk);
    });
    EXPECT_EQ(result, 0);
    // Gone at the next tick of its timer.
    gt::processEvents(1100);
    EXPECT_TRUE(gt::windowsTitled("Info").empty());
}

}  // namespace
}  // namespace mirel::testing
