// Names and places of the filter's files in the temporary folder.
#include "settings/temp_files.h"

#include <cstdio>

#include "platform/os/os.h"

namespace mirel {

std::string tempFolder() {
    std::string folder = os::tempFolder();
    // The system's folder normally ends in a separator already; never glue a name on
    // without one.
    if (!folder.empty() && !os::isPathSeparator(folder.back())) folder.push_back('/');
    return folder;
}

std::string tempFilePath(std::string_view name) {
    std::string path = tempFolder();
    path.append(name);
    return path;
}

std::string cachedSettingsPath() {
    return tempFilePath(kCachedSettingsName);
}

std::string memoryDotMapPath() {
    return tempFilePath(kMemoryDotMapName);
}

std::string memoryDotFileName(int index) {
    if (index < kFirstMemoryDotFile || index > kLastMemoryDotFile) return {};
    char name[64];
    std::snprintf(name, sizeof name, "%s A memory dot %d%s", kProductName, index,
                  kSettingsFileExtension);
    return name;
}

std::string memoryDotFilePath(int index) {
    const std::string name = memoryDotFileName(index);
    return name.empty() ? std::string() : tempFilePath(name);
}

std::string undoFileName(int index) {
    if (index < 0 || index >= kUndoFileCount) return {};
    char name[32];
    std::snprintf(name, sizeof name, "%s undo %d", kProductName, index);
    return name;
}

std::string undoFilePath(int index) {
    const std::string name = undoFileName(index);
    return name.empty() ? std::string() : tempFilePath(name);
}

}  // namespace mirel
