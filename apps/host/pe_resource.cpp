// Finding a resource in a Windows library (a PE32+ file) without loading it:
// the file's sections, the resource directory they hold (type, then name, then
// language) and the data entry of the first language. How the host finds the
// PiPL and terminology of a plug-in built for Windows, as paint programs do.
#include <cerrno>
#include <cstring>

#include "apps/host/file_bytes.h"
#include "apps/host/plugin_resources.h"

namespace mirel::hostkit {

namespace {

using detail::fail;
using detail::fits;
using detail::readAt;

constexpr std::uint32_t kNewHeaderOffsetAt = 0x3C;
constexpr std::uint16_t kOptionalHeaderPe32Plus = 0x20B;
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
// In the PE32+ optional header: the count of data directories, then the
// directories of 8 bytes each; the resource table is the third.
constexpr std::size_t kDirectoryCountAt = 108;
constexpr std::size_t kDirectoriesAt = 112;
constexpr std::uint32_t kResourceDirectory = 2;
constexpr std::size_t kResourceDirectorySize = 16;
constexpr std::size_t kResourceEntrySize = 8;
constexpr std::uint32_t kHighBit = 0x80000000u;
// A library has a few dozen sections at most; the format allows 65535.
constexpr std::uint16_t kMaxSections = 256;
// Entries of one directory level that are worth walking; more is damage.
constexpr std::uint32_t kMaxEntries = 4096;

std::uint16_t le16(const std::uint8_t* p) {
    return std::uint16_t(p[0] | p[1] << 8);
}

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

struct Section {
    std::uint32_t virtualAddress = 0;
    std::uint32_t virtualSize = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawOffset = 0;
};

// The resource section as the reader walks it: addresses in the file of
// offsets from the start of the resource directory.
struct ResourceArea {
    os::File& file;
    std::uint64_t fileSize = 0;
    std::uint64_t start = 0;  // file offset of the root directory
    std::uint64_t size = 0;   // bytes of the directory's section from there on
    std::vector<Section> sections;

    bool read(std::uint64_t offset, void* out, std::size_t count) const {
        return fits(offset, count, size) && readAt(file, start + offset, out, count);
    }

    // The file offset of `count` bytes at a virtual address, when a section holds them all.
    bool fileOffsetOf(std::uint32_t address, std::uint32_t count, std::uint64_t& offset) const {
        for (const Section& section : sections) {
            const std::uint32_t extent = std::min(
                section.virtualSize ? section.virtualSize : section.rawSize, section.rawSize);
            if (address < section.virtualAddress) continue;
            const std::uint32_t into = address - section.virtualAddress;
            if (!fits(into, count, extent)) continue;
            offset = std::uint64_t(section.rawOffset) + into;
            return fits(offset, count, fileSize);
        }
        return false;
    }
};

// A name in the directory: a UTF-16 string with its length first. Compared
// without regard to case, as the system compares resource names (ASCII).
bool nameMatches(const ResourceArea& area, std::uint32_t at, const std::string& wanted) {
    std::uint8_t lengthBytes[2];
    if (!area.read(at, lengthBytes, 2)) return false;
    const std::uint16_t length = le16(lengthBytes);
    if (length != wanted.size()) return false;
    std::vector<std::uint8_t> text(std::size_t(length) * 2);
    if (!area.read(at + 2, text.data(), text.size())) return false;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const std::uint16_t c = le16(text.data() + 2 * i);
        const auto upper = [](unsigned v) { return v >= 'a' && v <= 'z' ? v - 32 : v; };
        if (upper(c) != upper(std::uint8_t(wanted[i]))) return false;
    }
    return true;
}

// Which entry of the directory at `at` matches: a name (when `name` is not
// empty) or else the number `id`; id -1 takes the first entry of any kind.
// The entry's target (directory or data offset, high bit kept) goes to `target`.
enum class Lookup { Found, Absent, Damaged };
Lookup findEntry(const ResourceArea& area, std::uint32_t at, const std::string& name, int id,
                 std::uint32_t& target) {
    std::uint8_t directory[kResourceDirectorySize];
    if (!area.read(at, directory, sizeof directory)) return Lookup::Damaged;
    const std::uint32_t named = le16(directory + 12), numbered = le16(directory + 14);
    if (named + numbered > kMaxEntries) return Lookup::Damaged;
    for (std::uint32_t i = 0; i < named + numbered; ++i) {
        std::uint8_t entry[kResourceEntrySize];
        if (!area.read(std::uint64_t(at) + kResourceDirectorySize + i * kResourceEntrySize, entry,
                       sizeof entry))
            return Lookup::Damaged;
        const std::uint32_t key = le32(entry), value = le32(entry + 4);
        bool match = id < 0;
        if (!match && !name.empty())
            match = (key & kHighBit) && nameMatches(area, key & ~kHighBit, name);
        else if (!match)
            match = !(key & kHighBit) && key == std::uint32_t(id);
        if (match) {
            target = value;
            return Lookup::Found;
        }
    }
    return Lookup::Absent;
}

}  // namespace

ResourceRead readPeResource(const std::string& path, const std::string& type, int id,
                            const std::string& what, std::uint64_t maxSize,
                            std::vector<std::uint8_t>& bytes, std::string& error) {
    constexpr ResourceRead kFailed = ResourceRead::Failed;
    constexpr ResourceRead kMissing = ResourceRead::Missing;
    bytes.clear();
    os::File file;
    std::uint64_t fileSize = 0;
    if (!detail::openPluginFile(path, file, fileSize, error)) return kFailed;

    std::uint8_t dos[64];
    if (fileSize < sizeof dos || !readAt(file, 0, dos, sizeof dos) || dos[0] != 'M' ||
        dos[1] != 'Z')
        return fail(error, kFailed, "not a plug-in library (not a Windows library)");
    const std::uint32_t peAt = le32(dos + kNewHeaderOffsetAt);
    std::uint8_t headers[4 + kFileHeaderSize];
    if (!fits(peAt, sizeof headers, fileSize) || !readAt(file, peAt, headers, sizeof headers) ||
        std::memcmp(headers, "PE\0\0", 4) != 0)
        return fail(error, kFailed, "not a plug-in library (a DOS program, not a Windows library)");
    const std::uint16_t sectionCount = le16(headers + 4 + 2);
    const std::uint16_t optionalSize = le16(headers + 4 + 16);
    const std::uint64_t optionalAt = std::uint64_t(peAt) + sizeof headers;
    std::uint8_t magic[2];
    if (optionalSize < 2 || !readAt(file, optionalAt, magic, 2))
        return fail(error, kFailed, "damaged library: the PE header is cut short");
    if (le16(magic) != kOptionalHeaderPe32Plus)
        return fail(error, kFailed, "not a 64-bit library (only 64-bit plug-ins can be loaded)");
    if (optionalSize < kDirectoriesAt + 8 * (kResourceDirectory + 1))
        return fail(error, kMissing, "no " + what + ": the library has no resources");
    std::vector<std::uint8_t> optional(optionalSize);
    if (!fits(optionalAt, optionalSize, fileSize) ||
        !readAt(file, optionalAt, optional.data(), optional.size()))
        return fail(error, kFailed, "damaged library: the PE header is cut short");
    const std::uint32_t directoryCount = le32(optional.data() + kDirectoryCountAt);
    if (directoryCount <= kResourceDirectory)
        return fail(error, kMissing, "no " + what + ": the library has no resources");
    const std::uint8_t* resourceEntry = optional.data() + kDirectoriesAt + 8 * kResourceDirectory;
    const std::uint32_t resourceAddress = le32(resourceEntry);
    if (resourceAddress == 0 || le32(resourceEntry + 4) == 0)
        return fail(error, kMissing, "no " + what + ": the library has no resources");

    if (sectionCount == 0 || sectionCount > kMaxSections)
        return fail(error, kFailed,
                    "damaged library: " + std::to_string(sectionCount) + " sections");
    const std::uint64_t sectionsAt = optionalAt + optionalSize;
    std::vector<std::uint8_t> table(std::size_t(sectionCount) * kSectionHeaderSize);
    if (!fits(sectionsAt, table.size(), fileSize) ||
        !readAt(file, sectionsAt, table.data(), table.size()))
        return fail(error, kFailed,
                    "damaged library: the section table lies past the end of the file");
    ResourceArea area{file, fileSize, 0, 0, {}};
    for (std::uint16_t i = 0; i < sectionCount; ++i) {
        const std::uint8_t* header = table.data() + std::size_t(i) * kSectionHeaderSize;
        area.sections.push_back(
            {le32(header + 12), le32(header + 8), le32(header + 16), le32(header + 20)});
    }
    // The directory and everything it points to lie in the section that holds its start.
    bool located = false;
    for (const Section& section : area.sections) {
        if (resourceAddress < section.virtualAddress ||
            resourceAddress - section.virtualAddress >= section.rawSize)
            continue;
        area.start = std::uint64_t(section.rawOffset) + (resourceAddress - section.virtualAddress);
        area.size = section.rawSize - (resourceAddress - section.virtualAddress);
        located = fits(area.start, area.size, fileSize);
        break;
    }
    if (!located)
        return fail(error, kFailed, "damaged library: its resources lie outside its sections");

    // Type, then name, then the first language; each level but the last is a directory.
    std::uint32_t target = 0;
    const auto damaged = [&] {
        return fail(error, kFailed, "damaged library: its resource directory is broken");
    };
    const auto absent = [&] {
        return fail(
            error, kMissing,
            "no " + what + ": the library has no " + type + " resource " + std::to_string(id));
    };
    Lookup found = findEntry(area, 0, type, 0, target);
    if (found != Lookup::Found) return found == Lookup::Absent ? absent() : damaged();
    if (!(target & kHighBit)) return damaged();
    found = findEntry(area, target & ~kHighBit, "", id, target);
    if (found != Lookup::Found) return found == Lookup::Absent ? absent() : damaged();
    if (!(target & kHighBit)) return damaged();
    found = findEntry(area, target & ~kHighBit, "", -1, target);
    if (found != Lookup::Found) return found == Lookup::Absent ? absent() : damaged();
    if (target & kHighBit) return damaged();

    std::uint8_t data[16];
    if (!area.read(target, data, sizeof data)) return damaged();
    const std::uint32_t dataAddress = le32(data), dataSize = le32(data + 4);
    if (dataSize == 0) return fail(error, kMissing, "no " + what + ": the resource is empty");
    if (dataSize > maxSize)
        return fail(
            error, kFailed,
            "damaged " + what + ": the resource is " + std::to_string(dataSize) + " bytes long");
    std::uint64_t dataAt = 0;
    if (!area.fileOffsetOf(dataAddress, dataSize, dataAt))
        return fail(error, kFailed,
                    "damaged library: the " + what + " lies past the end of the file");
    bytes.resize(dataSize);
    if (!readAt(file, dataAt, bytes.data(), bytes.size())) {
        bytes.clear();
        return fail(error, kFailed, "cannot read the " + what);
    }
    return ResourceRead::Read;
}

}  // namespace mirel::hostkit
