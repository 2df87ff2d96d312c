// Tests of the tiled image store: level geometry, tile layout, clamped access,
// conversions, copies and the screen bitmap.
#include "image/tiled_image.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "image/pyramid.h"

namespace mirel::image {
namespace {

std::vector<std::pair<int, int>> levelSizes(int w, int h) {
    std::int32_t widths[kMaxLevels], heights[kMaxLevels];
    const int last = computeLevelSizes(w, h, widths, heights);
    std::vector<std::pair<int, int>> sizes;
    for (int k = 0; k <= last; ++k) sizes.emplace_back(widths[k], heights[k]);
    return sizes;
}

using Sizes = std::vector<std::pair<int, int>>;

TEST(TiledImage, LevelSizesHalveRoundUpAndStayEvenAboveTwo) {
    EXPECT_EQ(levelSizes(431, 303), (Sizes{{431, 303},
                                           {216, 152},
                                           {108, 76},
                                           {54, 38},
                                           {28, 20},
                                           {14, 10},
                                           {8, 6},
                                           {4, 4},
                                           {2, 2},
                                           {1, 1}}));
    EXPECT_EQ(levelSizes(1000, 10), (Sizes{{1000, 10},
                                           {500, 6},
                                           {250, 4},
                                           {126, 2},
                                           {64, 1},
                                           {32, 1},
                                           {16, 1},
                                           {8, 1},
                                           {4, 1},
                                           {2, 1},
                                           {1, 1}}));
    EXPECT_EQ(levelSizes(1, 1), (Sizes{{1, 1}, {1, 1}}));
    EXPECT_EQ(levelSizes(6, 3), (Sizes{{6, 3}, {4, 2}, {2, 1}, {1, 1}}));

    std::int32_t widths[kMaxLevels], heights[kMaxLevels];
    EXPECT_EQ(computeLevelSizes(0, 5, widths, heights), -1);
    EXPECT_EQ(computeLevelSizes(5, -1, widths, heights), -1);
    // Absurdly wide pictures stop at the 20th level instead of running past the tables.
    EXPECT_EQ(computeLevelSizes(0x7fffffff, 1, widths, heights), kMaxLevels - 1);
}

TEST(TiledImage, InitLaysOutLevelsAndTiles) {
    TiledImage image;
    ASSERT_TRUE(init(image, 1100, 1030, SampleFormat::Rgba16));
    EXPECT_EQ(image.lastLevel, 11);
    EXPECT_EQ(image.bytesPerPixel, 8);
    EXPECT_EQ(image.tilesPerRow[0], 3);
    EXPECT_EQ(image.firstTile[0], 0);
    EXPECT_EQ(image.lastTile[0], 8);
    EXPECT_EQ(image.firstTile[1], 9);  // level 1 is 550 x 516: 2 x 2 tiles
    EXPECT_EQ(image.lastTile[1], 12);
    EXPECT_EQ(image.tiles[8].top, 1024);
    EXPECT_EQ(image.tiles[8].left, 1024);
    EXPECT_EQ(image.tiles[8].rows, 6);
    EXPECT_EQ(image.tiles[12].rows, 4);
    EXPECT_EQ(image.lastTile[image.lastLevel], image.tileCount - 1);
    for (int k = 0; k <= image.lastLevel; ++k) {
        EXPECT_FLOAT_EQ(image.nominalWidth[k], 1100.0f / static_cast<float>(1 << k));
        EXPECT_EQ(image.lastX[k], image.levelWidth[k] - 1);
    }
    EXPECT_EQ(image.levelWidth[image.lastLevel + 1], 0);
    EXPECT_EQ(image.contentState, kContentAllocated);
    EXPECT_EQ(image.edgeMode, 3);
    EXPECT_EQ(image.totalBytes, imageByteCount(1100, 1030, SampleFormat::Rgba16));
}

TEST(TiledImage, SmallImagesHaveTheirTiles) {
    TiledImage one;
    ASSERT_TRUE(init(one, 1, 1, SampleFormat::Rgba8));
    EXPECT_EQ(one.lastLevel, 1);
    EXPECT_EQ(one.tileCount, 2);

    TiledImage wide;
    ASSERT_TRUE(init(wide, 513, 1, SampleFormat::Rgba8));
    EXPECT_EQ(wide.lastTile[0] - wide.firstTile[0] + 1, 2);
    EXPECT_EQ(wide.tiles[1].left, 512);
    EXPECT_EQ(wide.tiles[1].rows, 1);
}

TEST(TiledImage, LevelsNarrowerThanATileHoldOnlyTheirWidth) {
    // A picture one pixel wide once took 512 times its size in every level.
    TiledImage thin;
    ASSERT_TRUE(init(thin, 1, 1300, SampleFormat::Rgba8));
    for (int k = 0; k <= thin.lastLevel; ++k) EXPECT_EQ(thin.tileStride[k], 16) << k;
    TiledImage photo;
    ASSERT_TRUE(init(photo, 1100, 40, SampleFormat::Rgba8));
    EXPECT_EQ(photo.tileStride[0], 512);  // 1100: three tiles across
    EXPECT_EQ(photo.tileStride[1], 512);  // 550
    EXPECT_EQ(photo.tileStride[2], 288);  // 276
    EXPECT_EQ(photo.tileStride[photo.lastLevel + 1], 0);

    // Rows of a narrow level do not overlap: a distinct word in every pixel of
    // every level (the last column of each row included) reads back, in each
    // format and after a copy of the tiles.
    for (const SampleFormat format :
         {SampleFormat::Rgba8, SampleFormat::Rgba16, SampleFormat::RgbaFloat}) {
        TiledImage image, copy;
        ASSERT_TRUE(init(image, 37, 1100, format));
        ASSERT_TRUE(init(copy, 37, 1100, format));
        EXPECT_EQ(image.tileStride[0], 48);
        // Three byte values in the middle of their steps, so that every format
        // stores them and gives them back as the same bytes.
        auto bytesOf = [](int x, int y, int k) {
            return std::array<int, 3>{x, y & 255, (y >> 8) | (k << 3)};
        };
        auto value = [&](int x, int y, int k) {
            const auto b = bytesOf(x, y, k);
            return Rgba{(b[0] + 0.5f) / 255.0f, (b[1] + 0.5f) / 255.0f, (b[2] + 0.5f) / 255.0f,
                        1.0f};
        };
        for (int k = 0; k <= image.lastLevel; ++k)
            for (int y = 0; y < image.levelHeight[k]; ++y)
                for (int x = 0; x < image.levelWidth[k]; ++x)
                    writePixel(image, x, y, k, value(x, y, k));
        ASSERT_TRUE(copyTilesFrom(copy, image));
        for (int k = 0; k <= image.lastLevel; ++k) {
            for (int y = 0; y < image.levelHeight[k]; ++y) {
                for (int x = 0; x < image.levelWidth[k]; ++x) {
                    const Rgba got = readPixel(copy, x, y, k);
                    auto byte = [](float v) { return int(std::floor(v * 255.0f + 0.25f)); };
                    ASSERT_EQ((std::array<int, 3>{byte(got.r), byte(got.g), byte(got.b)}),
                              bytesOf(x, y, k))
                        << x << ", " << y << " level " << k;
                }
            }
        }
    }
}

TEST(TiledImage, ByteCountsOfLargePicturesUseSixtyFourBits) {
    std::int64_t expected = 0;
    for (auto [w, h] : levelSizes(30000, 30000)) expected += std::int64_t{w} * h * 16;
    EXPECT_GT(expected, std::int64_t{1} << 32);
    EXPECT_EQ(imageByteCount(30000, 30000, SampleFormat::RgbaFloat), expected);
}

TEST(TiledImage, RefusesEmptySizesAndCanBeInitialisedAgain) {
    EXPECT_EQ(create(0, 10, SampleFormat::Rgba8), nullptr);
    EXPECT_EQ(create(10, -3, SampleFormat::Rgba8), nullptr);
    TiledImage image;
    EXPECT_FALSE(init(image, 0, 0, SampleFormat::Rgba8));
    EXPECT_FALSE(hasTiles(image));

    auto heap = create(40, 30, SampleFormat::Rgba8);
    ASSERT_NE(heap, nullptr);
    EXPECT_TRUE(heap->heapAllocated);
    for (int phase = 0; phase < kWeightPhases; ++phase) {
        int sum = 0;
        for (int t = 0; t < kWeightTaps; ++t) sum += heap->weightTables.fixed2048[phase][t];
        ASSERT_EQ(sum, 2048);
    }
    release(*heap);
    EXPECT_EQ(heap->tileCount, 0);
    const Rgba empty = readPixel(*heap, 3, 3, 0);
    EXPECT_EQ(empty.r + empty.g + empty.b + empty.a, 0.0f);
    writePixel(*heap, 3, 3, 0, {1, 1, 1, 1});  // no tiles: nothing happens
    ASSERT_TRUE(init(*heap, 700, 20, SampleFormat::RgbaFloat));
    EXPECT_EQ(heap->baseWidth, 700);
    EXPECT_EQ(heap->tilesPerRow[0], 2);
}

TEST(TiledImage, PixelsLandInTheirTilesAndReadsClamp) {
    TiledImage image;
    ASSERT_TRUE(init(image, 1030, 600, SampleFormat::Rgba8));
    const int points[][2] = {{0, 0}, {511, 0}, {512, 0}, {1029, 511}, {1029, 512}, {600, 599}};
    for (int i = 0; i < 6; ++i) {
        writeRgba8(image, points[i][0], points[i][1], 0, 10 + i, 20 + i, 30 + i, 40 + i);
    }
    for (int i = 0; i < 6; ++i) {
        const int x = points[i][0], y = points[i][1];
        EXPECT_EQ(readRgba8(image, x, y, 0), packRgba8(10 + i, 20 + i, 30 + i, 40 + i));
        // The tile is found by shifting and its buffer has a stride of 512 pixels.
        const TileRecord& tile = image.tiles[(y >> 9) * 3 + (x >> 9)];
        std::uint32_t word;
        std::memcpy(&word, tile.pixels.get() + 4 * ((y - tile.top) * 512 + (x - tile.left)), 4);
        EXPECT_EQ(word, packRgba8(10 + i, 20 + i, 30 + i, 40 + i));
    }
    EXPECT_EQ(readRgba8(image, -5, -5, 0), readRgba8(image, 0, 0, 0));
    EXPECT_EQ(readRgba8(image, 1030 + 10, 512, 0), readRgba8(image, 1029, 512, 0));
    EXPECT_EQ(readRgba8(image, 600, 5000, 0), readRgba8(image, 600, 599, 0));
    EXPECT_EQ(readRgba8(image, 0, 0, 25), 0u);  // no such level
}

TEST(TiledImage, WritesOutsideTheLevelAreDropped) {
    TiledImage image;
    ASSERT_TRUE(init(image, 513, 2, SampleFormat::Rgba8));
    std::uint8_t* padding = image.tiles[1].pixels.get() + 4;  // column 513: padding of tile 1
    std::memset(padding, 0x5a, 4);
    writeRgba8(image, 513, 0, 0, 1, 2, 3, 4);
    writeRgba8(image, -1, 0, 0, 1, 2, 3, 4);
    writeRgba8(image, 0, 2, 0, 1, 2, 3, 4);
    writePixel(image, 513, 0, 0, {1, 1, 1, 1});
    writePixel(image, 0, 0, 99, {1, 1, 1, 1});
    const std::uint8_t expected[4] = {0x5a, 0x5a, 0x5a, 0x5a};
    EXPECT_EQ(std::memcmp(padding, expected, 4), 0);
}

TEST(TiledImage, WritePixelScalesAndTruncates) {
    TiledImage deep;
    ASSERT_TRUE(init(deep, 4, 4, SampleFormat::Rgba16));
    writePixel(deep, 1, 1, 0, {1.0f, 0.5f, 0.0f, 1.0f});
    const Rgba16Pixel p = readRgba16(deep, 1, 1, 0);
    EXPECT_EQ(p.r, 32768);
    EXPECT_EQ(p.g, 16384);
    EXPECT_EQ(p.b, 0);
    EXPECT_EQ(readPixel(deep, 1, 1, 0).r, 1.0f);

    TiledImage bytes;
    ASSERT_TRUE(init(bytes, 4, 4, SampleFormat::Rgba8));
    writePixel(bytes, 2, 3, 0, {0.999f, 1.0f, 0.5f, 0.0f});
    EXPECT_EQ(readRgba8(bytes, 2, 3, 0), packRgba8(254, 255, 127, 0));
    // Non-finite input must not reach an undefined conversion.
    writePixel(bytes, 0, 0, 0, {std::numeric_limits<float>::quiet_NaN(), 1e30f, -1e30f, 0.0f});

    TiledImage floats;
    ASSERT_TRUE(init(floats, 4, 4, SampleFormat::RgbaFloat));
    writePixel(floats, 3, 0, 0, {2.5f, -1.0f, 0.25f, 1.0f});
    const Rgba f = readPixel(floats, 3, 0, 0);
    EXPECT_EQ(f.r, 2.5f);
    EXPECT_EQ(f.g, -1.0f);
}

void fillPattern8(TiledImage& image) {
    for (int y = 0; y < image.baseHeight; ++y)
        for (int x = 0; x < image.baseWidth; ++x)
            writeRgba8(image, x, y, 0, (x * 7 + y) & 255, (x + y * 3) & 255, (x ^ y) & 255,
                       255 - (x & 255));
}

TEST(TiledImage, CopyImageKeepsEveryValueAndConvertsFormats) {
    TiledImage source, same, deep;
    ASSERT_TRUE(init(source, 600, 40, SampleFormat::Rgba8));
    ASSERT_TRUE(init(same, 600, 40, SampleFormat::Rgba8));
    ASSERT_TRUE(init(deep, 600, 40, SampleFormat::Rgba16));
    fillPattern8(source);
    ASSERT_TRUE(copyImage(source, same));
    ASSERT_TRUE(copyImage(source, deep));
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 600; ++x) {
            ASSERT_EQ(readRgba8(same, x, y, 0), readRgba8(source, x, y, 0)) << x << "," << y;
            const Rgba a = readPixel(source, x, y, 0);
            const Rgba b = readPixel(deep, x, y, 0);
            ASSERT_NEAR(a.r, b.r, 1.0 / 32768);
            ASSERT_NEAR(a.a, b.a, 1.0 / 32768);
        }
    }
    EXPECT_EQ(same.contentState, kContentPyramidBuilt);

    // A different size resamples the whole picture; a uniform one stays uniform.
    TiledImage flat, small;
    ASSERT_TRUE(init(flat, 400, 300, SampleFormat::Rgba8));
    ASSERT_TRUE(init(small, 100, 70, SampleFormat::Rgba8));
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) writeRgba8(flat, x, y, 0, 200, 100, 50, 255);
    buildPyramid(flat);
    buildWeightTables(flat.weightTables);  // init leaves them to the owner
    ASSERT_TRUE(copyImage(flat, small));
    for (int y = 0; y < 70; ++y)
        for (int x = 0; x < 100; ++x)
            ASSERT_EQ(readRgba8(small, x, y, 0), packRgba8(200, 100, 50, 255));
    EXPECT_EQ(small.contentState, kContentPyramidBuilt);
    TiledImage empty;
    EXPECT_FALSE(copyImage(empty, same));
}

// A copy between images of one format moves the stored words; that is only the same as
// a read and a write of every pixel while a read and a write keep every stored value.
TEST(TiledImage, EveryStoredValueSurvivesAReadAndAWrite) {
    TiledImage deep, back, narrow, narrowBack;
    ASSERT_TRUE(init(deep, 256, 256, SampleFormat::Rgba16));
    ASSERT_TRUE(init(back, 256, 256, SampleFormat::Rgba16));
    ASSERT_TRUE(init(narrow, 64, 1, SampleFormat::Rgba8));
    ASSERT_TRUE(init(narrowBack, 64, 1, SampleFormat::Rgba8));
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const auto v = static_cast<std::uint16_t>(y * 256 + x);
            writeRgba16(deep, x, y, 0, Rgba16Pixel{v, v, v, v});
        }
    for (int x = 0; x < 64; ++x)
        writeRgba8(narrow, x, 0, 0, 4 * x, 4 * x + 1, 4 * x + 2, 4 * x + 3);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) writePixel(back, x, y, 0, readPixel(deep, x, y, 0));
    for (int x = 0; x < 64; ++x) writePixel(narrowBack, x, 0, 0, readPixel(narrow, x, 0, 0));
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            ASSERT_EQ(std::memcmp(pixelAddress(deep, x, y, 0), pixelAddress(back, x, y, 0), 8), 0)
                << "value " << y * 256 + x;
    for (int x = 0; x < 64; ++x)
        ASSERT_EQ(readRgba8(narrowBack, x, 0, 0), readRgba8(narrow, x, 0, 0)) << x;
}

TEST(TiledImage, CopyTilesFromNeedsTheSameShape) {
    TiledImage source, target, otherFormat, otherSize;
    ASSERT_TRUE(init(source, 520, 30, SampleFormat::Rgba8));
    ASSERT_TRUE(init(target, 520, 30, SampleFormat::Rgba8));
    ASSERT_TRUE(init(otherFormat, 520, 30, SampleFormat::Rgba16));
    ASSERT_TRUE(init(otherSize, 521, 30, SampleFormat::Rgba8));
    fillPattern8(source);
    for (int k = 1; k <= source.lastLevel; ++k) writeRgba8(source, 0, 0, k, k, k, k, k);
    source.contentState = kContentPyramidBuilt;

    writeRgba16(otherFormat, 5, 5, 0, {1, 2, 3, 4});
    EXPECT_FALSE(copyTilesFrom(otherFormat, source));
    EXPECT_EQ(readRgba16(otherFormat, 5, 5, 0).b, 3);
    EXPECT_EQ(otherFormat.contentState, kContentAllocated);
    writeRgba8(otherSize, 5, 5, 0, 9, 9, 9, 9);
    EXPECT_FALSE(copyTilesFrom(otherSize, source));
    EXPECT_EQ(readRgba8(otherSize, 5, 5, 0), packRgba8(9, 9, 9, 9));

    ASSERT_TRUE(copyTilesFrom(target, source));
    EXPECT_EQ(target.contentState, kContentPyramidBuilt);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 520; ++x)
            ASSERT_EQ(readRgba8(target, x, y, 0), readRgba8(source, x, y, 0));
    for (int k = 1; k <= source.lastLevel; ++k)
        EXPECT_EQ(readRgba8(target, 0, 0, k), packRgba8(k, k, k, k));
}

TEST(TiledImage, FillFromBgraTakesBlueGreenRedBytes) {
    TiledImage image;
    ASSERT_TRUE(init(image, 3, 2, SampleFormat::Rgba8));
    std::vector<std::uint8_t> bgra(3 * 2 * 4);
    for (std::size_t i = 0; i < bgra.size(); ++i) bgra[i] = static_cast<std::uint8_t>(i * 10);
    EXPECT_FALSE(fillFromBgra(image, std::span(bgra).first(bgra.size() - 1)));
    EXPECT_EQ(image.contentState, kContentAllocated);
    ASSERT_TRUE(fillFromBgra(image, bgra));
    // Pixel (2, 1) is the sixth: bytes 20..23 are blue 200, green 210, red 220.
    EXPECT_EQ(readRgba8(image, 2, 1, 0), packRgba8(220, 210, 200, 255));
    EXPECT_EQ(image.contentState, kContentPyramidBuilt);

    TiledImage deep;
    ASSERT_TRUE(init(deep, 3, 2, SampleFormat::Rgba16));
    EXPECT_FALSE(fillFromBgra(deep, bgra));
}

TEST(TiledImage, ScreenBitmapIsTopDownBgrWithPaddedRows) {
    TiledImage image;
    ASSERT_TRUE(init(image, 5, 2, SampleFormat::Rgba8));
    fillPattern8(image);
    ScreenBitmap bitmap;
    ASSERT_TRUE(toScreenBitmap(image, bitmap));
    EXPECT_EQ(bitmap.header.size, 40u);
    EXPECT_EQ(bitmap.header.width, 5);
    EXPECT_EQ(bitmap.header.height, -2);
    EXPECT_EQ(bitmap.header.bitCount, 24);
    EXPECT_EQ(bitmap.header.xPelsPerMeter, 10);
    EXPECT_EQ(bitmap.rowBytes, 16);
    ASSERT_EQ(bitmap.bits.size(), 32u);
    const std::uint32_t w = readRgba8(image, 4, 1, 0);
    EXPECT_EQ(bitmap.bits[16 + 12], (w >> 8) & 255);
    EXPECT_EQ(bitmap.bits[16 + 13], (w >> 16) & 255);
    EXPECT_EQ(bitmap.bits[16 + 14], w >> 24);
    EXPECT_EQ(bitmap.bits[15], 0);  // row padding

    TiledImage floats;
    ASSERT_TRUE(init(floats, 5, 2, SampleFormat::RgbaFloat));
    EXPECT_FALSE(toScreenBitmap(floats, bitmap));
}

}  // namespace
}  // namespace mirel::image
