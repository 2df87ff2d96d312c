// Whether the environment names a display a window can open on. Read from the
// environment alone (on Windows, the process's window station), so that a host
// program can decide before it loads any window system, by the same rule the
// dialogs use.
#pragma once

#include <cstdlib>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#endif

namespace mirel::gui {

#ifdef _WIN32

// A program of a logged-on user's session always has a desktop to show windows
// on; a service's window station is not visible, and nobody would see a dialog
// there. (Under Wine without an X display the window station looks visible but
// no window can be made: the dialog then reports kDialogFailed.)
inline bool displayConfigured() {
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    HWINSTA station = ::GetProcessWindowStation();
    if (!station || !::GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed))
        return true;  // nothing says otherwise: try, and let a failed window say so
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

// Whether this process can make a window at all: a hidden one is made and
// dropped. False under Wine without an X display, where the window station
// looks visible but every window fails.
inline bool windowsCanBeMade() {
    HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr);
    if (!probe) return false;
    ::DestroyWindow(probe);
    return true;
}

#else

// True when QT_QPA_PLATFORM names a platform that needs nothing from outside
// (offscreen, minimal, vnc...), or the variable the display needs is set:
// DISPLAY for X11 (xcb), WAYLAND_DISPLAY for Wayland. Empty variables count as
// unset.
inline bool displayConfigured() {
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    if (set("QT_QPA_PLATFORM")) {
        // "name:option=value..." picks a platform with options.
        std::string_view name(std::getenv("QT_QPA_PLATFORM"));
        name = name.substr(0, name.find(':'));
        if (name == "xcb") return set("DISPLAY");
        if (name.substr(0, 7) == "wayland") return set("WAYLAND_DISPLAY");
        return true;
    }
    return set("DISPLAY") || set("WAYLAND_DISPLAY");
}

#endif

}  // namespace mirel::gui
