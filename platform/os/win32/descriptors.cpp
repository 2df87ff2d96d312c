// C runtime descriptors for the host programs' codecs and writers, on Windows:
// always in binary mode, opened by UTF-8 paths through the wide calls.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <cerrno>

#include "platform/os/os.h"
#include "platform/os/win32/wide_text.h"

namespace mirel::os {

using win32::errnoOf;
using win32::wideText;

namespace {

// The C runtime moves at most an unsigned int per call.
constexpr std::size_t kMaxTransfer = 0x40000000;

int descriptorOfHandle(HANDLE handle, int& error) {
    const int fd = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_BINARY);
    if (fd < 0) {
        error = EMFILE;
        ::CloseHandle(handle);
    }
    return fd;
}

}  // namespace

int openReadDescriptor(const std::string& path, int& error) {
    error = 0;
    const std::wstring wide = wideText(path);
    const DWORD attributes =
        wide.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = EISDIR;
        return -1;
    }
    HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = wide.empty() ? ENOENT : errnoOf(::GetLastError());
        return -1;
    }
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        error = EINVAL;
        ::CloseHandle(handle);
        return -1;
    }
    return descriptorOfHandle(handle, error);
}

int anonymousFile() {
    // A temporary file the system deletes when it is closed, kept in memory
    // while there is room for it.
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    if (::GetTempPathW(MAX_PATH + 1, folder) == 0 ||
        ::GetTempFileNameW(folder, L"mir", 0, name) == 0) {
        errno = errnoOf(::GetLastError());
        return -1;
    }
    HANDLE handle = ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = errnoOf(::GetLastError());
        ::DeleteFileW(name);
        return -1;
    }
    int error = 0;
    const int fd = descriptorOfHandle(handle, error);
    if (fd < 0) errno = error;
    return fd;
}

std::int64_t descriptorSize(int fd) {
    struct _stat64 info {};
    if (::_fstat64(fd, &info) != 0) return -1;
    return info.st_size;
}

bool readDescriptorAt(int fd, void* data, std::size_t bytes, std::uint64_t offset) {
    if (offset > std::uint64_t(INT64_MAX) || ::_lseeki64(fd, std::int64_t(offset), SEEK_SET) < 0)
        return false;
    auto* out = static_cast<unsigned char*>(data);
    while (bytes > 0) {
        const int got = ::_read(fd, out, unsigned(std::min(bytes, kMaxTransfer)));
        if (got <= 0) return false;
        out += got;
        bytes -= std::size_t(got);
    }
    return true;
}

bool writeDescriptorAt(int fd, const void* data, std::size_t bytes, std::uint64_t offset) {
    if (offset > std::uint64_t(INT64_MAX) || ::_lseeki64(fd, std::int64_t(offset), SEEK_SET) < 0)
        return false;
    return writeDescriptor(fd, data, bytes);
}

bool writeDescriptor(int fd, const void* data, std::size_t bytes) {
    const auto* in = static_cast<const unsigned char*>(data);
    while (bytes > 0) {
        const int put = ::_write(fd, in, unsigned(std::min(bytes, kMaxTransfer)));
        if (put <= 0) return false;
        in += put;
        bytes -= std::size_t(put);
    }
    return true;
}

std::int64_t readDescriptor(int fd, void* data, std::size_t bytes) {
    return ::_read(fd, data, unsigned(std::min(bytes, kMaxTransfer)));
}

std::int64_t seekDescriptor(int fd, std::int64_t offset, int whence) {
    return ::_lseeki64(fd, offset, whence);
}

int duplicateDescriptor(int fd) {
    return ::_dup(fd);
}

bool closeDescriptor(int fd) {
    return ::_close(fd) == 0;
}

std::vector<std::string> startCommandLineProgram(int argc, char** argv) {
    ::_setmode(0, _O_BINARY);
    ::_setmode(1, _O_BINARY);
    ::SetConsoleOutputCP(CP_UTF8);
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(win32::utf8Text(wide[i]));
    ::LocalFree(wide);
    return arguments;
}

bool isTerminal(int fd) {
    return ::_isatty(fd) != 0;
}

}  // namespace mirel::os
