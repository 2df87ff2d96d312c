// Folders on Win32: the system's temporary folder, listing a folder by a
// wildcard pattern (find-file, then the same matching as every system), and
// making a folder.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <new>

#include "platform/os/folder_names.h"
#include "platform/os/os.h"
#include "platform/os/win32/wide_text.h"

namespace mirel::os {

using win32::utf8Text;
using win32::wideText;

namespace {

// Where the system keeps temporary files when the query for the user's folder fails.
constexpr const char* kDefaultTempFolder = "C:\\Windows\\Temp\\";

}  // namespace

const char* const kTempFolderVariable = "TMP";

std::string tempFolder() {
    // The query reads TMP, then TEMP, then the user's profile; it does not
    // check that the folder is there, and a missing one would make every file
    // of the filter fail silently.
    wchar_t buffer[MAX_PATH + 2];
    const DWORD length = ::GetTempPathW(MAX_PATH + 2, buffer);
    if (length == 0 || length > MAX_PATH + 1) return kDefaultTempFolder;
    std::string folder = utf8Text(std::wstring_view(buffer, length));
    if (folder.empty() || !isFolder(folder)) return kDefaultTempFolder;
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    return folder;
}

bool listFolder(const std::string& folder, const std::string& pattern,
                std::vector<std::string>& names) {
    names.clear();
    std::string where = folder.empty() ? std::string(".") : folder;
    if (where.back() != '\\' && where.back() != '/') where += '\\';
    // Every entry comes back and the pattern is matched here: the system's own
    // matching also compares the short 8.3 names, which would find files
    // whose real names do not match.
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileExW(wideText(where + "*").c_str(), FindExInfoBasic, &entry,
                                       FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    bool ok = true;
    try {
        do {
            const std::string name = utf8Text(entry.cFileName);
            if (name.empty() || name == "." || name == "..") continue;
            if (detail::nameMatches(pattern, name)) names.push_back(name);
        } while (::FindNextFileW(search, &entry));
        ok = ::GetLastError() == ERROR_NO_MORE_FILES;
        std::sort(names.begin(), names.end(), detail::nameLess);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    ::FindClose(search);
    if (!ok) names.clear();
    return ok;
}

bool makeFolder(const std::string& path) {
    if (path.empty()) return false;
    if (::CreateDirectoryW(wideText(path).c_str(), nullptr)) return true;
    return ::GetLastError() == ERROR_ALREADY_EXISTS && isFolder(path);
}

std::string makeUniqueFolder(const std::string& prefix) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);
    std::uint64_t state =
        std::uint64_t(counter.QuadPart) ^ (std::uint64_t(::GetCurrentProcessId()) << 32);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = prefix;
        for (int i = 0; i < 6; ++i) {
            state = state * 6364136223846793005u + 1442695040888963407u;
            path += kLetters[(state >> 33) % (sizeof kLetters - 1)];
        }
        if (::CreateDirectoryW(wideText(path).c_str(), nullptr)) return path;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    errno = win32::errnoOf(::GetLastError());
    return {};
}

bool removeFolderAndFiles(const std::string& path) {
    std::vector<std::string> names;
    if (listFolder(path, "*", names)) {
        std::string folder = path;
        if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
        for (const std::string& name : names) ::DeleteFileW(wideText(folder + name).c_str());
    }
    if (::RemoveDirectoryW(wideText(path).c_str())) return true;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace mirel::os
