// C runtime descriptors for the host programs' codecs and writers, on POSIX.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform/os/os.h"

namespace mirel::os {

namespace {

// Linux moves at most this much per call.
constexpr std::size_t kMaxTransfer = 0x7ffff000;

}  // namespace

int openReadDescriptor(const std::string& path, int& error) {
    error = 0;
    // O_NONBLOCK keeps a FIFO at the path from blocking the open; anything but
    // a regular file is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

int anonymousFile() {
    return ::memfd_create("mirel", MFD_CLOEXEC);
}

std::int64_t descriptorSize(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return -1;
    return static_cast<std::int64_t>(info.st_size);
}

bool readDescriptorAt(int fd, void* data, std::size_t bytes, std::uint64_t offset) {
    auto* out = static_cast<unsigned char*>(data);
    while (bytes > 0) {
        if (offset > std::uint64_t(INT64_MAX)) return false;
        const ssize_t got = ::pread(fd, out, std::min(bytes, kMaxTransfer), off_t(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        bytes -= std::size_t(got);
        offset += std::uint64_t(got);
    }
    return true;
}

bool writeDescriptorAt(int fd, const void* data, std::size_t bytes, std::uint64_t offset) {
    const auto* in = static_cast<const unsigned char*>(data);
    while (bytes > 0) {
        if (offset > std::uint64_t(INT64_MAX)) return false;
        const ssize_t put = ::pwrite(fd, in, std::min(bytes, kMaxTransfer), off_t(offset));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        in += put;
        bytes -= std::size_t(put);
        offset += std::uint64_t(put);
    }
    return true;
}

bool writeDescriptor(int fd, const void* data, std::size_t bytes) {
    const auto* in = static_cast<const unsigned char*>(data);
    while (bytes > 0) {
        const ssize_t put = ::write(fd, in, std::min(bytes, kMaxTransfer));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        in += put;
        bytes -= std::size_t(put);
    }
    return true;
}

std::int64_t readDescriptor(int fd, void* data, std::size_t bytes) {
    for (;;) {
        const ssize_t got = ::read(fd, data, std::min(bytes, kMaxTransfer));
        if (got < 0 && errno == EINTR) continue;
        return got;
    }
}

std::int64_t seekDescriptor(int fd, std::int64_t offset, int whence) {
    return ::lseek(fd, off_t(offset), whence);
}

int duplicateDescriptor(int fd) {
    return ::dup(fd);
}

bool closeDescriptor(int fd) {
    return ::close(fd) == 0 || errno == EINTR;
}

std::vector<std::string> startCommandLineProgram(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

bool isTerminal(int fd) {
    return ::isatty(fd) != 0;
}

}  // namespace mirel::os
