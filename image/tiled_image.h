// The tiled image store: every picture held in memory, with all reduced levels of
// its pyramid, cut into tiles 512 pixels wide and at most 512 rows high. A level
// narrower than a tile keeps its rows only as long as it needs (see tileStride).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

namespace mirel::image {

// Sample format codes as the rest of the filter stores them.
enum class SampleFormat : std::int32_t {
    Rgba8 = 3,      // one 32-bit word: red bits 24-31, green 16-23, blue 8-15, alpha 0-7
    Rgba16 = 4,     // four 16-bit words r, g, b, a; full scale 32768 (not 65535)
    RgbaFloat = 9,  // four floats r, g, b, a; full scale 1.0
};

constexpr int kTileShift = 9;
constexpr int kTileSize = 1 << kTileShift;  // 512 columns, at most 512 rows
constexpr int kTileMask = kTileSize - 1;
// The row stride of a level narrower than a tile is its width rounded up to this
// many pixels, so that rows keep the alignment of the tile's start.
constexpr int kNarrowStrideStep = 16;
constexpr int kMaxLevels = 20;             // levels 0 to 19
constexpr std::int32_t kFixedOne = 32768;  // full scale of Rgba16
constexpr int kWeightTaps = 5;
constexpr int kWeightPhases = 128;

// contentState values.
constexpr std::int32_t kContentAllocated = 0;
constexpr std::int32_t kContentFilled = 1;
constexpr std::int32_t kContentPyramidBuilt = 2;

// Edge mode set by init (filtered reads clamp into the picture).
constexpr std::int32_t kDefaultEdgeMode = 3;

// A pixel between parts of the filter: four floats red, green, blue, alpha.
struct Rgba {
    float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;
};

// A stored Rgba16 pixel.
struct Rgba16Pixel {
    std::uint16_t r = 0, g = 0, b = 0, a = 0;
};
static_assert(sizeof(Rgba16Pixel) == 8);

// The 5-tap, 128-phase weights of the filtered reads, held three times: as floats
// (RgbaFloat) and as integers summing to 2048 (Rgba8) and 32768 (Rgba16) in every
// phase. Indexed [phase][tap]. Built once per image by create.
struct WeightTables {
    float weights[kWeightPhases][kWeightTaps] = {};
    std::int32_t fixed2048[kWeightPhases][kWeightTaps] = {};
    std::int32_t fixed32768[kWeightPhases][kWeightTaps] = {};
    // fixed2048 as the Rgba8 reads take them, so that a read loads its weights instead
    // of packing them: the taps as 16-bit pairs (4, 3), (2, 1) and (0, none), the low
    // tap in the low half; and the row taps 4 and 3, then 2 and 1, each four times.
    std::uint32_t pairs2048[kWeightPhases][3] = {};
    alignas(32) std::int32_t rows2048[kWeightPhases][2][8] = {};
};

// Two 16-bit weights in one word for pmaddwd: `low` in the low half.
inline std::uint32_t packWeightPair(std::int32_t low, std::int32_t high) {
    return (static_cast<std::uint32_t>(static_cast<std::uint16_t>(high)) << 16) |
           static_cast<std::uint16_t>(low);
}

// Fills `tables` with the windowed-sinc weights the filtered reads use.
void buildWeightTables(WeightTables& tables);

struct TileBufferFree {
    void operator()(std::uint8_t* p) const noexcept { std::free(p); }
};
using TileBuffer = std::unique_ptr<std::uint8_t[], TileBufferFree>;

struct TileRecord {
    std::int32_t top = 0;   // first row of the tile within its level, a multiple of 512
    std::int32_t left = 0;  // first column, a multiple of 512
    std::int32_t rows = 0;  // 1 to 512
    TileBuffer pixels;      // stride x rows x bytesPerPixel bytes (the level's tileStride)
};

struct TiledImage;

// The copy of a picture that the reflection in the water reads (see
// reflection_source.h), kept with the picture for the line it was made for.
// Rebuilding the picture's pyramid, which ends every write to its level 0,
// drops it.
struct ReflectionCache {
    std::unique_ptr<TiledImage> image;
    double key[3] = {};
    bool valid = false;
};

struct TiledImage {
    // Per-level tables, indexed by level; levels after lastLevel have size 0.
    std::int32_t levelWidth[kMaxLevels] = {};
    std::int32_t levelHeight[kMaxLevels] = {};
    std::int32_t lastX[kMaxLevels] = {};  // width - 1
    std::int32_t lastY[kMaxLevels] = {};  // height - 1
    float lastXF[kMaxLevels] = {};
    float lastYF[kMaxLevels] = {};
    float levelWidthF[kMaxLevels] = {};
    float levelHeightF[kMaxLevels] = {};
    float invLevelWidth[kMaxLevels] = {};
    float invLevelHeight[kMaxLevels] = {};
    // W / 2^k and H / 2^k: the samplers map normalised coordinates with these.
    float nominalWidth[kMaxLevels] = {};
    float nominalHeight[kMaxLevels] = {};
    std::int32_t firstTile[kMaxLevels] = {};
    std::int32_t lastTile[kMaxLevels] = {};
    std::int32_t tilesPerRow[kMaxLevels] = {};
    // Pixels from one row of a tile to the next: 512 in a level at least a tile
    // wide, else the level's width rounded up to kNarrowStrideStep (a picture one
    // pixel wide would otherwise hold 512 times its size).
    std::int32_t tileStride[kMaxLevels] = {};

    std::int32_t baseWidth = 0;
    std::int32_t baseHeight = 0;
    std::int32_t lastLevel = 0;
    // bytesPerPixel x the pixels of all levels; 64 bits because a large float
    // picture passes 2^31 bytes.
    std::int64_t totalBytes = 0;

    std::int32_t bytesPerPixel = 0;
    std::int32_t channels = 4;
    std::int32_t bytesPerChannel = 0;
    SampleFormat format = SampleFormat::Rgba8;

    std::int32_t tileCount = 0;
    std::unique_ptr<TileRecord[]> tiles;

    std::int32_t contentState = kContentAllocated;
    float scale = 255.0f;  // 255, 32768 or 1.0 by format
    float invScale = 1.0f / 255.0f;

    WeightTables weightTables;
    std::int32_t edgeMode = kDefaultEdgeMode;
    bool heapAllocated = false;  // made by create
    ReflectionCache reflection;
};

// ---- Allocation -------------------------------------------------------------

// Level sizes of a W x H picture by the halving rule (halve rounding up; a result
// above 2 that is odd gets one more; 1 stays 1). Returns lastLevel, or -1 for a
// size below 1. Entries past lastLevel are 0.
int computeLevelSizes(std::int32_t width, std::int32_t height, std::int32_t widths[kMaxLevels],
                      std::int32_t heights[kMaxLevels]);

// totalBytes of a W x H image in `format` (all levels), or -1 for a size below 1.
std::int64_t imageByteCount(std::int32_t width, std::int32_t height, SampleFormat format);

// A heap image with its weight tables built and its tiles allocated; null when a
// size is below 1 or memory runs out (nothing stays allocated then).
std::unique_ptr<TiledImage> create(std::int32_t width, std::int32_t height, SampleFormat format);

// Allocates the tiles of an image that lives inside another structure; its owner
// builds the weight tables. Any tiles it held are released first. False when a
// size is below 1 or a tile cannot be allocated (the image is then empty).
bool init(TiledImage& image, std::int32_t width, std::int32_t height, SampleFormat format);

// Frees every tile; tileCount becomes 0 and the image can be initialised again.
void release(TiledImage& image);

inline bool hasTiles(const TiledImage& image) {
    return image.tileCount > 0 && image.tiles;
}

// ---- Addressing ---------------------------------------------------------------
// Unchecked: (x, y) must lie inside level `level`.

inline const TileRecord& tileAt(const TiledImage& image, int x, int y, int level) {
    return image.tiles[image.firstTile[level] + (y >> kTileShift) * image.tilesPerRow[level] +
                       (x >> kTileShift)];
}

// Pixels from the start of its tile to (x, y), in a level of the given stride.
inline std::size_t pixelOffset(int x, int y, int stride) {
    return static_cast<std::size_t>(y & kTileMask) * static_cast<std::size_t>(stride) +
           static_cast<std::size_t>(x & kTileMask);
}

inline std::uint8_t* pixelAddress(const TiledImage& image, int x, int y, int level) {
    return tileAt(image, x, y, level).pixels.get() +
           pixelOffset(x, y, image.tileStride[level]) *
               static_cast<std::size_t>(image.bytesPerPixel);
}

inline int clampCoord(int v, int last) {
    return v < 0 ? 0 : (v > last ? last : v);
}

inline bool insideLevel(const TiledImage& image, int x, int y, int level) {
    return level >= 0 && level <= image.lastLevel && x >= 0 && y >= 0 &&
           x < image.levelWidth[level] && y < image.levelHeight[level];
}

inline std::uint32_t packRgba8(std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a) {
    return (r & 255u) << 24 | (g & 255u) << 16 | (b & 255u) << 8 | (a & 255u);
}

// ---- Pixel access -------------------------------------------------------------
// Reads clamp (x, y) into the level (a negative coordinate reads 0, one beyond the
// last reads the last); an image without tiles, or a level that does not exist,
// reads as zeros. Writes outside the level are dropped. The reads are inline: the
// samplers call them several times for every filtered read.

inline bool readable(const TiledImage& image, int level) {
    return hasTiles(image) && level >= 0 && level < kMaxLevels && level <= image.lastLevel;
}

inline const std::uint8_t* clampedAddress(const TiledImage& image, int x, int y, int level) {
    return pixelAddress(image, clampCoord(x, image.lastX[level]), clampCoord(y, image.lastY[level]),
                        level);
}

// Raw per-format reads for the pyramid and the samplers; the format must match.
inline std::uint32_t readRgba8(const TiledImage& image, int x, int y, int level) {
    if (!readable(image, level)) return 0;
    std::uint32_t word;
    std::memcpy(&word, clampedAddress(image, x, y, level), sizeof word);
    return word;
}

inline Rgba16Pixel readRgba16(const TiledImage& image, int x, int y, int level) {
    Rgba16Pixel pixel;
    if (readable(image, level))
        std::memcpy(&pixel, clampedAddress(image, x, y, level), sizeof pixel);
    return pixel;
}

inline Rgba readRgbaFloat(const TiledImage& image, int x, int y, int level) {
    Rgba pixel;
    if (readable(image, level))
        std::memcpy(&pixel, clampedAddress(image, x, y, level), sizeof pixel);
    return pixel;
}

// Normalised: Rgba8 and Rgba16 channels times invScale, RgbaFloat as stored.
inline Rgba readPixel(const TiledImage& image, int x, int y, int level) {
    if (!readable(image, level)) return {};
    switch (image.format) {
        case SampleFormat::Rgba8: {
            const std::uint32_t w = readRgba8(image, x, y, level);
            const float s = image.invScale;
            return {static_cast<float>(w >> 24) * s, static_cast<float>((w >> 16) & 255u) * s,
                    static_cast<float>((w >> 8) & 255u) * s, static_cast<float>(w & 255u) * s};
        }
        case SampleFormat::Rgba16: {
            const Rgba16Pixel p = readRgba16(image, x, y, level);
            const float s = image.invScale;
            return {p.r * s, p.g * s, p.b * s, p.a * s};
        }
        case SampleFormat::RgbaFloat:
            return readRgbaFloat(image, x, y, level);
    }
    return {};
}

// Rgba8/Rgba16: each channel times scale, truncated toward zero, not clamped
// (callers clamp); RgbaFloat stores the floats.
void writePixel(TiledImage& image, int x, int y, int level, const Rgba& rgba);
// The same with each integer channel held to its range and stored at the
// nearest level (NaN stores 0), as results going to a picture are.
void writePixelNearest(TiledImage& image, int x, int y, int level, const Rgba& rgba);

// Raw per-format writes; the format must match.
void writeRgba8(TiledImage& image, int x, int y, int level, std::uint32_t r, std::uint32_t g,
                std::uint32_t b, std::uint32_t a);
void writeRgba16(TiledImage& image, int x, int y, int level, const Rgba16Pixel& pixel);
void writeRgbaFloat(TiledImage& image, int x, int y, int level, const Rgba& pixel);

// ---- Copies and conversions --------------------------------------------------------

// Level 0 of `source` into `target`, converting formats by their scales, then
// rebuilds the target's pyramid. Equal sizes copy pixel by pixel; different
// sizes resample the whole source into the whole target. False when either
// image has no tiles.
bool copyImage(const TiledImage& source, TiledImage& target);

// Byte copy of every tile of every level, taking over the source's contentState,
// when both images have the same size, levels, bytesPerPixel and totalBytes;
// otherwise nothing happens and the result is false.
bool copyTilesFrom(TiledImage& target, const TiledImage& source);

// Fills level 0 of an Rgba8 image from rows of 4-byte pixels in the byte order
// blue, green, red, unused (no row padding, top row first), alpha 255, then
// rebuilds the pyramid. False (image unchanged) for another format, an image
// without tiles, or fewer than width x height x 4 bytes.
bool fillFromBgra(TiledImage& image, std::span<const std::uint8_t> pixels);

// The screen bitmap header of a 24-bit device-independent bitmap.
struct BitmapInfoHeader {
    std::uint32_t size = 40;
    std::int32_t width = 0;
    std::int32_t height = 0;  // negative: rows top-down
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 10;
    std::int32_t yPelsPerMeter = 10;
    std::uint32_t clrUsed = 0;
    std::uint32_t clrImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

struct ScreenBitmap {
    BitmapInfoHeader header;
    std::int64_t rowBytes = 0;       // width x 3 rounded up to a multiple of 4
    std::vector<std::uint8_t> bits;  // rows top-down, each blue, green, red, zero-padded
};

// Level 0 of an Rgba8 image as a 24-bit top-down bitmap. False for another
// format, an image without tiles, or when the bytes cannot be allocated.
bool toScreenBitmap(const TiledImage& image, ScreenBitmap& bitmap);

}  // namespace mirel::image
