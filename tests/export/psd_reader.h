// A small reader of the PSD documents the export writes, for the tests: every
// section is walked by its length field and must end exactly where the next
// one begins, so that a wrong length anywhere fails the read.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace mirel::testing {

struct PsdResource {
    std::uint16_t id = 0;
    std::uint32_t size = 0;  // as declared; the data is padded to even in the file
    std::vector<std::uint8_t> data;
};

struct PsdTaggedBlock {
    std::string key;
    std::uint32_t length = 0;
};

struct PsdLayerChannel {
    std::int16_t id = 0;
    std::uint32_t length = 0;  // as the record declares it
    std::uint16_t compression = 0;
    std::vector<std::uint8_t> samples;
};

struct PsdLayer {
    std::int32_t top = 0, left = 0, bottom = 0, right = 0;
    std::string blendMode;
    std::uint8_t opacity = 0, flags = 0;
    std::uint32_t extraLength = 0;
    std::vector<std::uint8_t> blendingRanges;
    std::string name;
    std::vector<PsdLayerChannel> channels;
};

struct PsdDocument {
    std::uint16_t version = 0, channels = 0, depth = 0, mode = 0;
    std::uint32_t height = 0, width = 0;
    std::vector<std::uint8_t> colourModeData;
    std::uint32_t resourcesLength = 0;
    std::vector<PsdResource> resources;
    std::uint32_t layerAndMaskLength = 0;
    // The layer information's own length L, wherever it was found (the section
    // itself for 8 bits, the "Lr16" or "Lr32" block for deeper documents).
    std::uint32_t layerInfoLength = 0;
    std::vector<PsdTaggedBlock> tagged;
    std::vector<PsdLayer> layers;
    std::uint16_t mergedCompression = 0;
    std::vector<std::uint8_t> merged;  // everything after the compression field

    const PsdResource* resource(std::uint16_t id) const;
    // Bytes per sample of the document (1, 2 or 4).
    std::uint32_t sampleBytes() const { return depth / 8; }
    std::uint64_t planeBytes() const { return std::uint64_t(width) * height * sampleBytes(); }
    // Sample (x, y) of merged plane `plane` or of layer channel `channel`, as
    // an unsigned number of the document's depth (floats as their bits).
    std::uint32_t mergedSample(int plane, std::uint32_t x, std::uint32_t y) const;
    std::uint32_t layerSample(int channel, std::uint32_t x, std::uint32_t y) const;
};

// False with a reason when the bytes are not a document of this layout.
bool readPsd(std::span<const std::uint8_t> bytes, PsdDocument& document, std::string& error);

std::vector<std::uint8_t> readWholeFile(const std::string& path);

}  // namespace mirel::testing
