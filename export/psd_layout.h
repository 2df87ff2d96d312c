// The layout of the layered PSD documents the filter writes: the export
// description, the fixed byte blocks, the sample rules of each depth and the
// length of every section, computed before a byte is written. Numbers in the
// file are big-endian; lengths are computed in 64 bits and a document whose
// lengths do not fit the format's 32-bit fields is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "image/tiled_image.h"

namespace mirel::psd {

// Version 1 documents are at most 30000 pixels on a side.
constexpr std::int32_t kMaxSide = 30000;
constexpr std::int32_t kChannelsPerLayer = 4;  // transparency, red, green, blue
constexpr std::int32_t kLayerCount = 1;
constexpr std::string_view kLayerName = "layer 1";

constexpr std::uint16_t kVersion = 1;
constexpr std::uint16_t kColourModeRgb = 3;
constexpr std::uint16_t kCompressionRaw = 0;
constexpr std::uint64_t kHeaderBytes = 26;
// Header, id, empty name and size field of one image resource block.
constexpr std::uint64_t kResourceBlockHeader = 12;
// Signature, key and length of a tagged block of the layer and mask section.
constexpr std::uint64_t kTaggedBlockHeader = 12;

// Image resource ids, in the order the blocks are written.
constexpr std::uint16_t kResourcePrintRecord = 1001;
constexpr std::uint16_t kResourceResolution = 1005;
constexpr std::uint16_t kResourcePrintFlags = 1011;
constexpr std::uint16_t kResourceTransferFunctions = 1016;
constexpr std::uint16_t kResourceUrl = 1035;
constexpr std::uint16_t kResourceIccProfile = 1039;
constexpr std::uint16_t kResourceIptc = 1028;
constexpr std::uint16_t kResourceExif = 1058;
constexpr std::uint16_t kResourceHdrOptions = 1069;
constexpr std::uint16_t kResourceLayerSelection = 1072;
constexpr std::uint16_t kResourceLayerState = 1024;
constexpr std::uint16_t kResourceLayerGroups = 1026;

// The checkerboard the merged image lays the layer over: 8 x 8 squares, the
// light tone where bit 3 of x XOR y is clear.
constexpr std::uint32_t kCheckerLight8 = 255;
constexpr std::uint32_t kCheckerDark8 = 204;
constexpr std::uint32_t kCheckerLight16 = 32640;  // on the 32768 scale
constexpr std::uint32_t kCheckerDark16 = 26112;
constexpr std::uint32_t kFull16 = 32768;

// The export description: what every length of the document follows from.
struct PsdExportSpec {
    std::int32_t channelsPerLayer = kChannelsPerLayer;
    std::int32_t layerCount = kLayerCount;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bytesPerSample = 1;  // 1, 2 or 4 (32-bit float)
    bool singleLayer = false;         // always clear: the layered form is written
};

// What the image resources carry beside their fixed blocks.
struct PsdMetadata {
    std::vector<std::uint8_t> iccProfile;  // the host's profile; empty: no block
    std::vector<std::uint8_t> iptc;        // IPTC-NAA records (even length)
    std::vector<std::uint8_t> exif;        // the EXIF block
};

// The tile store format that holds a layer of this depth.
image::SampleFormat layerFormatFor(std::int32_t bytesPerSample);

// ---- Fixed blocks ----------------------------------------------------------------

std::span<const std::uint8_t> printRecord();          // 120 bytes
std::span<const std::uint8_t> resolutionRecord();     // 16 bytes, 72 pixels per inch
std::span<const std::uint8_t> printFlags();           // 9 bytes
std::span<const std::uint8_t> transferFunctions();    // 112 bytes
std::span<const std::uint8_t> hdrOptions();           // 6 bytes
std::span<const std::uint8_t> userMaskRecord();       // "LMsk" data: 14 bytes
std::span<const std::uint8_t> layerBlendingRanges();  // 40 bytes
std::string_view makerAddress();                      // the URL block's text

// ---- Sections ----------------------------------------------------------------------

// Channels in the header: 3 for 8-bit and 32-bit documents, 4 for 16-bit.
std::uint16_t headerChannelCount(const PsdExportSpec& spec);
// Planes of the merged image: 4, 5 and 4. Those past the header's count are
// part of the file though no reader needs them.
std::int32_t mergedPlaneCount(const PsdExportSpec& spec);
std::uint8_t layerFlags(const PsdExportSpec& spec);

std::uint64_t colourModeDataLength(const PsdExportSpec& spec);  // 0
// The sum of the resource blocks, each padded to an even size.
std::uint64_t imageResourcesLength(const PsdExportSpec& spec, const PsdMetadata& metadata);
// The name as a length-prefixed string, padded with zeros to a multiple of 4.
std::uint64_t paddedLayerNameLength();
std::uint64_t layerRecordLength(const PsdExportSpec& spec);  // 114 for "layer 1"
// Bytes of one channel of the layer: width x height samples plus the compression field.
std::uint64_t layerChannelLength(const PsdExportSpec& spec);
// L: the layer information after its own length field.
std::uint64_t layerInfoLength(const PsdExportSpec& spec);
// P: L + 4 rounded up to a multiple of 4, the space of an "Lr16"/"Lr32" block's data.
std::uint64_t paddedLayerInfoLength(const PsdExportSpec& spec);
// The length field of the layer and mask information section.
std::uint64_t layerAndMaskLength(const PsdExportSpec& spec);
// The merged image after its compression field.
std::uint64_t mergedImageLength(const PsdExportSpec& spec);
// The whole file.
std::uint64_t documentLength(const PsdExportSpec& spec, const PsdMetadata& metadata);

// True when the document can be written: 1 to 30000 pixels a side, a known
// depth, one layer of four channels, and every length field within 32 bits.
bool documentFits(const PsdExportSpec& spec, const PsdMetadata& metadata);

// ---- Samples -------------------------------------------------------------------------

// A 16-bit sample on the 32768 scale as the file holds it: twice the value, and
// full scale (or anything above it) as 65535.
inline std::uint16_t fileSample16(std::uint32_t value) {
    return value >= kFull16 ? std::uint16_t(0xFFFF) : std::uint16_t(value * 2);
}

inline bool onDarkSquare(std::int32_t x, std::int32_t y) {
    return ((x ^ y) & 8) != 0;
}

// Colour value v with transparency a laid over checkerboard tone t, in whole numbers.
inline std::uint8_t compositeOverChecker8(std::uint32_t v, std::uint32_t a, std::uint32_t t) {
    return std::uint8_t((t * (255 - a) + v * a) / 255);
}

// The same on the 32768 scale (values above full scale count as full scale),
// then stored as a file sample.
inline std::uint16_t compositeOverChecker16(std::uint32_t v, std::uint32_t a, std::uint32_t t) {
    v = v > kFull16 ? kFull16 : v;
    a = a > kFull16 ? kFull16 : a;
    return fileSample16((t * (kFull16 - a) + v * a) / kFull16);
}

}  // namespace mirel::psd
