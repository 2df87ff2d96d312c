// An output file that appears complete or not at all: written under a hidden,
// unique name beside its target and renamed over it only when the caller commits,
// so that a run with several outputs can prepare each before the work and put them
// in place together at the end. "-" stands for standard output.
#pragma once

#include <string>

#include "platform/os/os.h"

namespace mirel::hostkit {

class PendingFile {
  public:
    PendingFile() = default;
    // An uncommitted file is removed.
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Creates the hidden file beside `path` (for "-", an anonymous file in memory).
    // Found here, before any work: a missing folder, a folder in the way, a folder
    // that cannot be written. False with one line in `error`, which begins with the path.
    bool open(const std::string& path, std::string& error);

    // Where the content goes; the caller writes it (and may sync) but does not close it.
    int descriptor() const;
    const std::string& path() const { return path_; }

    // Syncs the content and renames it over the target (or copies it to standard
    // output). A replaced file keeps its permissions. False with one line in `error`.
    bool commit(std::string& error);

    // Removes the hidden file; the target stays as it was.
    void discard();

  private:
    std::string path_;
    os::ReplacingFile file_;  // a file target
    int memory_ = -1;         // standard output's content until the commit
};

}  // namespace mirel::hostkit
