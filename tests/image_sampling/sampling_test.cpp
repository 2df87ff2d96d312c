// Weight tables, filtered and trilinear reads, resampling, edge modes and the
// bilinear read.
#include "image/sampling.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "image/pyramid.h"
#include "sampling_test_support.h"

namespace mirel::image {
namespace {

using testing::kAllFormats;
using testing::patternImage;
using testing::referenceFilteredRead;
using testing::uniformImage;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

void expectSame(const Rgba& a, const Rgba& b, float tolerance = 0.0f) {
    EXPECT_NEAR(a.r, b.r, tolerance);
    EXPECT_NEAR(a.g, b.g, tolerance);
    EXPECT_NEAR(a.b, b.b, tolerance);
    EXPECT_NEAR(a.a, b.a, tolerance);
}

bool finite(const Rgba& p) {
    return std::isfinite(p.r) && std::isfinite(p.g) && std::isfinite(p.b) && std::isfinite(p.a);
}

TEST(WeightTables, PhaseWeightsAsBuilt) {
    WeightTables t;
    buildWeightTables(t);
    const float expected[3][5] = {{0.0f, -0.0465f, 0.5944f, 0.4973f, -0.0452f},
                                  {-0.0135f, 0.1164f, 0.8485f, 0.0562f, -0.0077f},
                                  {-0.0466f, 0.5867f, 0.5054f, -0.0455f, 0.0f}};
    const int phases[3] = {0, 64, 127};
    for (int i = 0; i < 3; ++i)
        for (int tap = 0; tap < 5; ++tap)
            EXPECT_NEAR(t.weights[phases[i]][tap], expected[i][tap], 1e-4f)
                << phases[i] << " " << tap;
}

TEST(WeightTables, EveryPhaseSumsToOne) {
    WeightTables t;
    buildWeightTables(t);
    for (int p = 0; p < kWeightPhases; ++p) {
        int sum8 = 0, sum16 = 0;
        float sumF = 0;
        for (int tap = 0; tap < 5; ++tap) {
            sum8 += t.fixed2048[p][tap];
            sum16 += t.fixed32768[p][tap];
            sumF += t.weights[p][tap];
            // The integer taps are the truncated float taps (the last one takes the rest).
            if (tap < 4) {
                EXPECT_EQ(t.fixed2048[p][tap], static_cast<int>(t.weights[p][tap] * 2048.0f));
            }
        }
        EXPECT_EQ(sum8, 2048) << p;
        EXPECT_EQ(sum16, 32768) << p;
        EXPECT_NEAR(sumF, 1.0f, 1e-6f) << p;
    }
}

// A uniform picture reads back its value wherever and however it is read: in a
// tile, across tile edges, at the picture's edges, outside, at every level.
TEST(FilteredRead, UniformPictureKeepsItsValue) {
    const Rgba value{200.0f / 255.0f, 17.0f / 255.0f, 1.0f, 128.0f / 255.0f};
    for (SampleFormat format : kAllFormats) {
        auto image = uniformImage(1100, 530, format, value);
        const Rgba native = testing::nativePixel(*image, 3, 3, 0);
        const float tolerance = format == SampleFormat::RgbaFloat ? 1e-6f : 0.0f;
        for (int level = 0; level <= image->lastLevel; ++level) {
            for (float x : {-7.3f, 0.0f, 1.5f, 100.25f, 509.6f, 510.0f, 511.5f, 512.0f, 1023.9f,
                            1099.0f, 5000.0f}) {
                for (float y : {-1.0f, 2.2f, 255.0f, 508.7f, 511.0f, 529.0f, 1e6f}) {
                    expectSame(filteredRead(*image, level, x, y), native, tolerance * image->scale);
                }
            }
        }
        for (float u : {0.0f, 0.3f, 0.999f, 1.0f}) {
            for (int level = 0; level < image->lastLevel; ++level) {
                expectSame(normalisedRead(*image, level, 0.37f, u, 0.61f),
                           readPixel(*image, 0, 0, 0), 1e-6f);
                expectSame(bilinearRead(*image, level, u, 0.2f), readPixel(*image, 0, 0, 0), 1e-6f);
            }
        }
    }
}

// The straight-from-tile path and the clamped path give what the filter
// formula gives, at every phase and around tile and picture edges.
TEST(FilteredRead, MatchesFormulaOnBothPaths) {
    for (SampleFormat format : kAllFormats) {
        auto image = patternImage(1030, 520, format, 1);
        const float tolerance = format == SampleFormat::RgbaFloat ? 2e-5f : 1e-3f;
        int checked = 0;
        for (int level = 0; level <= 2; ++level) {
            for (float x = -3.0f; x < image->levelWidthF[level] + 3.0f; x += 4.37f) {
                for (float y : {-2.4f, 0.5f, 1.51f, 3.0f, 250.7f, 505.3f, 507.9f, 509.2f, 511.6f,
                                515.1f, 518.99f}) {
                    const Rgba got = filteredRead(*image, level, x, y);
                    const Rgba want = referenceFilteredRead(*image, level, x, y);
                    expectSame(got, want, tolerance * std::fmax(1.0f, std::fabs(want.r)));
                    ++checked;
                }
            }
        }
        EXPECT_GT(checked, 1000);
    }
}

TEST(FilteredRead, PhaseWeightsApplyToNeighbours) {
    // A single bright column: reading at pixel centres away from it gives the
    // taps of phase 64 in order.
    auto image = uniformImage(64, 16, SampleFormat::Rgba8, Rgba{0, 0, 0, 0});
    for (int y = 0; y < 16; ++y) writePixel(*image, 20, y, 0, Rgba{1.0f, 0, 0, 0});
    const WeightTables& w = image->weightTables;
    for (int dx = -2; dx <= 2; ++dx) {
        const Rgba p = filteredRead(*image, 0, 20.0f - dx, 8.0f);
        // Tap t weighs the pixel at offset 2 - t from the read.
        EXPECT_FLOAT_EQ(p.r, 255.0f * w.fixed2048[64][2 - dx] / 2048.0f) << dx;
    }
}

TEST(FilteredRead, NonFiniteAndHugeCoordinatesReadEdgePixels) {
    for (SampleFormat format : kAllFormats) {
        auto image = patternImage(40, 30, format, 1);
        for (float x : {kNaN, kInf, -kInf, 1e30f, -1e30f, 3e9f, -3e9f}) {
            for (float y : {kNaN, kInf, -kInf, 2.5e9f, 10.0f}) {
                for (int level : {-5, 0, 3, 40}) {
                    EXPECT_TRUE(finite(filteredRead(*image, level, x, y)));
                    EXPECT_TRUE(finite(trilinearRead(*image, level, 0.5f, x, y)));
                    EXPECT_TRUE(finite(trilinearRead(*image, level, kNaN, 0.5f, 0.5f)));
                    EXPECT_TRUE(finite(bilinearRead(*image, level, x, y)));
                }
            }
        }
        // Far right reads the right edge: the same as just past it.
        expectSame(filteredRead(*image, 0, 1e30f, 10.0f), filteredRead(*image, 0, 100.0f, 10.0f));
    }
}

TEST(FilteredRead, ImageWithoutTilesReadsZero) {
    TiledImage empty;
    expectSame(filteredRead(empty, 0, 1, 1), Rgba{});
    expectSame(trilinearRead(empty, 0, 0.5f, 0.5f, 0.5f), Rgba{});
    expectSame(bilinearRead(empty, 0, 0.5f, 0.5f), Rgba{});
}

TEST(TrilinearRead, BlendsTwoLevelsByTheFraction) {
    auto image = patternImage(300, 200, SampleFormat::RgbaFloat, 1);
    const float u = 0.31f, v = 0.77f;
    const Rgba fine = filteredRead(*image, 2, u * image->nominalWidth[2] - 0.5f,
                                   v * image->nominalHeight[2] - 0.5f);
    const Rgba coarse = filteredRead(*image, 3, u * image->nominalWidth[3] - 0.5f,
                                     v * image->nominalHeight[3] - 0.5f);
    const Rgba got = trilinearRead(*image, 2, 0.25f, u, v);
    EXPECT_NEAR(got.r, fine.r + (coarse.r - fine.r) * 0.25f, 1e-6f);
    EXPECT_NEAR(got.a, fine.a + (coarse.a - fine.a) * 0.25f, 1e-6f);
    // The last level is read as the coarse half of the level before it.
    const int last = image->lastLevel;
    expectSame(trilinearRead(*image, last, 0.0f, u, v),
               trilinearRead(*image, last - 1, 0.0f, u, v));
}

// log2(400 / 100) - 0.5 = 1.5: levels 1 and 2 half and half.
TEST(ResampleInto, BlendsLevelsOneAndTwoHalfAndHalf) {
    auto source = uniformImage(400, 400, SampleFormat::Rgba8, Rgba{0, 0, 0, 1});
    const float levelValue[4] = {0.0f, 64.0f, 192.0f, 255.0f};
    for (int level = 0; level <= 3; ++level)
        for (int y = 0; y < source->levelHeight[level]; ++y)
            for (int x = 0; x < source->levelWidth[level]; ++x)
                writeRgba8(*source, x, y, level, std::uint32_t(levelValue[level]), 10, 20, 255);
    auto target = create(100, 100, SampleFormat::Rgba8);
    ASSERT_TRUE(resampleInto(*source, *target, ImageRect{0, 0, 400, 400}, ImageRect{0, 0, 100, 100},
                             0.5f, poolJobRunner(1)));
    for (int y = 0; y < 100; y += 9) {
        for (int x = 0; x < 100; x += 7) {
            const std::uint32_t p = readRgba8(*target, x, y, 0);
            EXPECT_NEAR(double(p >> 24), 128.0, 1.0);
            EXPECT_NEAR(double((p >> 16) & 255), 10.0, 1.0);
            EXPECT_EQ(p & 255, 255u);
        }
    }
    EXPECT_EQ(target->contentState, kContentPyramidBuilt);
}

TEST(ResampleInto, ClampsAndFillsOnlyTheTargetRectangle) {
    auto source = uniformImage(64, 64, SampleFormat::RgbaFloat, Rgba{3.0f, -1.0f, 70000.0f, 2.0f});
    auto floatTarget =
        uniformImage(32, 32, SampleFormat::RgbaFloat, Rgba{0.25f, 0.25f, 0.25f, 0.25f});
    ASSERT_TRUE(resampleInto(*source, *floatTarget, ImageRect{0, 0, 64, 64},
                             ImageRect{8, 8, 24, 24}, 0.1f, poolJobRunner(1)));
    expectSame(readPixel(*floatTarget, 10, 10, 0), Rgba{3.0f, 0.0f, 65535.0f, 1.0f}, 1e-3f);
    expectSame(readPixel(*floatTarget, 2, 2, 0), Rgba{0.25f, 0.25f, 0.25f, 0.25f});
    expectSame(readPixel(*floatTarget, 24, 24, 0), Rgba{0.25f, 0.25f, 0.25f, 0.25f});

    auto byteTarget = create(16, 16, SampleFormat::Rgba8);
    ASSERT_TRUE(resampleInto(*source, *byteTarget, ImageRect{0, 0, 64, 64},
                             ImageRect{-1000, -5, 40, 40}, 0.1f, poolJobRunner(1)));
    expectSame(readPixel(*byteTarget, 15, 15, 0), Rgba{1.0f, 0.0f, 1.0f, 1.0f});

    EXPECT_FALSE(
        resampleInto(*source, *byteTarget, ImageRect{0, 0, 0, 64}, ImageRect{0, 0, 16, 16}, 0.1f));
    EXPECT_FALSE(
        resampleInto(*source, *byteTarget, ImageRect{0, 0, 64, 64}, ImageRect{5, 5, 5, 16}, 0.1f));
    EXPECT_FALSE(
        resampleInto(*source, *source, ImageRect{0, 0, 64, 64}, ImageRect{0, 0, 64, 64}, 0.1f));
}

TEST(EdgeMode, InsideIsUntouched) {
    auto image = uniformImage(8, 8, SampleFormat::Rgba8, Rgba{});
    for (std::int32_t mode : {kEdgeModeClamp, kEdgeModeMirrorBlur}) {
        image->edgeMode = mode;
        float u = 1.0f, v = 0.0f, level = 1.5f;  // u = 1 is inside, v = 0 too
        EXPECT_EQ(applyEdgeMode(*image, u, v, level), 0);
        EXPECT_EQ(u, 1.0f);
        EXPECT_EQ(level, 1.5f);
        v = 1.0f;  // v = 1 is outside
        EXPECT_EQ(applyEdgeMode(*image, u, v, level) & kEdgeOutside, kEdgeOutside);
    }
}

TEST(EdgeMode, ClampModeClampsAndKeepsTheLevel) {
    auto image = uniformImage(8, 8, SampleFormat::Rgba8, Rgba{});
    float u = -0.5f, v = 1.7f, level = 0.0f;
    EXPECT_EQ(applyEdgeMode(*image, u, v, level), kEdgeOutside);
    EXPECT_EQ(u, 0.0f);
    EXPECT_EQ(v, 1.0f);
    EXPECT_EQ(level, 0.0f);
}

TEST(EdgeMode, MirrorModeMirrorsSidewaysAndBlursAboveTheTop) {
    auto image = uniformImage(256, 256, SampleFormat::Rgba8, Rgba{});
    image->edgeMode = kEdgeModeMirrorBlur;
    const float last = float(image->lastLevel);
    float u = 0.3f, v = -0.5f, level = 0.0f;
    EXPECT_EQ(applyEdgeMode(*image, u, v, level), kEdgeOutside | kEdgeLevelChanged);
    EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(u, 0.3f);
    EXPECT_NEAR(level, last * (1.0f - std::pow(2.0f, -1.5f)), 1e-5f);  // about 65 %
    u = -0.25f, v = 1.5f, level = 2.0f;
    EXPECT_EQ(applyEdgeMode(*image, u, v, level), kEdgeOutside);
    EXPECT_EQ(u, 0.25f);
    EXPECT_EQ(v, 1.0f);
    EXPECT_EQ(level, 2.0f);
    u = 1.25f, v = -7.0f, level = 1.0f;
    applyEdgeMode(*image, u, v, level);
    EXPECT_EQ(u, 0.75f);
    EXPECT_NEAR(level, 1.0f + (last - 1.0f) * (1.0f - 1.0f / 8.0f), 1e-5f);  // distance capped at 1
    u = -kInf, v = -kInf, level = 0.0f;
    applyEdgeMode(*image, u, v, level);
    EXPECT_TRUE(u >= 0.0f && u <= 1.0f);
    EXPECT_TRUE(std::isfinite(level));
}

TEST(BilinearRead, BlendsFourPixelsOfTheLevel) {
    auto image = uniformImage(16, 16, SampleFormat::RgbaFloat, Rgba{});
    writePixel(*image, 4, 6, 0, Rgba{1.0f, 0, 0, 0});
    writePixel(*image, 5, 6, 0, Rgba{0, 1.0f, 0, 0});
    writePixel(*image, 4, 7, 0, Rgba{0, 0, 1.0f, 0});
    writePixel(*image, 5, 7, 0, Rgba{0, 0, 0, 1.0f});
    // Pixel coordinates 4.25, 6.75.
    const Rgba p = bilinearRead(*image, 0, (4.25f + 0.5f) / 16.0f, (6.75f + 0.5f) / 16.0f);
    EXPECT_NEAR(p.r, 0.75f * 0.25f, 1e-5f);
    EXPECT_NEAR(p.g, 0.25f * 0.25f, 1e-5f);
    EXPECT_NEAR(p.b, 0.75f * 0.75f, 1e-5f);
    EXPECT_NEAR(p.a, 0.25f * 0.75f, 1e-5f);
}

// Reads do not depend on how many threads built the pyramid.
TEST(Sampling, ReadsIdenticalWhateverTheThreadCount) {
    for (SampleFormat format : kAllFormats) {
        auto one = patternImage(700, 530, format, 1);
        auto two = patternImage(700, 530, format, 2);
        auto seven = patternImage(700, 530, format, 7);
        for (int level = 0; level <= one->lastLevel; ++level) {
            for (float u = 0.0f; u <= 1.0f; u += 0.0731f) {
                for (float v = 0.0f; v <= 1.0f; v += 0.113f) {
                    const Rgba a = trilinearRead(*one, level, 0.4f, u, v);
                    const Rgba b = trilinearRead(*two, level, 0.4f, u, v);
                    const Rgba c = trilinearRead(*seven, level, 0.4f, u, v);
                    ASSERT_EQ(std::memcmp(&a, &b, sizeof a), 0);
                    ASSERT_EQ(std::memcmp(&a, &c, sizeof a), 0);
                }
            }
        }
    }
}

}  // namespace
}  // namespace mirel::image
