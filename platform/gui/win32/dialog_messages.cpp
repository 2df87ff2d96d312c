// The messages of a template dialog's window, turned into calls of the dialog
// procedure: commands, the mouse, timers, painting (off screen), owner-drawn
// buttons and the backgrounds of texts.
#include <windowsx.h>

#include "platform/gui/win32/dialog_window.h"
#include "platform/gui/win32/gdi_surface.h"
#include "platform/gui/win32/win32_runtime.h"

namespace mirel::gui {

using namespace win32;

namespace {

bool isButtonClass(ControlClass c) {
    return c == ControlClass::PushButton || c == ControlClass::DefaultPushButton ||
           c == ControlClass::CheckBox || c == ControlClass::RadioButton ||
           c == ControlClass::OwnerDrawnButton;
}

unsigned modifiersOf(WPARAM keys) {
    unsigned held = 0;
    if (keys & MK_SHIFT) held |= kModifierShift;
    if (keys & MK_CONTROL) held |= kModifierControl;
    if (::GetKeyState(VK_MENU) < 0) held |= kModifierAlt;
    return held;
}

}  // namespace

// ---- Messages -----------------------------------------------------------------

INT_PTR CALLBACK DialogWindow::dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<DialogWindow*>(lParam);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->hwnd_ = hwnd;
        return FALSE;  // focus is given once the controls exist
    }
    auto* self = reinterpret_cast<DialogWindow*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self) return FALSE;
    ++self->depth_;
    const INT_PTR result = self->handleMessage(message, wParam, lParam);
    // A modeless window deletes itself once its window is gone and no
    // handler of its own is still running.
    if (--self->depth_ == 0 && self->destroyed_ && self->ownedProcedure_) delete self;
    return result;
}

INT_PTR DialogWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            onCommandMessage(wParam, lParam);
            return TRUE;
        case WM_CLOSE:
            // The close box: the same cancel command as Escape.
            dispatchCommand(kIdCancel, kNotifyClicked);
            return TRUE;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDBLCLK:
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
        case WM_MOUSEMOVE:
            onMouse(message, wParam, lParam);
            return TRUE;
        case WM_TIMER: {
            const auto found = timers_.find(int(wParam));
            if (!ended_ && found != timers_.end() && found->second)
                procedure_.onTimer(handle_, int(wParam));
            return TRUE;
        }
        case WM_ERASEBKGND:
            // The paint message paints everything, off screen.
            ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, 1);
            return TRUE;
        case WM_PAINT:
            onPaintMessage();
            return TRUE;
        case WM_DRAWITEM:
            return onDrawItemMessage(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)) ? TRUE
                                                                                       : FALSE;
        case WM_CTLCOLORSTATIC:
            return onControlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_SETCURSOR:
            if (reinterpret_cast<HWND>(wParam) == hwnd_ && LOWORD(lParam) == HTCLIENT) {
                ::SetCursor(cursor_ ? cursor_ : ::LoadCursorW(nullptr, IDC_ARROW));
                ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        case kShownMessage: {
            const DialogShownHook hook = currentDialogShownHook();
            if (hook && !ended_) hook(handle_);
            return TRUE;
        }
        case kDestroyMessage:
            if (hwnd_) ::DestroyWindow(hwnd_);
            return TRUE;
        case WM_DESTROY:
            // Taken away without an end (its owner went): that counts as cancel.
            if (!ended_) {
                ended_ = true;
                endCode_ = kIdCancel;
            }
            return FALSE;
        case WM_NCDESTROY: {
            // Properties go before the window does.
            for (int id : valueProperties_) ::RemovePropW(hwnd_, controlValueProperty(id).c_str());
            forget();
            ::SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
            hwnd_ = nullptr;
            destroyed_ = true;
            return FALSE;
        }
        default:
            return FALSE;
    }
}

void DialogWindow::onCommandMessage(WPARAM wParam, LPARAM lParam) {
    if (!controlsReady_) return;  // the template's own texts are no change
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    HWND from = reinterpret_cast<HWND>(lParam);
    const Control* control = findControl(from);
    if (!from || !control) {
        // Posted commands, and Enter and Escape from the dialog manager.
        dispatchCommand(id, code);
        return;
    }
    const ControlClass kind = control->source.controlClass;
    // Only the notifications the layer speaks of reach the procedure.
    const bool wanted =
        (isButtonClass(kind) && code == BN_CLICKED) ||
        (kind == ControlClass::Edit && (code == EN_CHANGE || code == EN_KILLFOCUS)) ||
        (kind == ControlClass::ComboBox && code == CBN_SELCHANGE);
    if (wanted) {
        dispatchCommand(control->source.id, code);
    } else if (code == 0 && (id == IDOK || id == IDCANCEL)) {
        // Enter or Escape, named after a control that is no button (a static
        // text with id 2, say): still the keyboard's command.
        dispatchCommand(id, kNotifyClicked);
    }
}

void DialogWindow::onMouse(UINT message, WPARAM wParam, LPARAM lParam) {
    if (ended_) return;
    MouseEvent event;
    event.modifiers = modifiersOf(wParam);
    event.point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_LBUTTONUP:
            event.button = MouseButton::Left;
            break;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK:
        case WM_RBUTTONUP:
            event.button = MouseButton::Right;
            break;
        case WM_MBUTTONDOWN:
        case WM_MBUTTONDBLCLK:
        case WM_MBUTTONUP:
            event.button = MouseButton::Middle;
            break;
        default:
            break;
    }
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDBLCLK:
            // After a press the moves and the release come here even outside
            // the dialog, until every button is let go.
            ::SetCapture(hwnd_);
            procedure_.onMouseDown(handle_, event);
            break;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
            if (!(wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) && ::GetCapture() == hwnd_)
                ::ReleaseCapture();
            procedure_.onMouseUp(handle_, event);
            break;
        default:
            procedure_.onMouseMove(handle_, event);
            break;
    }
}

void DialogWindow::onPaintMessage() {
    PAINTSTRUCT paint{};
    HDC dc = ::BeginPaint(hwnd_, &paint);
    if (!dc) return;
    {
        BufferedPaint buffer(dc, paint.rcPaint);
        ::FillRect(buffer.dc(), &paint.rcPaint, ::GetSysColorBrush(COLOR_3DFACE));
        GdiSurface surface(buffer.dc());
        procedure_.onPaint(handle_, surface, toRect(paint.rcPaint));
    }
    ::EndPaint(hwnd_, &paint);
}

bool DialogWindow::onDrawItemMessage(const DRAWITEMSTRUCT& item) {
    const Control* control = findControl(item.hwndItem);
    if (!control || control->source.controlClass != ControlClass::OwnerDrawnButton) return false;
    DrawItem drawn;
    drawn.id = control->source.id;
    drawn.rect = control->pixels;
    drawn.pressed = item.itemState & ODS_SELECTED;
    drawn.focused = item.itemState & ODS_FOCUS;
    drawn.enabled = !(item.itemState & ODS_DISABLED);
    // The procedure paints in client coordinates, as everywhere else; the
    // buffer is the button, so the painting is clipped to it.
    const RECT area = toRECT(control->pixels);
    BufferedPaint buffer(item.hDC, area, {item.rcItem.left, item.rcItem.top});
    ::FillRect(buffer.dc(), &area, ::GetSysColorBrush(COLOR_3DFACE));
    GdiSurface surface(buffer.dc());
    procedure_.onDrawItem(handle_, surface, drawn);
    return true;
}

INT_PTR DialogWindow::onControlColor(HDC dc, HWND child) {
    const Control* control = findControl(child);
    if (!control) return FALSE;
    const ControlClass kind = control->source.controlClass;
    // Read-only edit fields ask here too; they keep their own background.
    if (kind != ControlClass::StaticText && kind != ControlClass::CheckBox &&
        kind != ControlClass::RadioButton)
        return FALSE;
    // Texts show the dialog's own painting through them: what the procedure
    // paints under the control is painted into it first, then the control
    // draws its text over it without a background.
    RECT area{};
    ::GetClientRect(child, &area);
    ::MapWindowPoints(child, hwnd_, reinterpret_cast<POINT*>(&area), 2);
    const int saved = ::SaveDC(dc);
    POINT origin{};
    ::GetViewportOrgEx(dc, &origin);
    ::SetViewportOrgEx(dc, origin.x - area.left, origin.y - area.top, nullptr);
    ::FillRect(dc, &area, ::GetSysColorBrush(COLOR_3DFACE));
    {
        GdiSurface surface(dc);
        procedure_.onPaint(handle_, surface, toRect(area));
    }
    ::RestoreDC(dc, saved);
    ::SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(::GetStockObject(NULL_BRUSH));
}

}  // namespace mirel::gui
