// Tests of the mip pyramid: exact values against a direct evaluation of the 6 x 6
// kernel, edge handling, clamping and independence from the number of threads.
#include "image/pyramid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace mirel::image {
namespace {

constexpr int kWeights[6][6] = {{0, 1, 4, 4, 1, 0},       {1, 16, 64, 64, 16, 1},
                                {4, 64, 256, 256, 64, 4}, {4, 64, 256, 256, 64, 4},
                                {1, 16, 64, 64, 16, 1},   {0, 1, 4, 4, 1, 0}};

// Channel c of pixel (x, y) of a level as stored (0..255, 0..65535 or the float).
double stored(const TiledImage& image, int x, int y, int level, int c) {
    switch (image.format) {
        case SampleFormat::Rgba8:
            return (readRgba8(image, x, y, level) >> (24 - 8 * c)) & 255u;
        case SampleFormat::Rgba16: {
            const Rgba16Pixel p = readRgba16(image, x, y, level);
            const std::uint16_t v[4] = {p.r, p.g, p.b, p.a};
            return v[c];
        }
        case SampleFormat::RgbaFloat: {
            const Rgba p = readRgbaFloat(image, x, y, level);
            const float v[4] = {p.r, p.g, p.b, p.a};
            return v[c];
        }
    }
    return 0;
}

// The kernel as written: 32 weighted reads with clamped coordinates.
double reference(const TiledImage& image, int s, int x, int y, int c) {
    double sum = 0;
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < 6; ++j)
            sum += kWeights[i][j] * stored(image, 2 * x - 2 + j, 2 * y - 2 + i, s, c);
    const double v = sum / 1640.0;
    if (image.format == SampleFormat::Rgba8) return std::floor(std::min(v, 255.0) + 0.5);
    if (image.format == SampleFormat::Rgba16) return std::floor(std::min(v, 32768.0) + 0.5);
    return static_cast<float>(std::clamp(v, 0.0, 65535.0));
}

void fillRandom(TiledImage& image, unsigned seed, float floatRange = 2.0f) {
    std::mt19937 random(seed);
    for (int y = 0; y < image.baseHeight; ++y) {
        for (int x = 0; x < image.baseWidth; ++x) {
            const std::uint32_t r = random();
            switch (image.format) {
                case SampleFormat::Rgba8:
                    writeRgba8(image, x, y, 0, r, r >> 8, r >> 16, r >> 24);
                    break;
                case SampleFormat::Rgba16:
                    writeRgba16(
                        image, x, y, 0,
                        {static_cast<std::uint16_t>(r % 32769), static_cast<std::uint16_t>(r >> 17),
                         static_cast<std::uint16_t>((r >> 3) % 32769), 32768});
                    break;
                case SampleFormat::RgbaFloat: {
                    std::uniform_real_distribution<float> u(-0.2f, floatRange);
                    writeRgbaFloat(image, x, y, 0, {u(random), u(random), u(random), u(random)});
                    break;
                }
            }
        }
    }
}

// Compares the pixels inside every level (tile padding is never written).
bool sameLevels(const TiledImage& a, const TiledImage& b) {
    for (int k = 0; k <= a.lastLevel; ++k)
        for (int y = 0; y < a.levelHeight[k]; ++y)
            for (int x = 0; x < a.levelWidth[k]; ++x)
                if (std::memcmp(pixelAddress(a, x, y, k), pixelAddress(b, x, y, k),
                                a.bytesPerPixel) != 0)
                    return false;
    return true;
}

class PyramidFormats : public ::testing::TestWithParam<SampleFormat> {};

TEST_P(PyramidFormats, MatchesTheKernelAcrossTileEdgesAndOddSizes) {
    // 1031 x 517: level 0 crosses tile columns and rows, its width is odd, and
    // level 1 (516 x 260) still spans two tiles across.
    TiledImage image;
    ASSERT_TRUE(init(image, 1031, 517, GetParam()));
    fillRandom(image, 7);
    buildPyramid(image, poolJobRunner(2));
    EXPECT_EQ(image.contentState, kContentPyramidBuilt);
    for (int k = 1; k <= image.lastLevel; ++k) {
        // Every pixel of the small levels, and the rows and columns along the
        // edges and the tile seams of the large ones.
        for (int y = 0; y < image.levelHeight[k]; ++y) {
            for (int x = 0; x < image.levelWidth[k]; ++x) {
                const bool check = k > 2 || y < 3 || x < 3 || y >= image.levelHeight[k] - 3 ||
                                   x >= image.levelWidth[k] - 3 || (x % 64) < 2 ||
                                   (x % 256) == 255 || (y % 64) == 63 || (y % 256) < 2;
                if (!check) continue;
                for (int c = 0; c < 4; ++c) {
                    const double want = reference(image, k - 1, x, y, c);
                    const double got = stored(image, x, y, k, c);
                    if (GetParam() == SampleFormat::RgbaFloat) {
                        ASSERT_NEAR(got, want, 1e-6 * std::max(1.0, std::fabs(want)))
                            << "level " << k << " at " << x << "," << y;
                    } else {
                        ASSERT_EQ(got, want)
                            << "level " << k << " at " << x << "," << y << " channel " << c;
                    }
                }
            }
        }
    }
}

TEST_P(PyramidFormats, UniformPictureKeepsItsValueAtEveryLevel) {
    TiledImage image;
    ASSERT_TRUE(init(image, 431, 303, GetParam()));
    for (int y = 0; y < 303; ++y) {
        for (int x = 0; x < 431; ++x) {
            switch (GetParam()) {
                case SampleFormat::Rgba8:
                    writeRgba8(image, x, y, 0, 200, 200, 200, 200);
                    break;
                case SampleFormat::Rgba16:
                    writeRgba16(image, x, y, 0, {32768, 32768, 32768, 32768});
                    break;
                case SampleFormat::RgbaFloat:
                    writeRgbaFloat(image, x, y, 0, {0.7f, 0.1f, 3.3f, 1.0f});
                    break;
            }
        }
    }
    buildPyramid(image);
    for (int k = 1; k <= image.lastLevel; ++k) {
        for (int y = 0; y < image.levelHeight[k]; ++y) {
            for (int x = 0; x < image.levelWidth[k]; ++x) {
                for (int c = 0; c < 4; ++c) {
                    ASSERT_EQ(stored(image, x, y, k, c), stored(image, 0, 0, 0, c))
                        << k << ":" << x << "," << y;
                }
            }
        }
    }
}

TEST_P(PyramidFormats, ResultDoesNotDependOnTheNumberOfThreads) {
    TiledImage one, two, seven;
    for (TiledImage* image : {&one, &two, &seven}) {
        ASSERT_TRUE(init(*image, 777, 301, GetParam()));
        fillRandom(*image, 11);
    }
    buildPyramid(one, poolJobRunner(1));
    buildPyramid(two, poolJobRunner(2));
    buildPyramid(seven, poolJobRunner(7));
    EXPECT_TRUE(sameLevels(one, two));
    EXPECT_TRUE(sameLevels(one, seven));
}

INSTANTIATE_TEST_SUITE_P(AllFormats, PyramidFormats,
                         ::testing::Values(SampleFormat::Rgba8, SampleFormat::Rgba16,
                                           SampleFormat::RgbaFloat),
                         [](const auto& info) {
                             switch (info.param) {
                                 case SampleFormat::Rgba8:
                                     return "Rgba8";
                                 case SampleFormat::Rgba16:
                                     return "Rgba16";
                                 default:
                                     return "RgbaFloat";
                             }
                         });

TEST(Pyramid, SingleBrightPixelSpreadsByTheKernelWeights) {
    TiledImage image;
    ASSERT_TRUE(init(image, 32, 32, SampleFormat::Rgba8));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) writeRgba8(image, x, y, 0, 0, 0, 0, 0);
    writeRgba8(image, 10, 10, 0, 255, 255, 255, 255);
    buildPyramid(image);
    // 255 x weight / 1640 to the nearest level.
    const auto red = [&](int x, int y) { return readRgba8(image, x, y, 1) >> 24; };
    EXPECT_EQ(red(5, 5), 40u);  // weight 256: 39.8
    EXPECT_EQ(red(4, 5), 10u);  // 64: 9.95
    EXPECT_EQ(red(5, 4), 10u);
    EXPECT_EQ(red(4, 4), 2u);  // 16: 2.49
    EXPECT_EQ(red(6, 5), 1u);  // 4: 0.62
    EXPECT_EQ(red(5, 6), 1u);
    EXPECT_EQ(red(6, 4), 0u);  // 1: 0.16
    int lit = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) lit += readRgba8(image, x, y, 1) != 0;
    EXPECT_EQ(lit, 6);
}

TEST(Pyramid, EdgesRepeatTheOutermostPixels) {
    // A 5 x 1 ramp: level 1 is 4 x 1 and its last pixel reads column 4 three times.
    TiledImage image;
    ASSERT_TRUE(init(image, 5, 1, SampleFormat::Rgba16));
    for (int x = 0; x < 5; ++x) {
        const auto v = static_cast<std::uint16_t>(1000 * x);
        writeRgba16(image, x, 0, 0, {v, v, v, v});
    }
    buildPyramid(image);
    ASSERT_EQ(image.levelWidth[1], 4);
    // Columns 4..9 clamp to 4: all weight on 4000.
    EXPECT_EQ(readRgba16(image, 3, 0, 1).r, 4000);
    // Column 0 reads -2, -1 (clamped to 0), 0, 1, 2, 3 with the row sums of the
    // kernel (10, 162, 648, 648, 162, 10)... 1640 in all.
    const int want =
        (10 * 0 + 162 * 0 + 648 * 0 + 648 * 1000 + 162 * 2000 + 10 * 3000 + 820) / 1640;
    EXPECT_EQ(readRgba16(image, 0, 0, 1).r, want);

    TiledImage one;
    ASSERT_TRUE(init(one, 1, 1, SampleFormat::Rgba8));
    writeRgba8(one, 0, 0, 0, 12, 34, 56, 78);
    buildPyramid(one);
    EXPECT_EQ(readRgba8(one, 0, 0, 1), packRgba8(12, 34, 56, 78));
}

TEST(Pyramid, FloatLevelsAreClampedIntoRange) {
    TiledImage image;
    ASSERT_TRUE(init(image, 8, 8, SampleFormat::RgbaFloat));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            writeRgbaFloat(image, x, y, 0,
                           {70000.0f, -5.0f, std::numeric_limits<float>::quiet_NaN(), 0.5f});
    buildPyramid(image);
    const Rgba p = readRgbaFloat(image, 2, 2, 1);
    EXPECT_EQ(p.r, 65535.0f);
    EXPECT_EQ(p.g, 0.0f);
    EXPECT_EQ(p.b, 0.0f);
    EXPECT_EQ(p.a, 0.5f);
}

TEST(Pyramid, ReduceBandWritesOnlyItsRectangle) {
    TiledImage image;
    ASSERT_TRUE(init(image, 300, 200, SampleFormat::Rgba8));
    fillRandom(image, 3);
    for (int y = 0; y < image.levelHeight[1]; ++y)
        for (int x = 0; x < image.levelWidth[1]; ++x) writeRgba8(image, x, y, 1, 1, 2, 3, 4);
    reduceBand(image, 0, {10, 20, 30, 90});
    reduceBand(image, 0, {-5, 140, 2, 400});           // clipped to the level
    reduceBand(image, image.lastLevel, {0, 0, 1, 1});  // no level below: nothing
    for (int y = 0; y < image.levelHeight[1]; ++y) {
        for (int x = 0; x < image.levelWidth[1]; ++x) {
            const bool inside = (y >= 10 && y < 30 && x >= 20 && x < 90) || (y < 2 && x >= 140);
            if (!inside)
                ASSERT_EQ(readRgba8(image, x, y, 1), packRgba8(1, 2, 3, 4)) << x << "," << y;
            else
                ASSERT_EQ(readRgba8(image, x, y, 1) >> 24, reference(image, 0, x, y, 0));
        }
    }
}

TEST(Pyramid, RunnerReceivesEveryLevelInOrder) {
    TiledImage image;
    ASSERT_TRUE(init(image, 100, 40, SampleFormat::Rgba8));
    std::vector<BandRect> levels;
    buildPyramid(image, [&](std::int32_t kind, const BandRect& rect, const BandBody& body) {
        EXPECT_EQ(kind, -1000);
        levels.push_back(rect);
        body(rect);  // all on this thread
    });
    ASSERT_EQ(static_cast<int>(levels.size()), image.lastLevel);
    for (int k = 1; k <= image.lastLevel; ++k) {
        EXPECT_EQ(levels[k - 1].bottom, image.levelHeight[k]);
        EXPECT_EQ(levels[k - 1].right, image.levelWidth[k]);
    }
}

}  // namespace
}  // namespace mirel::image
