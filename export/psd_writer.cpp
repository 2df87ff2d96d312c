// The five sections of a PSD document, streamed plane by plane from the tile
// store; only one row of samples is held at a time.
#include "export/psd_writer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>

#include "platform/os/os.h"

namespace mirel::psd {

namespace {

constexpr std::string_view kSignature = "8BPS";
constexpr std::string_view kResourceSignature = "8BIM";
constexpr std::string_view kBlendModeNormal = "norm";
constexpr std::uint8_t kOpaque = 255;

// Channel ids of a layer in the order their data is written.
constexpr std::int16_t kLayerChannelIds[kChannelsPerLayer] = {-1, 0, 1, 2};

// What a plane of the document holds at each pixel.
enum class PlaneKind {
    Transparency,  // the layer's own samples
    Red,
    Green,
    Blue,
    RedOverChecker,  // merged: the colour laid over the checkerboard
    GreenOverChecker,
    BlueOverChecker,
    TransparencyOverChecker,  // merged 8-bit: the transparency through the same formula
    Opaque,                   // merged 16-bit: full scale
};

void putResource(BigEndianWriter& out, std::uint16_t id, std::span<const std::uint8_t> data,
                 std::uint64_t size) {
    out.putText(kResourceSignature);
    out.put16(id);
    out.put16(0);  // empty name, padded to an even size
    out.put32(std::uint32_t(size));
    out.putBytes(data);
    if (data.size() % 2 != 0) out.put8(0);
}

void putResource(BigEndianWriter& out, std::uint16_t id, std::span<const std::uint8_t> data) {
    putResource(out, id, data, data.size());
}

void writeHeader(BigEndianWriter& out, const PsdExportSpec& spec) {
    out.putText(kSignature);
    out.put16(kVersion);
    out.putZeros(6);
    out.put16(headerChannelCount(spec));
    out.put32(std::uint32_t(spec.height));
    out.put32(std::uint32_t(spec.width));
    out.put16(std::uint16_t(8 * spec.bytesPerSample));
    out.put16(kColourModeRgb);
}

void writeColourModeData(BigEndianWriter& out, const PsdExportSpec& spec) {
    out.put32(std::uint32_t(colourModeDataLength(spec)));
}

void writeImageResources(BigEndianWriter& out, const PsdExportSpec& spec,
                         const PsdMetadata& metadata) {
    out.put32(std::uint32_t(imageResourcesLength(spec, metadata)));
    putResource(out, kResourcePrintRecord, printRecord());
    putResource(out, kResourceResolution, resolutionRecord());
    putResource(out, kResourcePrintFlags, printFlags());
    putResource(out, kResourceTransferFunctions, transferFunctions());
    const std::string_view url = makerAddress();
    putResource(out, kResourceUrl, {reinterpret_cast<const std::uint8_t*>(url.data()), url.size()});
    if (!metadata.iccProfile.empty()) putResource(out, kResourceIccProfile, metadata.iccProfile);
    putResource(out, kResourceIptc, metadata.iptc);
    putResource(out, kResourceExif, metadata.exif);
    if (spec.bytesPerSample == 4) {
        putResource(out, kResourceHdrOptions, hdrOptions());
        // Every layer selected.
        const std::uint8_t selected[kLayerCount] = {1};
        putResource(out, kResourceLayerSelection, selected);
    }
    const std::uint8_t layerState[2] = {std::uint8_t(spec.layerCount >> 8),
                                        std::uint8_t(spec.layerCount)};
    putResource(out, kResourceLayerState, layerState);
    const std::uint8_t groups[2 * kLayerCount] = {};
    putResource(out, kResourceLayerGroups, groups);
}

void writeLayerRecord(BigEndianWriter& out, const PsdExportSpec& spec) {
    out.put32(0);  // top
    out.put32(0);  // left
    out.put32(std::uint32_t(spec.height));
    out.put32(std::uint32_t(spec.width));
    out.put16(std::uint16_t(spec.channelsPerLayer));
    for (const std::int16_t id : kLayerChannelIds) {
        out.put16(std::uint16_t(id));
        out.put32(std::uint32_t(layerChannelLength(spec)));
    }
    out.putText(kResourceSignature);
    out.putText(kBlendModeNormal);
    out.put8(kOpaque);
    out.put8(0);  // clipping: base
    out.put8(layerFlags(spec));
    out.put8(0);  // filler
    out.put32(std::uint32_t(4 + 4 + layerBlendingRanges().size() + paddedLayerNameLength()));
    out.put32(0);  // no layer mask
    out.put32(std::uint32_t(layerBlendingRanges().size()));
    out.putBytes(layerBlendingRanges());
    out.put8(std::uint8_t(kLayerName.size()));
    out.putText(kLayerName);
    out.putZeros(paddedLayerNameLength() - 1 - kLayerName.size());
}

// Writes one plane of `kind`, row by row from the top. Samples are read
// straight from the tiles, 512 columns at a time.
class PlaneWriter {
  public:
    PlaneWriter(BigEndianWriter& out, const image::TiledImage& layer, std::int32_t bytesPerSample)
        : out_(out), layer_(layer), bytes_(bytesPerSample) {
        row_.reset(new (std::nothrow) std::uint8_t[std::size_t(layer.baseWidth) * bytes_]);
    }

    bool ready() const { return row_ != nullptr; }

    void write(PlaneKind kind) {
        const std::int32_t width = layer_.baseWidth;
        for (std::int32_t y = 0; y < layer_.baseHeight; ++y) {
            for (std::int32_t x0 = 0; x0 < width; x0 += image::kTileSize) {
                const std::int32_t n = std::min(width - x0, image::kTileSize);
                const std::uint8_t* pixels = image::pixelAddress(layer_, x0, y, 0);
                std::uint8_t* at = row_.get() + std::size_t(x0) * bytes_;
                switch (layer_.format) {
                    case image::SampleFormat::Rgba8:
                        row8(kind, pixels, x0, y, n, at);
                        break;
                    case image::SampleFormat::Rgba16:
                        row16(kind, pixels, x0, y, n, at);
                        break;
                    case image::SampleFormat::RgbaFloat:
                        rowFloat(kind, pixels, n, at);
                        break;
                }
            }
            out_.putBytes({row_.get(), std::size_t(width) * bytes_});
        }
    }

  private:
    static void row8(PlaneKind kind, const std::uint8_t* pixels, std::int32_t x0, std::int32_t y,
                     std::int32_t n, std::uint8_t* out) {
        for (std::int32_t i = 0; i < n; ++i) {
            std::uint32_t word;
            std::memcpy(&word, pixels + std::size_t(i) * 4, 4);
            const std::uint32_t r = word >> 24, g = (word >> 16) & 255u, b = (word >> 8) & 255u;
            const std::uint32_t a = word & 255u;
            const std::uint32_t tone = onDarkSquare(x0 + i, y) ? kCheckerDark8 : kCheckerLight8;
            std::uint8_t value = 0;
            switch (kind) {
                case PlaneKind::Transparency:
                    value = std::uint8_t(a);
                    break;
                case PlaneKind::Red:
                    value = std::uint8_t(r);
                    break;
                case PlaneKind::Green:
                    value = std::uint8_t(g);
                    break;
                case PlaneKind::Blue:
                    value = std::uint8_t(b);
                    break;
                case PlaneKind::RedOverChecker:
                    value = compositeOverChecker8(r, a, tone);
                    break;
                case PlaneKind::GreenOverChecker:
                    value = compositeOverChecker8(g, a, tone);
                    break;
                case PlaneKind::BlueOverChecker:
                    value = compositeOverChecker8(b, a, tone);
                    break;
                case PlaneKind::TransparencyOverChecker:
                    value = compositeOverChecker8(a, a, tone);
                    break;
                case PlaneKind::Opaque:
                    value = 255;
                    break;
            }
            out[i] = value;
        }
    }

    static void row16(PlaneKind kind, const std::uint8_t* pixels, std::int32_t x0, std::int32_t y,
                      std::int32_t n, std::uint8_t* out) {
        for (std::int32_t i = 0; i < n; ++i) {
            image::Rgba16Pixel p;
            std::memcpy(&p, pixels + std::size_t(i) * sizeof p, sizeof p);
            const std::uint32_t tone = onDarkSquare(x0 + i, y) ? kCheckerDark16 : kCheckerLight16;
            std::uint16_t value = 0;
            switch (kind) {
                case PlaneKind::Transparency:
                    value = fileSample16(p.a);
                    break;
                case PlaneKind::Red:
                    value = fileSample16(p.r);
                    break;
                case PlaneKind::Green:
                    value = fileSample16(p.g);
                    break;
                case PlaneKind::Blue:
                    value = fileSample16(p.b);
                    break;
                case PlaneKind::RedOverChecker:
                    value = compositeOverChecker16(p.r, p.a, tone);
                    break;
                case PlaneKind::GreenOverChecker:
                    value = compositeOverChecker16(p.g, p.a, tone);
                    break;
                case PlaneKind::BlueOverChecker:
                    value = compositeOverChecker16(p.b, p.a, tone);
                    break;
                case PlaneKind::TransparencyOverChecker:
                    value = compositeOverChecker16(p.a, p.a, tone);
                    break;
                case PlaneKind::Opaque:
                    value = 0xFFFF;
                    break;
            }
            out[2 * i] = std::uint8_t(value >> 8);
            out[2 * i + 1] = std::uint8_t(value);
        }
    }

    // Floats go to the file as they are, in the merged image too.
    static void rowFloat(PlaneKind kind, const std::uint8_t* pixels, std::int32_t n,
                         std::uint8_t* out) {
        for (std::int32_t i = 0; i < n; ++i) {
            image::Rgba p;
            std::memcpy(&p, pixels + std::size_t(i) * sizeof p, sizeof p);
            float value = 1.0f;
            switch (kind) {
                case PlaneKind::Transparency:
                case PlaneKind::TransparencyOverChecker:
                    value = p.a;
                    break;
                case PlaneKind::Red:
                case PlaneKind::RedOverChecker:
                    value = p.r;
                    break;
                case PlaneKind::Green:
                case PlaneKind::GreenOverChecker:
                    value = p.g;
                    break;
                case PlaneKind::Blue:
                case PlaneKind::BlueOverChecker:
                    value = p.b;
                    break;
                case PlaneKind::Opaque:
                    value = 1.0f;
                    break;
            }
            const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
            out[4 * i] = std::uint8_t(bits >> 24);
            out[4 * i + 1] = std::uint8_t(bits >> 16);
            out[4 * i + 2] = std::uint8_t(bits >> 8);
            out[4 * i + 3] = std::uint8_t(bits);
        }
    }

    BigEndianWriter& out_;
    const image::TiledImage& layer_;
    std::int32_t bytes_;
    std::unique_ptr<std::uint8_t[]> row_;
};

// The layer information: its length L, the layer count, the record and the
// channel data (each channel: compression, then the samples).
void writeLayerInfo(BigEndianWriter& out, const PsdExportSpec& spec, PlaneWriter& planes) {
    out.put32(std::uint32_t(layerInfoLength(spec)));
    out.put16(std::uint16_t(spec.layerCount));
    writeLayerRecord(out, spec);
    for (const PlaneKind kind :
         {PlaneKind::Transparency, PlaneKind::Red, PlaneKind::Green, PlaneKind::Blue}) {
        out.put16(kCompressionRaw);
        planes.write(kind);
    }
}

void putTaggedBlockHeader(BigEndianWriter& out, std::string_view key, std::uint64_t length) {
    out.putText(kResourceSignature);
    out.putText(key);
    out.put32(std::uint32_t(length));
}

// 8-bit documents keep the layer in the section itself; deeper ones leave it
// empty and carry the layer in an "Lr16" or "Lr32" block, whose length field
// is the layer information's own.
void writeLayerAndMask(BigEndianWriter& out, const PsdExportSpec& spec, PlaneWriter& planes) {
    out.put32(std::uint32_t(layerAndMaskLength(spec)));
    if (spec.bytesPerSample == 1) {
        writeLayerInfo(out, spec, planes);
        out.put32(0);  // no global layer mask
        return;
    }
    const bool deep = spec.bytesPerSample == 4;
    out.put32(0);  // empty layer information
    out.put32(0);  // no global layer mask
    putTaggedBlockHeader(out, deep ? "Mt32" : "Mt16", 0);
    out.putText(kResourceSignature);
    out.putText(deep ? "Lr32" : "Lr16");
    const std::uint64_t start = out.count();
    writeLayerInfo(out, spec, planes);
    out.putZeros(paddedLayerInfoLength(spec) - (out.count() - start));
    if (deep) {
        const std::span<const std::uint8_t> mask = userMaskRecord();
        putTaggedBlockHeader(out, "LMsk", mask.size());
        out.putBytes(mask);
        out.putZeros((4 - mask.size() % 4) % 4);
        putTaggedBlockHeader(out, "Pat3", 0);
    }
}

void writeMergedImage(BigEndianWriter& out, const PsdExportSpec& spec, PlaneWriter& planes) {
    out.put16(kCompressionRaw);
    planes.write(PlaneKind::RedOverChecker);
    planes.write(PlaneKind::GreenOverChecker);
    planes.write(PlaneKind::BlueOverChecker);
    switch (spec.bytesPerSample) {
        case 1:
            planes.write(PlaneKind::TransparencyOverChecker);
            break;
        case 2:
            planes.write(PlaneKind::Opaque);
            planes.write(PlaneKind::Opaque);
            break;
        default:
            planes.write(PlaneKind::Transparency);
            break;
    }
}

}  // namespace

std::int16_t writePsd(BigEndianWriter& out, const PsdExportSpec& spec, const PsdMetadata& metadata,
                      const image::TiledImage& layer) {
    if (!documentFits(spec, metadata) || !image::hasTiles(layer) || layer.baseWidth != spec.width ||
        layer.baseHeight != spec.height || layer.format != layerFormatFor(spec.bytesPerSample)) {
        return kPsdUnsupported;
    }
    PlaneWriter planes(out, layer, spec.bytesPerSample);
    if (!planes.ready()) return kPsdWriteFailed;

    const std::uint64_t start = out.count();
    writeHeader(out, spec);
    writeColourModeData(out, spec);
    writeImageResources(out, spec, metadata);
    writeLayerAndMask(out, spec, planes);
    writeMergedImage(out, spec, planes);
    if (!out.flush()) return kPsdWriteFailed;
    // Every length field was computed before writing; a document of another
    // length would be read wrongly, so it counts as a failed write.
    if (out.count() - start != documentLength(spec, metadata)) return kPsdWriteFailed;
    return kPsdWritten;
}

namespace {

// The document streamed into a file that takes the target's place only when complete.
class FileSink final : public ByteSink {
  public:
    explicit FileSink(os::ReplacingFile& file) : file_(file) {}
    bool write(std::span<const std::uint8_t> bytes) override { return file_.write(bytes); }

  private:
    os::ReplacingFile& file_;
};

}  // namespace

std::int16_t writePsdFile(const std::string& path, const PsdExportSpec& spec,
                          const PsdMetadata& metadata, const image::TiledImage& layer) {
    if (!documentFits(spec, metadata)) return kPsdUnsupported;
    os::ReplacingFile file;
    if (!file.open(path)) return kPsdWriteFailed;
    FileSink sink(file);
    std::int16_t result;
    {
        BigEndianWriter out(sink);
        result = writePsd(out, spec, metadata, layer);
    }
    if (result != kPsdWritten) return result;  // the file abandons the temporary copy
    return file.commit() ? kPsdWritten : kPsdWriteFailed;
}

}  // namespace mirel::psd
