// What the Win32 backend's files share: the module the windows belong to, the
// DPI awareness the dialogs are made with, the fonts that stand in for the
// templates' fonts and the base units they give, owners passed in from
// outside, and COM for the imaging component. Private to platform/gui.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/gui/dialog_template.h"
#include "platform/gui/dialog_units.h"

namespace mirel::gui::win32 {

// The screen resolution the templates and the program's drawing were designed at.
constexpr unsigned kDesignDpi = 96;

// The library or program this code is linked into: its windows and its
// in-memory templates belong to it, not to the host's executable.
HINSTANCE moduleInstance();

// While alive, windows this thread makes are per-monitor DPI aware (version 2
// where the system has it): client pixels are device pixels and the dialog
// is laid out at the scale of its monitor. The thread's previous awareness
// comes back at the end, so the host's own windows are left as they were.
// Does nothing on systems without per-thread awareness.
class DpiAwareScope {
  public:
    DpiAwareScope();
    ~DpiAwareScope();
    DpiAwareScope(const DpiAwareScope&) = delete;
    DpiAwareScope& operator=(const DpiAwareScope&) = delete;

  private:
    void* previous_ = nullptr;
};

// The resolution a window is drawn at (96 on a monitor at 100 %).
unsigned windowDpi(HWND window);
// Stops the system from re-laying out a dialog whose controls this backend
// places itself when it moves to a monitor of another scale.
void keepDialogLayout(HWND dialog);

// The face a template's font name stands for. "MS Sans Serif" and the
// "MS Shell Dlg" aliases become the system's TrueType Microsoft Sans Serif,
// which has the old bitmap font's metrics and stays sharp at any scale;
// other names are asked for as they are.
std::wstring fontFace(std::string_view name);
// A font `pixels` high (the character height, as a negative LOGFONT height
// gives it); the caller deletes it.
HFONT createFont(std::string_view name, int pixels, bool bold = false);
// The font of a template at `dpi`.
HFONT createTemplateFont(std::string_view name, int points, unsigned dpi);

// Base units of a template font at `dpi`: MS Sans Serif 8 keeps the system's
// own 6 x 13 scaled with the resolution, as the Qt backend does, so layouts
// come out as designed; other fonts are measured the way the system measures
// them (the average width of the letters, the height of a line).
BaseUnits baseUnitsFor(std::string_view fontName, int points, unsigned dpi, HFONT font);

// A window handed in from outside (a host's window, or a dialog of ours as
// nativeWindow gives it): its top-level window when it is a live window of
// this process, else null. Anything else is never used as a window.
HWND resolveOwner(void* window);

// The work area of the monitor a window is on (the primary one for null).
RECT monitorWorkArea(HWND window);

Rect toRect(const RECT& r);
RECT toRECT(const Rect& r);
std::wstring wide(std::string_view utf8);
std::string utf8(std::wstring_view text);

// COM on this thread for as long as the scope lives: joined when the thread
// already has it in any model, started apartment-threaded otherwise (and
// then ended again).
class ComScope {
  public:
    ComScope();
    ~ComScope();
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool ready() const { return ready_; }

  private:
    bool ready_ = false;
    bool mustEnd_ = false;
};

}  // namespace mirel::gui::win32
