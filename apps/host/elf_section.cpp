// Finding a named section in an ELF file. The file is outside bytes: every
// offset and length is checked before it is used.
#include "apps/host/elf_section.h"

#include <elf.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace mirel::hostkit {

namespace {

// The section name table of a plug-in is small; a larger one is damage.
constexpr std::uint64_t kMaxSectionNamesSize = 16u << 20;

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

bool readAt(std::FILE* file, std::uint64_t offset, void* out, std::size_t size) {
    if (offset > std::uint64_t(INT64_MAX)) return false;
    if (fseeko(file, off_t(offset), SEEK_SET) != 0) return false;
    return std::fread(out, 1, size, file) == size;
}

// offset + size <= limit, without overflow.
bool fits(std::uint64_t offset, std::uint64_t size, std::uint64_t limit) {
    return offset <= limit && size <= limit - offset;
}

SectionRead fail(std::string& error, SectionRead outcome, std::string text) {
    error = std::move(text);
    return outcome;
}

}  // namespace

SectionRead readElfSection(const std::string& path, const std::string& name,
                           const std::string& what, std::uint64_t maxSize,
                           std::vector<std::uint8_t>& bytes, std::string& error) {
    constexpr SectionRead kFailed = SectionRead::Failed;
    constexpr SectionRead kMissing = SectionRead::Missing;
    bytes.clear();
    FilePtr file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file)
        return fail(error, kFailed, "cannot open the file: " + std::string(std::strerror(errno)));
    if (fseeko(file.get(), 0, SEEK_END) != 0) return fail(error, kFailed, "cannot read the file");
    const off_t end = ftello(file.get());
    if (end < 0) return fail(error, kFailed, "cannot read the file");
    const std::uint64_t fileSize = std::uint64_t(end);

    unsigned char ident[EI_NIDENT] = {};
    if (fileSize < EI_NIDENT || !readAt(file.get(), 0, ident, EI_NIDENT) ||
        std::memcmp(ident, ELFMAG, SELFMAG) != 0)
        return fail(error, kFailed, "not a plug-in library (not an ELF file)");
    if (ident[EI_CLASS] != ELFCLASS64)
        return fail(error, kFailed, "not a 64-bit library (only 64-bit plug-ins can be loaded)");
    if (ident[EI_DATA] != ELFDATA2LSB) return fail(error, kFailed, "not a little-endian library");

    Elf64_Ehdr header;
    if (!readAt(file.get(), 0, &header, sizeof header))
        return fail(error, kFailed, "damaged library: the ELF header is cut short");
    if (header.e_shoff == 0)
        return fail(error, kMissing, "no " + what + ": the library has no section table");
    if (header.e_shentsize != sizeof(Elf64_Shdr))
        return fail(error, kFailed,
                    "damaged library: unexpected section header size " +
                        std::to_string(header.e_shentsize));

    // With many sections the count and the name table's index live in the
    // first section header.
    Elf64_Shdr first;
    if (!fits(header.e_shoff, sizeof first, fileSize) ||
        !readAt(file.get(), header.e_shoff, &first, sizeof first))
        return fail(error, kFailed,
                    "damaged library: the section table lies past the end of the file");
    const std::uint64_t sectionCount = header.e_shnum != 0 ? header.e_shnum : first.sh_size;
    const std::uint64_t namesIndex =
        header.e_shstrndx != SHN_XINDEX ? header.e_shstrndx : first.sh_link;
    if (sectionCount > (fileSize - header.e_shoff) / sizeof(Elf64_Shdr))
        return fail(error, kFailed,
                    "damaged library: the section table lies past the end of the file");
    if (namesIndex == SHN_UNDEF || namesIndex >= sectionCount)
        return fail(error, kMissing, "no " + what + ": the library has no section names");

    std::vector<Elf64_Shdr> sections(sectionCount);
    if (!readAt(file.get(), header.e_shoff, sections.data(), sectionCount * sizeof(Elf64_Shdr)))
        return fail(error, kFailed, "cannot read the section table");

    const Elf64_Shdr& namesSection = sections[namesIndex];
    if (namesSection.sh_type != SHT_STRTAB || namesSection.sh_size > kMaxSectionNamesSize ||
        !fits(namesSection.sh_offset, namesSection.sh_size, fileSize))
        return fail(error, kFailed, "damaged library: bad section name table");
    std::vector<char> names(namesSection.sh_size);
    if (!readAt(file.get(), namesSection.sh_offset, names.data(), names.size()))
        return fail(error, kFailed, "cannot read the section name table");

    // The name with its NUL, so that ".pipl" does not match ".pipl2".
    const std::size_t nameBytes = name.size() + 1;
    for (const Elf64_Shdr& section : sections) {
        if (section.sh_name >= names.size() || names.size() - section.sh_name < nameBytes ||
            std::memcmp(names.data() + section.sh_name, name.c_str(), nameBytes) != 0)
            continue;
        if (section.sh_type == SHT_NOBITS || section.sh_size == 0)
            return fail(error, kMissing, "no " + what + ": the " + name + " section is empty");
        if (section.sh_size > maxSize)
            return fail(error, kFailed,
                        "damaged " + what + ": the " + name + " section is " +
                            std::to_string(section.sh_size) + " bytes long");
        if (!fits(section.sh_offset, section.sh_size, fileSize))
            return fail(error, kFailed,
                        "damaged library: the " + name + " section lies past the end of the file");
        bytes.resize(section.sh_size);
        if (!readAt(file.get(), section.sh_offset, bytes.data(), bytes.size())) {
            bytes.clear();
            return fail(error, kFailed, "cannot read the " + name + " section");
        }
        return SectionRead::Read;
    }
    return fail(error, kMissing, "no " + what + ": the library has no " + name + " section");
}

}  // namespace mirel::hostkit
