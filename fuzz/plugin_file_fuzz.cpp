// libFuzzer target for the host's reading of a plug-in file before it loads it: an input
// that starts like an ELF file or a Windows library is written to a file and read as
// `mirel` reads the library it is pointed at (the PiPL found through the section table or
// the resource directory, parsed and checked, then the terminology); any other input is
// parsed as PiPL bytes and as terminology bytes directly. Every refusal must say why.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "apps/host/descriptor_terminology.h"
#include "apps/host/pipl_reader.h"

namespace {

// A scratch file of this process, made once and removed when the fuzzer exits.
struct ScratchFile {
    std::string path;
    ScratchFile() {
        const char* folder = std::getenv("TMPDIR");
        const std::string base = folder != nullptr && *folder != '\0' ? folder : "/tmp";
        path = base + "/mirel-plugin-fuzz-" + std::to_string(::getpid()) + ".8bf";
    }
    ~ScratchFile() { ::unlink(path.c_str()); }
};

bool writeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

void parseBytes(std::span<const std::uint8_t> bytes) {
    using namespace mirel::hostkit;
    PiplInfo info;
    std::string error;
    if (parsePipl(bytes, info, error)) {
        if (!checkFilterPipl(info, error) && error.empty()) std::abort();
        if (info.filterCases.size() > 7) std::abort();
    } else if (error.empty()) {
        std::abort();
    }
    Terminology terminology;
    error.clear();
    if (!parseTerminology(bytes, terminology, error) && error.empty()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace mirel::hostkit;
    // Libraries (ELF or Windows) go through the file readers, anything else is a PiPL
    // or a terminology on its own.
    const bool elf = size >= 4 && std::memcmp(data,
                                              "\x7f"
                                              "ELF",
                                              4) == 0;
    const bool windows = size >= 2 && data[0] == 'M' && data[1] == 'Z';
    if (!elf && !windows) {
        parseBytes({data, size});
        return 0;
    }
    static const ScratchFile scratch;
    if (!writeFile(scratch.path, data, size)) return 0;
    std::vector<std::uint8_t> section;
    std::string error;
    if (readPiplResource(scratch.path, section, error)) {
        if (section.empty() || section.size() > size) std::abort();
        parseBytes(section);
    } else if (error.empty()) {
        std::abort();
    }
    PiplInfo info;
    error.clear();
    if (!loadFilterPipl(scratch.path, info, error) &&
        error.rfind(scratch.path + ": ", 0) != 0)  // the reason begins with the path
        std::abort();
    Terminology terminology;
    error.clear();
    if (!loadFilterTerminology(scratch.path, terminology, error) && error.empty()) std::abort();
    return 0;
}
