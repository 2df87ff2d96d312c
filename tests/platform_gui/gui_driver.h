// Driving dialogs of the window-system layer from tests as a person would,
// whichever backend is built: pointer presses, moves and releases at client
// points, keys, typing, the window system's close request, and reading back
// what the window shows. Each backend's test build supplies one
// implementation (qt_gui_driver.cpp on Qt's offscreen platform,
// win32_gui_driver.cpp on Win32 under Wine), so the same test sources check
// both.
//
// The primitives take the dialog's window as nativeWindow gives it, so that a
// test can also drive a dialog of another copy of the layer (the plug-in's,
// loaded by a host) that it knows only by its window; controls with a window
// of their own are found by their place. The DialogHandle helpers below are
// for the layer's own dialogs.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gui/dialog.h"
#include "platform/gui/dialog_units.h"

namespace mirel::gui::testing {

enum class Key { Escape, Return, Down, Up, End, Tab, Delete };

// ---- Primitives on a window -------------------------------------------------

// Makes the window system ready for the test's own use (with Qt, the
// application, which a plug-in loaded later then uses too).
void ensureWindowSystem();
// The visible dialog window of this program with this title, or null.
void* shownDialogTitled(std::string_view title);

// Pointer input at a point of the window's client area, routed by the window
// system as real input is: to the control under the pointer, or past a label
// to the dialog, or to the window that holds the mouse capture.
void pressAt(void* window, Point at, MouseButton button = MouseButton::Left,
             unsigned modifiers = 0);
void moveTo(void* window, Point to, unsigned modifiers = 0);
void releaseAt(void* window, Point at, MouseButton button = MouseButton::Left,
               unsigned modifiers = 0);
// A key pressed and released where the window's keyboard focus is.
void pressKey(void* window, Key key);
// The window system's request to close the window (its close box).
void closeFromWindowSystem(void* window);
// Lets the event loop run for `milliseconds` (timers, posted commands, paints).
void processEvents(int milliseconds = 0);
// Calls `attempt` from the event loop every few milliseconds until it
// returns true (it runs inside whatever modal loop is running then).
void retryFromEventLoop(std::function<bool()> attempt);

// The window of a control (one with a window of its own) at `rect` of the
// dialog's client area, or null.
void* controlWindowAt(void* window, const Rect& rect);
// Gives a control the keyboard focus, as Tab would.
void focusControlWindow(void* window, void* control);
bool hasKeyboardFocus(void* window, void* control);
// Typed key by key into a control that has the focus. With `replace` what it
// holds is replaced, else the text goes to its end.
void typeIntoControl(void* window, void* control, std::string_view text, bool replace);
// Text of an edit field or button; a combo box's entries and choice.
std::string textOfControl(void* control);
bool isControlWindowEnabled(void* control);
int comboCountOf(void* control);
int comboSelectionOf(void* control);
std::string comboEntryOf(void* control, int index);

std::string titleOf(void* window);
bool isShownOnScreen(void* window);
// The value of a control that its window carries (setControlValue); nullopt
// when it carries none.
std::optional<int> controlValueOf(void* window, int id);
// The window's client area as it is on screen, after pending paints.
Image grabClientArea(void* window);
// Resolution of the window's screen in dots per inch, as the layer lays out with it.
double screenDpi(void* window);
// The base units a template's controls are placed with on this window.
BaseUnits templateBaseUnits(void* window, const DialogTemplate& dialogTemplate);
// The window this dialog is owned by, or null.
void* ownerOf(void* window);
// The pointer's shape over the window's own area: the system's arrow, or a
// picture with its hot spot in client pixels.
struct ShownCursor {
    bool systemArrow = true;
    Point hotSpot;
};
ShownCursor cursorOf(void* window);

// Answers the next colour dialog that opens with `color` (cancels it when empty).
void answerNextColorDialog(std::optional<Rgb> color);

// ---- Windows beside a dialog ---------------------------------------------------

// The visible top-level windows of this program with this title: modeless
// ones, and ones of another copy of the layer, included.
std::vector<void*> windowsTitled(std::string_view title);
// The window's frame on the screen (title bar and borders included), and the
// part of its screen that windows may take, in screen pixels.
Rect frameOnScreen(void* window);
Rect workAreaOf(void* window);
// Moves the window's frame to `topLeft` on the screen, as dragging its title
// bar there would; the frame may go partly off the screen.
void moveWindowTo(void* window, Point topLeft);

enum class ControlKind { PushButton, RadioButton, CheckBox, EditField, Label, ComboBox, Other };
// A control with a window of its own, as the window shows it.
struct ShownControl {
    void* window = nullptr;
    ControlKind kind = ControlKind::Other;
    std::string text;  // as the template gives it, access markers ('&') kept
    Rect rect;         // in client pixels of the window it is in
};
// The controls directly in `window`, in the order its template lists them.
std::vector<ShownControl> controlsOf(void* window);
// The first control of this kind whose text begins with `text`, or null.
inline const ShownControl* findControl(const std::vector<ShownControl>& controls, ControlKind kind,
                                       std::string_view text) {
    for (const ShownControl& control : controls)
        if (control.kind == kind && std::string_view(control.text).substr(0, text.size()) == text)
            return &control;
    return nullptr;
}
// Whether a radio button or check box shows its check.
bool isControlChecked(void* control);
// A press and release of the left button in the middle of a control of `window`.
inline void clickControlWindow(void* window, const ShownControl& control) {
    const Point middle{control.rect.x + control.rect.width / 2,
                       control.rect.y + control.rect.height / 2};
    pressAt(window, middle);
    releaseAt(window, middle);
}

// ---- The layer's own dialogs ---------------------------------------------------

// The labels (static texts) the window shows, in template order: each with
// its text as it appears (access markers taken out), its rectangle in client
// pixels and whether its text, wrapped to its width, fits its height.
struct ShownLabel {
    std::string text;
    Rect rect;
    bool visible = false;
    bool textFits = false;
    bool enabled = false;
};
std::vector<ShownLabel> shownLabels(DialogHandle& dialog);
// The rectangle of a control's own window in client pixels (a combo box's
// closed height); empty when the control has no window.
Rect windowRectOf(DialogHandle& dialog, int id);
bool isDefaultButton(DialogHandle& dialog, int id);
// Ends the dialog with `code` after `milliseconds` of its event loop, unless
// it has ended by then.
void endDialogLater(DialogHandle& dialog, int milliseconds, int code);

inline void pressAt(DialogHandle& dialog, Point at, MouseButton button = MouseButton::Left,
                    unsigned modifiers = 0) {
    pressAt(dialog.nativeWindow(), at, button, modifiers);
}
inline void moveTo(DialogHandle& dialog, Point to, unsigned modifiers = 0) {
    moveTo(dialog.nativeWindow(), to, modifiers);
}
inline void releaseAt(DialogHandle& dialog, Point at, MouseButton button = MouseButton::Left,
                      unsigned modifiers = 0) {
    releaseAt(dialog.nativeWindow(), at, button, modifiers);
}
// A press and release in the middle of a control.
inline void clickControl(DialogHandle& dialog, int id) {
    const Rect r = dialog.controlRect(id);
    const Point middle{r.x + r.width / 2, r.y + r.height / 2};
    pressAt(dialog, middle);
    releaseAt(dialog, middle);
}
inline void focusControl(DialogHandle& dialog, int id) {
    focusControlWindow(dialog.nativeWindow(),
                       controlWindowAt(dialog.nativeWindow(), dialog.controlRect(id)));
}
inline void pressKey(DialogHandle& dialog, Key key) {
    pressKey(dialog.nativeWindow(), key);
}
// Typed key by key into a control (it gets the focus first); the text goes
// after what the field holds.
inline void typeText(DialogHandle& dialog, int id, std::string_view text) {
    void* control = controlWindowAt(dialog.nativeWindow(), dialog.controlRect(id));
    if (!control) return;
    focusControlWindow(dialog.nativeWindow(), control);
    typeIntoControl(dialog.nativeWindow(), control, text, false);
}
inline void closeFromWindowSystem(DialogHandle& dialog) {
    closeFromWindowSystem(dialog.nativeWindow());
}
inline bool isShownOnScreen(DialogHandle& dialog) {
    return isShownOnScreen(dialog.nativeWindow());
}
inline void* ownerOf(DialogHandle& dialog) {
    return ownerOf(dialog.nativeWindow());
}
inline double screenDpi(DialogHandle& dialog) {
    return screenDpi(dialog.nativeWindow());
}
// A pixel of the client area as it is on screen.
inline Rgb pixelAt(DialogHandle& dialog, Point at) {
    const Image image = grabClientArea(dialog.nativeWindow());
    if (at.x < 0 || at.y < 0 || at.x >= image.width || at.y >= image.height) return {};
    const std::uint8_t* p = &image.rgba[(std::size_t(at.y) * image.width + at.x) * 4];
    return {p[0], p[1], p[2]};
}

}  // namespace mirel::gui::testing
