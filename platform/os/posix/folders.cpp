// Folders: the temporary folder, listing a folder by a wildcard pattern the
// way the filter's home system matches names, and making a folder.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/os/folder_names.h"
#include "platform/os/os.h"

namespace mirel::os {

namespace {

constexpr const char* kDefaultTempFolder = "/tmp/";

}  // namespace

std::string tempFolder() {
    // A TMPDIR that does not name a folder would make every file of the
    // filter silently fail; fall back to the system folder instead.
    const char* fromEnvironment = std::getenv(kTempFolderVariable);
    if (!fromEnvironment || !*fromEnvironment || !isFolder(fromEnvironment))
        return kDefaultTempFolder;
    std::string folder(fromEnvironment);
    if (folder.back() != '/') folder += '/';
    return folder;
}

bool listFolder(const std::string& folder, const std::string& pattern,
                std::vector<std::string>& names) {
    names.clear();
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return false;
    bool ok = true;
    try {
        for (;;) {
            errno = 0;
            const dirent* entry = ::readdir(dir);
            if (!entry) {
                ok = errno == 0;
                break;
            }
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
            if (detail::nameMatches(pattern, name)) names.emplace_back(name);
        }
        std::sort(names.begin(), names.end(), detail::nameLess);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    ::closedir(dir);
    if (!ok) names.clear();
    return ok;
}

bool makeFolder(const std::string& path) {
    if (path.empty()) return false;
    if (::mkdir(path.c_str(), 0755) == 0) return true;
    return errno == EEXIST && isFolder(path);
}

std::string makeUniqueFolder(const std::string& prefix) {
    std::string pattern = prefix + "XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return {};
    return pattern;
}

bool removeFolderAndFiles(const std::string& path) {
    if (DIR* dir = ::opendir(path.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") ::unlink((path + "/" + name).c_str());
        }
        ::closedir(dir);
    }
    return ::rmdir(path.c_str()) == 0 || errno == ENOENT;
}

}  // namespace mirel::os
