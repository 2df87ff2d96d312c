// The operating-system services the filter relies on: temporary folder,
// files, folders, auto-reset events, threads, processor count, time, debug
// output and movable zeroed "global memory"; and the few process services the
// host programs add (the environment, the running module, other processes).
// POSIX or Win32 underneath, chosen at build time. Paths are UTF-8 on every
// system; on Windows both '\\' and '/' separate folders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mirel::os {

// ---- Temporary folder -----------------------------------------------------

// $TMPDIR with a trailing '/', else "/tmp/". On Windows the system's temporary
// path (from TMP, TEMP or the profile) with its trailing '\\', else
// "C:\\Windows\\Temp\\".
std::string tempFolder();

// The environment variable tempFolder reads first: "TMPDIR", on Windows "TMP".
extern const char* const kTempFolderVariable;

// ---- Files ----------------------------------------------------------------

enum class OpenMode {
    CreateOrOpen,  // read and write; created when missing; never truncated on open
    ExistingOnly,  // read only; fails when the file does not exist
};

// An open file. Others may read the file while it is open (no locks taken).
class File {
  public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Only a regular file opens (never a folder, a pipe or a device), always
    // in binary mode, shared for reading.
    bool open(const std::string& path, OpenMode mode);
    bool isOpen() const { return native_ != kNoFile; }
    void close();

    // Reads up to `bytes`; returns the count read (short at the end of file).
    std::size_t read(void* data, std::size_t bytes);
    // Writes everything or returns false.
    bool write(const void* data, std::size_t bytes);
    bool seek(std::int64_t offset);  // from the start
    std::int64_t position() const;
    std::int64_t size() const;
    // Cuts the file at the current position (drops stale bytes after a rewrite).
    bool truncateHere();
    bool flush();

  private:
    // A descriptor on POSIX, a HANDLE on Windows; -1 is "none" in both.
    static constexpr std::intptr_t kNoFile = -1;
    std::intptr_t native_ = kNoFile;
};

// A file written beside its target and put in the target's place only when
// every byte is on disk: a failed or abandoned write never leaves half a file
// and never destroys the file it would have replaced.
class ReplacingFile {
  public:
    ReplacingFile() = default;
    ~ReplacingFile();  // abandons an uncommitted file
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates a new temporary file in the target's folder (through a symbolic
    // link: in the folder of the file it points to). False when the target is
    // not a regular file's place (a folder, a device) or the folder cannot
    // take a new file; nothing exists then.
    bool open(const std::string& target);
    bool isOpen() const { return fd_ >= 0; }
    // Writes everything or returns false; after a failure every later write
    // and the commit fail too.
    bool write(std::span<const std::uint8_t> bytes);
    // Syncs the bytes, gives the file the replaced file's permission bits and
    // renames it over the target. False when any step or any earlier write
    // failed: the temporary file is removed and the target left as it was.
    bool commit();
    // Closes and removes the temporary file; the target is untouched.
    void abandon();
    const std::string& temporaryPath() const { return tempPath_; }
    // The open temporary file as a C runtime descriptor (binary mode on
    // Windows), for writers that take one; -1 when none.
    int descriptor() const { return fd_; }
    // The errno of the step that failed (EISDIR when the target is a folder,
    // EACCES when it may not be replaced); on Windows the system's error mapped
    // to the nearest errno.
    int error() const { return error_; }

  private:
    int fd_ = -1;
    bool failed_ = false;
    int error_ = 0;
    std::string target_;
    std::string tempPath_;
};

// Whole-file helpers. writeFileAtomic writes the bytes through a ReplacingFile.
bool readFile(const std::string& path, std::vector<std::uint8_t>& bytes);
bool writeFileAtomic(const std::string& path, std::span<const std::uint8_t> bytes);

// What ends a folder's name in a path: '/', and on Windows '\\' too.
#if defined(_WIN32)
constexpr const char* kPathSeparators = "/\\";
#else
constexpr const char* kPathSeparators = "/";
#endif
constexpr bool isPathSeparator(char c) {
    for (const char* s = kPathSeparators; *s; ++s)
        if (*s == c) return true;
    return false;
}

bool fileExists(const std::string& path);
bool removeFile(const std::string& path);
bool isFolder(const std::string& path);

// What is at a path (through links): nothing (errno tells why), a regular
// file, a folder, or something else (a pipe, a device).
enum class PathKind { Absent, File, Folder, Other };
PathKind pathKind(const std::string& path);
// A path as the C++ library's file system functions take it (from UTF-8 on
// every system).
std::filesystem::path pathOf(const std::string& utf8);

// True when both paths name the same existing file (through links or other spellings).
bool sameFile(const std::string& a, const std::string& b);

// ---- C runtime descriptors ---------------------------------------------------
// For the codecs and writers of the host programs that take a descriptor; in
// binary mode on every system. Errors come back as errno values.

constexpr int kStandardInput = 0;
constexpr int kStandardOutput = 1;
constexpr int kStandardError = 2;

// Opens a regular file for reading without ever waiting on a pipe. -1 when it
// cannot, with the errno in `error`: EISDIR for a folder, EINVAL for anything
// else that is no regular file (a pipe, a device).
int openReadDescriptor(const std::string& path, int& error);
// A new empty file for reading and writing that disappears once closed (in
// memory where the system allows it). -1 with errno set when none can be made.
int anonymousFile();
std::int64_t descriptorSize(int fd);  // -1 when unknown
// Whole transfers at an offset (the descriptor's own position may move).
bool readDescriptorAt(int fd, void* data, std::size_t bytes, std::uint64_t offset);
bool writeDescriptorAt(int fd, const void* data, std::size_t bytes, std::uint64_t offset);
// Writes everything at the current position, across short writes and interruptions.
bool writeDescriptor(int fd, const void* data, std::size_t bytes);
// Reads up to `bytes` at the current position; -1 on an error.
std::int64_t readDescriptor(int fd, void* data, std::size_t bytes);
std::int64_t seekDescriptor(int fd, std::int64_t offset, int whence);
int duplicateDescriptor(int fd);  // -1 with errno set on failure
// False when the system reports a failure (a delayed write error, say).
bool closeDescriptor(int fd);
// For a command-line program, once at its start: standard input and output in
// binary mode (they carry pictures), UTF-8 text on the console, and the
// program's arguments as UTF-8 (on Windows from the wide command line, since
// `argv` is in the system's code page there).
std::vector<std::string> startCommandLineProgram(int argc, char** argv);
bool isTerminal(int fd);

// ---- Folders --------------------------------------------------------------

// Names (not paths) of the entries of `folder` whose name matches `pattern`
// ('*' any run, '?' one character, case-insensitive as on the filter's home
// system); "." and ".." are left out. Sorted by name. False when the folder
// cannot be read.
bool listFolder(const std::string& folder, const std::string& pattern,
                std::vector<std::string>& names);
// Creates one folder; true when it exists afterwards.
bool makeFolder(const std::string& path);
// Creates a new folder named `prefix` and six random characters, which no one
// else can have made; its path, or empty with errno set.
std::string makeUniqueFolder(const std::string& prefix);
// Removes a folder and the files in it (not its subfolders); true when it is gone.
bool removeFolderAndFiles(const std::string& path);

// ---- Events and threads ---------------------------------------------------

// An auto-reset event: set() wakes one waiter, and a successful wait resets it.
class Event {
  public:
    Event();
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    // True when the event was set within `timeoutMs` (kInfinite waits forever).
    bool wait(std::uint32_t timeoutMs);

  private:
    friend int waitForAny(std::span<Event* const>, std::uint32_t);
    bool signalled_ = false;
};

constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

// Waits until at least one of `events` is set; resets and returns the index
// of the lowest one that is set, or -1 after `timeoutMs`.
int waitForAny(std::span<Event* const> events, std::uint32_t timeoutMs);

// A thread with a chosen stack size, joined by its owner.
class Thread {
  public:
    Thread();   // out of line: Impl is complete only in the source
    ~Thread();  // joins if still running
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // False when the thread cannot be created (then nothing runs).
    bool start(std::function<void()> body, std::size_t stackBytes);
    void join();
    bool running() const { return started_; }

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    bool started_ = false;
};

// Processors this process may run on (its CPU affinity), at least 1.
// The environment variable MIREL_THREADS, when set to a positive number,
// overrides it (tests and benchmarks).
int processorCount();

// ---- Time -----------------------------------------------------------------

// Milliseconds from an arbitrary start, wrapping at 2^32 like the system tick.
std::uint32_t tickCount();

struct UtcDate {
    int year, month, day, hour, minute, second;  // month 1..12, day 1..31
};
UtcDate utcNow();

// ---- Debug output ---------------------------------------------------------

// Sends text to the debugger output: stderr, only when MIREL_DEBUG is set; on
// Windows also the system's debugger output, always.
void debugOutput(const char* text);

// ---- Process ----------------------------------------------------------------

// An environment variable of this process as UTF-8; nullopt when it is unset.
// On Windows this is the process's own environment, which the system's calls
// (the temporary path among them) read, not a copy taken at start-up.
std::optional<std::string> environmentVariable(const char* name);
bool setEnvironmentVariable(const char* name, const std::string& value);
bool unsetEnvironmentVariable(const char* name);

// The library or program this code was linked into: where its resources are.
const void* currentModule();
// The full path of the running program.
std::string executablePath();

std::uint32_t processId();
// False only when no process with this id runs (one of another user counts).
bool processRunning(std::uint32_t id);

// ---- Global memory --------------------------------------------------------

// Zero-filled, movable blocks addressed by handle, as the system's global
// memory. lock/unlock nest; a block is only moved by resize while unlocked.
using GlobalHandle = struct GlobalBlock*;

GlobalHandle globalAlloc(std::size_t bytes);  // null on failure
void* globalLock(GlobalHandle handle);        // null for a null handle
void globalUnlock(GlobalHandle handle);
std::size_t globalSize(GlobalHandle handle);
// New size, new bytes zeroed; false (and the block unchanged) on failure or
// while the block is locked.
bool globalResize(GlobalHandle handle, std::size_t bytes);
void globalFree(GlobalHandle handle);

}  // namespace mirel::os
