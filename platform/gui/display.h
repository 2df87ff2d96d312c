// Whether the environment names a display a window can open on. Read from the
// environment alone, so that a host program can decide before it loads any
// window system, by the same rule the dialogs use.
#pragma once

#include <cstdlib>
#include <string_view>

namespace mirel::gui {

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

}  // namespace mirel::gui
