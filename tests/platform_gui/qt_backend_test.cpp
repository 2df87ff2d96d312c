// What only the Qt backend has: the fonts that stand in for the system's, and
// the message dialog made from a template sized to its text.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QGuiApplication>
#include <QScreen>

#include "platform/gui/dialog.h"
#include "platform/gui/dialog_units.h"
#include "platform/gui/qt/qt_runtime.h"
#include "tests/platform_gui/gui_driver.h"
#include "tests/platform_gui/gui_test_support.h"

namespace mirel::gui {
namespace {

TEST(DialogFonts, ArialIsHonouredAndMsSansSerifGetsArialMetrics) {
    // The first call makes the application (offscreen in the tests).
    ASSERT_TRUE(ensureApplication());
    const QFontInfo arial(dialogFont("Arial", 8));
    const QFontInfo msSans(dialogFont("MS Sans Serif", 8));
    EXPECT_EQ(arial.family(), QStringLiteral("Liberation Sans"))
        << "fonts-liberation2 gives Arial's metrics; without it text is 19% wider";
    EXPECT_EQ(msSans.family(), arial.family());
    EXPECT_EQ(dialogFont("MS Sans Serif", 8).pixelSize(),
              qRound(8 * QGuiApplication::primaryScreen()->logicalDotsPerInchY() / 72.0));
    // Another font is measured: Arial 8 base units are close to MS Sans Serif's.
    const BaseUnits units = baseUnitsFor("Arial", 8);
    EXPECT_GE(units.x, 5);
    EXPECT_LE(units.x, 7);
    EXPECT_GE(units.y, 12);
    EXPECT_LE(units.y, 15);
}

TEST(MessageDialog, ShowsTextAsItIsAndEndsWithOk) {
    testing::Watchdog watchdog;
    bool shown = false;
    setDialogShownHook([&](DialogHandle& d) {
        shown = true;
        EXPECT_EQ(d.title(), "Export PSD");
        const std::vector<testing::ShownLabel> labels = testing::shownLabels(d);
        ASSERT_EQ(labels.size(), 1u);
        EXPECT_EQ(labels.front().text, "Black & white could not be written.");
        EXPECT_TRUE(labels.front().textFits);
        EXPECT_EQ(d.controlText(kIdOk), "OK");
        d.clickButton(kIdOk);
    });
    const int result = messageDialog("Export PSD", "Black & white could not be written.");
    setDialogShownHook({});
    EXPECT_TRUE(shown);
    EXPECT_EQ(result, kIdOk);
}

}  // namespace
}  // namespace mirel::gui
