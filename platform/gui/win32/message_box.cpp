// The Win32 backend's message dialog (the system's message box) and the
// shell's "open" verb for pages and web addresses.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <string>

#include "platform/gui/dialog.h"
#include "platform/gui/open_url.h"
#include "platform/os/win32/wide_text.h"

namespace mirel::gui {

using os::win32::wideText;

int messageDialog(std::string_view title, std::string_view text, void* ownerWindow) {
    HWND owner = static_cast<HWND>(ownerWindow);
    if (owner && !::IsWindow(owner)) owner = nullptr;
    const int answer = ::MessageBoxW(owner, wideText(text).c_str(), wideText(title).c_str(),
                                     MB_OK | MB_ICONINFORMATION | (owner ? 0 : MB_TASKMODAL));
    if (answer == 0) return kDialogFailed;
    return answer == IDOK ? kIdOk : kIdCancel;
}

bool openUrl(const std::string& address) {
    if (address.empty()) return false;
    // The shell takes paths and addresses alike; a value above 32 means it started.
    const auto started = reinterpret_cast<std::intptr_t>(::ShellExecuteW(
        nullptr, L"open", wideText(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return started > 32;
}

}  // namespace mirel::gui
