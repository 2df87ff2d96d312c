// Which kind of library a plug-in file is, told by its first bytes, and its
// resources read by the reader for that kind.
#include "apps/host/plugin_resources.h"

#include <cerrno>
#include <cstring>

#include "apps/host/file_bytes.h"

namespace mirel::hostkit {

ResourceRead readPluginResource(const std::string& path, PluginResource which, int id,
                                std::uint64_t maxSize, std::vector<std::uint8_t>& bytes,
                                std::string& error) {
    bytes.clear();
    const bool pipl = which == PluginResource::Pipl;
    const std::string what = pipl ? "PiPL" : "terminology";
    unsigned char magic[4] = {};
    {
        os::File file;
        std::uint64_t size = 0;
        if (!detail::openPluginFile(path, file, size, error)) return ResourceRead::Failed;
        file.read(magic, sizeof magic);
    }
    if (magic[0] == 'M' && magic[1] == 'Z')
        return readPeResource(path, pipl ? "PIPL" : "AETE", id, what, maxSize, bytes, error);
    if (std::memcmp(magic,
                    "\x7f"
                    "ELF",
                    4) == 0)
        return readElfSection(path, pipl ? ".pipl" : ".aete", what, maxSize, bytes, error);
    return detail::fail(error, ResourceRead::Failed,
                        "not a plug-in library (neither a Windows nor an ELF library)");
}

}  // namespace mirel::hostkit
