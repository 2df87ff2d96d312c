// Template dialogs on the window-system layer, whichever backend is built (Qt's
// offscreen platform, or Win32 under Wine): the refusal dialog as the plug-in
// ships it, and the procedure's events and the handle's calls, driven with
// input routed as the window system routes it.
#include "platform/gui/dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gui/dialog_units.h"
#include "resources/resources.h"
#include "tests/platform_gui/gui_driver.h"
#include "tests/platform_gui/gui_test_support.h"

namespace mirel::gui {

// Colours compare and print in the tests (found by argument lookup).
bool operator==(Rgb a, Rgb b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

void PrintTo(Rgb c, std::ostream* out) {
    *out << "rgb(" << int(c.red) << ", " << int(c.green) << ", " << int(c.blue) << ")";
}

namespace {

using namespace testing;

DialogTemplate parseOrDie(std::string_view text) {
    DialogTemplate t;
    std::string error;
    const bool ok = parseDialogTemplate(
        {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, t, error);
    EXPECT_TRUE(ok) << error;
    return t;
}

DialogTemplate refusalTemplate() {
    const auto bytes = findResource("DIALOG", "REFUSAL2");
    EXPECT_FALSE(bytes.empty()) << "the REFUSAL2 dialog is not among the resources";
    DialogTemplate t;
    std::string error;
    EXPECT_TRUE(parseDialogTemplate(bytes, t, error)) << error;
    return t;
}

bool overlaps(const Rect& a, const Rect& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
           b.y < a.y + a.height;
}

bool inside(const Rect& outer, const Rect& inner) {
    return inner.x >= outer.x && inner.y >= outer.y &&
           inner.x + inner.width <= outer.x + outer.width &&
           inner.y + inner.height <= outer.y + outer.height;
}

// Records what reaches the procedure.
struct Recorder : DialogProcedure {
    std::vector<std::pair<int, int>> commands;
    std::vector<int> focusLost;  // kept apart: whether it comes depends on the window's activation
    std::vector<std::pair<char, MouseEvent>> mouse;
    bool handleAll = false;

    bool onCommand(DialogHandle&, int id, int notification) override {
        if (notification == kNotifyFocusLost)
            focusLost.push_back(id);
        else
            commands.emplace_back(id, notification);
        return handleAll;
    }
    void onMouseDown(DialogHandle&, const MouseEvent& e) override { mouse.emplace_back('d', e); }
    void onMouseMove(DialogHandle&, const MouseEvent& e) override { mouse.emplace_back('m', e); }
    void onMouseUp(DialogHandle&, const MouseEvent& e) override { mouse.emplace_back('u', e); }
};

const char* const kRefusalText =
    "The filter cannot run because your paint program does not support enough of the "
    "Photoshop 3.0 plug-in standard.";

TEST(RefusalDialog, ShowsItsTextTitleAndButtonAndEndsWithTheButtonsId) {
    Watchdog watchdog;
    const DialogTemplate t = refusalTemplate();
    EXPECT_EQ(t.name, "REFUSAL2");
    DialogProcedure plain;
    bool shown = false;
    const int result = runScripted(t, plain, [&](DialogHandle& dialog) {
        shown = true;
        EXPECT_TRUE(isShownOnScreen(dialog));
        EXPECT_EQ(dialog.title(), "Plug-in error");
        EXPECT_EQ(dialog.controlIds(), std::vector<int>{2});
        EXPECT_EQ(dialog.controlText(2), "Cancel");

        // The text is on screen in full: one label carries it and its
        // wrapped height fits the rectangle the template gives it.
        const std::vector<ShownLabel> labels = shownLabels(dialog);
        ASSERT_EQ(labels.size(), 1u);
        const ShownLabel& label = labels.front();
        EXPECT_EQ(label.text, kRefusalText);
        EXPECT_TRUE(label.visible);
        EXPECT_TRUE(label.textFits);
        const Rect client = dialog.clientRect();
        EXPECT_TRUE(inside(client, label.rect));

        const Rect button = windowRectOf(dialog, 2);
        EXPECT_GT(button.width, 0);
        EXPECT_TRUE(isDefaultButton(dialog, 2));
        EXPECT_TRUE(inside(client, button));
        EXPECT_FALSE(overlaps(button, label.rect));

        // A real click on the button, through the window system's routing.
        clickControl(dialog, 2);
    });
    EXPECT_TRUE(shown);
    EXPECT_EQ(result, 2);
}

TEST(RefusalDialog, ClosingTheWindowEndsWithCancel) {
    Watchdog watchdog;
    DialogProcedure plain;
    // The window system's close request, as from the title bar.
    EXPECT_EQ(runScripted(refusalTemplate(), plain,
                          [](DialogHandle& dialog) { closeFromWindowSystem(dialog); }),
              kIdCancel);
    // Escape is the same cancel command.
    EXPECT_EQ(runScripted(refusalTemplate(), plain,
                          [](DialogHandle& dialog) { pressKey(dialog, Key::Escape); }),
              kIdCancel);
    // Enter presses the default button.
    EXPECT_EQ(runScripted(refusalTemplate(), plain,
                          [](DialogHandle& dialog) { pressKey(dialog, Key::Return); }),
              2);
}

const char* const kButtons =
    "dialog BUTTONS\nsize 200 100\n"
    "defpushbutton 1 \"&OK\" 10 70 50 14\n"
    "pushbutton 7 \"&Seven\" 70 70 50 14\n"
    "pushbutton 8 \"Off\" 130 70 50 14 disabled\n"
    "checkbox 9 \"Check\" 10 10 60 10\n";

TEST(Dialog, UnhandledButtonEndsWithItsIdAndHandledOnesKeepItOpen) {
    Watchdog watchdog;
    const DialogTemplate t = parseOrDie(kButtons);
    Recorder unhandled;
    EXPECT_EQ(runScripted(t, unhandled, [](DialogHandle& d) { EXPECT_TRUE(d.clickButton(7)); }), 7);
    EXPECT_EQ(unhandled.commands, (std::vector<std::pair<int, int>>{{7, kNotifyClicked}}));

    struct KeepOpen : Recorder {
        bool onCommand(DialogHandle& dialog, int id, int notification) override {
            Recorder::onCommand(dialog, id, notification);
            if (id == 1) dialog.endDialog(42);
            return true;
        }
    } keepOpen;
    EXPECT_EQ(runScripted(t, keepOpen,
                          [](DialogHandle& d) {
                              EXPECT_TRUE(d.clickButton(7));
                              EXPECT_FALSE(d.hasEnded());
                              // A check box toggles but never ends the dialog.
                              EXPECT_TRUE(d.clickButton(9));
                              EXPECT_TRUE(d.isChecked(9));
                              // A disabled button cannot be pressed.
                              EXPECT_FALSE(d.clickButton(8));
                              EXPECT_FALSE(d.clickButton(1234));
                              // A close request the procedure handles does not close.
                              d.requestClose();
                              EXPECT_FALSE(d.hasEnded());
                              EXPECT_TRUE(isShownOnScreen(d));
                              EXPECT_TRUE(d.clickButton(1));
                              // After the end nothing more reaches the procedure.
                              EXPECT_FALSE(d.clickButton(7));
                          }),
              42);
    EXPECT_EQ(keepOpen.commands, (std::vector<std::pair<int, int>>{{7, kNotifyClicked},
                                                                   {9, kNotifyClicked},
                                                                   {kIdCancel, kNotifyClicked},
                                                                   {1, kNotifyClicked}}));
}

TEST(Dialog, EndingDuringInitNeverShowsTheDialog) {
    Watchdog watchdog;
    struct EndAtInit : DialogProcedure {
        void onInit(DialogHandle& dialog) override {
            EXPECT_TRUE(dialog.setControlText(7, "Renamed"));
            EXPECT_EQ(dialog.controlText(7), "Renamed");
            dialog.endDialog(5);
        }
    } procedure;
    bool shown = false;
    EXPECT_EQ(runScripted(parseOrDie(kButtons), procedure, [&](DialogHandle&) { shown = true; }),
              5);
    EXPECT_FALSE(shown);
}

TEST(Dialog, TimersRepeatUntilKilledAndPostedCommandsComeLater) {
    Watchdog watchdog;
    struct Ticking : Recorder {
        int ticks = 0;
        void onInit(DialogHandle& dialog) override {
            EXPECT_TRUE(dialog.setTimer(3, 10));
            EXPECT_FALSE(dialog.killTimer(99));
            EXPECT_FALSE(dialog.setTimer(4, -1));
        }
        void onTimer(DialogHandle& dialog, int id) override {
            ASSERT_EQ(id, 3);
            if (++ticks < 3) return;
            EXPECT_TRUE(dialog.killTimer(3));  // from inside its own event
            EXPECT_FALSE(dialog.killTimer(3));
            dialog.postCommand(20, 0);
            commands.emplace_back(-100, 0);  // marks the moment of posting
        }
        bool onCommand(DialogHandle& dialog, int id, int notification) override {
            Recorder::onCommand(dialog, id, notification);
            if (id == 20) {
                // Posted, then ended at once: the second post is dropped.
                dialog.postCommand(21, 0);
                dialog.endDialog(20);
            }
            return true;
        }
    } procedure;
    EXPECT_EQ(runScripted(parseOrDie(kButtons), procedure, [](DialogHandle&) {}), 20);
    EXPECT_EQ(procedure.ticks, 3);
    EXPECT_EQ(procedure.commands, (std::vector<std::pair<int, int>>{{-100, 0}, {20, 0}}));
    // The dropped command must not surface in a later event loop either.
    processEvents(50);
    EXPECT_EQ(procedure.commands.size(), 2u);
}

const char* const kFields =
    "dialog FIELDS\nsize 200 100\n"
    "edit 30 \"12\" 10 10 40 12\n"
    "edit 31 \"7\" 10 30 40 12 number\n"
    "combobox 32 \"\" 60 10 90 100\n"
    "static 33 \"&Label && more\" 60 40 90 10 disabled\n"
    "defpushbutton 1 \"OK\" 10 70 50 14\n";

TEST(Dialog, EditFieldsReportEveryChangeOfText) {
    Watchdog watchdog;
    Recorder procedure;
    procedure.handleAll = true;
    runScripted(parseOrDie(kFields), procedure, [&](DialogHandle& d) {
        EXPECT_EQ(d.controlText(30), "12");
        EXPECT_TRUE(procedure.commands.empty()) << "the template's own text is no change";
        // Set from the program: the command arrives before the call returns.
        EXPECT_TRUE(d.setControlText(30, "50"));
        ASSERT_EQ(procedure.commands.size(), 1u);
        EXPECT_EQ(procedure.commands[0], std::make_pair(30, kNotifyTextChanged));
        // Typed by the user, one command per keystroke.
        typeText(d, 30, "3x");
        EXPECT_EQ(d.controlText(30), "503x");
        EXPECT_EQ(procedure.commands.size(), 3u);
        // A number field takes digits only from the keyboard.
        typeText(d, 31, "a9");
        EXPECT_EQ(d.controlText(31), "79");
        // Static text keeps its markers for the program and shows without them.
        EXPECT_EQ(d.controlText(33), "&Label && more");
        const auto label = [&] {
            for (const ShownLabel& shown : shownLabels(d))
                if (shown.rect.x == d.controlRect(33).x && shown.rect.y == d.controlRect(33).y)
                    return shown;
            return ShownLabel{};
        };
        EXPECT_EQ(label().text, "Label & more");
        EXPECT_FALSE(d.isControlEnabled(33));
        EXPECT_FALSE(label().enabled);
        EXPECT_TRUE(d.enableControl(33, true));
        EXPECT_TRUE(label().enabled);
        EXPECT_FALSE(d.enableControl(-1, true));
        d.endDialog(1);
    });
}

TEST(Dialog, ComboBoxesStartWithoutSelectionAndReportOnlyTheUsersChoice) {
    Watchdog watchdog;
    Recorder procedure;
    procedure.handleAll = true;
    runScripted(parseOrDie(kFields), procedure, [&](DialogHandle& d) {
        EXPECT_TRUE(d.addComboItem(32, "Simple"));
        EXPECT_TRUE(d.addComboItem(32, "Complex"));
        EXPECT_FALSE(d.addComboItem(30, "not a combo box"));
        EXPECT_EQ(d.comboCount(32), 2);
        EXPECT_EQ(d.comboSelection(32), -1);
        EXPECT_TRUE(d.setComboSelection(32, 0));
        EXPECT_FALSE(d.setComboSelection(32, 2));
        EXPECT_EQ(d.comboSelection(32), 0);
        EXPECT_TRUE(procedure.commands.empty());
        // The closed list is as high as a line of text, not the template's 100 units.
        EXPECT_LT(d.controlRect(32).height, d.dialogUnitsToPixels({0, 0, 1, 30}).height);
        EXPECT_EQ(windowRectOf(d, 32).height, d.controlRect(32).height);
        focusControl(d, 32);
        pressKey(d, Key::Down);
        EXPECT_EQ(d.comboSelection(32), 1);
        EXPECT_EQ(procedure.commands,
                  (std::vector<std::pair<int, int>>{{32, kNotifySelectionChanged}}));
        EXPECT_TRUE(d.setComboSelection(32, -1));
        EXPECT_EQ(d.comboSelection(32), -1);
        d.endDialog(1);
    });
}

const char* const kDrawn =
    "dialog DRAWN\nsize 200 100\n"
    "userdrawn 40 \"\" 10 10 40 40\n"
    "static -1 \"over the drawing\" 100 10 60 10\n"
    "defpushbutton 1 \"OK\" 140 80 50 14\n";

TEST(Dialog, MouseOverDrawnAreasAndLabelsReachesTheProcedure) {
    Watchdog watchdog;
    Recorder procedure;
    runScripted(parseOrDie(kDrawn), procedure, [&](DialogHandle& d) {
        const Rect area = d.controlRect(40);
        const Point inside{area.x + 5, area.y + 7};
        const Point further{inside.x + 3, inside.y};
        pressAt(d, inside, MouseButton::Left, kModifierShift);
        moveTo(d, further);
        releaseAt(d, further, MouseButton::Left);
        // Over a static text the dialog gets the press, in its own coordinates.
        const Rect labelUnits = d.dialogUnitsToPixels({110, 12, 0, 0});
        const Point overLabel{labelUnits.x, labelUnits.y};
        pressAt(d, overLabel, MouseButton::Right, kModifierControl);
        releaseAt(d, overLabel, MouseButton::Right, kModifierControl);
        d.endDialog(1);
    });
    std::vector<std::pair<char, MouseEvent>> presses;
    for (const auto& event : procedure.mouse)
        if (event.first != 'm') presses.push_back(event);
    ASSERT_EQ(presses.size(), 4u);
    EXPECT_EQ(presses[0].second.button, MouseButton::Left);
    EXPECT_EQ(presses[0].second.modifiers, kModifierShift);
    EXPECT_EQ(presses[1].first, 'u');
    EXPECT_EQ(presses[2].first, 'd');
    EXPECT_EQ(presses[2].second.button, MouseButton::Right);
    EXPECT_EQ(presses[2].second.modifiers, kModifierControl);
    bool movedWithinArea = false;
    for (const auto& [kind, event] : procedure.mouse)
        if (kind == 'm' && event.button == MouseButton::None) movedWithinArea = true;
    EXPECT_TRUE(movedWithinArea);
    // The press point is reported in client pixels.
    EXPECT_EQ(presses[0].second.point.x - presses[1].second.point.x, -3);
}

TEST(Dialog, PaintEventsDrawUnderTheControls) {
    Watchdog watchdog;
    struct Painter : DialogProcedure {
        Rgb color{200, 30, 40};
        int paints = 0;
        void onPaint(DialogHandle& dialog, DrawingSurface& surface, const Rect&) override {
            ++paints;
            const Rect area = dialog.controlRect(40);
            surface.fillRect(area, color);
            surface.frameRect(area, {0, 0, 0});
            surface.setPixel({area.x + 2, area.y + 2}, {0, 255, 0});
            surface.drawText(area, "Text", FontRequest{}, {255, 255, 255}, TextAlign::Center);
        }
    } procedure;
    runScripted(parseOrDie(kDrawn), procedure, [&](DialogHandle& d) {
        const Rect area = d.controlRect(40);
        const auto at = [&](int x, int y) { return pixelAt(d, {x, y}); };
        EXPECT_EQ(at(area.x + 3, area.y + 3), (Rgb{200, 30, 40}));
        EXPECT_EQ(at(area.x, area.y + 10), (Rgb{0, 0, 0}));  // frame
        EXPECT_EQ(at(area.x + area.width - 1, area.y + 10), (Rgb{0, 0, 0}));
        EXPECT_EQ(at(area.x + 2, area.y + 2), (Rgb{0, 255, 0}));               // pixel
        EXPECT_FALSE(at(area.x + area.width, area.y + 10) == (Rgb{0, 0, 0}));  // nothing outside
        // A redraw of the area paints it again with the new colour.
        procedure.color = {10, 20, 250};
        const int before = procedure.paints;
        d.redraw(area);
        EXPECT_EQ(at(area.x + 3, area.y + 3), (Rgb{10, 20, 250}));
        EXPECT_GT(procedure.paints, before);
        d.endDialog(1);
    });
}

TEST(Dialog, DialogUnitsUseTheSystemBaseUnitsOfTheTemplateFont) {
    Watchdog watchdog;
    DialogProcedure plain;
    runScripted(refusalTemplate(), plain, [&](DialogHandle& d) {
        const double dpi = screenDpi(d);
        if (dpi != 96.0) GTEST_SKIP() << "base units are checked at 96 dpi";
        // MS Sans Serif 8: 6 x 13 pixels per base unit; edges round half up.
        const Rect r = d.dialogUnitsToPixels({10, 10, 200, 26});
        EXPECT_EQ(r.x, 15);
        EXPECT_EQ(r.y, 16);  // 16.25
        EXPECT_EQ(r.width, 300);
        EXPECT_EQ(r.height, 43);  // bottom 36 units = 58.5 -> 59
        const Rect client = d.clientRect();
        EXPECT_EQ(client.width, 330);
        EXPECT_EQ(client.height, 111);
        EXPECT_EQ(d.dialogUnitsToPixels({-3, -3, 0, 0}).x, -5);  // -4.5 rounds away from zero
        d.endDialog(1);
    });
}

TEST(Dialog, DialogUnitsRoundLikeTheSystem) {
    EXPECT_EQ(mulDivRound(7, 3, 2), 11);
    EXPECT_EQ(mulDivRound(-7, 3, 2), -11);
    // Results past the int range saturate instead of wrapping.
    EXPECT_EQ(mulDivRound(1 << 30, 8, 4), INT32_MAX);
    EXPECT_EQ(mulDivRound(-(1 << 30), 8, 4), INT32_MIN);
}

TEST(Dialog, NestedDialogsTakeTheirOwnerAndForeignOwnersAreIgnored) {
    Watchdog watchdog;
    DialogProcedure plain;
    int inner = 0;
    void* innerOwner = nullptr;
    void* outerWindow = nullptr;
    const int outer = runScripted(
        parseOrDie(kButtons), plain,
        [&](DialogHandle& d) {
            outerWindow = d.nativeWindow();
            inner = runModalDialog(refusalTemplate(), plain, d.nativeWindow());
            d.endDialog(1);
        },
        3000, nullptr,
        [&](DialogHandle& nested) {
            innerOwner = ownerOf(nested);
            nested.clickButton(2);
        });
    EXPECT_EQ(outer, 1);
    EXPECT_EQ(inner, 2);
    EXPECT_EQ(innerOwner, outerWindow);

    // Something that is no window of ours is never dereferenced.
    int notAWindow = 0;
    void* owner = reinterpret_cast<void*>(1);
    EXPECT_EQ(runScripted(
                  refusalTemplate(), plain,
                  [&](DialogHandle& d) {
                      owner = ownerOf(d);
                      d.clickButton(2);
                  },
                  3000, &notAWindow),
              2);
    EXPECT_EQ(owner, nullptr);
}

}  // namespace
}  // namespace mirel::gui
