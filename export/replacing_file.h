// A file written beside its target and put in the target's place only when
// every byte is on disk: a failed or abandoned export never leaves half a file
// and never destroys the file it would have replaced.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "export/big_endian_writer.h"

namespace mirel {

class ReplacingFile final : public ByteSink {
  public:
    ReplacingFile() = default;
    ~ReplacingFile() override;  // abandons an uncommitted file
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates a new temporary file in the target's folder (through a symbolic
    // link: in the folder of the file it points to). False when the folder
    // cannot take a new file; nothing exists then.
    bool open(const std::string& target);
    bool isOpen() const { return fd_ >= 0; }

    bool write(std::span<const std::uint8_t> bytes) override;

    // Syncs the bytes, gives the file the replaced file's permission bits and
    // renames it over the target. False when any step or any earlier write
    // failed: the temporary file is removed and the target left as it was.
    bool commit();
    // Closes and removes the temporary file; the target is untouched.
    void abandon();

    const std::string& temporaryPath() const { return tempPath_; }

  private:
    int fd_ = -1;
    bool failed_ = false;
    std::string target_;
    std::string tempPath_;
};

}  // namespace mirel
