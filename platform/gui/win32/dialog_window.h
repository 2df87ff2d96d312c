// The Win32 window behind a template dialog: a dialog of the system's dialog
// manager (so Tab, Enter, Escape and the default button behave as users
// expect) whose controls this backend places itself in pixels from the
// template's dialog units, and whose messages become calls of the dialog
// procedure. The DialogHandle of dialog.h acts on it. Private to platform/gui.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui/dialog.h"
#include "platform/gui/dialog_units.h"

namespace mirel::gui {

// Messages of this backend to its own dialogs.
inline constexpr UINT kShownMessage = WM_APP + 0x2D1;    // on screen: call the shown hook
inline constexpr UINT kDestroyMessage = WM_APP + 0x2D2;  // a modeless dialog that ended goes

class DialogWindow {
  public:
    struct Control {
        ControlTemplate source;
        Rect pixels;          // client pixels
        HWND hwnd = nullptr;  // null for user-drawn areas
        bool enabled = true;
        std::string text;       // as set, '&' markers included (static and user-drawn)
        int value = 0;          // what setControlValue kept
        HICON image = nullptr;  // a button's picture, owned
    };

    DialogWindow(const DialogTemplate& dialogTemplate, DialogProcedure& procedure, HWND owner);
    ~DialogWindow();
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    // Makes the window and runs init, then the modal loop unless init ended
    // the dialog. kDialogFailed when the window cannot be made.
    int runModal();
    // Makes the window, runs init and shows it; false when it cannot be made
    // or init ended it. The window then owns `procedure` (the one it was made
    // with) and itself: both go when the window is destroyed.
    bool showModeless(std::unique_ptr<DialogProcedure> procedure);

    HWND hwnd() const { return hwnd_; }
    HWND owner() const { return owner_; }
    unsigned dpi() const { return dpi_; }
    DialogHandle& handle() { return handle_; }

    Control* findControl(int id);
    const Control* findControl(int id) const;
    const std::vector<Control>& controls() const { return controls_; }

    Rect toPixels(const Rect& dialogUnits) const;
    // Gives the keyboard focus to the enabled default push button, else to
    // the dialog itself.
    void focusDefaultButton();
    void dispatchCommand(int id, int notification);
    void end(int code);
    bool ended() const { return ended_; }
    bool setTimer(int id, int periodMs);
    bool killTimer(int id);
    void setCursor(const Cursor& cursor);
    void noteValueProperty(int id);

    // The live dialog of this layer behind a window (not yet ended), or null.
    static DialogWindow* liveDialog(HWND window);
    // Gives a message of the thread's loop to the dialog manager when it is
    // meant for one of this layer's dialogs (keyboard navigation, Enter,
    // Escape); true when it was taken.
    static bool routeDialogMessage(MSG& message);

  private:
    bool create();
    void layOut();
    void createControl(const ControlTemplate& source, bool startsGroup);
    Control* findControl(HWND hwnd);
    void announceShown();
    // Gives the owner its input back after a modal run.
    void releaseOwner();
    // Takes the window out of the live dialogs once it is destroyed.
    void forget();

    static INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void onCommandMessage(WPARAM wParam, LPARAM lParam);
    void onMouse(UINT message, WPARAM wParam, LPARAM lParam);
    void onPaintMessage();
    bool onDrawItemMessage(const DRAWITEMSTRUCT& item);
    INT_PTR onControlColor(HDC dc, HWND control);

    DialogTemplate template_;
    DialogProcedure& procedure_;
    DialogHandle handle_;
    HWND owner_ = nullptr;
    HWND hwnd_ = nullptr;
    unsigned dpi_ = 96;
    BaseUnits units_;
    HFONT font_ = nullptr;
    std::vector<Control> controls_;
    std::vector<int> valueProperties_;  // ids whose value is a window property
    std::map<int, bool> timers_;        // id -> running
    HCURSOR cursor_ = nullptr;
    // Cursors made from pictures, by picture, kept while the window lives.
    std::map<const Image*, HCURSOR> madeCursors_;
    bool ownerDisabled_ = false;  // disabled by this dialog's modal run
    bool controlsReady_ = false;
    bool ended_ = false;
    bool destroyed_ = false;
    int endCode_ = 0;
    int depth_ = 0;  // nesting of messages being handled
    // A modeless dialog's procedure; it goes with the window.
    std::unique_ptr<DialogProcedure> ownedProcedure_;
};

// The window property that mirrors a control's value (setControlValue), for
// tests and tools that see only the window: the value in the low 32 bits and
// bit 32 set, so that a value of 0 is told from no property.
std::wstring controlValueProperty(int id);
HANDLE controlValueHandle(int value);

}  // namespace mirel::gui
