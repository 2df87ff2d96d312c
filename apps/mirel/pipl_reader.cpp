// Finding and parsing a plug-in's PiPL. Both the ELF file and the PiPL are
// outside bytes: every offset and length is checked before it is used.
#include "apps/mirel/pipl_reader.h"

#include "platform/pi/pi_types.h"

#include <elf.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace mirel::host_app {

namespace {

// A PiPL is a few hundred bytes; anything near this is not one.
constexpr std::uint64_t kMaxPiplSectionSize = 1u << 20;
// The section name table of a plug-in is small; a larger one is damage.
constexpr std::uint64_t kMaxSectionNamesSize = 16u << 20;
constexpr char kPiplSectionName[] = ".pipl";

constexpr std::size_t kPiplHeaderSize = 10;
constexpr std::size_t kPropertyHeaderSize = 16;
constexpr std::size_t kTerminologyMinSize = 15;  // 14 fixed bytes and the scope's NUL
constexpr std::size_t kFilterCaseCount = 7;

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

std::uint16_t le16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

bool fail(std::string& error, std::string text) {
    error = std::move(text);
    return false;
}

// The text of a NUL-terminated string inside the data, or all of the data
// when the NUL is missing.
std::string cString(std::span<const std::uint8_t> data) {
    std::size_t n = 0;
    while (n < data.size() && data[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(data.data()), n);
}

bool pascalString(std::span<const std::uint8_t> data, std::uint32_t key, std::string& out,
                  std::string& error) {
    if (data.empty() || std::size_t(data[0]) > data.size() - 1)
        return fail(error, "the PiPL's " + fourCCText(key) + " string is longer than its property");
    out.assign(reinterpret_cast<const char*>(data.data() + 1), data[0]);
    return true;
}

bool needBytes(std::span<const std::uint8_t> data, std::size_t size, std::uint32_t key,
               std::string& error) {
    if (data.size() >= size) return true;
    return fail(error, "the PiPL's " + fourCCText(key) + " property has " +
                           std::to_string(data.size()) + " bytes, " + std::to_string(size) +
                           " needed");
}

bool parseProperty(std::uint32_t key, std::span<const std::uint8_t> data, PiplInfo& info,
                   std::string& error) {
    using pi::fourCC;
    if (key == fourCC("kind")) {
        if (!needBytes(data, 4, key, error)) return false;
        info.kind = le32(data.data());
    } else if (key == fourCC("name")) {
        return pascalString(data, key, info.name, error);
    } else if (key == fourCC("catg")) {
        return pascalString(data, key, info.category, error);
    } else if (key == fourCC("vers")) {
        if (!needBytes(data, 4, key, error)) return false;
        const std::uint32_t value = le32(data.data());
        info.version = PiplVersion{std::uint16_t(value >> 16), std::uint16_t(value)};
    } else if (key == fourCC("8664")) {
        info.entryPoint = cString(data);
    } else if (key == fourCC("mode")) {
        info.modes.clear();
        for (std::size_t byte = 0; byte < data.size(); ++byte)
            for (int bit = 0; bit < 8; ++bit)
                if (data[byte] & (0x80 >> bit)) info.modes.push_back(int(byte * 8) + bit);
    } else if (key == fourCC("enbl")) {
        info.enableExpressions.push_back(cString(data));
    } else if (key == fourCC("fici")) {
        // The data is padded to whole words; only the seven filter cases count.
        info.filterCases.clear();
        for (std::size_t at = 0; at + 4 <= data.size() && info.filterCases.size() < kFilterCaseCount;
             at += 4)
            info.filterCases.push_back({std::int8_t(data[at]), std::int8_t(data[at + 1]),
                                        data[at + 2], data[at + 3]});
    } else if (key == fourCC("hstm")) {
        if (!needBytes(data, kTerminologyMinSize, key, error)) return false;
        TerminologyInfo terminology;
        terminology.version = std::int32_t(le32(data.data()));
        terminology.classId = le32(data.data() + 4);
        terminology.eventId = le32(data.data() + 8);
        terminology.terminologyId = std::int16_t(le16(data.data() + 12));
        terminology.scope = cString(data.subspan(14));
        info.terminology = std::move(terminology);
    }
    return true;
}

}  // namespace

std::string fourCCText(std::uint32_t code) {
    std::string text = "'";
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char((code >> shift) & 0xFF);
        if (c < 0x20 || c > 0x7E) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08X", code);
            return hex;
        }
        text += c;
    }
    return text + "'";
}

bool readPiplSection(const std::string& path, std::vector<std::uint8_t>& bytes,
                     std::string& error) {
    bytes.clear();
    FilePtr file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return fail(error, "cannot open the file: " + std::string(std::strerror(errno)));
    if (fseeko(file.get(), 0, SEEK_END) != 0) return fail(error, "cannot read the file");
    const off_t end = ftello(file.get());
    if (end < 0) return fail(error, "cannot read the file");
    const std::uint64_t fileSize = std::uint64_t(end);

    unsigned char ident[EI_NIDENT] = {};
    if (fileSize < EI_NIDENT || !readAt(file.get(), 0, ident, EI_NIDENT) ||
        std::memcmp(ident, ELFMAG, SELFMAG) != 0)
        return fail(error, "not a plug-in library (not an ELF file)");
    if (ident[EI_CLASS] != ELFCLASS64)
        return fail(error, "not a 64-bit library (only 64-bit plug-ins can be loaded)");
    if (ident[EI_DATA] != ELFDATA2LSB) return fail(error, "not a little-endian library");

    Elf64_Ehdr header;
    if (!readAt(file.get(), 0, &header, sizeof header))
        return fail(error, "damaged library: the ELF header is cut short");
    if (header.e_shoff == 0) return fail(error, "no PiPL: the library has no section table");
    if (header.e_shentsize != sizeof(Elf64_Shdr))
        return fail(error, "damaged library: unexpected section header size " +
                               std::to_string(header.e_shentsize));

    // With many sections the count and the name table's index live in the
    // first section header.
    Elf64_Shdr first;
    if (!fits(header.e_shoff, sizeof first, fileSize) ||
        !readAt(file.get(), header.e_shoff, &first, sizeof first))
        return fail(error, "damaged library: the section table lies past the end of the file");
    const std::uint64_t sectionCount = header.e_shnum != 0 ? header.e_shnum : first.sh_size;
    const std::uint64_t namesIndex =
        header.e_shstrndx != SHN_XINDEX ? header.e_shstrndx : first.sh_link;
    if (sectionCount > (fileSize - header.e_shoff) / sizeof(Elf64_Shdr))
        return fail(error, "damaged library: the section table lies past the end of the file");
    if (namesIndex == SHN_UNDEF || namesIndex >= sectionCount)
        return fail(error, "no PiPL: the library has no section names");

    std::vector<Elf64_Shdr> sections(sectionCount);
    if (!readAt(file.get(), header.e_shoff, sections.data(), sectionCount * sizeof(Elf64_Shdr)))
        return fail(error, "cannot read the section table");

    const Elf64_Shdr& namesSection = sections[namesIndex];
    if (namesSection.sh_type != SHT_STRTAB || namesSection.sh_size > kMaxSectionNamesSize ||
        !fits(namesSection.sh_offset, namesSection.sh_size, fileSize))
        return fail(error, "damaged library: bad section name table");
    std::vector<char> names(namesSection.sh_size);
    if (!readAt(file.get(), namesSection.sh_offset, names.data(), names.size()))
        return fail(error, "cannot read the section name table");

    for (const Elf64_Shdr& section : sections) {
        if (section.sh_name >= names.size() ||
            names.size() - section.sh_name < sizeof kPiplSectionName ||
            std::memcmp(names.data() + section.sh_name, kPiplSectionName,
                        sizeof kPiplSectionName) != 0)
            continue;
        if (section.sh_type == SHT_NOBITS || section.sh_size == 0)
            return fail(error, "no PiPL: the .pipl section is empty");
        if (section.sh_size > kMaxPiplSectionSize)
            return fail(error, "damaged PiPL: the .pipl section is " +
                                   std::to_string(section.sh_size) + " bytes long");
        if (!fits(section.sh_offset, section.sh_size, fileSize))
            return fail(error, "damaged library: the .pipl section lies past the end of the file");
        bytes.resize(section.sh_size);
        if (!readAt(file.get(), section.sh_offset, bytes.data(), bytes.size())) {
            bytes.clear();
            return fail(error, "cannot read the .pipl section");
        }
        return true;
    }
    return fail(error, "no PiPL: the library has no .pipl section");
}

bool parsePipl(std::span<const std::uint8_t> bytes, PiplInfo& info, std::string& error) {
    info = PiplInfo{};
    if (bytes.size() < kPiplHeaderSize)
        return fail(error, "damaged PiPL: " + std::to_string(bytes.size()) +
                               " bytes, too short for its header");
    const std::uint16_t format = le16(bytes.data());
    if (format != 1)
        return fail(error, "damaged PiPL: unknown format " + std::to_string(format) + " (1 expected)");
    const std::int32_t count = std::int32_t(le32(bytes.data() + 6));
    const std::size_t room = (bytes.size() - kPiplHeaderSize) / kPropertyHeaderSize;
    if (count < 0 || std::size_t(count) > room)
        return fail(error, "damaged PiPL: it claims " + std::to_string(count) +
                               " properties but its " + std::to_string(bytes.size()) +
                               " bytes hold at most " + std::to_string(room));

    std::size_t at = kPiplHeaderSize;
    for (std::int32_t i = 0; i < count; ++i) {
        if (bytes.size() - at < kPropertyHeaderSize)
            return fail(error, "damaged PiPL: property " + std::to_string(i + 1) + " of " +
                                   std::to_string(count) + " lies past the end");
        const std::uint32_t vendor = le32(bytes.data() + at);
        const std::uint32_t key = le32(bytes.data() + at + 4);
        const std::int32_t length = std::int32_t(le32(bytes.data() + at + 12));
        at += kPropertyHeaderSize;
        const std::size_t remaining = bytes.size() - at;
        if (length < 0 || std::size_t(length) > remaining)
            return fail(error, "damaged PiPL: property " + fourCCText(key) + " claims " +
                                   std::to_string(length) + " bytes but only " +
                                   std::to_string(remaining) + " remain");
        const auto data = bytes.subspan(at, std::size_t(length));
        if (vendor == pi::kPhotoshopSignature && !parseProperty(key, data, info, error))
            return false;
        // Lengths should already be whole words; rounding up as well reads
        // PiPLs that store the unpadded length.
        at += std::min(remaining, (std::size_t(length) + 3) & ~std::size_t(3));
    }
    return true;
}

bool checkFilterPipl(const PiplInfo& info, std::string& error) {
    if (info.kind != pi::kFilterKind)
        return fail(error, "not a filter: its PiPL kind is " + fourCCText(info.kind) +
                               ", a filter's is '8BFM'");
    if (!info.version) return fail(error, "its PiPL gives no filter interface version");
    const std::uint32_t version = (std::uint32_t(info.version->major) << 16) | info.version->minor;
    if (version > std::uint32_t(pi::kLatestFilterVersion))
        return fail(error, "it needs filter interface version " +
                               std::to_string(info.version->major) + "." +
                               std::to_string(info.version->minor) +
                               "; this host offers version 4.0");
    if (info.entryPoint.empty())
        return fail(error, "its PiPL names no 64-bit entry point ('8664')");
    return true;
}

bool loadFilterPipl(const std::string& path, PiplInfo& info, std::string& error) {
    std::vector<std::uint8_t> bytes;
    if (!readPiplSection(path, bytes, error) || !parsePipl(bytes, info, error) ||
        !checkFilterPipl(info, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

}  // namespace mirel::host_app
