// Modal dialogs made from templates and driven by one dialog procedure:
// events in (init, commands, mouse, timers, paint), a handle to act on the
// dialog and its controls by id, and the small message dialog. The interface
// names no window-system type; a backend (qt/) implements it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gui/dialog_template.h"
#include "platform/gui/drawing_surface.h"

namespace mirel::gui {

// Notification codes that come with a command, numbered as the window
// system the dialogs were designed for numbers them.
constexpr int kNotifyClicked = 0;           // a button was pressed (also Enter and Escape)
constexpr int kNotifySelectionChanged = 1;  // the user chose an entry of a combo box
constexpr int kNotifyFocusLost = 0x200;     // an edit field lost the keyboard focus
constexpr int kNotifyTextChanged = 0x300;   // an edit field's text changed, typed or set

// Command ids with a meaning of their own: Escape and the window's close
// box send kIdCancel; Enter presses the default push button.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

// What runModalDialog returns when the dialog could not be shown at all.
constexpr int kDialogFailed = -1;

enum class MouseButton { None, Left, Right, Middle };

enum KeyModifier : unsigned {
    kModifierShift = 1u << 0,
    kModifierControl = 1u << 1,
    kModifierAlt = 1u << 2,
};

// What the procedure paints for an owner-drawn button, and the button's state.
struct DrawItem {
    int id = 0;
    Rect rect;  // the button's rectangle, client pixels
    bool pressed = false;
    bool focused = false;
    bool enabled = true;
};

enum class CursorShape { Arrow, Wait, Cross, OpenHand, ClosedHand };

// A pointer shape: the picture with its hot spot when one is given and not
// empty, else the system's shape.
struct Cursor {
    CursorShape shape = CursorShape::Arrow;
    const Image* image = nullptr;
    Point hotSpot;
};

struct MouseEvent {
    MouseButton button = MouseButton::None;  // the button pressed or released; None on a move
    unsigned modifiers = 0;                  // KeyModifier bits held at the event
    Point point;                             // pixels in the dialog's client area
};

// The backend's window behind a dialog; defined by the backend.
class DialogWindow;

// What a dialog procedure may do to its dialog. Valid only during a call of
// the procedure (or of the shown hook); ids that name no control are
// ignored and the call returns false, as the system's calls fail on them.
class DialogHandle {
  public:
    explicit DialogHandle(DialogWindow& window) : window_(window) {}

    std::string title() const;
    // Ids of the addressable controls in template order.
    std::vector<int> controlIds() const;
    bool hasControl(int id) const;

    // The text of a static, button or edit control, '&' markers included;
    // an empty string for other controls and unknown ids.
    std::string controlText(int id) const;
    // Setting an edit field's text sends kNotifyTextChanged before returning.
    bool setControlText(int id, std::string_view text);

    bool enableControl(int id, bool enabled);
    bool isControlEnabled(int id) const;

    // Check boxes and radio buttons. Setting the state sends no command.
    bool isChecked(int id) const;
    bool setChecked(int id, bool checked);

    // Combo boxes. A combo box starts empty with no selection (-1); adding
    // entries or choosing one from here sends no command.
    bool addComboItem(int id, std::string_view text);
    bool clearCombo(int id);
    int comboCount(int id) const;
    int comboSelection(int id) const;           // -1 when nothing is chosen
    bool setComboSelection(int id, int index);  // -1 clears; false when out of range

    // A push button's picture in place of (or beside) its text; an empty
    // picture removes it. The picture is shown at the size that fits the
    // button, sharp on dense displays when it is large enough.
    bool setButtonImage(int id, const Image& image);

    // The whole-number value a control shows (a program-drawn slider's
    // position, say), kept with the control where tests and accessibility
    // tools can read it. Setting it draws nothing.
    bool setControlValue(int id, int value);
    int controlValue(int id) const;

    // The control's rectangle in client pixels; empty for an unknown id.
    Rect controlRect(int id) const;
    Rect clientRect() const;
    Rect dialogUnitsToPixels(const Rect& dialogUnits) const;

    // Asks for a paint event over this client rectangle (or all of it).
    void redraw(const Rect& pixels);
    void redrawAll();
    // Paints the whole window at once, without waiting for the event loop
    // and without handling any other event: for a window whose owner keeps
    // the loop busy (a progress window during a render).
    void repaintNow();

    // The pointer's shape over the dialog's own area until changed again.
    void setCursor(const Cursor& cursor);

    // Placement, in screen pixels: the window's outer rectangle, the client
    // area of its owner (the work area of the screen when it has none), and
    // the work area of the screen the window is on.
    Rect windowRect() const;
    Rect ownerClientRect() const;
    Rect screenWorkArea() const;
    // The width of one button of a window's caption.
    int captionButtonWidth() const;
    void moveWindow(Point topLeft);

    // Repeating timer: a timer event with this id every `periodMs`. Starting
    // an id that runs restarts it with the new period.
    bool setTimer(int id, int periodMs);
    bool killTimer(int id);

    // Queues a command that reaches the procedure after the current event,
    // unless the dialog has ended by then.
    void postCommand(int id, int notification);

    // Presses a button as the user would (the button's command is sent).
    bool clickButton(int id);
    // Closes the window as its close box does: a kIdCancel command.
    void requestClose();

    // Ends the modal loop; runModalDialog returns `code`. Later events are dropped.
    void endDialog(int code);
    bool hasEnded() const;

    // The backend's own window object (with Qt, the dialog's widget), to parent
    // nested dialogs or drive the window in tests.
    void* nativeWindow() const;

  private:
    DialogWindow& window_;
};

// The dialog's behaviour. Every method has a default that does nothing.
class DialogProcedure {
  public:
    virtual ~DialogProcedure() = default;

    // Before the dialog is shown; ending the dialog here means it never appears.
    virtual void onInit(DialogHandle& dialog);
    // Returns true when handled. An unhandled click of a push button (or the
    // cancel command) ends the dialog with the button's id.
    virtual bool onCommand(DialogHandle& dialog, int controlId, int notification);
    // Mouse over the dialog's own area: user-drawn controls, static texts and
    // the background. After a press the moves and the release come here even
    // outside the dialog until the button is let go.
    virtual void onMouseDown(DialogHandle& dialog, const MouseEvent& event);
    virtual void onMouseMove(DialogHandle& dialog, const MouseEvent& event);
    virtual void onMouseUp(DialogHandle& dialog, const MouseEvent& event);
    virtual void onTimer(DialogHandle& dialog, int timerId);
    // Paints over the dialog's background and under its system controls.
    virtual void onPaint(DialogHandle& dialog, DrawingSurface& surface, const Rect& dirty);
    // Paints an owner-drawn button, in client coordinates, clipped to it.
    virtual void onDrawItem(DialogHandle& dialog, DrawingSurface& surface, const DrawItem& item);
};

// Shows the dialog modally over `ownerWindow` (a window of this process as
// nativeWindow returns it, or null; anything else is treated as null) and
// returns the code passed to endDialog. Returns kDialogFailed without touching
// the window system when no display is configured, or when called from a
// thread other than the one the application runs on.
int runModalDialog(const DialogTemplate& dialogTemplate, DialogProcedure& procedure,
                   void* ownerWindow);

// Shows the dialog without a modal loop of its own over `ownerWindow` (as for
// runModalDialog) and returns once it is shown: it then lives on the events of
// whatever loop runs. The window owns `procedure`; both go away when the
// dialog ends or its owner window does. Returns the window as nativeWindow
// gives it, or null when it could not be shown (as for runModalDialog, or when
// init ended it).
void* showModelessDialog(const DialogTemplate& dialogTemplate,
                         std::unique_ptr<DialogProcedure> procedure, void* ownerWindow);

// Whether `window` is a dialog of this layer that is still on screen.
bool dialogWindowExists(void* window);
// Raises a dialog of this layer above the others; false when it no longer exists.
bool bringDialogToFront(void* window);
// Closes a dialog of this layer as its close box does (a kIdCancel command);
// nothing happens when it no longer exists.
void requestDialogClose(void* window);

// A modal message with one "OK" button (id kIdOk), sized to its text.
// Returns kIdOk, kIdCancel when closed otherwise, or kDialogFailed.
int messageDialog(std::string_view title, std::string_view text, void* ownerWindow = nullptr);

// Called with every dialog once it is on screen, from the dialog's event loop.
// Tests install it to read and drive dialogs; an empty function removes it.
using DialogShownHook = std::function<void(DialogHandle&)>;
void setDialogShownHook(DialogShownHook hook);
// The hook now installed, as a copy (a hook may replace itself); backends
// call it once a dialog is on screen.
DialogShownHook currentDialogShownHook();

}  // namespace mirel::gui
