// JPEG in memory for settings thumbnails and the exports: the filter's own quantisation
// tables, sampling and marker segments on top of the JPEG library's defaults, and the
// decoding of thumbnails back into Rgba8 images.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "image/tiled_image.h"

namespace mirel {

// Images narrower or lower than this are encoded at this size, repeating their edge.
constexpr int kMinJpegSide = 16;
constexpr int kMaxJpegQuality = 99;
constexpr int kThumbnailJpegQuality = 80;
constexpr int kExportJpegQuality = 50;
constexpr int kQuantTableSize = 64;
constexpr int kJpegDeciles = 10;

// One decile's tables in natural (row by row) order.
struct QuantTables {
    std::uint16_t luminance[kQuantTableSize];
    std::uint16_t chrominance[kQuantTableSize];
};

// Quality limited to 0..99; its decile (quality / 10) picks the tables and the sampling.
int clampJpegQuality(int quality);
int jpegDecile(int quality);
// The tables of decile 0..9 (values outside are clamped into that range).
const QuantTables& quantTablesForDecile(int decile);

// Compresses level 0 of `image` (any format, read normalised and clamped to 0..1) into
// `out`. The file carries, right after the JFIF segment, a comment with the maker's web
// address and a zero byte, then APP1 with `exif` and APP13 with `imageResources` when
// these are not empty. Returns the byte count (= out.size()), 0 on failure.
std::size_t encodeJpeg(const image::TiledImage& image, int quality,
                       std::span<const std::uint8_t> imageResources,
                       std::span<const std::uint8_t> exif, std::vector<std::uint8_t>& out);

// The largest side of a thumbnail's JPEG that the settings reader takes on. Thumbnails are written
// at most 128 pixels on a side; a progressive picture is decoded whole, so a thumbnail that
// claims thousands of pixels would stall every file list that shows it.
constexpr int kMaxThumbnailJpegSide = 512;

// Decodes a JPEG image into level 0 of an Rgba8 `target` (red << 24 | green << 16 |
// blue << 8 | 255; grey into all three). Pixels beyond the target are dropped; target
// pixels the picture does not cover are opaque black. The pyramid is not rebuilt.
// False (and the target's level 0 undefined) when the data is not a usable JPEG or is
// larger than `maxSide` on a side (refused before any scan is decoded).
bool decodeJpeg(std::span<const std::uint8_t> bytes, image::TiledImage& target,
                int maxSide = std::numeric_limits<int>::max());

// A decoded picture: rows top-down, three bytes red, green, blue per pixel.
struct JpegPixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

// The largest picture decodeJpegPixels takes on, in pixels.
constexpr std::int64_t kMaxJpegPixels = std::int64_t{1} << 26;

// Decodes a whole RGB or grey JPEG picture (grey into all three channels).
// False, with `out` empty, when the data is not a usable JPEG or too large.
bool decodeJpegPixels(std::span<const std::uint8_t> bytes, JpegPixels& out);

}  // namespace mirel
