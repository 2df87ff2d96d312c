// The Win32 backend of dialog.h: running template dialogs and the handle a
// dialog procedure acts through, on the system's controls.
#include <windows.h>

#include <algorithm>
#include <memory>

#include "platform/gui/dialog.h"
#include "platform/gui/win32/dialog_window.h"
#include "platform/gui/win32/image_scale.h"
#include "platform/gui/win32/win32_runtime.h"

namespace mirel::gui {

using namespace win32;

namespace {

using Control = DialogWindow::Control;

bool isCheckable(const Control& control) {
    return control.source.controlClass == ControlClass::CheckBox ||
           control.source.controlClass == ControlClass::RadioButton;
}

bool isButton(const Control& control) {
    switch (control.source.controlClass) {
        case ControlClass::PushButton:
        case ControlClass::DefaultPushButton:
        case ControlClass::CheckBox:
        case ControlClass::RadioButton:
        case ControlClass::OwnerDrawnButton:
            return true;
        default:
            return false;
    }
}

HWND comboOf(const DialogWindow& window, int id) {
    const Control* control = window.findControl(id);
    return control && control->source.controlClass == ControlClass::ComboBox ? control->hwnd
                                                                             : nullptr;
}

std::string windowText(HWND hwnd) {
    const int length = ::GetWindowTextLengthW(hwnd);
    std::wstring text(std::size_t(std::max(0, length)) + 1, L'\0');
    const int copied = ::GetWindowTextW(hwnd, text.data(), int(text.size()));
    text.resize(std::size_t(std::max(0, copied)));
    return utf8(text);
}

}  // namespace

// ---- DialogHandle -----------------------------------------------------------

std::string DialogHandle::title() const {
    return window_.hwnd() ? windowText(window_.hwnd()) : std::string();
}

std::vector<int> DialogHandle::controlIds() const {
    std::vector<int> ids;
    for (const Control& control : window_.controls())
        if (control.source.id != kUnaddressedId) ids.push_back(control.source.id);
    return ids;
}

bool DialogHandle::hasControl(int id) const {
    return window_.findControl(id) != nullptr;
}

std::string DialogHandle::controlText(int id) const {
    const Control* control = window_.findControl(id);
    if (!control) return {};
    switch (control->source.controlClass) {
        case ControlClass::StaticText:
        case ControlClass::UserDrawn:
            return control->text;
        case ControlClass::ComboBox:
            return {};
        default:
            return control->hwnd ? windowText(control->hwnd) : std::string();
    }
}

bool DialogHandle::setControlText(int id, std::string_view text) {
    Control* control = window_.findControl(id);
    if (!control) return false;
    switch (control->source.controlClass) {
        case ControlClass::ComboBox:
            return false;
        case ControlClass::UserDrawn:
            control->text = std::string(text);
            return true;
        case ControlClass::StaticText:
            control->text = std::string(text);
            break;
        default:
            break;
    }
    // An edit field sends its change notification before this returns.
    return control->hwnd && ::SetWindowTextW(control->hwnd, wide(text).c_str());
}

bool DialogHandle::enableControl(int id, bool enabled) {
    Control* control = window_.findControl(id);
    if (!control) return false;
    control->enabled = enabled;
    if (!control->hwnd) return true;
    const bool hadFocus = !enabled && ::GetFocus() == control->hwnd;
    ::EnableWindow(control->hwnd, enabled);
    // A disabled control keeps no focus; Enter means the default button, so
    // the focus goes there rather than to whatever button comes next.
    if (hadFocus) window_.focusDefaultButton();
    return true;
}

bool DialogHandle::isControlEnabled(int id) const {
    const Control* control = window_.findControl(id);
    return control && control->enabled;
}

bool DialogHandle::isChecked(int id) const {
    const Control* control = window_.findControl(id);
    if (!control || !isCheckable(*control) || !control->hwnd) return false;
    return ::SendMessageW(control->hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool DialogHandle::setChecked(int id, bool checked) {
    const Control* control = window_.findControl(id);
    if (!control || !isCheckable(*control) || !control->hwnd) return false;
    // BM_SETCHECK sends no command. A radio button checked from here clears
    // the others of its group, as a click would.
    if (checked && control->source.controlClass == ControlClass::RadioButton) {
        HWND dialog = window_.hwnd();
        for (HWND at = ::GetNextDlgGroupItem(dialog, control->hwnd, FALSE);
             at && at != control->hwnd; at = ::GetNextDlgGroupItem(dialog, at, FALSE))
            if ((::GetWindowLongPtrW(at, GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
                ::SendMessageW(at, BM_SETCHECK, BST_UNCHECKED, 0);
    }
    ::SendMessageW(control->hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    return true;
}

bool DialogHandle::addComboItem(int id, std::string_view text) {
    HWND combo = comboOf(window_, id);
    if (!combo) return false;
    // The system leaves the box without a selection until one is chosen.
    const LRESULT index =
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(text).c_str()));
    return index != CB_ERR && index != CB_ERRSPACE;
}

bool DialogHandle::clearCombo(int id) {
    HWND combo = comboOf(window_, id);
    if (!combo) return false;
    ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    return true;
}

int DialogHandle::comboCount(int id) const {
    HWND combo = comboOf(window_, id);
    return combo ? int(::SendMessageW(combo, CB_GETCOUNT, 0, 0)) : 0;
}

int DialogHandle::comboSelection(int id) const {
    HWND combo = comboOf(window_, id);
    if (!combo) return -1;
    const LRESULT selected = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
    return selected == CB_ERR ? -1 : int(selected);
}

bool DialogHandle::setComboSelection(int id, int index) {
    HWND combo = comboOf(window_, id);
    if (!combo || index < -1 || index >= comboCount(id)) return false;
    ::SendMessageW(combo, CB_SETCURSEL, WPARAM(index), 0);
    return true;
}

bool DialogHandle::setButtonImage(int id, const Image& image) {
    Control* control = window_.findControl(id);
    if (!control || !control->hwnd || !isButton(*control) ||
        control->source.controlClass == ControlClass::OwnerDrawnButton)
        return false;
    HICON icon = nullptr;
    if (!image.empty()) {
        // Shown at the size it was drawn for at this monitor's scale, shrunk
        // when the button is smaller (less a margin of 2 pixels a side). The
        // picture is resampled to device pixels, so a dense picture stays
        // sharp on a dense display.
        const double density = image.density > 0 ? image.density : 1.0;
        const double scale = double(window_.dpi()) / kDesignDpi;
        double width = image.width / density * scale;
        double height = image.height / density * scale;
        const Rect r = control->pixels;
        const double roomWidth = std::max(1, r.width - 4);
        const double roomHeight = std::max(1, r.height - 4);
        if (width > roomWidth || height > roomHeight) {
            const double fit = std::min(roomWidth / width, roomHeight / height);
            width *= fit;
            height *= fit;
        }
        icon = createIconFrom(
            resampled(image, std::max(1, int(width + 0.5)), std::max(1, int(height + 0.5))), false);
        if (!icon) return false;
    }
    LONG_PTR style = ::GetWindowLongPtrW(control->hwnd, GWL_STYLE);
    style = icon ? (style | BS_ICON) : (style & ~LONG_PTR(BS_ICON));
    ::SetWindowLongPtrW(control->hwnd, GWL_STYLE, style);
    ::SendMessageW(control->hwnd, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
    if (control->image) ::DestroyIcon(control->image);
    control->image = icon;
    ::InvalidateRect(control->hwnd, nullptr, TRUE);
    return true;
}

bool DialogHandle::setControlValue(int id, int value) {
    Control* control = window_.findControl(id);
    if (!control) return false;
    control->value = value;
    // Also a property of the dialog's window, where tests and accessibility
    // tools that see only windows read it.
    if (window_.hwnd()) {
        ::SetPropW(window_.hwnd(), controlValueProperty(id).c_str(), controlValueHandle(value));
        window_.noteValueProperty(id);
    }
    return true;
}

int DialogHandle::controlValue(int id) const {
    const Control* control = window_.findControl(id);
    return control ? control->value : 0;
}

void DialogHandle::setCursor(const Cursor& cursor) {
    window_.setCursor(cursor);
}

Rect DialogHandle::windowRect() const {
    RECT r{};
    if (window_.hwnd()) ::GetWindowRect(window_.hwnd(), &r);
    return toRect(r);
}

Rect DialogHandle::ownerClientRect() const {
    if (HWND owner = window_.owner(); owner && ::IsWindow(owner)) {
        RECT r{};
        ::GetClientRect(owner, &r);
        ::MapWindowPoints(owner, nullptr, reinterpret_cast<POINT*>(&r), 2);
        return toRect(r);
    }
    return screenWorkArea();
}

Rect DialogHandle::screenWorkArea() const {
    return toRect(monitorWorkArea(window_.hwnd()));
}

int DialogHandle::captionButtonWidth() const {
    using MetricsForDpiFn = int(WINAPI*)(int, UINT);
    static const auto metricsForDpi = reinterpret_cast<MetricsForDpiFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi")));
    return metricsForDpi ? metricsForDpi(SM_CXSIZE, window_.dpi()) : ::GetSystemMetrics(SM_CXSIZE);
}

void DialogHandle::moveWindow(Point topLeft) {
    if (window_.hwnd())
        ::SetWindowPos(window_.hwnd(), nullptr, topLeft.x, topLeft.y, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

Rect DialogHandle::controlRect(int id) const {
    const Control* control = window_.findControl(id);
    return control ? control->pixels : Rect{};
}

Rect DialogHandle::clientRect() const {
    RECT r{};
    if (window_.hwnd()) ::GetClientRect(window_.hwnd(), &r);
    return toRect(r);
}

Rect DialogHandle::dialogUnitsToPixels(const Rect& dialogUnits) const {
    return window_.toPixels(dialogUnits);
}

void DialogHandle::redraw(const Rect& pixels) {
    if (pixels.width <= 0 || pixels.height <= 0 || !window_.hwnd()) return;
    const RECT r = toRECT(pixels);
    // Controls inside the rectangle are drawn again too (an owner-drawn
    // swatch whose colour changed, say).
    ::RedrawWindow(window_.hwnd(), &r, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void DialogHandle::redrawAll() {
    if (window_.hwnd())
        ::RedrawWindow(window_.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void DialogHandle::repaintNow() {
    if (!window_.hwnd()) return;
    ::RedrawWindow(window_.hwnd(), nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    // What was painted goes to the screen now, not when the busy loop next
    // looks at its messages (Wine shows a window's drawing only then otherwise).
    ::GdiFlush();
}

bool DialogHandle::setTimer(int id, int periodMs) {
    return window_.setTimer(id, periodMs);
}

bool DialogHandle::killTimer(int id) {
    return window_.killTimer(id);
}

void DialogHandle::postCommand(int id, int notification) {
    // Dropped by the system when the window is gone by then, and by the
    // window when the dialog has ended.
    if (window_.hwnd() && !window_.ended())
        ::PostMessageW(window_.hwnd(), WM_COMMAND,
                       MAKEWPARAM(WORD(id & 0xFFFF), WORD(notification & 0xFFFF)), 0);
}

bool DialogHandle::clickButton(int id) {
    const Control* control = window_.findControl(id);
    if (!control || !control->hwnd || !isButton(*control) || window_.ended() ||
        !::IsWindowEnabled(control->hwnd))
        return false;
    ::SendMessageW(control->hwnd, BM_CLICK, 0, 0);
    return true;
}

void DialogHandle::requestClose() {
    if (!window_.ended() && window_.hwnd()) ::SendMessageW(window_.hwnd(), WM_CLOSE, 0, 0);
}

void DialogHandle::endDialog(int code) {
    window_.end(code);
}

bool DialogHandle::hasEnded() const {
    return window_.ended();
}

void* DialogHandle::nativeWindow() const {
    return window_.hwnd();
}

// ---- Running dialogs ----------------------------------------------------------

int runModalDialog(const DialogTemplate& dialogTemplate, DialogProcedure& procedure,
                   void* ownerWindow) {
    if (dialogTemplate.width <= 0 || dialogTemplate.height <= 0) return kDialogFailed;
    DialogWindow window(dialogTemplate, procedure, resolveOwner(ownerWindow));
    return window.runModal();
}

void* showModelessDialog(const DialogTemplate& dialogTemplate,
                         std::unique_ptr<DialogProcedure> procedure, void* ownerWindow) {
    if (!procedure || dialogTemplate.width <= 0 || dialogTemplate.height <= 0) return nullptr;
    // Owned by its owner, so that the owner's end takes it away too.
    auto window =
        std::make_unique<DialogWindow>(dialogTemplate, *procedure, resolveOwner(ownerWindow));
    if (!window->showModeless(std::move(procedure))) return nullptr;
    // The window deletes itself when it is destroyed.
    return window.release()->hwnd();
}

bool dialogWindowExists(void* window) {
    return DialogWindow::liveDialog(static_cast<HWND>(window)) != nullptr;
}

bool bringDialogToFront(void* window) {
    DialogWindow* dialog = DialogWindow::liveDialog(static_cast<HWND>(window));
    if (!dialog) return false;
    ::ShowWindow(dialog->hwnd(), SW_SHOW);
    ::SetWindowPos(dialog->hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetForegroundWindow(dialog->hwnd());
    return true;
}

void requestDialogClose(void* window) {
    if (DialogWindow* dialog = DialogWindow::liveDialog(static_cast<HWND>(window)))
        dialog->dispatchCommand(kIdCancel, kNotifyClicked);
}

}  // namespace mirel::gui
