// Opening a plug-in library: the PiPL first, so that nothing runs in a file
// that is no filter, then dlopen and the entry point the PiPL names.
#include "apps/host/plugin_library.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>

namespace mirel::hostkit {

std::string defaultPluginPath() {
    if (const char* fromEnvironment = std::getenv("MIREL_PLUGIN");
        fromEnvironment && *fromEnvironment)
        return fromEnvironment;
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return "Mirel.8bf";
    return (self.parent_path() / "Mirel.8bf").string();
}

PluginLibrary::~PluginLibrary() {
    if (handle_) dlclose(handle_);
}

bool PluginLibrary::open(const std::string& path, std::string& error) {
    if (!loadFilterPipl(path, pipl_, error)) return false;
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* reason = dlerror();
        error = path + ": cannot load the plug-in: " + (reason ? reason : "unknown reason");
        return false;
    }
    entry_ = reinterpret_cast<pi::PluginEntry>(dlsym(handle_, pipl_.entryPoint.c_str()));
    if (!entry_) {
        error = path + ": the plug-in has no entry point named \"" + pipl_.entryPoint + "\"";
        dlclose(handle_);
        handle_ = nullptr;
        return false;
    }
    return true;
}

}  // namespace mirel::hostkit
