// Checked reads of a file's bytes at an offset, for the readers of plug-in files.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "apps/host/plugin_resources.h"
#include "platform/os/os.h"

namespace mirel::hostkit::detail {

inline bool readAt(os::File& file, std::uint64_t offset, void* out, std::size_t size) {
    if (offset > std::uint64_t(INT64_MAX)) return false;
    return file.seek(std::int64_t(offset)) && file.read(out, size) == size;
}

// offset + size <= limit, without overflow.
inline bool fits(std::uint64_t offset, std::uint64_t size, std::uint64_t limit) {
    return offset <= limit && size <= limit - offset;
}

inline ResourceRead fail(std::string& error, ResourceRead outcome, std::string text) {
    error = std::move(text);
    return outcome;
}

// Opens a plug-in file for reading and tells its size; false with the reason.
inline bool openPluginFile(const std::string& path, os::File& file, std::uint64_t& size,
                           std::string& error) {
    if (!file.open(path, os::OpenMode::ExistingOnly)) {
        error = "cannot open the file: " + std::string(std::strerror(errno));
        return false;
    }
    const std::int64_t end = file.size();
    if (end < 0) {
        error = "cannot read the file";
        return false;
    }
    size = std::uint64_t(end);
    return true;
}

}  // namespace mirel::hostkit::detail
