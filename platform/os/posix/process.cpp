// The process services on POSIX: the environment, the module this code is in,
// the running program's path, and other processes by id.
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/os/os.h"

namespace mirel::os {

const char* const kTempFolderVariable = "TMPDIR";

std::optional<std::string> environmentVariable(const char* name) {
    const char* value = name ? std::getenv(name) : nullptr;
    if (!value) return std::nullopt;
    return std::string(value);
}

bool setEnvironmentVariable(const char* name, const std::string& value) {
    return name && ::setenv(name, value.c_str(), 1) == 0;
}

bool unsetEnvironmentVariable(const char* name) {
    return name && ::unsetenv(name) == 0;
}

const void* currentModule() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<const void*>(&currentModule), &info) == 0) return nullptr;
    return info.dli_fbase;
}

std::string executablePath() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.string();
}

std::uint32_t processId() {
    return static_cast<std::uint32_t>(::getpid());
}

bool processRunning(std::uint32_t id) {
    if (id == 0 || id > static_cast<std::uint32_t>(INT32_MAX)) return false;
    return ::kill(static_cast<pid_t>(id), 0) == 0 || errno != ESRCH;
}

}  // namespace mirel::os
