// The tiled image store: allocation of levels and tiles, clamped pixel access,
// copies between images and the conversions to and from screen pixels.
#include "image/tiled_image.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "image/pyramid.h"
#include "image/sampling.h"
#include "platform/math/elementary.h"

namespace mirel::image {
namespace {

// The sinc of the filtered reads windowed by a sinc twice as wide; zero from
// two pixels out. The value of pi is the one the weights were tuned with.
double windowedSinc(double s) {
    constexpr double kPi = 3.141592653;
    if (s == 0.0) return 1.0;
    if (s <= -2.0 || s >= 2.0) return 0.0;
    const double a = kPi * s;
    const double b = a / 2.0;
    return (math::sin(a) / a) * (math::sin(b) / b);
}

int bytesPerChannelOf(SampleFormat format) {
    switch (format) {
        case SampleFormat::Rgba8:
            return 1;
        case SampleFormat::Rgba16:
            return 2;
        case SampleFormat::RgbaFloat:
            return 4;
    }
    return 0;
}

float scaleOf(SampleFormat format) {
    switch (format) {
        case SampleFormat::Rgba8:
            return 255.0f;
        case SampleFormat::Rgba16:
            return static_cast<float>(kFixedOne);
        case SampleFormat::RgbaFloat:
            return 1.0f;
    }
    return 1.0f;
}

int halveDimension(int v) {
    if (v <= 1) return v;
    int h = v / 2 + (v & 1);  // rounds up without overflowing at the top of the range
    if (h > 2 && (h & 1)) ++h;
    return h;
}

// Truncation toward zero of a scaled channel into its storage width. Values
// outside the storage range wrap as the integer conversion of the stored word
// would; converting through a 64-bit integer keeps the conversion defined for
// any finite value, and non-finite values store 0.
std::uint32_t truncateChannel(float v, float scale) {
    const float s = v * scale;
    if (!(std::fabs(s) < 9.0e18f)) return 0;
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(s));
}

void computeWeightTables(WeightTables& tables) {
    for (int phase = 0; phase < kWeightPhases; ++phase) {
        float acc[kWeightTaps] = {};
        // Each tap averages the kernel over 20 offsets 1/21 apart, which widens
        // it by about one pixel and keeps the reads free of aliasing.
        for (int j = 0; j < 20; ++j) {
            const double x = (phase / 128.0 - 2.0) - j / 21.0;
            for (int t = 0; t < kWeightTaps; ++t) acc[t] += static_cast<float>(windowedSinc(x + t));
        }
        const float n = 1.0f / (acc[0] + acc[1] + acc[2] + acc[3] + acc[4]);
        float* w = tables.weights[phase];
        for (int t = 0; t < 4; ++t) w[t] = n * acc[t];
        w[4] = 1.0f - (w[0] + w[1] + w[2] + w[3]);
        // The last tap takes the rounding so that every phase sums exactly to one.
        std::int32_t sum8 = 0, sum16 = 0;
        for (int t = 0; t < 4; ++t) {
            tables.fixed2048[phase][t] = static_cast<std::int32_t>(w[t] * 2048.0f);
            tables.fixed32768[phase][t] = static_cast<std::int32_t>(w[t] * 32768.0f);
            sum8 += tables.fixed2048[phase][t];
            sum16 += tables.fixed32768[phase][t];
        }
        tables.fixed2048[phase][4] = 2048 - sum8;
        tables.fixed32768[phase][4] = 32768 - sum16;

        const std::int32_t* f = tables.fixed2048[phase];
        tables.pairs2048[phase][0] = packWeightPair(f[4], f[3]);
        tables.pairs2048[phase][1] = packWeightPair(f[2], f[1]);
        tables.pairs2048[phase][2] = packWeightPair(f[0], 0);
        for (int lane = 0; lane < 4; ++lane) {
            tables.rows2048[phase][0][lane] = f[4];
            tables.rows2048[phase][0][lane + 4] = f[3];
            tables.rows2048[phase][1][lane] = f[2];
            tables.rows2048[phase][1][lane + 4] = f[1];
        }
    }
}

}  // namespace

void buildWeightTables(WeightTables& tables) {
    // Every image carries the same tables: the 25,600 sines are worked out once.
    static const WeightTables computed = [] {
        WeightTables t;
        computeWeightTables(t);
        return t;
    }();
    tables = computed;
}

int computeLevelSizes(std::int32_t width, std::int32_t height, std::int32_t widths[kMaxLevels],
                      std::int32_t heights[kMaxLevels]) {
    for (int k = 0; k < kMaxLevels; ++k) widths[k] = heights[k] = 0;
    if (width < 1 || height < 1) return -1;
    widths[0] = width;
    heights[0] = height;
    int last = 0;
    for (int k = 1; k < kMaxLevels; ++k) {
        widths[k] = halveDimension(widths[k - 1]);
        heights[k] = halveDimension(heights[k - 1]);
        last = k;
        if (widths[k] == 1 && heights[k] == 1) break;
    }
    // A picture wider than about 2^19 pixels stops at level 19 short of 1 x 1;
    // the samplers treat lastLevel as the coarsest level either way.
    return last;
}

std::int64_t imageByteCount(std::int32_t width, std::int32_t height, SampleFormat format) {
    std::int32_t widths[kMaxLevels], heights[kMaxLevels];
    const int lastLevel = computeLevelSizes(width, height, widths, heights);
    if (lastLevel < 0) return -1;
    std::int64_t pixels = 0;
    for (int k = 0; k <= lastLevel; ++k) pixels += std::int64_t{widths[k]} * heights[k];
    return pixels * 4 * bytesPerChannelOf(format);
}

namespace {

// The row stride of a level `width` pixels wide.
std::int32_t tileStrideFor(std::int32_t width) {
    if (width >= kTileSize) return kTileSize;
    const std::int32_t rounded =
        (width + kNarrowStrideStep - 1) / kNarrowStrideStep * kNarrowStrideStep;
    return rounded < kTileSize ? rounded : kTileSize;
}

}  // namespace

bool init(TiledImage& image, std::int32_t width, std::int32_t height, SampleFormat format) {
    release(image);
    const int bytesPerChannel = bytesPerChannelOf(format);
    std::int32_t widths[kMaxLevels], heights[kMaxLevels];
    const int lastLevel = computeLevelSizes(width, height, widths, heights);
    if (lastLevel < 1 || bytesPerChannel == 0) return false;
    const int bytesPerPixel = 4 * bytesPerChannel;

    // Tile and byte counts in 64 bits: a picture of 2^31 pixels or more is legal
    // input and must fail cleanly, not wrap.
    std::int64_t tileTotal = 0;
    for (int k = 0; k <= lastLevel; ++k) {
        const std::int64_t across = (std::int64_t{widths[k]} + kTileMask) >> kTileShift;
        const std::int64_t down = (std::int64_t{heights[k]} + kTileMask) >> kTileShift;
        tileTotal += across * down;
    }
    const std::int64_t byteTotal = imageByteCount(width, height, format);
    if (tileTotal > std::numeric_limits<std::int32_t>::max()) return false;

    std::unique_ptr<TileRecord[]> tiles(new (std::nothrow)
                                            TileRecord[static_cast<std::size_t>(tileTotal)]);
    if (!tiles) return false;

    std::int32_t index = 0;
    for (int k = 0; k <= lastLevel; ++k) {
        const std::int32_t across = (widths[k] + kTileMask) >> kTileShift;
        const std::int32_t down = (heights[k] + kTileMask) >> kTileShift;
        const std::int32_t stride = tileStrideFor(widths[k]);
        image.firstTile[k] = index;
        image.tilesPerRow[k] = across;
        image.tileStride[k] = stride;
        for (std::int32_t j = 0; j < down; ++j) {
            const std::int32_t rows = j + 1 < down ? kTileSize : heights[k] - kTileSize * j;
            for (std::int32_t i = 0; i < across; ++i) {
                TileRecord& tile = tiles[index++];
                tile.top = kTileSize * j;
                tile.left = kTileSize * i;
                tile.rows = rows;
                const std::size_t bytes = static_cast<std::size_t>(stride) * rows * bytesPerPixel;
                tile.pixels.reset(static_cast<std::uint8_t*>(std::malloc(bytes)));
                if (!tile.pixels) {
                    for (int m = 0; m < kMaxLevels; ++m)
                        image.firstTile[m] = image.tilesPerRow[m] = image.tileStride[m] = 0;
                    return false;  // `tiles` frees what was allocated so far
                }
            }
        }
        image.lastTile[k] = index - 1;
    }

    for (int k = 0; k < kMaxLevels; ++k) {
        const bool exists = k <= lastLevel;
        image.levelWidth[k] = widths[k];
        image.levelHeight[k] = heights[k];
        image.lastX[k] = exists ? widths[k] - 1 : 0;
        image.lastY[k] = exists ? heights[k] - 1 : 0;
        image.lastXF[k] = static_cast<float>(image.lastX[k]);
        image.lastYF[k] = static_cast<float>(image.lastY[k]);
        image.levelWidthF[k] = static_cast<float>(widths[k]);
        image.levelHeightF[k] = static_cast<float>(heights[k]);
        image.invLevelWidth[k] = exists ? 1.0f / static_cast<float>(widths[k]) : 0.0f;
        image.invLevelHeight[k] = exists ? 1.0f / static_cast<float>(heights[k]) : 0.0f;
        image.nominalWidth[k] = static_cast<float>(std::ldexp(static_cast<double>(width), -k));
        image.nominalHeight[k] = static_cast<float>(std::ldexp(static_cast<double>(height), -k));
        if (!exists)
            image.firstTile[k] = image.lastTile[k] = image.tilesPerRow[k] = image.tileStride[k] = 0;
    }
    image.baseWidth = width;
    image.baseHeight = height;
    image.lastLevel = lastLevel;
    image.totalBytes = byteTotal;
    image.bytesPerPixel = bytesPerPixel;
    image.channels = 4;
    image.bytesPerChannel = bytesPerChannel;
    image.format = format;
    image.tileCount = static_cast<std::int32_t>(tileTotal);
    image.tiles = std::move(tiles);
    image.contentState = kContentAllocated;
    image.scale = scaleOf(format);
    image.invScale = 1.0f / image.scale;
    image.edgeMode = kDefaultEdgeMode;
    return true;
}

std::unique_ptr<TiledImage> create(std::int32_t width, std::int32_t height, SampleFormat format) {
    if (width < 1 || height < 1) return nullptr;
    std::unique_ptr<TiledImage> image(new (std::nothrow) TiledImage);
    if (!image) return nullptr;
    image->heapAllocated = true;
    buildWeightTables(image->weightTables);
    if (!init(*image, width, height, format)) return nullptr;
    return image;
}

void release(TiledImage& image) {
    image.tiles.reset();
    image.tileCount = 0;
    image.reflection = ReflectionCache{};
}

// ---- Pixel access -------------------------------------------------------------

void writeRgba8(TiledImage& image, int x, int y, int level, std::uint32_t r, std::uint32_t g,
                std::uint32_t b, std::uint32_t a) {
    if (!hasTiles(image) || !insideLevel(image, x, y, level)) return;
    const std::uint32_t word = packRgba8(r, g, b, a);
    std::memcpy(pixelAddress(image, x, y, level), &word, sizeof word);
}

void writeRgba16(TiledImage& image, int x, int y, int level, const Rgba16Pixel& pixel) {
    if (!hasTiles(image) || !insideLevel(image, x, y, level)) return;
    std::memcpy(pixelAddress(image, x, y, level), &pixel, sizeof pixel);
}

void writeRgbaFloat(TiledImage& image, int x, int y, int level, const Rgba& pixel) {
    if (!hasTiles(image) || !insideLevel(image, x, y, level)) return;
    std::memcpy(pixelAddress(image, x, y, level), &pixel, sizeof pixel);
}

void writePixel(TiledImage& image, int x, int y, int level, const Rgba& rgba) {
    if (!hasTiles(image) || !insideLevel(image, x, y, level)) return;
    const float s = image.scale;
    switch (image.format) {
        case SampleFormat::Rgba8:
            writeRgba8(image, x, y, level, truncateChannel(rgba.r, s), truncateChannel(rgba.g, s),
                       truncateChannel(rgba.b, s), truncateChannel(rgba.a, s));
            break;
        case SampleFormat::Rgba16: {
            const Rgba16Pixel p{static_cast<std::uint16_t>(truncateChannel(rgba.r, s)),
                                static_cast<std::uint16_t>(truncateChannel(rgba.g, s)),
                                static_cast<std::uint16_t>(truncateChannel(rgba.b, s)),
                                static_cast<std::uint16_t>(truncateChannel(rgba.a, s))};
            writeRgba16(image, x, y, level, p);
            break;
        }
        case SampleFormat::RgbaFloat:
            writeRgbaFloat(image, x, y, level, rgba);
            break;
    }
}

void writePixelNearest(TiledImage& image, int x, int y, int level, const Rgba& rgba) {
    if (!hasTiles(image) || !insideLevel(image, x, y, level)) return;
    const float s = image.scale;
    auto nearest = [s](float v) {
        return std::uint32_t(std::isnan(v) ? 0.0f : std::clamp(v * s + 0.5f, 0.0f, s));
    };
    switch (image.format) {
        case SampleFormat::Rgba8:
            writeRgba8(image, x, y, level, nearest(rgba.r), nearest(rgba.g), nearest(rgba.b),
                       nearest(rgba.a));
            break;
        case SampleFormat::Rgba16: {
            const Rgba16Pixel p{std::uint16_t(nearest(rgba.r)), std::uint16_t(nearest(rgba.g)),
                                std::uint16_t(nearest(rgba.b)), std::uint16_t(nearest(rgba.a))};
            writeRgba16(image, x, y, level, p);
            break;
        }
        case SampleFormat::RgbaFloat:
            writeRgbaFloat(image, x, y, level, rgba);
            break;
    }
}

// ---- Copies and conversions --------------------------------------------------------

bool copyImage(const TiledImage& source, TiledImage& target) {
    if (!hasTiles(source) || !hasTiles(target)) return false;
    if (source.baseWidth != target.baseWidth || source.baseHeight != target.baseHeight) {
        // Half a level finer than the size ratio asks for keeps the copy sharp.
        return resampleInto(source, target, {0, 0, source.baseWidth, source.baseHeight},
                            {0, 0, target.baseWidth, target.baseHeight}, 0.5f);
    }
    if (source.format == target.format) {
        // Reading a stored channel and writing it back gives the same word in every
        // format, so a copy between images of one format is a copy of the rows.
        const std::size_t bpp = static_cast<std::size_t>(source.bytesPerPixel);
        for (int y = 0; y < source.baseHeight; ++y) {
            for (int x = 0; x < source.baseWidth; x += kTileSize) {
                const std::size_t count =
                    static_cast<std::size_t>(std::min(kTileSize, source.baseWidth - x));
                std::memmove(pixelAddress(target, x, y, 0), pixelAddress(source, x, y, 0),
                             count * bpp);
            }
        }
    } else {
        for (int y = 0; y < source.baseHeight; ++y) {
            for (int x = 0; x < source.baseWidth; ++x) {
                writePixel(target, x, y, 0, readPixel(source, x, y, 0));
            }
        }
    }
    buildPyramid(target);
    return true;
}

bool copyTilesFrom(TiledImage& target, const TiledImage& source) {
    if (&target == &source) return hasTiles(target);
    if (!hasTiles(target) || !hasTiles(source)) return false;
    if (target.baseWidth != source.baseWidth || target.baseHeight != source.baseHeight ||
        target.lastLevel != source.lastLevel || target.bytesPerPixel != source.bytesPerPixel ||
        target.totalBytes != source.totalBytes || target.tileCount != source.tileCount) {
        return false;
    }
    for (int k = 0; k <= source.lastLevel; ++k) {
        for (std::int32_t i = source.firstTile[k]; i <= source.lastTile[k]; ++i) {
            const std::size_t bytes = static_cast<std::size_t>(source.tileStride[k]) *
                                      source.tiles[i].rows * source.bytesPerPixel;
            std::memcpy(target.tiles[i].pixels.get(), source.tiles[i].pixels.get(), bytes);
        }
    }
    target.contentState = source.contentState;
    target.reflection.valid = false;
    return true;
}

bool fillFromBgra(TiledImage& image, std::span<const std::uint8_t> pixels) {
    if (!hasTiles(image) || image.format != SampleFormat::Rgba8) return false;
    const std::uint64_t needed =
        std::uint64_t{static_cast<std::uint32_t>(image.baseWidth)} * image.baseHeight * 4;
    if (pixels.size() < needed) return false;
    const std::uint8_t* p = pixels.data();
    for (int y = 0; y < image.baseHeight; ++y) {
        for (int x = 0; x < image.baseWidth; ++x, p += 4) {
            const std::uint32_t word = packRgba8(p[2], p[1], p[0], 255u);
            std::memcpy(pixelAddress(image, x, y, 0), &word, sizeof word);
        }
    }
    buildPyramid(image);
    return true;
}

bool toScreenBitmap(const TiledImage& image, ScreenBitmap& bitmap) {
    if (!hasTiles(image) || image.format != SampleFormat::Rgba8) return false;
    const std::int64_t width = image.baseWidth;
    const std::int64_t height = image.baseHeight;
    const std::int64_t rowBytes = (width * 3 + 3) & ~std::int64_t{3};
    const std::int64_t total = rowBytes * height;
    if (total > static_cast<std::int64_t>(std::numeric_limits<std::uint32_t>::max())) return false;
    try {
        bitmap.bits.assign(static_cast<std::size_t>(total), 0);
    } catch (const std::bad_alloc&) {
        bitmap.bits.clear();
        return false;
    }
    bitmap.header = BitmapInfoHeader{};
    bitmap.header.width = image.baseWidth;
    bitmap.header.height = -image.baseHeight;
    bitmap.rowBytes = rowBytes;
    for (std::int64_t y = 0; y < height; ++y) {
        std::uint8_t* out = bitmap.bits.data() + y * rowBytes;
        for (std::int64_t x = 0; x < width; ++x, out += 3) {
            std::uint32_t w;
            std::memcpy(&w, pixelAddress(image, static_cast<int>(x), static_cast<int>(y), 0),
                        sizeof w);
            out[0] = static_cast<std::uint8_t>(w >> 8);
            out[1] = static_cast<std::uint8_t>(w >> 16);
            out[2] = static_cast<std::uint8_t>(w >> 24);
        }
    }
    return true;
}

}  // namespace mirel::image
