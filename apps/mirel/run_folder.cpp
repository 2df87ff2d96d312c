// The private temporary folder of a command and the settings it hands the filter.
#include "apps/mirel/run_folder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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

// A process that no clean-up survives (GIMP ends a plug-in whose run the user cancels
// with SIGKILL) leaves its folder; the next run removes the folders of processes
// that are gone. A folder whose process still runs, or that is no run's, stays.
void removeFoldersOfEndedRuns(const std::string& userFolder) {
    const std::string prefix = runFolderPrefix();
    std::vector<std::string> names;
    if (!os::listFolder(userFolder, prefix + "*", names)) return;
    for (const std::string& name : names) {
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        const char* digits = name.c_str() + prefix.size();
        if (*digits < '0' || *digits > '9') continue;
        char* end = nullptr;
        const unsigned long pid = std::strtoul(digits, &end, 10);
        if (pid == 0 || pid > 0xFFFFFFFFul || *end != ' ') continue;
        if (os::processRunning(std::uint32_t(pid))) continue;
        // Through a link, only the link would go: the folder must be one here.
        std::error_code failed;
        const std::string path = userFolder + name;
        if (std::filesystem::is_directory(
                std::filesystem::symlink_status(os::pathOf(path), failed)))
            os::removeFolderAndFiles(path);
    }
}

bool readSmallFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    os::File file;
    if (!file.open(path, os::OpenMode::ExistingOnly)) return false;
    const std::int64_t size = file.size();
    if (size < 0 || std::uint64_t(size) > kMaxCacheBytes) return false;
    bytes.resize(std::size_t(size));
    bytes.resize(file.read(bytes.data(), bytes.size()));
    return true;
}

}  // namespace

RunFolder::~RunFolder() {
    if (folder_.empty()) return;
    os::removeFolderAndFiles(folder_);
    if (hadTmpdir_)
        os::setEnvironmentVariable(os::kTempFolderVariable, oldTmpdir_);
    else
        os::unsetEnvironmentVariable(os::kTempFolderVariable);
}

bool RunFolder::create(std::string& error) {
    const std::string userFolder = tempFolder();
    userCache_ = cachedSettingsPath();
    removeFoldersOfEndedRuns(userFolder);
    folder_ = os::makeUniqueFolder(userFolder + runFolderPrefix() +
                                   std::to_string(os::processId()) + " ");
    if (folder_.empty()) {
        error = "cannot make a working folder in " + userFolder + ": " + std::strerror(errno);
        return false;
    }
    if (const auto old = os::environmentVariable(os::kTempFolderVariable)) {
        hadTmpdir_ = true;
        oldTmpdir_ = *old;
    }
    // The filter finds its temporary folder through the environment each time it needs it.
    os::setEnvironmentVariable(os::kTempFolderVariable, folder_);
    return true;
}

bool RunFolder::prepare(const RunStart& start, std::optional<hostkit::Descriptor>& offer,
                        std::string& error) {
    offer.reset();
    const std::string cache = cachedSettingsPath();
    os::removeFile(cache);
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
