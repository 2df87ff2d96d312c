// The system's common dialogs (open, save, colour) live in a library of their
// own that pulls in much of the shell; it is loaded the first time a dialog
// is wanted rather than with the plug-in, so that a filter run without a
// file dialog never maps it into the host. Private to platform/gui.
#pragma once

#include <windows.h>

namespace mirel::gui::win32 {

// An entry of the common dialog library, or null when it cannot be loaded.
// The library stays loaded for the life of the process.
template <typename Fn>
Fn commonDialogEntry(const char* name) {
    static const HMODULE library = ::LoadLibraryW(L"comdlg32.dll");
    if (!library) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

}  // namespace mirel::gui::win32
