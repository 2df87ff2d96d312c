// The process services on Win32: the process's own environment (which the
// system's calls read), the module this code is in, the running program's
// path, and other processes by id.
#include <stdlib.h>
#include <windows.h>

#include <vector>

#include "platform/os/os.h"
#include "platform/os/win32/wide_text.h"

namespace mirel::os {

using win32::utf8Text;
using win32::wideText;

std::optional<std::string> environmentVariable(const char* name) {
    if (!name || !*name) return std::nullopt;
    const std::wstring wideName = wideText(name);
    std::vector<wchar_t> value(256);
    for (;;) {
        ::SetLastError(ERROR_SUCCESS);
        const DWORD length =
            ::GetEnvironmentVariableW(wideName.c_str(), value.data(), DWORD(value.size()));
        if (length == 0) {
            if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
            return std::string();
        }
        if (length < value.size()) return utf8Text(std::wstring_view(value.data(), length));
        value.resize(length);
    }
}

// The C runtime keeps a copy of the environment that getenv reads; both are
// changed so that code reading either agrees.
bool setEnvironmentVariable(const char* name, const std::string& value) {
    if (!name || !*name) return false;
    const std::wstring wideName = wideText(name), wideValue = wideText(value);
    if (!::SetEnvironmentVariableW(wideName.c_str(), wideValue.c_str())) return false;
    if (!wideValue.empty()) ::_wputenv((wideName + L"=" + wideValue).c_str());
    return true;
}

bool unsetEnvironmentVariable(const char* name) {
    if (!name || !*name) return false;
    const std::wstring wideName = wideText(name);
    ::_wputenv((wideName + L"=").c_str());
    return ::SetEnvironmentVariableW(wideName.c_str(), nullptr) ||
           ::GetLastError() == ERROR_ENVVAR_NOT_FOUND;
}

const void* currentModule() {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&currentModule), &module))
        return nullptr;
    return module;
}

std::string executablePath() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length == 0) return {};
        if (length < path.size()) return utf8Text(std::wstring_view(path.data(), length));
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

std::uint32_t processId() {
    return ::GetCurrentProcessId();
}

bool processRunning(std::uint32_t id) {
    if (id == 0) return false;
    HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process) return ::GetLastError() != ERROR_INVALID_PARAMETER;  // denied: it runs
    const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return running;
}

}  // namespace mirel::os
