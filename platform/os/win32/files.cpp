// Files on Win32 handles: the two open modes the filter uses (shared for
// reading, never truncated on open), whole-file reads, and writes that replace
// a file only once the new bytes are on disk. Always binary: no C runtime text
// mode sits between the bytes and the file.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <new>

#include "platform/os/os.h"
#include "platform/os/win32/wide_text.h"

namespace mirel::os {

using win32::errnoOf;
using win32::wideText;

namespace {

// ReadFile and WriteFile take 32-bit counts; larger transfers are split.
constexpr std::size_t kMaxTransfer = 0x40000000;
// The temporary name adds a dot, a suffix and the base name; keep the base
// short enough that the whole name stays within the 255 characters a name may have.
constexpr std::size_t kMaxTempBaseName = 200;
constexpr int kTempNameAttempts = 100;

HANDLE handleOf(std::intptr_t native) {
    return reinterpret_cast<HANDLE>(native);
}

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

std::size_t lastSeparator(const std::string& path) {
    return path.find_last_of("/\\");
}

// Opens a regular file in one of the filter's modes; INVALID_HANDLE_VALUE on
// failure, with the reason in GetLastError (a folder never opens: CreateFileW
// needs a flag for that).
HANDLE openHandle(const std::string& path, OpenMode mode) {
    const std::wstring wide = wideText(path);
    if (wide.empty() || isSeparator(path.back())) {
        ::SetLastError(wide.empty() ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // A writer lets others read; a reader lets others read, write and replace the
    // file, so that reading never stands in another's way.
    const bool writing = mode == OpenMode::CreateOrOpen;
    const DWORD sharing =
        writing ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE handle = ::CreateFileW(
        wide.c_str(), writing ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ, sharing, nullptr,
        writing ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return handle;
    // A device ("NUL", "COM1") or a pipe opens like a file; only disk files are ours.
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        ::CloseHandle(handle);
        ::SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

struct HandleGuard {
    HANDLE handle;
    ~HandleGuard() { ::CloseHandle(handle); }
};

// Reads until `bytes` are in, the end of the file, or an error. `failed`
// tells an error apart from the end of the file.
std::size_t readFully(HANDLE handle, void* data, std::size_t bytes, bool& failed) {
    failed = false;
    auto* out = static_cast<unsigned char*>(data);
    std::size_t done = 0;
    while (done < bytes) {
        const DWORD want = static_cast<DWORD>(std::min(bytes - done, kMaxTransfer));
        DWORD got = 0;
        if (!::ReadFile(handle, out + done, want, &got, nullptr)) {
            failed = true;
            break;
        }
        if (got == 0) break;
        done += got;
    }
    return done;
}

bool writeFully(HANDLE handle, const void* data, std::size_t bytes) {
    const auto* in = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < bytes) {
        const DWORD want = static_cast<DWORD>(std::min(bytes - done, kMaxTransfer));
        DWORD put = 0;
        if (!::WriteFile(handle, in + done, want, &put, nullptr)) return false;
        if (put == 0) return false;  // no progress and no error: give up, never spin
        done += put;
    }
    return true;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = lastSeparator(path);
    if (slash == std::string::npos) return ".";
    return path.substr(0, slash + 1);
}

std::string baseNameOf(const std::string& path) {
    const std::size_t slash = lastSeparator(path);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

DWORD attributesOf(const std::string& path) {
    const std::wstring wide = wideText(path);
    return wide.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(wide.c_str());
}

// Creates a new hidden file beside `path` that nobody else can have open.
HANDLE createTempBeside(const std::string& path, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    std::string folder = folderOf(path);
    if (folder == ".") folder.clear();
    std::string base = baseNameOf(path);
    if (base.size() > kMaxTempBaseName) base.resize(kMaxTempBaseName);
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".tmp-%lu-%u", ::GetCurrentProcessId(),
                      counter.fetch_add(1, std::memory_order_relaxed));
        tempPath = folder + "." + base + suffix;
        HANDLE handle = ::CreateFileW(wideText(tempPath).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (handle != INVALID_HANDLE_VALUE) return handle;
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    tempPath.clear();
    return INVALID_HANDLE_VALUE;
}

// Puts the finished file in the target's place in one step. ReplaceFileW keeps
// what belongs to the replaced file (its security, its creation time);
// MoveFileExW takes a place where nothing is yet, or serves when the file
// system cannot replace.
bool putInPlace(const std::string& from, const std::string& to) {
    const std::wstring source = wideText(from), target = wideText(to);
    if (::GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
        // A file another program holds open without letting it go cannot be
        // replaced; asked first, so that a failed replacement leaves nothing behind.
        HANDLE probe = ::CreateFileW(target.c_str(), DELETE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
        if (probe == INVALID_HANDLE_VALUE) return false;
        ::CloseHandle(probe);
        if (::ReplaceFileW(target.c_str(), source.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                           nullptr, nullptr))
            return true;
    }
    const DWORD replaceError = ::GetLastError();
    if (replaceError == ERROR_ACCESS_DENIED || replaceError == ERROR_SHARING_VIOLATION)
        return false;
    return ::MoveFileExW(source.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace

// ---- File -------------------------------------------------------------------

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
    HANDLE handle = openHandle(path, mode);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = isFolder(path) ? EISDIR : errnoOf(::GetLastError());
        return false;
    }
    native_ = reinterpret_cast<std::intptr_t>(handle);
    return true;
}

void File::close() {
    if (native_ != kNoFile) {
        ::CloseHandle(handleOf(native_));
        native_ = kNoFile;
    }
}

std::size_t File::read(void* data, std::size_t bytes) {
    if (native_ == kNoFile || (!data && bytes > 0)) return 0;
    bool failed;
    return readFully(handleOf(native_), data, bytes, failed);
}

bool File::write(const void* data, std::size_t bytes) {
    if (native_ == kNoFile || (!data && bytes > 0)) return false;
    return writeFully(handleOf(native_), data, bytes);
}

bool File::seek(std::int64_t offset) {
    if (native_ == kNoFile || offset < 0) return false;
    LARGE_INTEGER to;
    to.QuadPart = offset;
    return ::SetFilePointerEx(handleOf(native_), to, nullptr, FILE_BEGIN) != 0;
}

std::int64_t File::position() const {
    if (native_ == kNoFile) return -1;
    LARGE_INTEGER zero{}, here{};
    if (!::SetFilePointerEx(handleOf(native_), zero, &here, FILE_CURRENT)) return -1;
    return here.QuadPart;
}

std::int64_t File::size() const {
    if (native_ == kNoFile) return -1;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handleOf(native_), &size)) return -1;
    return size.QuadPart;
}

bool File::truncateHere() {
    return native_ != kNoFile && ::SetEndOfFile(handleOf(native_)) != 0;
}

bool File::flush() {
    return native_ != kNoFile && ::FlushFileBuffers(handleOf(native_)) != 0;
}

// ---- Whole files ------------------------------------------------------------

bool readFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    HANDLE handle = openHandle(path, OpenMode::ExistingOnly);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const HandleGuard guard{handle};
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handle, &size) || size.QuadPart < 0) return false;
    try {
        if (static_cast<std::uint64_t>(size.QuadPart) > bytes.max_size()) return false;
        // The size is a hint: the file may grow or shrink while we read it, so
        // read on until the end and keep exactly what was there.
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        bool failed = false;
        std::size_t total = 0;
        for (;;) {
            if (total == bytes.size()) bytes.resize(bytes.size() + 65536);
            total += readFully(handle, bytes.data() + total, bytes.size() - total, failed);
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
    if (target.empty() || isSeparator(target.back())) {
        error_ = EISDIR;
        return false;
    }
    target_ = target;
    // A folder at the target's place is not ours to replace, and a read-only
    // file is refused here, before any work, as the system would refuse it at the end.
    const DWORD attributes = attributesOf(target_);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            error_ = EISDIR;
            return false;
        }
        if (attributes & FILE_ATTRIBUTE_READONLY) {
            error_ = EACCES;
            return false;
        }
    }
    HANDLE handle = createTempBeside(target_, tempPath_);
    if (handle == INVALID_HANDLE_VALUE) {
        error_ = errnoOf(::GetLastError());
        return false;
    }
    fd_ = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_BINARY);
    if (fd_ < 0) {
        error_ = EMFILE;
        ::CloseHandle(handle);
        ::DeleteFileW(wideText(tempPath_).c_str());
        tempPath_.clear();
        return false;
    }
    return true;
}

bool ReplacingFile::write(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0 || failed_) return false;
    HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd_));
    if (!writeFully(handle, bytes.data(), bytes.size())) {
        failed_ = true;
        error_ = errnoOf(::GetLastError());
    }
    return !failed_;
}

bool ReplacingFile::commit() {
    if (fd_ < 0) return false;
    HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd_));
    bool ok = !failed_;
    if (ok && !::FlushFileBuffers(handle)) {
        ok = false;
        error_ = errnoOf(::GetLastError());
    }
    ::_close(fd_);  // closes the handle too
    fd_ = -1;
    const std::wstring temp = wideText(tempPath_);
    // The finished file is not hidden: it takes the target's name and its place.
    if (ok && !::SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL)) {
        ok = false;
        error_ = errnoOf(::GetLastError());
    }
    if (ok && !putInPlace(tempPath_, target_)) {
        ok = false;
        error_ = errnoOf(::GetLastError());
    }
    if (!ok) ::DeleteFileW(temp.c_str());
    tempPath_.clear();
    return ok;
}

void ReplacingFile::abandon() {
    if (fd_ >= 0) {
        ::_close(fd_);
        fd_ = -1;
    }
    if (!tempPath_.empty()) {
        ::DeleteFileW(wideText(tempPath_).c_str());
        tempPath_.clear();
    }
}

bool writeFileAtomic(const std::string& path, std::span<const std::uint8_t> bytes) {
    ReplacingFile file;
    return file.open(path) && file.write(bytes) && file.commit();
}

bool fileExists(const std::string& path) {
    const DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool isFolder(const std::string& path) {
    const DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

PathKind pathKind(const std::string& path) {
    const DWORD attributes = attributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        errno = path.empty() ? ENOENT : errnoOf(::GetLastError());
        return PathKind::Absent;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::Folder;
    // Devices ("NUL", "COM1") answer as files that are there; they are not disk files.
    HANDLE handle = ::CreateFileW(wideText(path).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return PathKind::File;
    const DWORD type = ::GetFileType(handle);
    ::CloseHandle(handle);
    return type == FILE_TYPE_DISK ? PathKind::File : PathKind::Other;
}

bool sameFile(const std::string& a, const std::string& b) {
    const auto identify = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
        HANDLE handle = ::CreateFileW(wideText(path).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return false;
        const bool ok = ::GetFileInformationByHandle(handle, &info) != 0;
        ::CloseHandle(handle);
        return ok;
    };
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    return identify(a, first) && identify(b, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

std::filesystem::path pathOf(const std::string& utf8) {
    return std::filesystem::path(wideText(utf8));
}

bool removeFile(const std::string& path) {
    if (path.empty()) return false;
    const std::wstring wide = wideText(path);
    if (::DeleteFileW(wide.c_str())) return true;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace mirel::os
