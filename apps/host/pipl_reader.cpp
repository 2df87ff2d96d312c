// Finding and parsing a plug-in's PiPL. The PiPL is outside bytes: every
// offset and length is checked before it is used.
#include "apps/host/pipl_reader.h"

#include "apps/host/plugin_resources.h"
#include "platform/pi/four_cc.h"
#include "platform/pi/pi_types.h"

namespace mirel::hostkit {

namespace {

// A PiPL is a few hundred bytes; anything near this is not one.
constexpr std::uint64_t kMaxPiplSize = 1u << 20;
// Hosts look up the PiPL of a library under this id.
constexpr int kPiplResourceId = 16000;

constexpr std::size_t kPiplHeaderSize = 10;
constexpr std::size_t kPropertyHeaderSize = 16;
constexpr std::size_t kTerminologyMinSize = 15;  // 14 fixed bytes and the scope's NUL
constexpr std::size_t kFilterCaseCount = 7;

std::uint16_t le16(const std::uint8_t* p) {
    return std::uint16_t(p[0] | (p[1] << 8));
}
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
        return fail(error,
                    "the PiPL's " + pi::fourCCText(key) + " string is longer than its property");
    out.assign(reinterpret_cast<const char*>(data.data() + 1), data[0]);
    return true;
}

bool needBytes(std::span<const std::uint8_t> data, std::size_t size, std::uint32_t key,
               std::string& error) {
    if (data.size() >= size) return true;
    return fail(error, "the PiPL's " + pi::fourCCText(key) + " property has " +
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
        for (std::size_t at = 0;
             at + 4 <= data.size() && info.filterCases.size() < kFilterCaseCount; at += 4)
            info.filterCases.push_back(
                {std::int8_t(data[at]), std::int8_t(data[at + 1]), data[at + 2], data[at + 3]});
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

bool readPiplResource(const std::string& path, std::vector<std::uint8_t>& bytes,
                      std::string& error) {
    return readPluginResource(path, PluginResource::Pipl, kPiplResourceId, kMaxPiplSize, bytes,
                              error) == ResourceRead::Read;
}

bool parsePipl(std::span<const std::uint8_t> bytes, PiplInfo& info, std::string& error) {
    info = PiplInfo{};
    if (bytes.size() < kPiplHeaderSize)
        return fail(error, "damaged PiPL: " + std::to_string(bytes.size()) +
                               " bytes, too short for its header");
    const std::uint16_t format = le16(bytes.data());
    if (format != 1)
        return fail(error,
                    "damaged PiPL: unknown format " + std::to_string(format) + " (1 expected)");
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
            return fail(error, "damaged PiPL: property " + pi::fourCCText(key) + " claims " +
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
        return fail(error, "not a filter: its PiPL kind is " + pi::fourCCText(info.kind) +
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
    if (!readPiplResource(path, bytes, error) || !parsePipl(bytes, info, error) ||
        !checkFilterPipl(info, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

}  // namespace mirel::hostkit
