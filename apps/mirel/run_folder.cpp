// The private temporary folder of a command and the settings it hands the filter.
#include "apps/mirel/run_folder.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "apps/mirel/run_settings.h"
#include "platform/os/os.h"
#include "settings/temp_files.h"

namespace mirel::host_app {

namespace {

// Larger files are no cached settings of this filter.
constexpr std::size_t kMaxCacheBytes = 1 << 20;

// A run's folder is named after the process that made it: "Mirel run <pid> XXXXXX".
std::string runFolderPrefix() {
    return std::string(kProductName) + " run ";
}

void removeFolder(const std::string& folder) {
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") ::unlink((folder + "/" + name).c_str());
        }
        ::closedir(dir);
    }
    ::rmdir(folder.c_str());
}

// A process that no clean-up survives (GIMP ends a plug-in whose run the user cancels
// with SIGKILL) leaves its folder; the next run removes the folders of processes
// that are gone. A folder whose process still runs, or that is no run's, stays.
void removeFoldersOfEndedRuns(const std::string& userFolder) {
    const std::string prefix = runFolderPrefix();
    std::vector<std::string> ended;
    if (DIR* dir = ::opendir(userFolder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.compare(0, prefix.size(), prefix) != 0) continue;
            const char* digits = name.c_str() + prefix.size();
            if (*digits < '0' || *digits > '9') continue;
            char* end = nullptr;
            const long pid = std::strtol(digits, &end, 10);
            if (pid <= 0 || *end != ' ') continue;
            if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH) continue;
            struct stat info {};
            const std::string path = userFolder + name;
            if (::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) ended.push_back(path);
        }
        ::closedir(dir);
    }
    for (const std::string& folder : ended) removeFolder(folder);
}

bool readSmallFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        std::size_t(info.st_size) > kMaxCacheBytes)
        return false;
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

RunFolder::~RunFolder() {
    if (folder_.empty()) return;
    removeFolder(folder_);
    if (hadTmpdir_)
        ::setenv("TMPDIR", oldTmpdir_.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}

bool RunFolder::create(std::string& error) {
    const std::string userFolder = tempFolder();
    userCache_ = cachedSettingsPath();
    removeFoldersOfEndedRuns(userFolder);
    std::string pattern = userFolder + runFolderPrefix() + std::to_string(::getpid()) + " XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        error = "cannot make a working folder in " + userFolder + ": " + std::strerror(errno);
        return false;
    }
    folder_ = pattern;
    if (const char* old = std::getenv("TMPDIR")) {
        hadTmpdir_ = true;
        oldTmpdir_ = old;
    }
    // The filter finds its temporary folder through TMPDIR each time it needs it.
    ::setenv("TMPDIR", folder_.c_str(), 1);
    return true;
}

bool RunFolder::prepare(const RunStart& start, std::optional<hostkit::Descriptor>& offer,
                        std::string& error) {
    offer.reset();
    const std::string cache = cachedSettingsPath();
    ::unlink(cache.c_str());
    std::vector<std::uint8_t> bytes;
    switch (start.from) {
        case RunStart::From::Defaults:
            return true;
        case RunStart::From::Last:
            // The file as the user's filter left it, so that it reads exactly as it would there.
            if (!readSmallFile(userCache_, bytes)) return true;
            break;
        case RunStart::From::Settings: {
            Handover handover = handoverFor(start.settings);
            if ((offer = std::move(handover.descriptor))) return true;
            bytes = std::move(handover.cachedSettings);
            break;
        }
    }
    if (!os::writeFileAtomic(cache, bytes)) {
        error =
            "cannot write the settings for the filter in " + folder_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool RunFolder::keepConfirmedSettings(std::string& error) {
    std::vector<std::uint8_t> bytes;
    // A filter that kept nothing (another filter, or a full disk) leaves the user's as they are.
    if (!readSmallFile(cachedSettingsPath(), bytes)) return true;
    if (!os::writeFileAtomic(userCache_, bytes)) {
        error = "cannot keep the settings of this run in " + userCache_ + ": " +
                std::strerror(errno) + "; --last still gives the previous ones";
        return false;
    }
    return true;
}

}  // namespace mirel::host_app
