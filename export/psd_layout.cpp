// The fixed blocks of the PSD documents and the arithmetic of their section lengths.
#include "export/psd_layout.h"

#include <algorithm>
#include <array>
#include <limits>

#include "settings/metadata.h"

namespace mirel::psd {

namespace {

// A print record for the default printer, as documents of the format's own
// program carry it.
constexpr std::uint8_t kPrintRecord[120] = {
    0x00, 0x28, 0x00, 0x00, 0x00, 0x48, 0x00, 0x48, 0x00, 0x00, 0x00, 0x00, 0x02, 0xE7, 0x02,
    0x52, 0xFF, 0xF7, 0xFF, 0xF7, 0x03, 0x0F, 0x02, 0x5B, 0x20, 0x02, 0x05, 0x28, 0x03, 0xFC,
    0x00, 0x00, 0x00, 0x00, 0x01, 0x68, 0x01, 0x68, 0x00, 0x00, 0x00, 0x00, 0x0E, 0x83, 0x0B,
    0x9A, 0x01, 0x74, 0x00, 0x32, 0x0B, 0x9A, 0x48, 0xA8, 0x00, 0x4B, 0x00, 0x01, 0x01, 0x01,
    0x00, 0x00, 0x00, 0x01, 0x27, 0x0F, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x01, 0x00, 0x64, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x03, 0x20,
    0xB1, 0x04, 0x00, 0x12, 0x00, 0x03, 0x00, 0x45, 0x00, 0x00, 0x00, 0x36, 0x44, 0x61, 0x20,
};

// 72 pixels per inch across and down, as 16.16 numbers with their units.
constexpr std::uint8_t kResolution[16] = {0x00, 0x48, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01,
                                          0x00, 0x48, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01};

constexpr std::uint8_t kPrintFlags[9] = {0, 0, 0, 0, 0, 0, 0, 0, 1};

// Four identity transfer functions: no curve points set, 1000 as the override.
constexpr auto kTransferFunctions = [] {
    std::array<std::uint8_t, 112> bytes{};
    for (std::size_t f = 0; f < 4; ++f) {
        std::uint8_t* at = bytes.data() + f * 28;
        for (std::size_t i = 0; i < 22; ++i) at[2 + i] = 0xFF;
        at[24] = 0x03;
        at[25] = 0xE8;
    }
    return bytes;
}();

constexpr std::uint8_t kHdrOptions[6] = {0x00, 0x01, 0x00, 0x00, 0x00, 0x0C};

// The user mask: colour space, colour, opacity 50, flag; its block pads it to 16.
constexpr std::uint8_t kUserMask[14] = {0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00,
                                        0x00, 0x00, 0x00, 0x00, 0x32, 0x80, 0x00};

// Composite gray and four channels, each blending the full range into the full range.
constexpr auto kBlendingRanges = [] {
    std::array<std::uint8_t, 40> bytes{};
    for (std::size_t i = 0; i < 10; ++i) {
        bytes[i * 4 + 2] = 0xFF;
        bytes[i * 4 + 3] = 0xFF;
    }
    return bytes;
}();

constexpr std::uint64_t kMaxLength32 = std::numeric_limits<std::uint32_t>::max();

std::uint64_t evenUp(std::uint64_t n) {
    return n + (n & 1);
}

std::uint64_t resourceBlock(std::uint64_t dataSize) {
    return kResourceBlockHeader + evenUp(dataSize);
}

bool knownDepth(std::int32_t bytesPerSample) {
    return bytesPerSample == 1 || bytesPerSample == 2 || bytesPerSample == 4;
}

}  // namespace

image::SampleFormat layerFormatFor(std::int32_t bytesPerSample) {
    switch (bytesPerSample) {
        case 2:
            return image::SampleFormat::Rgba16;
        case 4:
            return image::SampleFormat::RgbaFloat;
        default:
            return image::SampleFormat::Rgba8;
    }
}

std::span<const std::uint8_t> printRecord() {
    return kPrintRecord;
}
std::span<const std::uint8_t> resolutionRecord() {
    return kResolution;
}
std::span<const std::uint8_t> printFlags() {
    return kPrintFlags;
}
std::span<const std::uint8_t> transferFunctions() {
    return kTransferFunctions;
}
std::span<const std::uint8_t> hdrOptions() {
    return kHdrOptions;
}
std::span<const std::uint8_t> userMaskRecord() {
    return kUserMask;
}
std::span<const std::uint8_t> layerBlendingRanges() {
    return kBlendingRanges;
}
std::string_view makerAddress() {
    return kMakerWebAddress;
}

std::uint16_t headerChannelCount(const PsdExportSpec& spec) {
    return spec.bytesPerSample == 2 ? 4 : 3;
}

std::int32_t mergedPlaneCount(const PsdExportSpec& spec) {
    return spec.bytesPerSample == 2 ? 5 : 4;
}

std::uint8_t layerFlags(const PsdExportSpec& spec) {
    return spec.bytesPerSample == 4 ? 0x08 : 0x28;
}

std::uint64_t colourModeDataLength(const PsdExportSpec&) {
    // RGB documents carry no colour mode data at any depth. A 32-bit document
    // may hold its HDR toning record here, but readers that skip the section
    // only for indexed and duotone pictures (GIMP 2.10) then lose their place
    // and reject the file; without the record the default toning applies.
    return 0;
}

std::uint64_t imageResourcesLength(const PsdExportSpec& spec, const PsdMetadata& metadata) {
    const std::uint64_t layers = std::uint64_t(std::max(spec.layerCount, 0));
    std::uint64_t length = resourceBlock(sizeof kPrintRecord) + resourceBlock(sizeof kResolution) +
                           resourceBlock(sizeof kPrintFlags) +
                           resourceBlock(kTransferFunctions.size()) +
                           resourceBlock(makerAddress().size());
    if (!metadata.iccProfile.empty()) length += resourceBlock(metadata.iccProfile.size());
    length += resourceBlock(metadata.iptc.size());
    length += resourceBlock(metadata.exif.size());
    if (spec.bytesPerSample == 4)
        length += resourceBlock(sizeof kHdrOptions) + resourceBlock(layers);
    length += resourceBlock(2) + resourceBlock(2 * layers);
    return length;
}

std::uint64_t paddedLayerNameLength() {
    const std::uint64_t counted = 1 + kLayerName.size();
    return (counted + 3) / 4 * 4;
}

std::uint64_t layerRecordLength(const PsdExportSpec& spec) {
    // Rectangle 16, channel count 2, "8BIM" and mode 8, opacity, clipping,
    // flags and filler 4, extra length 4, then the extra data: mask length 4,
    // blending ranges with their length 44, the name.
    return 16 + 2 + 6 * std::uint64_t(std::max(spec.channelsPerLayer, 0)) + 8 + 4 + 4 + 4 + 4 +
           kBlendingRanges.size() + paddedLayerNameLength();
}

std::uint64_t layerChannelLength(const PsdExportSpec& spec) {
    return std::uint64_t(std::max(spec.width, 0)) * std::uint64_t(std::max(spec.height, 0)) *
               std::uint64_t(std::max(spec.bytesPerSample, 0)) +
           2;
}

std::uint64_t layerInfoLength(const PsdExportSpec& spec) {
    const std::uint64_t layers = std::uint64_t(std::max(spec.layerCount, 0));
    const std::uint64_t channels = std::uint64_t(std::max(spec.channelsPerLayer, 0));
    return 2 + layers * (layerRecordLength(spec) + channels * layerChannelLength(spec));
}

std::uint64_t paddedLayerInfoLength(const PsdExportSpec& spec) {
    return (layerInfoLength(spec) + 4 + 3) / 4 * 4;
}

std::uint64_t layerAndMaskLength(const PsdExportSpec& spec) {
    switch (spec.bytesPerSample) {
        case 2:
            // Empty layer info and global mask, then "Mt16" and "Lr16".
            return 4 + 4 + kTaggedBlockHeader + 8 + paddedLayerInfoLength(spec);
        case 4:
            // As for 16 bits with "Mt32" and "Lr32", then "LMsk" (data padded to
            // a multiple of 4) and an empty "Pat3".
            return 4 + 4 + kTaggedBlockHeader + 8 + paddedLayerInfoLength(spec) +
                   kTaggedBlockHeader + (sizeof kUserMask + 3) / 4 * 4 + kTaggedBlockHeader;
        default:
            return 4 + layerInfoLength(spec) + 4;
    }
}

std::uint64_t mergedImageLength(const PsdExportSpec& spec) {
    return std::uint64_t(mergedPlaneCount(spec)) * (layerChannelLength(spec) - 2);
}

std::uint64_t documentLength(const PsdExportSpec& spec, const PsdMetadata& metadata) {
    return kHeaderBytes + 4 + colourModeDataLength(spec) + 4 +
           imageResourcesLength(spec, metadata) + 4 + layerAndMaskLength(spec) + 2 +
           mergedImageLength(spec);
}

bool documentFits(const PsdExportSpec& spec, const PsdMetadata& metadata) {
    if (spec.width < 1 || spec.height < 1 || spec.width > kMaxSide || spec.height > kMaxSide)
        return false;
    if (!knownDepth(spec.bytesPerSample) || spec.layerCount != kLayerCount ||
        spec.channelsPerLayer != kChannelsPerLayer || spec.singleLayer) {
        return false;
    }
    // The largest length field of each section; the rest are parts of these.
    return imageResourcesLength(spec, metadata) <= kMaxLength32 &&
           layerAndMaskLength(spec) <= kMaxLength32;
}

}  // namespace mirel::psd
