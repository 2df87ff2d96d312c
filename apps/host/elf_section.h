// Reading one named section of a plug-in's ELF file without loading the
// library: how the host finds the resources a plug-in carries (its PiPL, its
// scripting terminology) as a Windows host finds them in a module's resources.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mirel::hostkit {

enum class SectionRead {
    Read,     // `bytes` holds the section
    Missing,  // the library has no such section, or it is empty
    Failed,   // the file cannot be read, is no 64-bit little-endian ELF file, or is damaged
};

// Reads the section `name` (".pipl") of the file at `path`. `what` names its
// content in the one-line reason ("PiPL"); a section larger than `maxSize` is
// damage.
SectionRead readElfSection(const std::string& path, const std::string& name,
                           const std::string& what, std::uint64_t maxSize,
                           std::vector<std::uint8_t>& bytes, std::string& error);

}  // namespace mirel::hostkit
