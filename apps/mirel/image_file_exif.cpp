// Metadata in TIFF structures: the EXIF block of JPEG and PNG files and the tags of
// TIFF files, read into directories and written back (with the orientation reset
// once the pixels are upright); Photoshop resources for IPTC, and ImageMagick's raw
// profiles in PNG text.

#include <algorithm>
#include <cstdio>
#include <limits>

#include "apps/mirel/image_codecs.h"
#include "platform/os/os.h"

namespace mirel::host_app::codecs {

namespace {

constexpr std::uint16_t kTagOrientation = 274;
constexpr std::uint16_t kTagExifPointer = 34665;
constexpr std::uint16_t kTagGpsPointer = 34853;
constexpr std::uint16_t kTagInteropPointer = 40965;
constexpr std::uint16_t kTagPixelXDimension = 40962;
constexpr std::uint16_t kTagPixelYDimension = 40963;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeLong = 4;

// Bounds that keep a damaged structure from costing much: entries per directory, bytes
// of one value and of all values together.
constexpr std::uint16_t kMaxEntries = 1024;
constexpr std::uint32_t kMaxValueBytes = 1u << 20;
constexpr std::uint64_t kMaxTotalBytes = 8u << 20;

// The tags of a first directory that describe the photograph rather than lay out its
// pixels: what goes to another file with the picture.
bool describesPhotograph(std::uint16_t tag) {
    switch (tag) {
        case 270:    // image description
        case 271:    // make
        case 272:    // model
        case 274:    // orientation
        case 282:    // x resolution
        case 283:    // y resolution
        case 296:    // resolution unit
        case 305:    // software
        case 306:    // date and time
        case 315:    // artist
        case 316:    // host computer
        case 18246:  // rating
        case 18249:  // rating percent
        case 33432:  // copyright
            return true;
        default:
            return tag >= 40091 &&
                   tag <= 40095;  // Windows title, comment, author, keywords, subject
    }
}

int elementSize(std::uint16_t type) {
    switch (type) {
        case 1:
        case 2:
        case 6:
        case 7:
            return 1;
        case 3:
        case 8:
            return 2;
        case 4:
        case 9:
        case 11:
        case 13:
            return 4;
        case 5:
        case 10:
        case 12:
            return 8;
        default:
            return 0;
    }
}

// Bytes a value is swapped in (rationals are two longs).
int swapUnit(std::uint16_t type) {
    const int size = elementSize(type);
    return (type == 5 || type == 10) ? 4 : size;
}

std::uint32_t load(const std::uint8_t* p, int bytes, bool big) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= std::uint32_t(p[big ? i : bytes - 1 - i]) << (8 * (bytes - 1 - i));
    return value;
}

void put(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes, bool big) {
    for (int i = 0; i < bytes; ++i) {
        const int shift = big ? 8 * (bytes - 1 - i) : 8 * i;
        out.push_back(std::uint8_t(value >> shift));
    }
}

std::vector<std::uint8_t> encoded(std::uint32_t value, int bytes, bool big) {
    std::vector<std::uint8_t> out;
    put(out, value, bytes, big);
    return out;
}

class StructureReader {
  public:
    StructureReader(const ReadAt& read, std::uint64_t length, bool big)
        : read_(read), length_(length), big_(big) {}

    bool bytes(std::uint64_t offset, std::size_t size, std::uint8_t* out) const {
        return offset <= length_ && size <= length_ - offset && read_(offset, out, size);
    }
    bool number(std::uint64_t offset, int size, std::uint32_t& value) const {
        std::uint8_t b[4];
        if (!bytes(offset, std::size_t(size), b)) return false;
        value = load(b, size, big_);
        return true;
    }

    // The entries of the directory at `offset`; false when it is damaged.
    bool directory(std::uint64_t offset, std::vector<TiffEntry>& entries,
                   std::uint64_t& total) const {
        std::uint32_t count = 0;
        if (!number(offset, 2, count) || count > kMaxEntries) return false;
        std::vector<std::uint8_t> table(count * 12);
        if (!bytes(offset + 2, table.size(), table.data())) return false;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t* e = table.data() + i * 12;
            TiffEntry entry;
            entry.tag = std::uint16_t(load(e, 2, big_));
            entry.type = std::uint16_t(load(e + 2, 2, big_));
            entry.count = load(e + 4, 4, big_);
            const int size = elementSize(entry.type);
            if (size == 0) continue;  // a type this reader does not know is left behind
            const std::uint64_t valueBytes = std::uint64_t(entry.count) * std::uint64_t(size);
            if (valueBytes > kMaxValueBytes) continue;
            total += valueBytes;
            if (total > kMaxTotalBytes) return false;
            entry.value.resize(std::size_t(valueBytes));
            if (valueBytes <= 4) {
                std::copy(e + 8, e + 8 + valueBytes, entry.value.begin());
            } else if (!bytes(load(e + 8, 4, big_), entry.value.size(), entry.value.data())) {
                continue;  // a value outside the structure: that entry is lost, not the rest
            }
            entries.push_back(std::move(entry));
        }
        return true;
    }

  private:
    const ReadAt& read_;
    std::uint64_t length_;
    bool big_;
};

const TiffEntry* findEntry(const std::vector<TiffEntry>& entries, std::uint16_t tag) {
    for (const TiffEntry& entry : entries)
        if (entry.tag == tag) return &entry;
    return nullptr;
}

// The offset a pointer entry holds; 0 when it is none.
std::uint32_t pointerOf(const std::vector<TiffEntry>& entries, std::uint16_t tag, bool big) {
    const TiffEntry* entry = findEntry(entries, tag);
    if (!entry || entry->count != 1 || (entry->type != kTypeLong && entry->type != 13)) return 0;
    return load(entry->value.data(), 4, big);
}

void removeTag(std::vector<TiffEntry>& entries, std::uint16_t tag) {
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const TiffEntry& e) { return e.tag == tag; }),
                  entries.end());
}

// The value in the other byte order, element by element.
void swapOrder(TiffEntry& entry) {
    const int unit = swapUnit(entry.type);
    if (unit <= 1) return;
    for (std::size_t at = 0; at + std::size_t(unit) <= entry.value.size(); at += std::size_t(unit))
        std::reverse(entry.value.begin() + std::ptrdiff_t(at),
                     entry.value.begin() + std::ptrdiff_t(at + unit));
}

std::vector<TiffEntry> inOrder(std::vector<TiffEntry> entries, bool from, bool to) {
    if (from != to)
        for (TiffEntry& entry : entries) swapOrder(entry);
    return entries;
}

// Writes directories one after another into `out`, which begins at file offset `base`.
class StructureWriter {
  public:
    StructureWriter(std::vector<std::uint8_t>& out, std::uint64_t base, bool big)
        : out_(out), base_(base), big_(big) {}

    std::uint64_t here() const { return base_ + out_.size(); }

    // Values first, then the directory itself (tags ascending); returns its offset.
    std::uint64_t directory(std::vector<TiffEntry> entries) {
        std::stable_sort(entries.begin(), entries.end(),
                         [](const TiffEntry& a, const TiffEntry& b) { return a.tag < b.tag; });
        std::vector<std::uint32_t> fields(entries.size());
        std::vector<bool> inline_(entries.size(), false);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const TiffEntry& entry = entries[i];
            if (entry.field || entry.value.size() <= 4) {
                inline_[i] = true;
                continue;
            }
            align();
            fields[i] = std::uint32_t(here());
            out_.insert(out_.end(), entry.value.begin(), entry.value.end());
        }
        align();
        const std::uint64_t offset = here();
        put(out_, std::uint32_t(entries.size()), 2, big_);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const TiffEntry& entry = entries[i];
            put(out_, entry.tag, 2, big_);
            put(out_, entry.type, 2, big_);
            put(out_, entry.count, 4, big_);
            if (inline_[i]) {
                std::uint8_t field[4] = {};
                std::copy_n(entry.value.begin(), std::min<std::size_t>(entry.value.size(), 4),
                            field);
                out_.insert(out_.end(), field, field + 4);
            } else {
                put(out_, fields[i], 4, big_);
            }
        }
        put(out_, 0, 4, big_);  // no next directory
        return offset;
    }

    TiffEntry pointer(std::uint16_t tag, std::uint64_t offset) const {
        return TiffEntry{tag, kTypeLong, 1, encoded(std::uint32_t(offset), 4, big_), false};
    }

    // The description directories (children first, so that pointers are known);
    // returns the main directory's offset.
    std::uint64_t all(const ExifDirectories& d, std::vector<TiffEntry> main) {
        std::vector<TiffEntry> exif = inOrder(d.exif, d.bigEndian, big_);
        if (!d.interop.empty())
            exif.push_back(
                pointer(kTagInteropPointer, directory(inOrder(d.interop, d.bigEndian, big_))));
        if (!exif.empty()) main.push_back(pointer(kTagExifPointer, directory(exif)));
        if (!d.gps.empty())
            main.push_back(pointer(kTagGpsPointer, directory(inOrder(d.gps, d.bigEndian, big_))));
        return directory(main);
    }

  private:
    void align() {
        if (here() % 2) out_.push_back(0);
    }
    std::vector<std::uint8_t>& out_;
    std::uint64_t base_;
    bool big_;
};

}  // namespace

bool readExifDirectories(const ReadAt& read, std::uint64_t length, ExifDirectories& directories) {
    directories = ExifDirectories{};
    std::uint8_t header[8];
    if (length < 8 || !read(0, header, 8)) return false;
    bool big = false;
    if (header[0] == 'M' && header[1] == 'M') {
        big = true;
    } else if (!(header[0] == 'I' && header[1] == 'I')) {
        return false;
    }
    if (load(header + 2, 2, big) != 42) return false;
    const StructureReader reader(read, length, big);
    ExifDirectories found;
    found.bigEndian = big;
    std::uint64_t total = 0;
    std::vector<TiffEntry> first;
    if (!reader.directory(load(header + 4, 4, big), first, total)) return false;
    for (TiffEntry& entry : first)
        if (describesPhotograph(entry.tag)) found.main.push_back(std::move(entry));
    // The sub-directories are each optional: a damaged one is dropped alone.
    if (const std::uint32_t at = pointerOf(first, kTagExifPointer, big)) {
        if (reader.directory(at, found.exif, total)) {
            if (const std::uint32_t interop = pointerOf(found.exif, kTagInteropPointer, big))
                if (!reader.directory(interop, found.interop, total)) found.interop.clear();
        } else {
            found.exif.clear();
        }
        removeTag(found.exif, kTagInteropPointer);
        removeTag(found.exif, kTagExifPointer);
        removeTag(found.exif, kTagGpsPointer);
    }
    if (const std::uint32_t at = pointerOf(first, kTagGpsPointer, big))
        if (!reader.directory(at, found.gps, total)) found.gps.clear();
    directories = std::move(found);
    return true;
}

bool readExifDirectories(std::span<const std::uint8_t> bytes, ExifDirectories& directories) {
    const ReadAt read = [&](std::uint64_t offset, std::uint8_t* out, std::size_t size) {
        if (offset > bytes.size() || size > bytes.size() - offset) return false;
        std::copy_n(bytes.data() + offset, size, out);
        return true;
    };
    return readExifDirectories(read, bytes.size(), directories);
}

int exifOrientation(const ExifDirectories& directories) {
    const TiffEntry* entry = findEntry(directories.main, kTagOrientation);
    if (!entry || entry->type != kTypeShort || entry->count < 1) return 1;
    const std::uint32_t value = load(entry->value.data(), 2, directories.bigEndian);
    return value >= 1 && value <= 8 ? int(value) : 1;
}

void makeExifUpright(ExifDirectories& directories, std::int32_t width, std::int32_t height) {
    const bool big = directories.bigEndian;
    for (TiffEntry& entry : directories.main)
        if (entry.tag == kTagOrientation)
            entry = TiffEntry{kTagOrientation, kTypeShort, 1, encoded(1, 2, big)};
    for (TiffEntry& entry : directories.exif) {
        if (entry.tag != kTagPixelXDimension && entry.tag != kTagPixelYDimension) continue;
        const auto side = std::uint32_t(entry.tag == kTagPixelXDimension ? width : height);
        entry = side <= 0xFFFF && entry.type == kTypeShort
                    ? TiffEntry{entry.tag, kTypeShort, 1, encoded(side, 2, big)}
                    : TiffEntry{entry.tag, kTypeLong, 1, encoded(side, 4, big)};
    }
}

std::vector<std::uint8_t> exifBytes(const ExifDirectories& directories) {
    const bool big = directories.bigEndian;
    std::vector<std::uint8_t> out;
    out.push_back(big ? 'M' : 'I');
    out.push_back(big ? 'M' : 'I');
    put(out, 42, 2, big);
    put(out, 0, 4, big);  // the first directory's offset, known at the end
    StructureWriter writer(out, 0, big);
    const std::uint64_t main = writer.all(directories, directories.main);
    const std::vector<std::uint8_t> offset = encoded(std::uint32_t(main), 4, big);
    std::copy(offset.begin(), offset.end(), out.begin() + 4);
    return out;
}

bool appendExifToTiff(int fd, const ExifDirectories& directories, std::string& error) {
    if (directories.empty()) return true;
    std::uint8_t header[8];
    if (!os::readDescriptorAt(fd, header, 8, 0)) {
        error = "cannot read back the TIFF to add its metadata";
        return false;
    }
    const bool big = header[0] == 'M';
    if (load(header + 2, 2, big) != 42) return true;  // BigTIFF: written without the EXIF tags
    const std::uint32_t firstOffset = load(header + 4, 4, big);
    std::uint8_t countBytes[2];
    if (!os::readDescriptorAt(fd, countBytes, 2, firstOffset)) {
        error = "cannot read back the TIFF to add its metadata";
        return false;
    }
    const std::uint32_t count = load(countBytes, 2, big);
    std::vector<std::uint8_t> table(count * 12);
    if (!os::readDescriptorAt(fd, table.data(), table.size(), firstOffset + 2)) {
        error = "cannot read back the TIFF to add its metadata";
        return false;
    }
    // The entries there stay as they are, offsets and all; the description tags the
    // writer did not set join them.
    std::vector<TiffEntry> main;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* e = table.data() + i * 12;
        main.push_back(TiffEntry{std::uint16_t(load(e, 2, big)), std::uint16_t(load(e + 2, 2, big)),
                                 load(e + 4, 4, big), std::vector<std::uint8_t>(e + 8, e + 12),
                                 true});
    }
    for (const TiffEntry& entry : inOrder(directories.main, directories.bigEndian, big))
        if (!findEntry(main, entry.tag)) main.push_back(entry);

    const std::int64_t end = os::descriptorSize(fd);
    if (end < 0) {
        error = "cannot add the metadata to the TIFF";
        return false;
    }
    std::vector<std::uint8_t> added;
    StructureWriter writer(added, std::uint64_t(end), big);
    const std::uint64_t newFirst = writer.all(directories, std::move(main));
    if (writer.here() > std::numeric_limits<std::uint32_t>::max())
        return true;  // no room in classic TIFF
    const std::vector<std::uint8_t> offset = encoded(std::uint32_t(newFirst), 4, big);
    if (!os::writeDescriptorAt(fd, added.data(), added.size(), std::uint64_t(end)) ||
        !os::writeDescriptorAt(fd, offset.data(), offset.size(), 4)) {
        error = "cannot add the metadata to the TIFF";
        return false;
    }
    return true;
}

std::vector<std::uint8_t> iptcFromResources(std::span<const std::uint8_t> resources) {
    // Each resource: "8BIM", a 2-byte id, a Pascal name padded to even, a 4-byte size,
    // the data padded to even; all big-endian.
    std::size_t at = 0;
    while (at + 12 <= resources.size()) {
        if (resources[at] != '8' || resources[at + 1] != 'B' || resources[at + 2] != 'I' ||
            resources[at + 3] != 'M')
            break;
        const std::uint32_t id = load(resources.data() + at + 4, 2, true);
        std::size_t name = 1 + std::size_t(resources[at + 6]);
        name += name % 2;
        const std::size_t sizeAt = at + 6 + name;
        if (sizeAt + 4 > resources.size()) break;
        const std::uint32_t size = load(resources.data() + sizeAt, 4, true);
        const std::size_t data = sizeAt + 4;
        if (size > resources.size() - data) break;
        if (id == 0x0404)
            return {resources.begin() + std::ptrdiff_t(data),
                    resources.begin() + std::ptrdiff_t(data + size)};
        at = data + size + size % 2;
    }
    return {};
}

std::vector<std::uint8_t> resourcesWithIptc(std::span<const std::uint8_t> iptc) {
    std::vector<std::uint8_t> out = {'8', 'B', 'I', 'M', 0x04, 0x04, 0, 0};
    put(out, std::uint32_t(iptc.size()), 4, true);
    out.insert(out.end(), iptc.begin(), iptc.end());
    if (iptc.size() % 2) out.push_back(0);
    return out;
}

std::vector<std::uint8_t> decodeRawProfile(const std::string& text) {
    // "\n<name>\n<spaces><length>\n<hex digits, in lines>"
    std::size_t at = text.find_first_not_of('\n');
    if (at == std::string::npos) return {};
    at = text.find('\n', at);
    if (at == std::string::npos) return {};
    char* end = nullptr;
    const unsigned long length = std::strtoul(text.c_str() + at, &end, 10);
    if (end == text.c_str() + at || length > kMaxTotalBytes) return {};
    std::vector<std::uint8_t> bytes;
    bytes.reserve(length);
    int high = -1;
    for (const char* p = end; *p && bytes.size() < length; ++p) {
        const char c = char(std::tolower(static_cast<unsigned char>(*p)));
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) continue;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(std::uint8_t(high * 16 + digit));
            high = -1;
        }
    }
    if (bytes.size() != length) return {};
    return bytes;
}

std::string encodeRawProfile(const std::string& name, std::span<const std::uint8_t> bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text =
        "\n" + name + "\n" +
        std::string(8 - std::min<std::size_t>(8, std::to_string(bytes.size()).size()), ' ') +
        std::to_string(bytes.size()) + "\n";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
        if (i % 36 == 35 || i + 1 == bytes.size()) text += '\n';
    }
    return text;
}

void makeXmpUpright(std::string& xmp) {
    static const std::string kName = "tiff:Orientation";
    for (std::size_t at = xmp.find(kName); at != std::string::npos; at = xmp.find(kName, at + 1)) {
        std::size_t p = at + kName.size();
        while (p < xmp.size() &&
               (xmp[p] == ' ' || xmp[p] == '\t' || xmp[p] == '\n' || xmp[p] == '\r'))
            ++p;
        if (p >= xmp.size()) break;
        if (xmp[p] == '=') {  // an attribute: ="6"
            ++p;
            while (p < xmp.size() && (xmp[p] == ' ' || xmp[p] == '\t')) ++p;
            if (p >= xmp.size() || (xmp[p] != '"' && xmp[p] != '\'')) continue;
            ++p;
        } else if (xmp[p] == '>') {  // an element: >6<
            ++p;
        } else {
            continue;
        }
        const std::size_t digits = xmp.find_first_not_of("0123456789", p);
        if (digits == std::string::npos || digits == p) continue;
        xmp.replace(p, digits - p, "1");
    }
}

}  // namespace mirel::host_app::codecs
