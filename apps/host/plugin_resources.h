// Reading the resources a plug-in file carries (its PiPL, its scripting
// terminology) without loading it, as a host must before it runs any of the
// plug-in's code: from a Windows DLL its resources, from an ELF library the
// sections of the same names. The file is outside bytes: every offset and
// length is checked before it is used.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mirel::hostkit {

enum class ResourceRead {
    Read,     // `bytes` holds the resource
    Missing,  // the library has no such resource, or it is empty
    Failed,   // the file cannot be read, is no 64-bit library of a known kind, or is damaged
};

enum class PluginResource { Pipl, Terminology };

// Reads the PiPL (resource "PIPL" `id`, section ".pipl") or the terminology
// (resource "AETE" `id`, section ".aete") of the file at `path`. A resource
// larger than `maxSize` is damage. On failure `error` holds one line without the path.
ResourceRead readPluginResource(const std::string& path, PluginResource which, int id,
                                std::uint64_t maxSize, std::vector<std::uint8_t>& bytes,
                                std::string& error);

// The two kinds of file, each on its own (the format is known).
ResourceRead readElfSection(const std::string& path, const std::string& name,
                            const std::string& what, std::uint64_t maxSize,
                            std::vector<std::uint8_t>& bytes, std::string& error);
ResourceRead readPeResource(const std::string& path, const std::string& type, int id,
                            const std::string& what, std::uint64_t maxSize,
                            std::vector<std::uint8_t>& bytes, std::string& error);

}  // namespace mirel::hostkit
