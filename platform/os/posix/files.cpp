// Files on POSIX descriptors: the two open modes the filter uses, whole-file
// reads, and writes that replace a file only once the new bytes are on disk.
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <new>

#include "platform/os/os.h"

namespace mirel::os {

namespace {

// Linux moves at most this much per read or write call; asking for more only
// returns a short count, so we split large transfers ourselves.
constexpr std::size_t kMaxTransfer = 0x7ffff000;
// The temporary name adds a dot, a suffix and the base name; keep the base
// short enough that the whole name stays within NAME_MAX.
constexpr std::size_t kMaxTempBaseName = 200;
constexpr int kTempNameAttempts = 100;

int openRetrying(const char* path, int flags, mode_t mode) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Opens a regular file in one of the filter's modes; -1 on failure.
int openDescriptor(const std::string& path, OpenMode mode) {
    if (path.empty()) return -1;
    // O_NONBLOCK keeps a FIFO at the path from blocking the open; anything but
    // a regular file is refused below, so the flag never matters afterwards.
    const int flags =
        (mode == OpenMode::CreateOrOpen ? O_RDWR | O_CREAT : O_RDONLY) | O_CLOEXEC | O_NONBLOCK;
    const int fd = openRetrying(path.c_str(), flags, 0644);
    if (fd < 0) return -1;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        return -1;
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status >= 0) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    return fd;
}

struct DescriptorGuard {
    int fd;
    ~DescriptorGuard() { ::close(fd); }
};

// Reads until `bytes` are in, the end of the file, or an error. `failed`
// tells an error apart from the end of the file.
std::size_t readFully(int fd, void* data, std::size_t bytes, bool& failed) {
    failed = false;
    auto* out = static_cast<unsigned char*>(data);
    std::size_t done = 0;
    while (done < bytes) {
        const std::size_t want = std::min(bytes - done, kMaxTransfer);
        const ssize_t got = ::read(fd, out + done, want);
        if (got < 0) {
            if (errno == EINTR) continue;
            failed = true;
            break;
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

bool writeFully(int fd, const void* data, std::size_t bytes) {
    const auto* in = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < bytes) {
        const std::size_t want = std::min(bytes - done, kMaxTransfer);
        const ssize_t put = ::write(fd, in + done, want);
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (put == 0) return false;  // no progress and no error: give up, never spin
        done += static_cast<std::size_t>(put);
    }
    return true;
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

// Writes through a symbolic link replace the file it points to, not the link.
std::string resolveTarget(const std::string& path) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return path;  // dangling link: replace the link itself
    std::string target(real);
    ::free(real);
    return target;
}

// Creates a new file beside `path` that nobody else can have open.
int createTempBeside(const std::string& path, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    const std::string folder = folderOf(path);
    std::string base = baseNameOf(path);
    if (base.size() > kMaxTempBaseName) base.resize(kMaxTempBaseName);
    const std::string prefix = (folder == "/" ? std::string("/") : folder + "/") + "." + base;
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".tmp-%ld-%u", static_cast<long>(::getpid()),
                      counter.fetch_add(1, std::memory_order_relaxed));
        tempPath = prefix + suffix;
        const int fd = openRetrying(tempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        if (errno != EEXIST) break;
    }
    tempPath.clear();
    return -1;
}

}  // namespace

// ---- File -------------------------------------------------------------------

namespace {

int descriptorOf(std::intptr_t native) {
    return static_cast<int>(native);
}

}  // namespace

File::~File() {
    close();
}

File::File(File&& other) noexcept : native_(other.native_) {
    other.native_ = kNoFile;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        native_ = other.native_;
        other.native_ = kNoFile;
    }
    return *this;
}

bool File::open(const std::string& path, OpenMode mode) {
    close();
    const int fd = openDescriptor(path, mode);
    if (fd >= 0) native_ = fd;
    return fd >= 0;
}

void File::close() {
    if (native_ != kNoFile) {
        // Never retry close on Linux: the descriptor is gone even after EINTR.
        ::close(descriptorOf(native_));
        native_ = kNoFile;
    }
}

std::size_t File::read(void* data, std::size_t bytes) {
    if (native_ == kNoFile || (!data && bytes > 0)) return 0;
    bool failed;
    return readFully(descriptorOf(native_), data, bytes, failed);
}

bool File::write(const void* data, std::size_t bytes) {
    if (native_ == kNoFile || (!data && bytes > 0)) return false;
    return writeFully(descriptorOf(native_), data, bytes);
}

bool File::seek(std::int64_t offset) {
    if (native_ == kNoFile || offset < 0) return false;
    return ::lseek(descriptorOf(native_), static_cast<off_t>(offset), SEEK_SET) ==
           static_cast<off_t>(offset);
}

std::int64_t File::position() const {
    if (native_ == kNoFile) return -1;
    return static_cast<std::int64_t>(::lseek(descriptorOf(native_), 0, SEEK_CUR));
}

std::int64_t File::size() const {
    if (native_ == kNoFile) return -1;
    struct stat info;
    if (::fstat(descriptorOf(native_), &info) != 0) return -1;
    return static_cast<std::int64_t>(info.st_size);
}

bool File::truncateHere() {
    const std::int64_t here = position();
    if (here < 0) return false;
    while (::ftruncate(descriptorOf(native_), static_cast<off_t>(here)) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

bool File::flush() {
    if (native_ == kNoFile) return false;
    return syncDescriptor(descriptorOf(native_));
}

// ---- Whole files ------------------------------------------------------------

bool readFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    const int fd = openDescriptor(path, OpenMode::ExistingOnly);
    if (fd < 0) return false;
    const DescriptorGuard guard{fd};
    struct stat info;
    if (::fstat(fd, &info) != 0) return false;
    const std::int64_t expected = info.st_size;
    try {
        if (static_cast<std::uint64_t>(expected) > bytes.max_size()) return false;
        // The size is a hint: the file may grow or shrink while we read it, so
        // read on until the end and keep exactly what was there.
        bytes.resize(static_cast<std::size_t>(expected));
        bool failed = false;
        std::size_t total = 0;
        for (;;) {
            if (total == bytes.size()) bytes.resize(bytes.size() + 65536);
            const std::size_t got =
                readFully(fd, bytes.data() + total, bytes.size() - total, failed);
            total += got;
            if (failed) {
                bytes.clear();
                return false;
            }
            if (total < bytes.size()) break;  // short read: end of file
        }
        bytes.resize(total);
    } catch (const std::bad_alloc&) {
        bytes.clear();
        bytes.shrink_to_fit();
        return false;
    }
    return true;
}

ReplacingFile::~ReplacingFile() {
    abandon();
}

bool ReplacingFile::open(const std::string& target) {
    abandon();
    failed_ = false;
    error_ = 0;
    if (target.empty() || target.back() == '/') {
        error_ = EISDIR;
        return false;
    }
    target_ = resolveTarget(target);
    // A folder or a device at the target's place is not ours to replace.
    struct stat info;
    if (::stat(target_.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        error_ = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    fd_ = createTempBeside(target_, tempPath_);
    if (fd_ < 0) {
        error_ = errno;
        tempPath_.clear();
    }
    return fd_ >= 0;
}

bool ReplacingFile::write(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0 || failed_) return false;
    if (!writeFully(fd_, bytes.data(), bytes.size())) {
        failed_ = true;
        error_ = errno;
    }
    return !failed_;
}

bool ReplacingFile::commit() {
    if (fd_ < 0) return false;
    // A replaced file keeps its permission bits; a new one gets 0666 less umask (as any new file).
    struct stat old;
    if (::stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(fd_, old.st_mode & 07777);
    bool ok = !failed_ && syncDescriptor(fd_);
    if (!ok && !failed_) error_ = errno;
    // close can report a delayed write error (e.g. on network file systems).
    if (::close(fd_) != 0 && errno != EINTR && ok) {
        ok = false;
        error_ = errno;
    }
    fd_ = -1;
    if (ok && ::rename(tempPath_.c_str(), target_.c_str()) != 0) {
        ok = false;
        error_ = errno;
    }
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

bool writeFileAtomic(const std::string& path, std::span<const std::uint8_t> bytes) {
    ReplacingFile file;
    return file.open(path) && file.write(bytes) && file.commit();
}

bool fileExists(const std::string& path) {
    struct stat info;
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool isFolder(const std::string& path) {
    struct stat info;
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

PathKind pathKind(const std::string& path) {
    struct stat info;
    if (path.empty()) {
        errno = ENOENT;
        return PathKind::Absent;
    }
    if (::stat(path.c_str(), &info) != 0) return PathKind::Absent;
    if (S_ISREG(info.st_mode)) return PathKind::File;
    return S_ISDIR(info.st_mode) ? PathKind::Folder : PathKind::Other;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first {
    }, second{};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::filesystem::path pathOf(const std::string& utf8) {
    return std::filesystem::path(utf8);
}

bool removeFile(const std::string& path) {
    if (path.empty()) return false;
    if (::unlink(path.c_str()) == 0) return true;
    return errno == ENOENT;
}

}  // namespace mirel::os
