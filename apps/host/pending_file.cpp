// Output files written beside their target and renamed over it on commit (the
// platform's replacing file), and standard output held in memory until then.
#include "apps/host/pending_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace mirel::hostkit {

namespace {

std::string reasonOf(int code) {
    return std::strerror(code);
}

}  // namespace

PendingFile::~PendingFile() {
    discard();
}

bool PendingFile::open(const std::string& path, std::string& error) {
    discard();
    path_ = path;
    if (path == "-") {
        memory_ = os::anonymousFile();
        if (memory_ < 0) {
            error = "standard output: cannot hold the output: " + reasonOf(errno);
            return false;
        }
        return true;
    }
    const std::size_t slash = path.find_last_of(os::kPathSeparators);
    if (path.empty() || slash == path.size() - 1) {
        error = path + ": names a folder, not a file";
        return false;
    }
    if (os::isFolder(path)) {
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
        bool ok = os::seekDescriptor(memory_, 0, SEEK_SET) == 0;
        char buffer[1 << 16];
        while (ok) {
            const std::int64_t got = os::readDescriptor(memory_, buffer, sizeof buffer);
            if (got <= 0) {
                ok = got == 0;
                break;
            }
            ok = os::writeDescriptor(os::kStandardOutput, buffer, std::size_t(got));
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
    if (memory_ >= 0) os::closeDescriptor(memory_);
    memory_ = -1;
    file_.abandon();
}

}  // namespace mirel::hostkit
