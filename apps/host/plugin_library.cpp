// Opening a plug-in library: the PiPL first, so that nothing runs in a file
// that is no filter, then the system's loader (LoadLibraryW on Windows, dlopen
// elsewhere) and the entry point the PiPL names.
#include "apps/host/plugin_library.h"

#if defined(_WIN32)
#include <windows.h>

#include "platform/os/win32/wide_text.h"
#else
#include <dlfcn.h>
#endif

#include "platform/os/os.h"

namespace mirel::hostkit {

namespace {

#if defined(_WIN32)
void* loadLibrary(const std::string& path, std::string& reason) {
    // The plug-in's own folder is searched for what it needs, as hosts load plug-ins.
    HMODULE module =
        ::LoadLibraryExW(os::win32::wideText(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) {
        const DWORD code = ::GetLastError();
        wchar_t* text = nullptr;
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                             FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        reason = text ? os::win32::utf8Text(text) : "system error " + std::to_string(code);
        if (text) ::LocalFree(text);
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                                   reason.back() == ' ' || reason.back() == '.'))
            reason.pop_back();
    }
    return module;
}

void* findSymbol(void* library, const std::string& name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name.c_str()));
}

void closeLibrary(void* library) {
    ::FreeLibrary(static_cast<HMODULE>(library));
}
#else
void* loadLibrary(const std::string& path, std::string& reason) {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* text = dlerror();
        reason = text ? text : "unknown reason";
    }
    return library;
}

void* findSymbol(void* library, const std::string& name) {
    return dlsym(library, name.c_str());
}

void closeLibrary(void* library) {
    dlclose(library);
}
#endif

}  // namespace

std::string defaultPluginPath() {
    if (const auto fromEnvironment = os::environmentVariable("MIREL_PLUGIN");
        fromEnvironment && !fromEnvironment->empty())
        return *fromEnvironment;
    const std::string self = os::executablePath();
    if (self.empty()) return "Mirel.8bf";
    const std::size_t slash = self.find_last_of(
#if defined(_WIN32)
        "/\\"
#else
        "/"
#endif
    );
    return slash == std::string::npos ? "Mirel.8bf" : self.substr(0, slash + 1) + "Mirel.8bf";
}

PluginLibrary::~PluginLibrary() {
    if (handle_) closeLibrary(handle_);
}

bool PluginLibrary::open(const std::string& path, std::string& error) {
    if (!loadFilterPipl(path, pipl_, error)) return false;
    std::string reason;
    handle_ = loadLibrary(path, reason);
    if (!handle_) {
        error = path + ": cannot load the plug-in: " + reason;
        return false;
    }
    entry_ = reinterpret_cast<pi::PluginEntry>(findSymbol(handle_, pipl_.entryPoint));
    if (!entry_) {
        error = path + ": the plug-in has no entry point named \"" + pipl_.entryPoint + "\"";
        closeLibrary(handle_);
        handle_ = nullptr;
        return false;
    }
    return true;
}

}  // namespace mirel::hostkit
