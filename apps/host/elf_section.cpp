// Finding a named section in an ELF file without loading it: how the host
// finds the resources of a plug-in built for Linux.
#include <cerrno>
#include <cstring>

#include "apps/host/file_bytes.h"
#include "apps/host/plugin_resources.h"

namespace mirel::hostkit {

namespace {

using detail::fail;
using detail::fits;
using detail::readAt;

// The section name table of a plug-in is small; a larger one is damage.
constexpr std::uint64_t kMaxSectionNamesSize = 16u << 20;

// The parts of the ELF format this reader needs, laid out as the 64-bit
// little-endian files store them.
constexpr std::size_t kIdentSize = 16;
constexpr unsigned char kElfMagic[4] = {0x7f, 'E', 'L', 'F'};
constexpr int kClassIndex = 4, kDataIndex = 5;
constexpr unsigned char kClass64 = 2, kDataLittleEndian = 1;
constexpr std::uint16_t kSectionUndefined = 0, kSectionIndexEscape = 0xffff;
constexpr std::uint32_t kStringTable = 3, kNoBits = 8;

struct ElfHeader {
    unsigned char ident[kIdentSize];
    std::uint16_t type, machine;
    std::uint32_t version;
    std::uint64_t entry, programHeaders, sectionHeaders;
    std::uint32_t flags;
    std::uint16_t headerSize, programHeaderSize, programHeaderCount;
    std::uint16_t sectionHeaderSize, sectionCount, sectionNamesIndex;
};
static_assert(sizeof(ElfHeader) == 64);

struct ElfSection {
    std::uint32_t name, type;
    std::uint64_t flags, address, offset, size;
    std::uint32_t link, info;
    std::uint64_t alignment, entrySize;
};
static_assert(sizeof(ElfSection) == 64);

}  // namespace

ResourceRead readElfSection(const std::string& path, const std::string& name,
                            const std::string& what, std::uint64_t maxSize,
                            std::vector<std::uint8_t>& bytes, std::string& error) {
    constexpr ResourceRead kFailed = ResourceRead::Failed;
    constexpr ResourceRead kMissing = ResourceRead::Missing;
    bytes.clear();
    os::File file;
    std::uint64_t fileSize = 0;
    if (!detail::openPluginFile(path, file, fileSize, error)) return kFailed;

    unsigned char ident[kIdentSize] = {};
    if (fileSize < kIdentSize || !readAt(file, 0, ident, kIdentSize) ||
        std::memcmp(ident, kElfMagic, sizeof kElfMagic) != 0)
        return fail(error, kFailed, "not a plug-in library (not an ELF file)");
    if (ident[kClassIndex] != kClass64)
        return fail(error, kFailed, "not a 64-bit library (only 64-bit plug-ins can be loaded)");
    if (ident[kDataIndex] != kDataLittleEndian)
        return fail(error, kFailed, "not a little-endian library");

    ElfHeader header;
    if (!readAt(file, 0, &header, sizeof header))
        return fail(error, kFailed, "damaged library: the ELF header is cut short");
    if (header.sectionHeaders == 0)
        return fail(error, kMissing, "no " + what + ": the library has no section table");
    if (header.sectionHeaderSize != sizeof(ElfSection))
        return fail(error, kFailed,
                    "damaged library: unexpected section header size " +
                        std::to_string(header.sectionHeaderSize));

    // With many sections the count and the name table's index live in the
    // first section header.
    ElfSection first;
    if (!fits(header.sectionHeaders, sizeof first, fileSize) ||
        !readAt(file, header.sectionHeaders, &first, sizeof first))
        return fail(error, kFailed,
                    "damaged library: the section table lies past the end of the file");
    const std::uint64_t sectionCount = header.sectionCount != 0 ? header.sectionCount : first.size;
    const std::uint64_t namesIndex =
        header.sectionNamesIndex != kSectionIndexEscape ? header.sectionNamesIndex : first.link;
    if (sectionCount > (fileSize - header.sectionHeaders) / sizeof(ElfSection))
        return fail(error, kFailed,
                    "damaged library: the section table lies past the end of the file");
    if (namesIndex == kSectionUndefined || namesIndex >= sectionCount)
        return fail(error, kMissing, "no " + what + ": the library has no section names");

    std::vector<ElfSection> sections(sectionCount);
    if (!readAt(file, header.sectionHeaders, sections.data(), sectionCount * sizeof(ElfSection)))
        return fail(error, kFailed, "cannot read the section table");

    const ElfSection& namesSection = sections[namesIndex];
    if (namesSection.type != kStringTable || namesSection.size > kMaxSectionNamesSize ||
        !fits(namesSection.offset, namesSection.size, fileSize))
        return fail(error, kFailed, "damaged library: bad section name table");
    std::vector<char> names(namesSection.size);
    if (!readAt(file, namesSection.offset, names.data(), names.size()))
        return fail(error, kFailed, "cannot read the section name table");

    // The name with its NUL, so that ".pipl" does not match ".pipl2".
    const std::size_t nameBytes = name.size() + 1;
    for (const ElfSection& section : sections) {
        if (section.name >= names.size() || names.size() - section.name < nameBytes ||
            std::memcmp(names.data() + section.name, name.c_str(), nameBytes) != 0)
            continue;
        if (section.type == kNoBits || section.size == 0)
            return fail(error, kMissing, "no " + what + ": the " + name + " section is empty");
        if (section.size > maxSize)
            return fail(error, kFailed,
                        "damaged " + what + ": the " + name + " section is " +
                            std::to_string(section.size) + " bytes long");
        if (!fits(section.offset, section.size, fileSize))
            return fail(error, kFailed,
                        "damaged library: the " + name + " section lies past the end of the file");
        bytes.resize(section.size);
        if (!readAt(file, section.offset, bytes.data(), bytes.size())) {
            bytes.clear();
            return fail(error, kFailed, "cannot read the " + name + " section");
        }
        return ResourceRead::Read;
    }
    return fail(error, kMissing, "no " + what + ": the library has no " + name + " section");
}

}  // namespace mirel::hostkit
