// The Win32 backend's runtime: module, DPI awareness, fonts, base units,
// owners and COM.
#include "platform/gui/win32/win32_runtime.h"

#include <objbase.h>

#include <algorithm>

#include "platform/os/win32/wide_text.h"

namespace mirel::gui::win32 {

namespace {

// The system averages the widths of these letters to get the horizontal base unit.
constexpr wchar_t kAverageWidthLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int kAverageWidthLetterCount = 52;
constexpr BaseUnits kMsSansSerif8 = {6, 13};

// Calls that newer systems have: looked up at run time, so the library still
// loads where they are missing (and then does without them).
using SetThreadDpiAwarenessContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using SetDialogDpiChangeBehaviorFn = BOOL(WINAPI*)(HWND, int, int);

template <typename Fn>
Fn user32Entry(const char* name) {
    HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(user32, name)))
                  : nullptr;
}

bool isMsSansSerif(std::string_view name) {
    return name == "MS Sans Serif" || name == "MS Shell Dlg" || name == "MS Shell Dlg 2";
}

}  // namespace

HINSTANCE moduleInstance() {
    static const HINSTANCE instance = [] {
        HMODULE module = nullptr;
        ::GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&moduleInstance), &module);
        return module;
    }();
    return instance;
}

DpiAwareScope::DpiAwareScope() {
    static const auto setContext =
        user32Entry<SetThreadDpiAwarenessContextFn>("SetThreadDpiAwarenessContext");
    if (!setContext) return;
    DPI_AWARENESS_CONTEXT previous = setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    if (!previous) previous = setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE);
    previous_ = previous;
}

DpiAwareScope::~DpiAwareScope() {
    static const auto setContext =
        user32Entry<SetThreadDpiAwarenessContextFn>("SetThreadDpiAwarenessContext");
    if (setContext && previous_) setContext(static_cast<DPI_AWARENESS_CONTEXT>(previous_));
}

unsigned windowDpi(HWND window) {
    static const auto forWindow = user32Entry<GetDpiForWindowFn>("GetDpiForWindow");
    if (forWindow && window) {
        const UINT dpi = forWindow(window);
        if (dpi > 0) return dpi;
    }
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? unsigned(dpi) : kDesignDpi;
}

void keepDialogLayout(HWND dialog) {
    // DDC_DISABLE_ALL for both the mask and the value.
    constexpr int kDisableAll = 0x0001 | 0x0002 | 0x0004;
    static const auto setBehavior =
        user32Entry<SetDialogDpiChangeBehaviorFn>("SetDialogDpiChangeBehavior");
    if (setBehavior) setBehavior(dialog, kDisableAll, kDisableAll);
}

std::wstring fontFace(std::string_view name) {
    if (isMsSansSerif(name)) return L"Microsoft Sans Serif";
    return wide(name);
}

HFONT createFont(std::string_view name, int pixels, bool bold) {
    LOGFONTW font{};
    font.lfHeight = -std::max(1, pixels);
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = OUT_TT_PRECIS;
    font.lfQuality = CLEARTYPE_QUALITY;
    font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    const std::wstring face = fontFace(name);
    face.copy(font.lfFaceName, LF_FACESIZE - 1);
    return ::CreateFontIndirectW(&font);
}

HFONT createTemplateFont(std::string_view name, int points, unsigned dpi) {
    return createFont(name, mulDivRound(points, int(dpi), 72));
}

BaseUnits baseUnitsFor(std::string_view fontName, int points, unsigned dpi, HFONT font) {
    if (isMsSansSerif(fontName) && points == 8)
        return {mulDivRound(kMsSansSerif8.x, int(dpi), int(kDesignDpi)),
                mulDivRound(kMsSansSerif8.y, int(dpi), int(kDesignDpi))};
    BaseUnits units{mulDivRound(kMsSansSerif8.x, int(dpi), int(kDesignDpi)),
                    mulDivRound(kMsSansSerif8.y, int(dpi), int(kDesignDpi))};
    HDC screen = ::GetDC(nullptr);
    if (!screen) return units;
    HGDIOBJ previous = ::SelectObject(screen, font);
    SIZE size{};
    TEXTMETRICW metrics{};
    if (::GetTextExtentPoint32W(screen, kAverageWidthLetters, kAverageWidthLetterCount, &size) &&
        ::GetTextMetricsW(screen, &metrics)) {
        units.x = std::max<int>(1, (size.cx / 26 + 1) / 2);
        units.y = std::max<int>(1, metrics.tmHeight);
    }
    ::SelectObject(screen, previous);
    ::ReleaseDC(nullptr, screen);
    return units;
}

HWND resolveOwner(void* window) {
    if (!window) return nullptr;
    HWND handle = static_cast<HWND>(window);
    // IsWindow never dereferences what it is given; any pointer is safe to ask about.
    if (!::IsWindow(handle)) return nullptr;
    DWORD process = 0;
    ::GetWindowThreadProcessId(handle, &process);
    if (process != ::GetCurrentProcessId()) return nullptr;
    // A host may hand over a child window (its document view); dialogs are owned
    // by top-level windows.
    HWND root = ::GetAncestor(handle, GA_ROOT);
    return root ? root : handle;
}

RECT monitorWorkArea(HWND window) {
    HMONITOR monitor = window ? ::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST)
                              : ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (monitor && ::GetMonitorInfoW(monitor, &info)) return info.rcWork;
    RECT area{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

Rect toRect(const RECT& r) {
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

RECT toRECT(const Rect& r) {
    return {r.x, r.y, r.x + r.width, r.y + r.height};
}

std::wstring wide(std::string_view utf8Text) {
    return os::win32::wideText(utf8Text);
}

std::string utf8(std::wstring_view text) {
    return os::win32::utf8Text(text);
}

ComScope::ComScope() {
    const HRESULT result =
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    // S_OK and S_FALSE both count one use to end; a thread already in the
    // multithreaded apartment keeps it, and COM works there as well.
    mustEnd_ = SUCCEEDED(result);
    ready_ = SUCCEEDED(result) || result == RPC_E_CHANGED_MODE;
}

ComScope::~ComScope() {
    if (mustEnd_) ::CoUninitialize();
}

}  // namespace mirel::gui::win32
