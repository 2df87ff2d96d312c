// Output files written beside their target and renamed over it on commit (the
// platform's replacing file), and standard output held in memory until then.
#include "apps/host/pending_file.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace mirel::hostkit {

namespace {

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
        memory_ = ::memfd_create("mirel output", MFD_CLOEXEC);
        if (memory_ < 0) {
            error = "standard output: cannot hold the output: " + reasonOf(errno);
            return false;
        }
        return true;
    }
    const std::size_t slash = path.find_last_of('/');
    if (path.empty() || slash == path.size() - 1) {
        error = path + ": names a folder, not a file";
        return false;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        error = path + ": is a folder";
        return false;
    }
    if (file_.open(path)) return true;
    const int code = file_.error();
    const std::string folder =
        slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    if (code == EINVAL)
        error = path + ": is not a regular file";
    else
        error = path + ": cannot write here: " +
                (code == ENOENT ? "the folder " + folder + " does not exist" : reasonOf(code));
    return false;
}

int PendingFile::descriptor() const {
    return memory_ >= 0 ? memory_ : file_.descriptor();
}

bool PendingFile::commit(std::string& error) {
    if (memory_ >= 0) {
        // Standard output: the content was held until now, so that a failed run writes nothing.
        bool ok = ::lseek(memory_, 0, SEEK_SET) == 0;
        char buffer[1 << 16];
        while (ok) {
            const ssize_t got = ::read(memory_, buffer, sizeof buffer);
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
    if (!file_.isOpen()) {
        error = path_ + ": nothing to write";
        return false;
    }
    if (file_.commit()) return true;
    error = path_ + ": cannot write: " + reasonOf(file_.error());
    return false;
}

void PendingFile::discard() {
    if (memory_ >= 0) ::close(memory_);
    memory_ = -1;
    file_.abandon();
}

}  // namespace mirel::hostkit
