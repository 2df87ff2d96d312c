// The test driver on the Win32 backend: input is posted to the window the
// system would route it to (the capture, else the window under the point,
// where labels let the mouse through) and runs through the thread's message
// loop, keyboard navigation included; what the windows show is read back
// with the system's own calls.
#include <windows.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "platform/gui/win32/win32_runtime.h"
#include "platform/os/win32/wide_text.h"
#include "tests/platform_gui/gui_driver.h"

namespace mirel::gui::testing {

namespace {

// The atom of the system's dialog class.
constexpr ATOM kDialogClassAtom = 32770;
// The colour dialog's edit fields for red, green and blue.
constexpr int kColorRedField = 706, kColorGreenField = 707, kColorBlueField = 708;

HWND hwndOf(void* window) {
    return static_cast<HWND>(window);
}

bool isDialogWindow(HWND window) {
    return window && ::GetClassLongPtrW(window, GCW_ATOM) == kDialogClassAtom;
}

// One message of the loop, as a dialog loop hands it on.
void dispatch(MSG& message) {
    if (message.hwnd) {
        HWND root = ::GetAncestor(message.hwnd, GA_ROOT);
        if (isDialogWindow(root) && ::IsDialogMessageW(root, &message)) return;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
}

void pumpPending() {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(int(message.wParam));
            return;
        }
        dispatch(message);
    }
}

WPARAM heldButtons = 0;

WPARAM buttonFlag(MouseButton button) {
    switch (button) {
        case MouseButton::Left:
            return MK_LBUTTON;
        case MouseButton::Right:
            return MK_RBUTTON;
        case MouseButton::Middle:
            return MK_MBUTTON;
        case MouseButton::None:
            break;
    }
    return 0;
}

WPARAM keyState(unsigned modifiers) {
    WPARAM state = heldButtons;
    if (modifiers & kModifierShift) state |= MK_SHIFT;
    if (modifiers & kModifierControl) state |= MK_CONTROL;
    return state;
}

// Posts a mouse message where the system would deliver it and runs it.
void postMouse(HWND window, Point at, UINT message, WPARAM state) {
    POINT screen{at.x, at.y};
    ::ClientToScreen(window, &screen);
    HWND target = ::GetCapture();
    if (!target) target = ::WindowFromPoint(screen);
    if (!target) target = window;
    POINT local = screen;
    ::ScreenToClient(target, &local);
    ::PostMessageW(target, message, state, MAKELPARAM(WORD(short(local.x)), WORD(short(local.y))));
    pumpPending();
}

UINT virtualKeyOf(Key key) {
    switch (key) {
        case Key::Escape:
            return VK_ESCAPE;
        case Key::Return:
            return VK_RETURN;
        case Key::Down:
            return VK_DOWN;
        case Key::Up:
            return VK_UP;
        case Key::End:
            return VK_END;
        case Key::Tab:
            return VK_TAB;
        case Key::Delete:
            return VK_DELETE;
    }
    return VK_ESCAPE;
}

void postKey(HWND target, UINT virtualKey) {
    const UINT scan = ::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    ::PostMessageW(target, WM_KEYDOWN, virtualKey, LPARAM(1 | (scan << 16)));
    ::PostMessageW(target, WM_KEYUP, virtualKey, LPARAM(1 | (scan << 16) | (3u << 30)));
    pumpPending();
}

std::string windowText(HWND hwnd) {
    const int length = ::GetWindowTextLengthW(hwnd);
    std::wstring text(std::size_t(length > 0 ? length : 0) + 1, L'\0');
    text.resize(std::size_t(::GetWindowTextW(hwnd, text.data(), int(text.size()))));
    return os::win32::utf8Text(text);
}

bool hasClass(HWND hwnd, const wchar_t* name) {
    wchar_t actual[32] = {};
    ::GetClassNameW(hwnd, actual, 32);
    return ::lstrcmpiW(actual, name) == 0;
}

Rect childRect(HWND window, HWND child) {
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// The attempts waiting to be retried, each with its thread timer.
std::map<UINT_PTR, std::function<bool()>>& attempts() {
    static std::map<UINT_PTR, std::function<bool()>> pending;
    return pending;
}

void CALLBACK retryTimer(HWND, UINT, UINT_PTR id, DWORD) {
    const auto found = attempts().find(id);
    if (found == attempts().end()) {
        ::KillTimer(nullptr, id);
        return;
    }
    // Taken out while it runs: it may run a modal loop of its own, in which
    // this timer must not call it again.
    std::function<bool()> attempt = std::move(found->second);
    attempts().erase(found);
    ::KillTimer(nullptr, id);
    if (!attempt()) retryFromEventLoop(std::move(attempt));
}

std::map<HWND, std::pair<DialogHandle*, int>>& pendingEnds() {
    static std::map<HWND, std::pair<DialogHandle*, int>> ends;
    return ends;
}

void CALLBACK endTimer(HWND window, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(window, id);
    const auto found = pendingEnds().find(window);
    if (found == pendingEnds().end()) return;
    const auto [dialog, code] = found->second;
    pendingEnds().erase(found);
    if (!dialog->hasEnded()) dialog->endDialog(code);
}

}  // namespace

void ensureWindowSystem() {}

void* shownDialogTitled(std::string_view title) {
    struct Search {
        std::string title;
        HWND found = nullptr;
    } search{std::string(title)};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (!isDialogWindow(window) || !::IsWindowVisible(window) ||
                windowText(window) != s->title)
                return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void pressAt(void* window, Point at, MouseButton button, unsigned modifiers) {
    heldButtons |= buttonFlag(button);
    const UINT message = button == MouseButton::Right    ? WM_RBUTTONDOWN
                         : button == MouseButton::Middle ? WM_MBUTTONDOWN
                                                         : WM_LBUTTONDOWN;
    postMouse(hwndOf(window), at, message, keyState(modifiers));
}

void moveTo(void* window, Point to, unsigned modifiers) {
    postMouse(hwndOf(window), to, WM_MOUSEMOVE, keyState(modifiers));
}

void releaseAt(void* window, Point at, MouseButton button, unsigned modifiers) {
    heldButtons &= ~buttonFlag(button);
    const UINT message = button == MouseButton::Right    ? WM_RBUTTONUP
                         : button == MouseButton::Middle ? WM_MBUTTONUP
                                                         : WM_LBUTTONUP;
    postMouse(hwndOf(window), at, message, keyState(modifiers));
}

void pressKey(void* window, Key key) {
    HWND focus = ::GetFocus();
    HWND dialog = hwndOf(window);
    postKey(focus && (focus == dialog || ::IsChild(dialog, focus)) ? focus : dialog,
            virtualKeyOf(key));
}

void closeFromWindowSystem(void* window) {
    ::PostMessageW(hwndOf(window), WM_SYSCOMMAND, SC_CLOSE, 0);
    pumpPending();
}

void processEvents(int milliseconds) {
    const ULONGLONG deadline = ::GetTickCount64() + ULONGLONG(milliseconds > 0 ? milliseconds : 0);
    for (;;) {
        pumpPending();
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) break;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(deadline - now), QS_ALLINPUT);
    }
}

void retryFromEventLoop(std::function<bool()> attempt) {
    // A thread timer: whatever loop runs on this thread dispatches it.
    const UINT_PTR id = ::SetTimer(nullptr, 0, 10, &retryTimer);
    if (id) attempts()[id] = std::move(attempt);
}

void* controlWindowAt(void* window, const Rect& rect) {
    for (HWND child = ::GetWindow(hwndOf(window), GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        const Rect r = childRect(hwndOf(window), child);
        if (r.x == rect.x && r.y == rect.y && r.width == rect.width) return child;
    }
    return nullptr;
}

void focusControlWindow(void* window, void* control) {
    if (control)
        ::SendMessageW(hwndOf(window), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

bool hasKeyboardFocus(void*, void* control) {
    return control && ::GetFocus() == hwndOf(control);
}

void typeIntoControl(void*, void* control, std::string_view text, bool replace) {
    HWND edit = hwndOf(control);
    if (!edit) return;
    // Focus from the dialog manager selects the whole text.
    const LRESULT length = ::GetWindowTextLengthW(edit);
    if (replace)
        ::SendMessageW(edit, EM_SETSEL, 0, -1);
    else
        ::SendMessageW(edit, EM_SETSEL, WPARAM(length), LPARAM(length));
    if (text.empty()) {
        if (replace) postKey(edit, VK_DELETE);
        return;
    }
    for (wchar_t c : os::win32::wideText(text)) {
        ::PostMessageW(edit, WM_CHAR, WPARAM(c), 1);
        pumpPending();
    }
}

std::string textOfControl(void* control) {
    HWND hwnd = hwndOf(control);
    if (!hwnd) return {};
    if (hasClass(hwnd, L"ComboBox")) {
        const int selected = comboSelectionOf(control);
        return selected >= 0 ? comboEntryOf(control, selected) : std::string();
    }
    return windowText(hwnd);
}

bool isControlWindowEnabled(void* control) {
    return control && ::IsWindowEnabled(hwndOf(control));
}

int comboCountOf(void* control) {
    return control ? int(::SendMessageW(hwndOf(control), CB_GETCOUNT, 0, 0)) : 0;
}

int comboSelectionOf(void* control) {
    if (!control) return -1;
    const LRESULT selected = ::SendMessageW(hwndOf(control), CB_GETCURSEL, 0, 0);
    return selected == CB_ERR ? -1 : int(selected);
}

std::string comboEntryOf(void* control, int index) {
    if (!control) return {};
    const LRESULT length = ::SendMessageW(hwndOf(control), CB_GETLBTEXTLEN, WPARAM(index), 0);
    if (length == CB_ERR) return {};
    std::wstring text(std::size_t(length) + 1, L'\0');
    ::SendMessageW(hwndOf(control), CB_GETLBTEXT, WPARAM(index),
                   reinterpret_cast<LPARAM>(text.data()));
    text.resize(std::size_t(length));
    return os::win32::utf8Text(text);
}

std::string titleOf(void* window) {
    return windowText(hwndOf(window));
}

bool isShownOnScreen(void* window) {
    return ::IsWindowVisible(hwndOf(window)) != FALSE;
}

std::optional<int> controlValueOf(void* window, int id) {
    const std::wstring name = L"mirelControlValue" + std::to_wstring(id);
    const auto value = reinterpret_cast<std::uintptr_t>(::GetPropW(hwndOf(window), name.c_str()));
    if (!(value >> 32)) return std::nullopt;
    return int(std::uint32_t(value));
}

Image grabClientArea(void* window) {
    HWND hwnd = hwndOf(window);
    ::RedrawWindow(hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT client{};
    ::GetClientRect(hwnd, &client);
    Image image;
    image.width = client.right;
    image.height = client.bottom;
    if (image.width <= 0 || image.height <= 0) return {};
    HDC screen = ::GetDC(hwnd);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ previous = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, image.width, image.height, screen, 0, 0, SRCCOPY);
    ::GdiFlush();
    image.rgba.resize(std::size_t(image.width) * image.height * 4);
    const auto* bgra = static_cast<const std::uint8_t*>(bits);
    for (std::size_t i = 0; i < image.rgba.size(); i += 4) {
        image.rgba[i] = bgra[i + 2];
        image.rgba[i + 1] = bgra[i + 1];
        image.rgba[i + 2] = bgra[i];
        image.rgba[i + 3] = 255;
    }
    ::SelectObject(memory, previous);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(hwnd, screen);
    return image;
}

double screenDpi(void* window) {
    return double(win32::windowDpi(hwndOf(window)));
}

BaseUnits templateBaseUnits(void* window, const DialogTemplate& dialogTemplate) {
    const unsigned dpi = win32::windowDpi(hwndOf(window));
    HFONT font = win32::createTemplateFont(dialogTemplate.fontName, dialogTemplate.fontPoints, dpi);
    const BaseUnits units =
        win32::baseUnitsFor(dialogTemplate.fontName, dialogTemplate.fontPoints, dpi, font);
    ::DeleteObject(font);
    return units;
}

void* ownerOf(void* window) {
    return ::GetWindow(hwndOf(window), GW_OWNER);
}

ShownCursor cursorOf(void* window) {
    // As the system asks on every move over the window's own area.
    HWND hwnd = hwndOf(window);
    ::SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd),
                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    ShownCursor shown;
    HCURSOR current = ::GetCursor();
    shown.systemArrow = current == ::LoadCursorW(nullptr, IDC_ARROW);
    ICONINFO info{};
    if (!shown.systemArrow && current && ::GetIconInfo(current, &info)) {
        shown.hotSpot = {int(info.xHotspot), int(info.yHotspot)};
        if (info.hbmMask) ::DeleteObject(info.hbmMask);
        if (info.hbmColor) ::DeleteObject(info.hbmColor);
    }
    return shown;
}

void answerNextColorDialog(std::optional<Rgb> color) {
    retryFromEventLoop([color] {
        HWND found = nullptr;
        ::EnumThreadWindows(
            ::GetCurrentThreadId(),
            [](HWND window, LPARAM result) -> BOOL {
                if (!isDialogWindow(window) || !::IsWindowVisible(window) ||
                    !::GetDlgItem(window, kColorRedField))
                    return TRUE;
                *reinterpret_cast<HWND*>(result) = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&found));
        if (!found) return false;
        if (!color) {
            ::PostMessageW(found, WM_COMMAND, IDCANCEL, 0);
            return true;
        }
        // Typed into the dialog's own fields, as a person would.
        ::SetDlgItemInt(found, kColorRedField, color->red, FALSE);
        ::SetDlgItemInt(found, kColorGreenField, color->green, FALSE);
        ::SetDlgItemInt(found, kColorBlueField, color->blue, FALSE);
        ::PostMessageW(found, WM_COMMAND, IDOK, 0);
        return true;
    });
}

std::vector<void*> windowsTitled(std::string_view title) {
    struct Search {
        std::string title;
        std::vector<void*> found;
    } search{std::string(title), {}};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (::IsWindowVisible(window) && windowText(window) == s->title)
                s->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

Rect frameOnScreen(void* window) {
    RECT r{};
    ::GetWindowRect(hwndOf(window), &r);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

Rect workAreaOf(void* window) {
    return win32::toRect(win32::monitorWorkArea(hwndOf(window)));
}

void moveWindowTo(void* window, Point topLeft) {
    ::SetWindowPos(hwndOf(window), nullptr, topLeft.x, topLeft.y, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    pumpPending();
}

std::vector<ShownControl> controlsOf(void* window) {
    std::vector<ShownControl> controls;
    for (HWND child = ::GetWindow(hwndOf(window), GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        ShownControl shown;
        shown.window = child;
        const LONG_PTR style = ::GetWindowLongPtrW(child, GWL_STYLE);
        if (hasClass(child, L"Button")) {
            switch (style & BS_TYPEMASK) {
                case BS_PUSHBUTTON:
                case BS_DEFPUSHBUTTON:
                    shown.kind = ControlKind::PushButton;
                    break;
                case BS_RADIOBUTTON:
                case BS_AUTORADIOBUTTON:
                    shown.kind = ControlKind::RadioButton;
                    break;
                case BS_CHECKBOX:
                case BS_AUTOCHECKBOX:
                case BS_3STATE:
                case BS_AUTO3STATE:
                    shown.kind = ControlKind::CheckBox;
                    break;
                default:
                    break;
            }
        } else if (hasClass(child, L"Edit")) {
            shown.kind = ControlKind::EditField;
        } else if (hasClass(child, L"Static")) {
            shown.kind = ControlKind::Label;
        } else if (hasClass(child, L"ComboBox")) {
            shown.kind = ControlKind::ComboBox;
        }
        shown.text = textOfControl(child);
        shown.rect = childRect(hwndOf(window), child);
        controls.push_back(shown);
    }
    return controls;
}

bool isControlChecked(void* control) {
    return control && ::SendMessageW(hwndOf(control), BM_GETCHECK, 0, 0) == LRESULT(BST_CHECKED);
}

std::vector<ShownLabel> shownLabels(DialogHandle& dialog) {
    std::vector<ShownLabel> labels;
    HWND window = hwndOf(dialog.nativeWindow());
    for (HWND child = ::GetWindow(window, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (!hasClass(child, L"Static")) continue;
        ShownLabel label;
        // A static text shows "&x" as an underlined x and "&&" as one '&'.
        const std::string raw = windowText(child);
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '&' && i + 1 < raw.size())
                ++i;
            else if (raw[i] == '&')
                continue;
            label.text += raw[i];
        }
        label.rect = childRect(window, child);
        label.visible = ::IsWindowVisible(child) != FALSE;
        label.enabled = ::IsWindowEnabled(child) != FALSE;
        // The wrapped text's height, measured with the label's own font.
        RECT client{};
        ::GetClientRect(child, &client);
        RECT needed = client;
        HDC dc = ::GetDC(child);
        const HGDIOBJ previous =
            ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(child, WM_GETFONT, 0, 0)));
        const std::wstring text = os::win32::wideText(raw);
        ::DrawTextW(dc, text.c_str(), int(text.size()), &needed, DT_CALCRECT | DT_WORDBREAK);
        ::SelectObject(dc, previous);
        ::ReleaseDC(child, dc);
        label.textFits = needed.bottom - needed.top <= client.bottom - client.top;
        labels.push_back(label);
    }
    return labels;
}

Rect windowRectOf(DialogHandle& dialog, int id) {
    HWND control = ::GetDlgItem(hwndOf(dialog.nativeWindow()), id);
    return control ? childRect(hwndOf(dialog.nativeWindow()), control) : Rect{};
}

bool isDefaultButton(DialogHandle& dialog, int id) {
    const LRESULT defaultId = ::SendMessageW(hwndOf(dialog.nativeWindow()), DM_GETDEFID, 0, 0);
    return HIWORD(defaultId) == DC_HASDEFID && LOWORD(defaultId) == WORD(id);
}

void endDialogLater(DialogHandle& dialog, int milliseconds, int code) {
    HWND window = hwndOf(dialog.nativeWindow());
    pendingEnds()[window] = {&dialog, code};
    // A timer procedure of its own: the dialog's procedure never sees this timer.
    ::SetTimer(window, 0x7E57, UINT(milliseconds), &endTimer);
}

}  // namespace mirel::gui::testing
