// The system clock as the filter sees it (the millisecond tick and the UTC
// date) and the debugger output channel, on Win32.
#include <windows.h>

#include <cstring>

#include "platform/os/os.h"
#include "platform/os/win32/wide_text.h"

namespace mirel::os {

std::uint32_t tickCount() {
    return ::GetTickCount();
}

UtcDate utcNow() {
    SYSTEMTIME now{};
    ::GetSystemTime(&now);
    return UtcDate{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

void debugOutput(const char* text) {
    if (!text) return;
    ::OutputDebugStringW(win32::wideText(text).c_str());
    if (!environmentVariable("MIREL_DEBUG")) return;
    // One write call per message keeps lines from different threads whole.
    HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
    const std::size_t length = std::strlen(text);
    DWORD written = 0;
    ::WriteFile(error, text, DWORD(length), &written, nullptr);
}

}  // namespace mirel::os
