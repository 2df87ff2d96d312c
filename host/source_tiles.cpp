// fillFromHost: the host's interleaved samples copied as they are (no
// rescaling, so nothing is lost) into the four-channel tiles of the source.
#include "host/source_tiles.h"

#include <cstring>

#include "host/host_exchange.h"
#include "image/tiled_image.h"

namespace mirel {

namespace {

image::SampleFormat formatFor(PixelClass pixelClass) {
    switch (pixelClass) {
        case PixelClass::Sixteen:
            return image::SampleFormat::Rgba16;
        case PixelClass::Float:
            return image::SampleFormat::RgbaFloat;
        case PixelClass::Eight:
            break;
    }
    return image::SampleFormat::Rgba8;
}

// Which delivered sample gives red, green, blue and alpha (-1: full alpha).
struct ChannelChoice {
    std::int32_t red = 0, green = 0, blue = 0, alpha = -1;
};

ChannelChoice channelChoiceFor(const pi::FilterRecord& record, std::int32_t planes) {
    ChannelChoice choice;
    if (planes >= 3) {
        choice.green = 1;
        choice.blue = 2;
    }
    const std::int32_t alpha = transparencyPlaneOf(record) - record.inLoPlane;
    if (usesTransparency(record) && alpha >= 0 && alpha < planes) choice.alpha = alpha;
    return choice;
}

template <typename Sample>
Sample sampleAt(const std::uint8_t* pixel, std::int32_t index) {
    Sample value;
    std::memcpy(&value, pixel + index * sizeof(Sample), sizeof value);
    return value;
}

void copyRow(image::TiledImage& image, const image::TileRecord& tile, std::int32_t row,
             const SourceRow& source, const ChannelChoice& choice) {
    const std::int32_t bytes = bytesPerSampleOf(source.pixelClass);
    const std::int64_t pixelStride = std::int64_t(source.planes) * bytes;
    std::uint8_t* target = tile.pixels.get() + std::size_t(row) * std::size_t(image.tileStride[0]) *
                                                   std::size_t(image.bytesPerPixel);
    for (std::int32_t x = 0; x < image.tileStride[0] && x < source.columns; ++x) {
        const std::uint8_t* pixel = source.samples + x * pixelStride;
        switch (source.pixelClass) {
            case PixelClass::Eight: {
                const std::uint32_t alpha = choice.alpha < 0 ? 255u : pixel[choice.alpha];
                const std::uint32_t word = image::packRgba8(pixel[choice.red], pixel[choice.green],
                                                            pixel[choice.blue], alpha);
                std::memcpy(target + x * 4, &word, 4);
                break;
            }
            case PixelClass::Sixteen: {
                const image::Rgba16Pixel value{sampleAt<std::uint16_t>(pixel, choice.red),
                                               sampleAt<std::uint16_t>(pixel, choice.green),
                                               sampleAt<std::uint16_t>(pixel, choice.blue),
                                               choice.alpha < 0
                                                   ? std::uint16_t(image::kFixedOne)
                                                   : sampleAt<std::uint16_t>(pixel, choice.alpha)};
                std::memcpy(target + x * 8, &value, 8);
                break;
            }
            case PixelClass::Float: {
                const float value[4] = {
                    sampleAt<float>(pixel, choice.red), sampleAt<float>(pixel, choice.green),
                    sampleAt<float>(pixel, choice.blue),
                    choice.alpha < 0 ? 1.0f : sampleAt<float>(pixel, choice.alpha)};
                std::memcpy(target + x * 16, value, 16);
                break;
            }
        }
    }
}

}  // namespace

std::int32_t sourceFormatCodeFor(const pi::FilterRecord& record) {
    return std::int32_t(formatFor(pixelClassOf(record)));
}

std::int16_t fillFromHost(image::TiledImage& image, pi::FilterRecord& record) {
    if (!image::hasTiles(image)) return pi::kParamErr;
    const SavedRequest saved = saveRequest(record);
    // A picture of another depth than the image was made for leaves the tiles alone.
    const bool formatMatches = formatFor(pixelClassOf(record)) == image.format;
    const std::int32_t first = image.firstTile[0];
    const std::int32_t last = image.lastTile[0];
    for (std::int32_t t = first; t <= last; ++t) {
        const image::TileRecord& tile = image.tiles[t];
        const std::int16_t result = fillSourceTile(
            record, tile.top, tile.left, tile.rows, [&](std::int32_t row, const SourceRow& source) {
                if (!formatMatches || source.planes <= 0 || row >= tile.rows) return;
                copyRow(image, tile, row, source, channelChoiceFor(record, source.planes));
            });
        if (result != pi::kNoErr) return result;
    }
    image.contentState = image::kContentFilled;
    restoreRequest(record, saved);
    return pi::kNoErr;
}

}  // namespace mirel
