// Output files written beside their target and renamed over it on commit.
#include "apps/host/pending_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace mirel::hostkit {

namespace {

constexpr int kNameAttempts = 100;

std::string reasonOf(int code) {
    return std::strerror(code);
}

// Whole writes, across interruptions and short writes.
bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= std::size_t(written);
    }
    return true;
}

}  // namespace

PendingFile::~PendingFile() {
    discard();
}

bool PendingFile::open(const std::string& path, std::string& error) {
    discard();
    path_ = path;
    if (path == "-") {
        fd_ = ::memfd_create("mirel output", MFD_CLOEXEC);
        if (fd_ < 0) {
            error = "standard output: cannot hold the output: " + reasonOf(errno);
            return false;
        }
        return true;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        error = path + ": is a folder";
        return false;
    }
    const std::size_t slash = path.find_last_of('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) {
        error = path + ": names a folder, not a file";
        return false;
    }
    // Hidden, and unique across processes and within one, so that runs writing the same
    // target at once never share a temporary file.
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        hidden_ = folder + "." + name.substr(0, 128) + ".mirel-" + std::to_string(::getpid()) +
                  "-" + std::to_string(counter.fetch_add(1)) + ".tmp";
        fd_ = ::open(hidden_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) break;
        if (errno != EEXIST) break;
    }
    if (fd_ < 0) {
        const int code = errno;
        hidden_.clear();
        const std::string where = folder.empty() ? std::string(".") : folder;
        error = path + ": cannot write here: " +
                (code == ENOENT ? "the folder " + where + " does not exist" : reasonOf(code));
        return false;
    }
    // A replaced file keeps its permissions; a new one gets the umask's.
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        (void)::fchmod(fd_, info.st_mode & 07777);
    return true;
}

bool PendingFile::commit(std::string& error) {
    if (fd_ < 0) {
        error = path_ + ": nothing to write";
        return false;
    }
    if (hidden_.empty()) {
        // Standard output: the content was held until now, so that a failed run writes nothing.
        bool ok = ::lseek(fd_, 0, SEEK_SET) == 0;
        char buffer[1 << 16];
        while (ok) {
            const ssize_t got = ::read(fd_, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                ok = got == 0;
                break;
            }
            ok = writeAll(STDOUT_FILENO, buffer, std::size_t(got));
        }
        if (!ok) error = "standard output: cannot write: " + reasonOf(errno);
        discard();
        return ok;
    }
    // The rename must not be able to land before the data does.
    if (::fsync(fd_) != 0 || ::close(fd_) != 0) {
        error = path_ + ": cannot write: " + reasonOf(errno);
        fd_ = -1;
        discard();
        return false;
    }
    fd_ = -1;
    if (::rename(hidden_.c_str(), path_.c_str()) != 0) {
        error = path_ + ": cannot replace the file: " + reasonOf(errno);
        discard();
        return false;
    }
    hidden_.clear();
    return true;
}

void PendingFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!hidden_.empty()) ::unlink(hidden_.c_str());
    hidden_.clear();
}

}  // namespace mirel::hostkit
