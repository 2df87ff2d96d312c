// Without a display the layer must refuse dialogs with a result code, never
// let Qt abort the host; and it must refuse calls from a second thread.
// Each test runs as a process of its own, so each sets up its own environment
// before the first dialog.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdlib>
#include <thread>

#include "platform/gui/dialog.h"
#include "platform/gui/qt/qt_runtime.h"
#include "tests/platform_gui/gui_test_support.h"

namespace mirel::gui {
namespace {

DialogTemplate smallTemplate() {
    DialogTemplate t;
    t.name = "SMALL";
    t.title = "Small";
    t.width = 100;
    t.height = 40;
    ControlTemplate button;
    button.id = kIdCancel;
    button.controlClass = ControlClass::DefaultPushButton;
    button.text = "Cancel";
    button.rect = {25, 20, 50, 14};
    t.controls.push_back(button);
    return t;
}

void clearDisplay() {
    unsetenv("QT_QPA_PLATFORM");
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
}

TEST(NoDisplay, DialogsFailWithoutTouchingQt) {
    testing::Watchdog watchdog;
    clearDisplay();
    EXPECT_FALSE(displayConfigured());
    struct Counting : DialogProcedure {
        int inits = 0;
        void onInit(DialogHandle&) override { ++inits; }
    } procedure;
    EXPECT_EQ(runModalDialog(smallTemplate(), procedure, nullptr), kDialogFailed);
    EXPECT_EQ(messageDialog("Title", "Text"), kDialogFailed);
    EXPECT_EQ(procedure.inits, 0);
    EXPECT_EQ(QCoreApplication::instance(), nullptr);

    // A platform that needs a display it does not have counts as none.
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    EXPECT_EQ(runModalDialog(smallTemplate(), procedure, nullptr), kDialogFailed);
    setenv("QT_QPA_PLATFORM", "wayland-egl", 1);
    EXPECT_EQ(runModalDialog(smallTemplate(), procedure, nullptr), kDialogFailed);
    EXPECT_EQ(QCoreApplication::instance(), nullptr);

    // An empty variable is no setting; a display variable makes xcb usable.
    setenv("QT_QPA_PLATFORM", "", 1);
    EXPECT_FALSE(displayConfigured());
    setenv("DISPLAY", ":0", 1);
    EXPECT_TRUE(displayConfigured());
    unsetenv("DISPLAY");
    setenv("QT_QPA_PLATFORM", "offscreen:fontengine=freetype", 1);
    EXPECT_TRUE(displayConfigured());
    clearDisplay();
}

TEST(NoDisplay, AFaultyTemplateFailsBeforeAnyWindow) {
    clearDisplay();
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    DialogTemplate t = smallTemplate();
    t.width = 0;
    DialogProcedure plain;
    EXPECT_EQ(runModalDialog(t, plain, nullptr), kDialogFailed);
}

TEST(OneThread, TheApplicationIsMadeOnceAndOtherThreadsAreRefused) {
    testing::Watchdog watchdog;
    clearDisplay();
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    DialogProcedure plain;
    const auto endAtOnce = [](DialogHandle& d) { d.clickButton(kIdCancel); };
    EXPECT_EQ(testing::runScripted(smallTemplate(), plain, endAtOnce), kIdCancel);
    QCoreApplication* application = QCoreApplication::instance();
    ASSERT_NE(application, nullptr);
    EXPECT_EQ(testing::runScripted(smallTemplate(), plain, endAtOnce), kIdCancel);
    EXPECT_EQ(QCoreApplication::instance(), application) << "one application per process";

    int fromOtherThread = 0;
    std::thread other([&] { fromOtherThread = runModalDialog(smallTemplate(), plain, nullptr); });
    other.join();
    EXPECT_EQ(fromOtherThread, kDialogFailed);
}

}  // namespace
}  // namespace mirel::gui
