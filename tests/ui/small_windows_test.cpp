// The about box and the info box beside the real dialog: one of each however
// often they are asked for, on the screen even when the dialog is not, the
// web page handed to the desktop, and both gone with the main dialog.
#include "tests/ui/small_windows.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QPointer>
#include <QScreen>
#include <QTest>

#include "settings/metadata.h"
#include "tests/host/host_fixture.h"
#include "tests/ui/dialog_driver.h"

namespace mirel::testing {
namespace {

using namespace ids;
using hostkit::FilterHost;

constexpr int kAboutIcon = 25, kInfoButton = 27;

void clickAboutIcon(DialogDriver& dialog) {
    // The about icon is drawn by the dialog: a press and a release on it.
    dialog.press(dialog.centreOf(kAboutIcon));
    dialog.release(dialog.centreOf(kAboutIcon));
    dialog.wait(50);
}

bool insideScreen(const QWidget& window) {
    const QRect screen = window.screen()->availableGeometry();
    return screen.contains(window.frameGeometry());
}

TEST(SmallWindows, OneAboutBoxOnTheScreenWhoseButtonOpensTheWebPage) {
    useOwnTemporaryFolder();
    host_app::Picture picture = rampPicture(64, 48);
    FilterHost host(plugin(), picture);
    UrlCatcher browser;
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        // The dialog partly off the screen: the box still opens fully on it.
        static_cast<QWidget*>(dialog.window())->move(-300, -200);
        clickAboutIcon(dialog);
        clickAboutIcon(dialog);
        const QWidgetList boxes = windowsTitled("About");
        ASSERT_EQ(boxes.size(), 1);
        EXPECT_TRUE(insideScreen(*boxes.front()))
            << boxes.front()->frameGeometry().x() << "," << boxes.front()->frameGeometry().y();
        // White behind the picture.
        const QImage shot = boxes.front()->grab().toImage();
        EXPECT_EQ(QColor(shot.pixel(2, 2)), QColor(Qt::white));

        QAbstractButton* visit = nullptr;
        for (QAbstractButton* button : boxes.front()->findChildren<QAbstractButton*>())
            if (button->text().startsWith("Visit")) visit = button;
        ASSERT_NE(visit, nullptr);
        QTest::mouseClick(visit, Qt::LeftButton);
        dialog.wait(50);
        EXPECT_EQ(browser.opened,
                  QStringList{QString::fromUtf8(kMakerWebAddress.data(), kMakerWebAddress.size())});
        EXPECT_TRUE(windowsTitled("About").isEmpty());

        // Closed another way, it opens the page nowhere; and it can open again.
        clickAboutIcon(dialog);
        ASSERT_EQ(windowsTitled("About").size(), 1);
        windowsTitled("About").front()->close();
        dialog.wait(50);
        EXPECT_TRUE(windowsTitled("About").isEmpty());
        EXPECT_EQ(browser.opened.size(), 1);
        clickAboutIcon(dialog);
        EXPECT_EQ(windowsTitled("About").size(), 1);
        dialog.click(kCancel);
    });
    EXPECT_EQ(result, pi::kUserCanceledErr);
    QTest::qWait(50);
    EXPECT_TRUE(windowsTitled("About").isEmpty()) << "Cancel closes the about box";
}

TEST(SmallWindows, OneInfoBoxThatGoesWithTheMainDialog) {
    useOwnTemporaryFolder();
    host_app::Picture picture = rampPicture(64, 48);
    FilterHost host(plugin(), picture);
    QPointer<QWidget> info;
    const std::int16_t result = runWithDialog(host, [&](DialogDriver& dialog) {
        dialog.click(kInfoButton);
        dialog.click(kInfoButton);
        dialog.wait(50);
        const QWidgetList boxes = windowsTitled("Info");
        ASSERT_EQ(boxes.size(), 1);
        info = boxes.front();
        EXPECT_TRUE(insideScreen(*info));
        // Its picture, framed in white.
        const QImage shot = info->grab().toImage();
        EXPECT_EQ(QColor(shot.pixel(2, 2)), QColor(Qt::white));
        EXPECT_NE(QColor(shot.pixel(shot.width() / 2, shot.height() / 2)), QColor(Qt::white));
        // Still there a few ticks of its timer later while the dialog lives.
        dialog.wait(2200);
        EXPECT_TRUE(info && info->isVisible());
        dialog.click(kOk);
    });
    EXPECT_EQ(result, 0);
    QTest::qWait(1100);
    EXPECT_TRUE(!info || !info->isVisible());
    EXPECT_TRUE(windowsTitled("Info").isEmpty());
}

}  // namespace
}  // namespace mirel::testing
