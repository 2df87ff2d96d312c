// The Win32 window behind a template dialog: making it and its controls from
// the template, the modal loop, ending, timers and cursors.
#include "platform/gui/win32/dialog_window.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/gui/win32/image_scale.h"
#include "platform/gui/win32/win32_runtime.h"

namespace mirel::gui {

using namespace win32;

namespace {

// The system never runs a timer faster than this; asking for less gets this.
constexpr int kMinimumTimerPeriodMs = 10;

constexpr DWORD kDialogStyle =
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_CLIPCHILDREN | DS_3DLOOK;

// The live dialogs of this layer, in the order they were made. Dialogs run
// on the host's user-interface thread only.
std::vector<DialogWindow*>& liveDialogs() {
    static std::vector<DialogWindow*> dialogs;
    return dialogs;
}

// An in-memory dialog template with no controls: the dialog manager makes the
// frame; this backend adds the controls, so that it places them with the
// same base units on every system.
std::vector<DWORD> emptyDialogTemplate() {
    std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
    auto* header = reinterpret_cast<DLGTEMPLATE*>(words.data());
    header->style = kDialogStyle;
    header->dwExtendedStyle = WS_EX_DLGMODALFRAME;
    header->cdit = 0;
    words.push_back(0);  // no menu
    words.push_back(0);  // the system's dialog class
    words.push_back(0);  // an empty title, set afterwards
    std::vector<DWORD> aligned((words.size() + 1) / 2, 0);
    std::copy(words.begin(), words.end(), reinterpret_cast<WORD*>(aligned.data()));
    return aligned;
}

void adjustWindowRect(RECT& rect, DWORD style, DWORD exStyle, unsigned dpi) {
    using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = reinterpret_cast<AdjustForDpiFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    if (adjustForDpi && adjustForDpi(&rect, style, FALSE, exStyle, dpi)) return;
    ::AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

}  // namespace

std::wstring controlValueProperty(int id) {
    return L"mirelControlValue" + std::to_wstring(id);
}

HANDLE controlValueHandle(int value) {
    return reinterpret_cast<HANDLE>((std::uintptr_t(1) << 32) | std::uint32_t(value));
}

DialogWindow::DialogWindow(const DialogTemplate& dialogTemplate, DialogProcedure& procedure,
                           HWND owner)
    : template_(dialogTemplate), procedure_(procedure), handle_(*this), owner_(owner) {}

DialogWindow::~DialogWindow() {
    if (hwnd_) ::DestroyWindow(hwnd_);
    for (Control& control : controls_)
        if (control.image) ::DestroyIcon(control.image);
    for (auto& [image, cursor] : madeCursors_) ::DestroyCursor(cursor);
    if (font_) ::DeleteObject(font_);
}

DialogWindow* DialogWindow::liveDialog(HWND window) {
    if (!window) return nullptr;
    for (DialogWindow* dialog : liveDialogs())
        if (dialog->hwnd_ == window && !dialog->ended_) return dialog;
    return nullptr;
}

bool DialogWindow::routeDialogMessage(MSG& message) {
    if (!message.hwnd) return false;
    HWND root = ::GetAncestor(message.hwnd, GA_ROOT);
    if (!liveDialog(root)) return false;
    return ::IsDialogMessageW(root, &message) != FALSE;
}

bool DialogWindow::create() {
    const std::vector<DWORD> frame = emptyDialogTemplate();
    hwnd_ = ::CreateDialogIndirectParamW(moduleInstance(),
                                         reinterpret_cast<const DLGTEMPLATE*>(frame.data()), owner_,
                                         &DialogWindow::dialogProc, reinterpret_cast<LPARAM>(this));
    if (!hwnd_) return false;
    liveDialogs().push_back(this);
    keepDialogLayout(hwnd_);
    // Made on the owner's monitor, so that it is laid out at that monitor's scale.
    const RECT work = monitorWorkArea(owner_);
    ::SetWindowPos(hwnd_, nullptr, work.left, work.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    layOut();
    return true;
}

void DialogWindow::layOut() {
    dpi_ = windowDpi(hwnd_);
    font_ = createTemplateFont(template_.fontName, template_.fontPoints, dpi_);
    units_ = baseUnitsFor(template_.fontName, template_.fontPoints, dpi_, font_);
    ::SetWindowTextW(hwnd_, wide(template_.title).c_str());
    ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);

    const Rect client = toPixels({0, 0, template_.width, template_.height});
    RECT outer{0, 0, client.width, client.height};
    adjustWindowRect(outer, DWORD(::GetWindowLongPtrW(hwnd_, GWL_STYLE)),
                     DWORD(::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)), dpi_);
    ::SetWindowPos(hwnd_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    controls_.reserve(template_.controls.size());
    bool previousRadio = false;
    int defaultId = -1;
    for (std::size_t i = 0; i < template_.controls.size(); ++i) {
        const ControlTemplate& source = template_.controls[i];
        const bool radio = source.controlClass == ControlClass::RadioButton;
        // Radio buttons in a row form a group of their own: the arrow keys move
        // among them, and checking one clears the others.
        createControl(source, i == 0 || radio != previousRadio);
        previousRadio = radio;
        if (defaultId < 0 && source.controlClass == ControlClass::DefaultPushButton)
            defaultId = source.id;
    }
    if (defaultId >= 0) ::SendMessageW(hwnd_, DM_SETDEFID, WPARAM(defaultId), 0);
    controlsReady_ = true;
}

void DialogWindow::createControl(const ControlTemplate& source, bool startsGroup) {
    Control control;
    control.source = source;
    control.pixels = toPixels(source.rect);
    control.text = source.text;
    control.enabled = !(source.style & kStyleDisabled);
    if (source.controlClass == ControlClass::UserDrawn) {
        controls_.push_back(std::move(control));
        return;
    }
    DWORD style = WS_CHILD;
    if (!(source.style & kStyleHidden)) style |= WS_VISIBLE;
    if (!control.enabled) style |= WS_DISABLED;
    if (startsGroup) style |= WS_GROUP;
    DWORD exStyle = 0;
    const wchar_t* windowClass = L"BUTTON";
    int height = control.pixels.height;
    switch (source.controlClass) {
        case ControlClass::StaticText:
            windowClass = L"STATIC";
            // No SS_NOTIFY: the mouse passes through to the dialog, so the
            // procedure sees presses over its labels and drawn areas alike.
            style |= (source.style & kStyleAlignCenter)  ? SS_CENTER
                     : (source.style & kStyleAlignRight) ? SS_RIGHT
                                                         : SS_LEFT;
            if (source.style & kStyleBorder) style |= WS_BORDER;
            break;
        case ControlClass::PushButton:
            style |= BS_PUSHBUTTON | WS_TABSTOP;
            break;
        case ControlClass::DefaultPushButton:
            style |= BS_DEFPUSHBUTTON | WS_TABSTOP;
            break;
        case ControlClass::CheckBox:
            style |= BS_AUTOCHECKBOX | WS_TABSTOP;
            break;
        case ControlClass::RadioButton:
            style |= BS_AUTORADIOBUTTON | (startsGroup ? WS_TABSTOP : 0);
            break;
        case ControlClass::OwnerDrawnButton:
            style |= BS_OWNERDRAW | WS_TABSTOP;
            break;
        case ControlClass::Edit:
            windowClass = L"EDIT";
            style |= ES_AUTOHSCROLL | WS_TABSTOP;
            if (source.style & kStyleAlignRight) style |= ES_RIGHT;
            if (source.style & kStyleReadOnly) style |= ES_READONLY;
            if (source.style & kStyleNumber) style |= ES_NUMBER;
            exStyle |= WS_EX_CLIENTEDGE;
            break;
        case ControlClass::ComboBox:
            windowClass = L"COMBOBOX";
            // The template's height includes the open list.
            style |= CBS_DROPDOWNLIST | CBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP;
            break;
        case ControlClass::UserDrawn:
            break;
    }
    const std::wstring text =
        source.controlClass == ControlClass::ComboBox ? std::wstring() : wide(source.text);
    const auto menuId = reinterpret_cast<HMENU>(static_cast<UINT_PTR>(source.id & 0xFFFF));
    control.hwnd = ::CreateWindowExW(exStyle, windowClass, text.c_str(), style, control.pixels.x,
                                     control.pixels.y, control.pixels.width, height, hwnd_, menuId,
                                     moduleInstance(), nullptr);
    if (control.hwnd) {
        ::SendMessageW(control.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        if (source.controlClass == ControlClass::ComboBox) {
            // The closed box is as high as the font makes it.
            RECT closed{};
            ::GetWindowRect(control.hwnd, &closed);
            control.pixels.height = closed.bottom - closed.top;
        }
    }
    controls_.push_back(std::move(control));
}

DialogWindow::Control* DialogWindow::findControl(int id) {
    if (id == kUnaddressedId) return nullptr;
    for (Control& control : controls_)
        if (control.source.id == id) return &control;
    return nullptr;
}

const DialogWindow::Control* DialogWindow::findControl(int id) const {
    return const_cast<DialogWindow*>(this)->findControl(id);
}

DialogWindow::Control* DialogWindow::findControl(HWND hwnd) {
    if (!hwnd) return nullptr;
    for (Control& control : controls_)
        if (control.hwnd == hwnd) return &control;
    return nullptr;
}

Rect DialogWindow::toPixels(const Rect& dialogUnits) const {
    return dialogUnitsToPixels(dialogUnits, units_);
}

int DialogWindow::runModal() {
    DpiAwareScope awareness;
    if (!create()) return kDialogFailed;
    procedure_.onInit(handle_);
    if (!ended_) {
        // Modal to the owner: it takes no input until the dialog ends.
        ownerDisabled_ = owner_ && ::IsWindowEnabled(owner_);
        if (ownerDisabled_) ::EnableWindow(owner_, FALSE);
        ::ShowWindow(hwnd_, SW_SHOWNORMAL);
        announceShown();
        bool quit = false;
        WPARAM quitCode = 0;
        MSG message{};
        while (!ended_) {
            const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
            if (got == 0 || got == -1) {
                // The application is quitting: the dialog ends as cancelled and
                // the quit goes on to the host's own loop.
                quit = got == 0;
                quitCode = message.wParam;
                end(kIdCancel);
                break;
            }
            if (!routeDialogMessage(message)) {
                ::TranslateMessage(&message);
                ::DispatchMessageW(&message);
            }
        }
        releaseOwner();
        if (quit) ::PostQuitMessage(int(quitCode));
    }
    if (hwnd_) {
        if (owner_ && ::GetActiveWindow() == hwnd_) ::SetActiveWindow(owner_);
        ::DestroyWindow(hwnd_);
    }
    return endCode_;
}

bool DialogWindow::showModeless(std::unique_ptr<DialogProcedure> procedure) {
    DpiAwareScope awareness;
    if (!create()) return false;
    procedure_.onInit(handle_);
    if (ended_) {
        ::DestroyWindow(hwnd_);
        return false;
    }
    // From here on the window owns itself and the procedure.
    ownedProcedure_ = std::move(procedure);
    ::ShowWindow(hwnd_, SW_SHOWNORMAL);
    announceShown();
    return true;
}

void DialogWindow::announceShown() {
    HWND first = ::GetNextDlgTabItem(hwnd_, nullptr, FALSE);
    if (first && !::IsChild(hwnd_, ::GetFocus()))
        ::SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
    else if (!first && ::GetActiveWindow() == hwnd_)
        // A dialog without a control to focus keeps the focus itself; with
        // none at all, keys would reach it as system keys and Escape would
        // not close it.
        ::SetFocus(hwnd_);
    // Once the loop runs: the window is on screen and has been painted.
    ::PostMessageW(hwnd_, kShownMessage, 0, 0);
}

void DialogWindow::focusDefaultButton() {
    const LRESULT found = ::SendMessageW(hwnd_, DM_GETDEFID, 0, 0);
    if (HIWORD(found) == DC_HASDEFID) {
        HWND button = ::GetDlgItem(hwnd_, LOWORD(found));
        if (button && ::IsWindowEnabled(button)) {
            ::SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(button), TRUE);
            return;
        }
    }
    ::SetFocus(hwnd_);
}

void DialogWindow::dispatchCommand(int id, int notification) {
    if (ended_) return;
    const bool handled = procedure_.onCommand(handle_, id, notification);
    if (handled || ended_ || notification != kNotifyClicked) return;
    if (id == kIdCancel) {
        end(kIdCancel);
        return;
    }
    const Control* control = findControl(id);
    if (control && (control->source.controlClass == ControlClass::PushButton ||
                    control->source.controlClass == ControlClass::DefaultPushButton))
        end(id);
}

void DialogWindow::end(int code) {
    if (ended_) return;
    ended_ = true;
    endCode_ = code;
    for (auto& [id, running] : timers_)
        if (running && hwnd_) ::KillTimer(hwnd_, UINT_PTR(id));
    timers_.clear();
    if (!hwnd_) return;
    if (ownedProcedure_) {
        // A modeless window is gone once it ends; it is destroyed from the
        // loop, after whatever handler ended it has returned.
        ::ShowWindow(hwnd_, SW_HIDE);
        ::PostMessageW(hwnd_, kDestroyMessage, 0, 0);
        return;
    }
    // A modal one leaves the screen at once, as the system's dialogs do, and
    // its loop ends when the handler that ended it returns.
    releaseOwner();
    ::SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                   SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::PostMessageW(hwnd_, WM_NULL, 0, 0);  // wakes the loop should it be waiting
}

void DialogWindow::releaseOwner() {
    if (!ownerDisabled_) return;
    ownerDisabled_ = false;
    // The owner is enabled before the dialog goes, so that the system gives
    // it the activation back rather than another program.
    ::EnableWindow(owner_, TRUE);
    if (hwnd_ && ::GetActiveWindow() == hwnd_) ::SetActiveWindow(owner_);
}

bool DialogWindow::setTimer(int id, int periodMs) {
    if (periodMs < 0 || ended_ || !hwnd_) return false;
    if (!::SetTimer(hwnd_, UINT_PTR(id), UINT(std::max(periodMs, kMinimumTimerPeriodMs)), nullptr))
        return false;
    timers_[id] = true;
    return true;
}

bool DialogWindow::killTimer(int id) {
    const auto found = timers_.find(id);
    if (found == timers_.end() || !found->second) return false;
    found->second = false;
    return hwnd_ && ::KillTimer(hwnd_, UINT_PTR(id));
}

void DialogWindow::forget() {
    auto& dialogs = liveDialogs();
    dialogs.erase(std::remove(dialogs.begin(), dialogs.end(), this), dialogs.end());
}

void DialogWindow::noteValueProperty(int id) {
    if (std::find(valueProperties_.begin(), valueProperties_.end(), id) == valueProperties_.end())
        valueProperties_.push_back(id);
}

void DialogWindow::setCursor(const Cursor& cursor) {
    HCURSOR chosen = nullptr;
    if (cursor.image && !cursor.image->empty()) {
        const auto found = madeCursors_.find(cursor.image);
        if (found != madeCursors_.end()) {
            chosen = found->second;
        } else {
            // The picture's size and hot spot are client pixels at the design
            // resolution; on this monitor they scale with its resolution.
            const Image& image = *cursor.image;
            const double density = image.density > 0 ? image.density : 1.0;
            const double scale = double(dpi_) / kDesignDpi;
            const int width = std::max(1, int(image.width / density * scale + 0.5));
            const int height = std::max(1, int(image.height / density * scale + 0.5));
            const Point hotSpot{int(cursor.hotSpot.x * scale), int(cursor.hotSpot.y * scale)};
            chosen = createIconFrom(resampled(image, width, height), true, hotSpot);
            if (chosen) madeCursors_.emplace(cursor.image, chosen);
        }
    }
    if (!chosen) {
        const wchar_t* shape = IDC_ARROW;
        switch (cursor.shape) {
            case CursorShape::Arrow:
                break;
            case CursorShape::Wait:
                shape = IDC_WAIT;
                break;
            case CursorShape::Cross:
                shape = IDC_CROSS;
                break;
            case CursorShape::OpenHand:
                shape = IDC_HAND;
                break;
            case CursorShape::ClosedHand:
                shape = IDC_SIZEALL;
                break;
        }
        chosen = ::LoadCursorW(nullptr, shape);
    }
    cursor_ = chosen;
    // Shown at once when the pointer is over the dialog's own area, so that a
    // wait cursor appears before a long render and not after it.
    POINT pointer{};
    if (hwnd_ && ::GetCursorPos(&pointer) &&
        (::GetCapture() == hwnd_ || ::WindowFromPoint(pointer) == hwnd_))
        ::SetCursor(cursor_);
}

}  // namespace mirel::gui
