// The PiPL bytes, composed at compile time in the Windows resource layout
// (little-endian; four-character codes as native 32-bit values).
#include "resources/pipl.h"

#include <array>
#include <initializer_list>
#include <string_view>

#include "resources/resources.h"

namespace mirel {

namespace {

// Large enough for the properties below; running past it stops the build.
constexpr std::size_t kPiplCapacity = 1024;

struct PiplWriter {
    std::array<std::uint8_t, kPiplCapacity> bytes{};
    std::size_t size = 0;
    std::int32_t count = 0;
    std::size_t lengthAt = 0;
    std::size_t dataAt = 0;

    constexpr void u8(std::uint8_t value) { bytes.at(size++) = value; }
    constexpr void u16(std::uint16_t value) {
        u8(std::uint8_t(value));
        u8(std::uint8_t(value >> 8));
    }
    constexpr void u32(std::uint32_t value) {
        u16(std::uint16_t(value));
        u16(std::uint16_t(value >> 16));
    }
    constexpr void patch32(std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) bytes.at(at + i) = std::uint8_t(value >> (8 * i));
    }
    constexpr void cString(std::string_view text) {
        for (char c : text) u8(std::uint8_t(c));
        u8(0);
    }
    constexpr void pascalString(std::string_view text) {
        u8(std::uint8_t(text.size()));
        for (char c : text) u8(std::uint8_t(c));
    }

    constexpr void beginProperty(pi::OSType key) {
        u32(pi::kPhotoshopSignature);
        u32(key);
        u32(0);  // property id
        lengthAt = size;
        u32(0);  // length, known when the property ends
        dataAt = size;
    }
    // Some hosts step by the stored length and others round it up to 4, so
    // the stored length is the padded one and both land on the next property.
    constexpr void endProperty() {
        while ((size - dataAt) % 4 != 0) u8(0);
        patch32(lengthAt, std::uint32_t(size - dataAt));
        ++count;
    }
};

// A 'mode' flag set: mode m is bit 0x80 >> (m % 8) of byte m / 8.
constexpr std::array<std::uint8_t, 4> modeFlags(std::initializer_list<pi::ImageMode> modes) {
    std::array<std::uint8_t, 4> flags{};
    for (pi::ImageMode mode : modes) flags.at(mode / 8) |= std::uint8_t(0x80 >> (mode % 8));
    return flags;
}

constexpr PiplWriter writePipl() {
    PiplWriter w;
    w.u16(std::uint16_t(kPiplResourceVersion));
    w.u32(0);  // resource version
    w.u32(0);  // property count, known at the end

    w.beginProperty(kPiplKeyKind);
    w.u32(pi::kFilterKind);
    w.endProperty();

    w.beginProperty(kPiplKeyName);
    w.pascalString(kPiplFilterName);
    w.endProperty();

    w.beginProperty(kPiplKeyCategory);
    w.pascalString(kPiplCategory);
    w.endProperty();

    w.beginProperty(kPiplKeyVersion);
    w.u32(std::uint32_t(pi::kLatestFilterVersion));
    w.endProperty();

    w.beginProperty(kPiplKeyEntryPoint64);
    w.cString(kPiplEntryPoint);
    w.endProperty();

    // Packed: version, class, event, terminology resource id, scope string.
    w.beginProperty(kPiplKeyTerminology);
    w.u32(0);
    w.u32(kPiplScriptingClass);
    w.u32(kPiplScriptingEvent);
    w.u16(std::uint16_t(kTerminologyResourceId));
    w.cString(kPiplTerminologyScope);
    w.endProperty();

    // Grey and RGB at every depth. Four bytes, because the 16- and 32-bit
    // modes (10 to 17) lie beyond the first two.
    w.beginProperty(kPiplKeyModes);
    for (std::uint8_t flags : modeFlags({pi::kModeGrayScale, pi::kModeRGBColor, pi::kModeGray16,
                                         pi::kModeRGB48, pi::kModeRGB96, pi::kModeGray32}))
        w.u8(flags);
    w.endProperty();

    // The expression appears twice; hosts read either.
    for (int i = 0; i < 2; ++i) {
        w.beginProperty(kPiplKeyEnable);
        w.cString(kPiplEnableExpression);
        w.endProperty();
    }

    // Every filter case: straight data in and out, and the host need not copy
    // the source into the destination because every pixel is written.
    w.beginProperty(kPiplKeyFilterCases);
    for (int i = 0; i < kPiplFilterCaseCount; ++i) {
        w.u8(std::uint8_t(pi::kFilterDataHandlingNone));
        w.u8(std::uint8_t(pi::kFilterDataHandlingNone));
        w.u8(pi::kFilterCaseDontCopyToDestination);
        w.u8(0);
    }
    w.endProperty();

    w.patch32(6, std::uint32_t(w.count));
    return w;
}

constexpr PiplWriter kWritten = writePipl();
constexpr std::size_t kPiplSize = kWritten.size;
static_assert(kWritten.count == 10);
static_assert(kPiplSize % 4 == 2, "header of 10 bytes, then whole words");

constexpr std::array<std::uint8_t, kPiplSize> trimmedPipl() {
    std::array<std::uint8_t, kPiplSize> bytes{};
    for (std::size_t i = 0; i < kPiplSize; ++i) bytes[i] = kWritten.bytes[i];
    return bytes;
}

}  // namespace

}  // namespace mirel

#if defined(_WIN32)
// Windows hosts read the PiPL from the library's resource section, where the
// build puts these bytes; the library exports nothing but its entry point.
extern "C" const std::array<std::uint8_t, mirel::kPiplSize> MirelPiPL = mirel::trimmedPipl();
#else
// In a section of its own so that a host finds the PiPL in the file without
// loading the library; "used" keeps the compiler from dropping it.
extern "C" __attribute__((visibility("default"), used, section(".pipl")))
const std::array<std::uint8_t, mirel::kPiplSize>
    MirelPiPL = mirel::trimmedPipl();
extern "C" __attribute__((visibility("default"), used)) const std::size_t MirelPiPLSize =
    mirel::kPiplSize;
#endif

namespace mirel {

std::span<const std::uint8_t> piplBytes() {
    return {MirelPiPL.data(), MirelPiPL.size()};
}

}  // namespace mirel
