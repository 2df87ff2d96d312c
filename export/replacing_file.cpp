// The export's file writing on POSIX descriptors: a temporary file beside the
// target, renamed over it once complete.
#include "export/replacing_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>

namespace mirel {

namespace {

// Linux moves at most this much per write call.
constexpr std::size_t kMaxTransfer = 0x7ffff000;
// Keeps ".<base>.tmp-<pid>-<n>" within the longest file name.
constexpr std::size_t kMaxTempBaseName = 200;
constexpr int kTempNameAttempts = 100;

int openRetrying(const char* path, int flags, mode_t mode) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// fsync is refused by some special files and file systems; that is not a
// failure to keep the data.
bool syncDescriptor(int fd) {
    while (::fsync(fd) != 0) {
        if (errno == EINTR) continue;
        return errno == EINVAL || errno == EROFS;
    }
    return true;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Writing through a symbolic link replaces the file it points to, not the link.
std::string resolveTarget(const std::string& path) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return path;  // dangling link: replace the link itself
    std::string target(real);
    ::free(real);
    return target;
}

}  // namespace

ReplacingFile::~ReplacingFile() {
    abandon();
}

bool ReplacingFile::open(const std::string& target) {
    abandon();
    failed_ = false;
    if (target.empty() || target.back() == '/') return false;
    target_ = resolveTarget(target);
    struct stat info;
    // A folder or a device at the target's place is not ours to replace.
    if (::stat(target_.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) return false;

    static std::atomic<unsigned> counter{0};
    const std::string folder = folderOf(target_);
    std::string base = baseNameOf(target_);
    if (base.size() > kMaxTempBaseName) base.resize(kMaxTempBaseName);
    const std::string prefix = (folder == "/" ? std::string("/") : folder + "/") + "." + base;
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".tmp-%ld-%u", static_cast<long>(::getpid()),
                      counter.fetch_add(1, std::memory_order_relaxed));
        tempPath_ = prefix + suffix;
        fd_ = openRetrying(tempPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd_ >= 0) return true;
        if (errno != EEXIST) break;
    }
    tempPath_.clear();
    return false;
}

bool ReplacingFile::write(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0 || failed_) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t want = std::min(bytes.size() - done, kMaxTransfer);
        const ssize_t put = ::write(fd_, bytes.data() + done, want);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {  // an error, or no progress: never spin
            failed_ = true;
            return false;
        }
        done += std::size_t(put);
    }
    return true;
}

bool ReplacingFile::commit() {
    if (fd_ < 0) return false;
    // A replaced file keeps its permission bits; a new one gets 0644 less umask.
    struct stat old;
    if (::stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(fd_, old.st_mode & 07777);
    bool ok = !failed_ && syncDescriptor(fd_);
    // close can report a delayed write error (e.g. on network file systems).
    if (::close(fd_) != 0 && errno != EINTR) ok = false;
    fd_ = -1;
    if (ok && ::rename(tempPath_.c_str(), target_.c_str()) != 0) ok = false;
    if (!ok) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
        return false;
    }
    tempPath_.clear();
    // Make the rename itself durable; a failure here leaves a correct file.
    const int folderFd =
        openRetrying(folderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (folderFd >= 0) {
        syncDescriptor(folderFd);
        ::close(folderFd);
    }
    return true;
}

void ReplacingFile::abandon() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

}  // namespace mirel
