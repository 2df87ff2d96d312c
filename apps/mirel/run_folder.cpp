// The private temporary folder of a command and the settings it hands the filter.
#include "apps/mirel/run_folder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "apps/mirel/run_settings.h"
#include "platform/os/os.h"
#include "settings/temp_files.h"

namespace mirel::host_app {

namespace {

// Larger files are no cached settings of this filter.
constexpr std::size_t kMaxCacheBytes = 1 << 20;

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
    if (DIR* dir = ::opendir(folder_.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") ::unlink((folder_ + "/" + name).c_str());
        }
        ::closedir(dir);
    }
    ::rmdir(folder_.c_str());
    if (hadTmpdir_)
        ::setenv("TMPDIR", oldTmpdir_.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}

bool RunFolder::create(std::string& error) {
    const std::string userFolder = tempFolder();
    userCache_ = cachedSettingsPath();
    std::string pattern = userFolder + kProductName + " run XXXXXX";
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
