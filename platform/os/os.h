// The operating-system services the filter relies on: temporary folder,
// files, folders, auto-reset events, threads, processor count, time, debug
// output and movable zeroed "global memory". POSIX underneath.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace mirel::os {

// ---- Temporary folder -----------------------------------------------------

// $TMPDIR with a trailing '/', else "/tmp/".
std::string tempFolder();

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

    bool open(const std::string& path, OpenMode mode);
    bool isOpen() const { return fd_ >= 0; }
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
    int fd_ = -1;
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
    // The open temporary file, for writers that take a descriptor; -1 when none.
    int descriptor() const { return fd_; }
    // The errno of the step that failed (EISDIR when the target is a folder).
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

bool fileExists(const std::string& path);
bool removeFile(const std::string& path);

// ---- Folders --------------------------------------------------------------

// Names (not paths) of the entries of `folder` whose name matches `pattern`
// ('*' any run, '?' one character, case-insensitive as on the filter's home
// system); "." and ".." are left out. Sorted by name. False when the folder
// cannot be read.
bool listFolder(const std::string& folder, const std::string& pattern,
                std::vector<std::string>& names);
// Creates one folder; true when it exists afterwards.
bool makeFolder(const std::string& path);

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

// Sends text to the debugger output: stderr, only when MIREL_DEBUG is set.
void debugOutput(const char* text);

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
