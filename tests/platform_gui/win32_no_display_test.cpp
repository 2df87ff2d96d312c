// Without an X display Wine can make no window: the layer's dialogs must then
// fail with a result code at once, never wait for a window that cannot come.
// Run with no display at all (windows.cmake).
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/gui/dialog.h"
#include "platform/gui/display.h"
#include "platform/gui/file_dialog.h"
#include "tests/platform_gui/gui_test_support.h"

namespace mirel::gui {
namespace {

TEST(NoDisplay, DialogsFailWithAResultCodeInsteadOfWaiting) {
    testing::Watchdog watchdog(std::chrono::seconds(60));
    // Run on a display by mistake, the dialog would wait for a person.
    if (HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                       nullptr, nullptr)) {
        ::DestroyWindow(probe);
        GTEST_SKIP() << "a display is there; this test runs without one (MIREL_GUI_DISPLAY=none)";
    }
    DialogTemplate t;
    t.name = "SMALL";
    t.title = "Small";
    t.width = 100;
    t.height = 40;
    struct Counting : DialogProcedure {
        int inits = 0;
        void onInit(DialogHandle&) override { ++inits; }
    } procedure;
    EXPECT_EQ(runModalDialog(t, procedure, nullptr), kDialogFailed);
    EXPECT_EQ(procedure.inits, 0) << "init never runs without a window";
    EXPECT_EQ(showModelessDialog(t, std::make_unique<Counting>(), nullptr), nullptr);
    // A template without a size fails before any window is asked for.
    t.width = 0;
    EXPECT_EQ(runModalDialog(t, procedure, nullptr), kDialogFailed);
}

}  // namespace
}  // namespace mirel::gui
