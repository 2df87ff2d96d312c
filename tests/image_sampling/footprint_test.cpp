// Footprint lookups: level choice, anisotropic reads, colour averaging, the clip
// line, dithering, edge handling and hostile input.
#include "image/footprint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "image/sampling.h"
#include "sampling_test_support.h"

namespace mirel::image {
namespace {

using testing::kAllFormats;
using testing::patternImage;
using testing::uniformImage;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

bool finite(const Rgba& p) {
    return std::isfinite(p.r) && std::isfinite(p.g) && std::isfinite(p.b) && std::isfinite(p.a);
}

// A footprint whose derivative vectors are d1 and d2 level-0 pixels of `image`.
Footprint footprintOf(const TiledImage& image, float u, float v, Vec2 d1, Vec2 d2) {
    const float w = float(image.baseWidth), h = float(image.baseHeight);
    return Footprint{{u, v}, {u - d1.x / w, v - d1.y / h}, {u - d2.x / w, v - d2.y / h}};
}

// Level k of an Rgba8 picture filled with red = values[k], alpha 255.
std::unique_ptr<TiledImage> levelsImage(int size, const float* values, int count) {
    auto image = uniformImage(size, size, SampleFormat::Rgba8, Rgba{0, 0, 0, 1});
    for (int level = 0; level < count && level <= image->lastLevel; ++level)
        for (int y = 0; y < image->levelHeight[level]; ++y)
            for (int x = 0; x < image->levelWidth[level]; ++x)
                writeRgba8(*image, x, y, level, std::uint32_t(values[level]), 0, 0, 255);
    return image;
}

TEST(FastLog2, ExactAtPowersOfTwoAndCloseBetween) {
    for (int e = 1; e < 30; ++e) EXPECT_EQ(fastLog2(std::ldexp(1.0f, e)), float(e));
    EXPECT_NEAR(fastLog2(1.5f), 0.6f, 1e-6f);
    EXPECT_NEAR(fastLog2(3.0f), 1.6f, 1e-6f);
    float previous = 0.0f;
    for (float x = 1.01f; x < 5000.0f; x *= 1.013f) {
        const float y = fastLog2(x);
        EXPECT_NEAR(y, std::log2(x), 0.02f);
        EXPECT_GE(y, previous);
        previous = y;
    }
    EXPECT_EQ(fastLog2(1.0f), 0.0f);
    EXPECT_EQ(fastLog2(0.2f), 0.0f);
    EXPECT_EQ(fastLog2(kNaN), 0.0f);
    EXPECT_EQ(fastLog2(kInf), 128.0f);
}

TEST(AxisReads, RatioDecidesCountAndFade) {
    EXPECT_EQ(axisReads(1.0f, 8).count, 1);
    EXPECT_EQ(axisReads(1.2499f, 8).count, 1);
    // Exactly 1.25 rounds to one read, raised to two, at full spread.
    EXPECT_EQ(axisReads(1.25f, 8).count, 2);
    EXPECT_EQ(axisReads(1.25f, 8).fade, 1.0f);
    EXPECT_EQ(axisReads(1.3f, 8).count, 2);
    EXPECT_NEAR(axisReads(1.3f, 8).fade, 0.2f, 1e-5f);
    EXPECT_EQ(axisReads(1.5f, 8).count, 2);
    EXPECT_EQ(axisReads(1.5f, 8).fade, 1.0f);
    EXPECT_EQ(axisReads(2.49f, 8).count, 2);
    EXPECT_EQ(axisReads(2.5f, 8).count, 3);  // half up
    EXPECT_EQ(axisReads(40.0f, 8).count, 8);
    EXPECT_EQ(axisReads(40.0f, 0).count, 2);
    EXPECT_EQ(axisReads(kInf, 1000000000).count, 1000000);
    EXPECT_EQ(axisReads(kNaN, 8).count, 1);
}

TEST(PlanLookupArea, EllipseGivesLevelOfMinorAxisAndStepsAlongMajor) {
    auto image = uniformImage(256, 256, SampleFormat::Rgba8, Rgba{});
    LookupParams params;
    params.lookupLevel = 9.0f;
    // Major 5.2 along x, minor 4: ratio 1.3.
    AreaPlan plan = planLookupArea(
        *image, 0.5f, 0.5f, footprintOf(*image, 0.5f, 0.5f, {5.2f, 0}, {0, 4.0f}), params, 0.0f);
    EXPECT_NEAR(params.lookupLevel, 2.0f, 1e-5f);
    EXPECT_NEAR(plan.level, 2.0f, 1e-5f);
    EXPECT_EQ(plan.count, 2);
    EXPECT_NEAR(plan.fade, 0.2f, 1e-3f);
    EXPECT_NEAR(plan.step.x, 0.2f * 5.2f / 256.0f, 1e-5f);
    EXPECT_NEAR(plan.step.y, 0.0f, 1e-7f);

    // Major 6 along y: ratio 1.5, two reads a full major half-axis apart.
    plan = planLookupArea(*image, 0.5f, 0.5f, footprintOf(*image, 0.5f, 0.5f, {0, 6.0f}, {4.0f, 0}),
                          params, 0.0f);
    EXPECT_EQ(plan.count, 2);
    EXPECT_NEAR(plan.fade, 1.0f, 1e-3f);
    EXPECT_NEAR(plan.step.x, 0.0f, 1e-7f);
    EXPECT_NEAR(std::fabs(plan.step.y), 6.0f / 256.0f, 1e-4f);

    // Diagonal, ratio 4: four reads along the diagonal; detail 1 halves both axes.
    const float s = std::sqrt(0.5f);
    plan = planLookupArea(
        *image, 0.5f, 0.5f,
        footprintOf(*image, 0.5f, 0.5f, {16.0f * s, 16.0f * s}, {-4.0f * s, 4.0f * s}), params,
        1.0f);
    EXPECT_EQ(plan.count, 4);
    EXPECT_NEAR(std::fabs(plan.step.x), std::fabs(plan.step.y), 1e-6f);
    EXPECT_NEAR(std::hypot(plan.step.x, plan.step.y) * 256.0f, 8.0f / 3.0f, 1e-3f);
    EXPECT_NEAR(params.lookupLevel, 1.0f, 1e-5f);
}

TEST(PlanLookupArea, SingleReadCases) {
    auto image = uniformImage(256, 256, SampleFormat::Rgba8, Rgba{});
    LookupParams params;
    // Both neighbours missing: the point case at lookupLevel.
    params.lookupLevel = 2.5f;
    AreaPlan plan = planLookupArea(*image, 0.5f, 0.5f, Footprint{{0.5f, 0.5f}}, params, 0.0f);
    EXPECT_EQ(plan.count, 1);
    EXPECT_FLOAT_EQ(plan.level, 2.5f);
    // Isotropic: the largest component decides.
    params.isotropic = true;
    plan = planLookupArea(*image, 0.5f, 0.5f,
                          footprintOf(*image, 0.5f, 0.5f, {8.0f, 1.0f}, {0.0f, 2.0f}), params, 0);
    EXPECT_EQ(plan.count, 1);
    EXPECT_FLOAT_EQ(plan.level, 3.0f);
    params.isoBlurFraction = 0.5f;
    plan = planLookupArea(*image, 0.5f, 0.5f,
                          footprintOf(*image, 0.5f, 0.5f, {8.0f, 1.0f}, {0.0f, 2.0f}), params, 0);
    EXPECT_FLOAT_EQ(plan.level, 3.0f + (float(image->lastLevel) - 3.0f) * 0.5f);
    params = LookupParams{};
    // Wider than half the picture.
    plan = planLookupArea(*image, 0.5f, 0.5f,
                          footprintOf(*image, 0.5f, 0.5f, {200.0f, 0}, {0, 10.0f}), params, 0);
    EXPECT_EQ(plan.count, 1);
    // Both half-axes within a pixel.
    plan = planLookupArea(*image, 0.5f, 0.5f, footprintOf(*image, 0.5f, 0.5f, {1.0f, 0}, {0, 0.5f}),
                          params, 0);
    EXPECT_EQ(plan.count, 1);
    // Not a number.
    EXPECT_TRUE(planLookupArea(*image, kNaN, 0.5f, Footprint{}, params, 0).zero);
    EXPECT_TRUE(planLookupArea(*image, 0.5f, kNaN, Footprint{}, params, 0).zero);
}

TEST(PlanLookupArea, SpreadVectorsReplaceTheFootprint) {
    auto image = uniformImage(256, 256, SampleFormat::Rgba8, Rgba{});
    LookupParams params;
    params.spreadVectors.enabled = true;
    params.spreadVectors.a = {0.0f, 2.0f / 256.0f};   // across B
    params.spreadVectors.b = {16.0f / 256.0f, 0.0f};  // the longest: the major axis
    const AreaPlan plan =
        planLookupArea(*image, 0.5f, 0.5f,
                       footprintOf(*image, 0.5f, 0.5f, {1.0f, 0.1f}, {0.2f, 1.0f}), params, 0.0f);
    EXPECT_NEAR(params.lookupLevel, 1.0f, 1e-4f);  // minor half-axis 2 pixels
    EXPECT_EQ(plan.count, 8);
    EXPECT_NEAR(plan.step.y, 0.0f, 1e-7f);
}

TEST(PlanLookupArea, ClipLineKeepsTheReadsOnItsSide) {
    auto image = uniformImage(256, 256, SampleFormat::Rgba8, Rgba{});
    LookupParams params;
    params.maxSamples = 5;
    params.clipLine.enabled = true;
    params.clipLine.direction = {0.0f, 1.0f};  // vertical line at u = 0.51
    params.clipLine.p = {0.51f, 0.0f};
    const Footprint fp = footprintOf(*image, 0.5f, 0.5f, {20.0f, 0}, {0, 4.0f});
    AreaPlan plan = planLookupArea(*image, 0.5f, 0.5f, fp, params, 0.0f);
    ASSERT_EQ(plan.count, 5);
    ASSERT_TRUE(plan.clipped);
    // The first read (left) has clipSide > 0, so the reads right of the line stay.
    const float first = 0.5f - 2.0f * plan.step.x;
    const float y = (0.51f - first) / (4.0f * plan.step.x);
    EXPECT_EQ(plan.firstKept, int(std::ceil(4.0f * y)));
    EXPECT_EQ(plan.lastKept, 4);
    EXPECT_EQ(plan.clipDirection, -1.0f);
    for (int i = plan.firstKept; i <= plan.lastKept; ++i) {
        const float x = 0.5f + (float(i) - 2.0f) * plan.step.x;
        EXPECT_LE(clipSide(params.clipLine, x, 0.5f), 0.0f) << i;
    }
    // Flipped direction: the left reads stay.
    params.clipLine.direction = {0.0f, -1.0f};
    plan = planLookupArea(*image, 0.5f, 0.5f, fp, params, 0.0f);
    EXPECT_EQ(plan.firstKept, 0);
    EXPECT_EQ(plan.lastKept, int(std::floor(4.0f * y)));
    EXPECT_EQ(plan.clipDirection, 1.0f);
    // A line the whole segment lies on one side of changes nothing.
    params.clipLine.p = {0.9f, 0.0f};
    plan = planLookupArea(*image, 0.5f, 0.5f, fp, params, 0.0f);
    EXPECT_FALSE(plan.clipped);
    EXPECT_EQ(plan.lastKept - plan.firstKept + 1, 5);
}

// Left half black and transparent, right half white and opaque.
std::unique_ptr<TiledImage> halvesImage() {
    auto image = uniformImage(64, 64, SampleFormat::Rgba8, Rgba{});
    for (int y = 0; y < 64; ++y)
        for (int x = 32; x < 64; ++x) writePixel(*image, x, y, 0, Rgba{1, 1, 1, 1});
    return image;
}

TEST(LookupArea, ColourIsRootMeanSquareAlphaIsMean) {
    auto image = halvesImage();
    LookupParams params;
    params.maxSamples = 2;
    // Minor half-axis 0.5 (level 0), major 16 pixels: reads at x = 24 and 40.
    const Footprint fp = footprintOf(*image, 0.5f, 0.5f, {16.0f, 0}, {0, 0.5f});
    const Rgba p = lookupArea(*image, 0.5f, 0.5f, fp, params, 0.0f);
    EXPECT_NEAR(p.r, std::sqrt(0.5f), 1e-5f);
    EXPECT_NEAR(p.g, std::sqrt(0.5f), 1e-5f);
    EXPECT_NEAR(p.a, 0.5f, 1e-5f);

    // A clip line between the reads keeps the white one only.
    params.clipLine.enabled = true;
    params.clipLine.direction = {0.0f, 1.0f};
    params.clipLine.p = {0.5f, 0.0f};
    const Rgba clipped = lookupArea(*image, 0.5f, 0.5f, fp, params, 0.0f);
    EXPECT_NEAR(clipped.r, 1.0f, 1e-5f);
    EXPECT_NEAR(clipped.a, 1.0f, 1e-5f);
}

TEST(LookupArea, UniformPictureKeepsItsValueOnEveryPath) {
    const Rgba value{0.8f, 0.25f, 0.5f, 1.0f};
    NoiseTables noise;
    buildNoiseTables(noise, 99);
    for (SampleFormat format : kAllFormats) {
        auto image = uniformImage(300, 200, format, value);
        image->edgeMode = kEdgeModeMirrorBlur;
        const Rgba expected = readPixel(*image, 0, 0, 0);
        const Footprint fps[] = {Footprint{{0.4f, 0.6f}},
                                 footprintOf(*image, 0.4f, 0.6f, {9.0f, 2.0f}, {-1.0f, 3.0f}),
                                 footprintOf(*image, 0.4f, 0.6f, {30.0f, 30.0f}, {-1.0f, 1.0f})};
        for (const Footprint& fp : fps) {
            for (int variant = 0; variant < 6; ++variant) {
                LookupParams params;
                params.lookupLevel = 1.3f;
                params.jitter = variant & 1;
                params.isotropic = variant == 2;
                params.blurFraction = variant == 3 ? 0.3f : 0.0f;
                params.noise = variant == 5 ? &noise : nullptr;
                params.clipLine.enabled = variant >= 4;
                params.clipLine.direction = {1.0f, 0.3f};
                params.clipLine.p = {0.4f, 0.6f};
                const float detail = variant == 4 ? -1.0f : 0.5f;
                for (float v : {0.6f, -0.4f, 1.3f}) {
                    const Rgba area = lookupArea(*image, 0.4f, v, fp, params, detail);
                    EXPECT_NEAR(area.r, expected.r, 1e-5f);
                    EXPECT_NEAR(area.b, expected.b, 1e-5f);
                    EXPECT_NEAR(area.a, expected.a, 1e-5f);
                    const Rgba point = lookupPoint(*image, 0.4f, v, fp, params);
                    EXPECT_EQ(point.g, expected.g);
                }
            }
        }
    }
}

TEST(LookupArea, MirrorModeAboveTheTopReadsTheBlurredTopRow) {
    auto image = patternImage(256, 128, SampleFormat::Rgba16, 1);
    image->edgeMode = kEdgeModeMirrorBlur;
    LookupParams params;  // point case at level 0
    const Rgba got = lookupArea(*image, -0.2f, -0.5f, Footprint{}, params, 0.0f);
    const float level = float(image->lastLevel) * (1.0f - std::pow(2.0f, -1.5f));
    const int k = int(level);
    const Rgba want = normalisedRead(*image, k, level - float(k), 0.2f, 0.0f);
    EXPECT_NEAR(got.r, want.r, 1e-6f);
    EXPECT_NEAR(got.g, want.g, 1e-6f);
    EXPECT_NEAR(got.a, want.a, 1e-6f);
}

TEST(LookupArea, DitheredReadsPickOneLevelByPosition) {
    const float values[] = {0.0f, 40.0f, 200.0f};
    auto image = levelsImage(512, values, 3);
    NoiseTables noise;
    buildNoiseTables(noise, 7);
    LookupParams params;
    params.jitter = true;
    params.noise = &noise;
    params.lookupLevel = 1.25f;
    int coarse = 0, total = 0;
    for (float u = 0.01f; u < 1.0f; u += 0.0173f) {
        for (float v = 0.01f; v < 1.0f; v += 0.0391f) {
            const Rgba p = lookupArea(*image, u, v, Footprint{}, params, 0.0f);
            const float red = p.r * 255.0f;
            ASSERT_TRUE(std::fabs(red - 40.0f) < 1e-3f || std::fabs(red - 200.0f) < 1e-3f) << red;
            coarse += red > 100.0f;
            ++total;
            // The same position always makes the same choice.
            const Rgba again = lookupArea(*image, u, v, Footprint{}, params, 0.0f);
            ASSERT_EQ(std::memcmp(&p, &again, sizeof p), 0);
        }
    }
    // About a quarter of the reads take the coarser level.
    EXPECT_NEAR(double(coarse) / total, 0.25, 0.08);
}

TEST(LookupArea, FullSizeDetailReadsNearestPixels) {
    auto image = patternImage(64, 64, SampleFormat::Rgba8, 1);
    LookupParams params;
    const Rgba p = lookupArea(*image, (10.7f + 0.5f) / 64.0f, (20.2f + 0.5f) / 64.0f, Footprint{},
                              params, -1.0f);
    const Rgba want = readPixel(*image, 10, 20, 0);
    EXPECT_EQ(std::memcmp(&p, &want, sizeof p), 0);
}

TEST(LookupPoint, LevelFollowsFootprintSizeAndBlur) {
    auto image = patternImage(256, 256, SampleFormat::Rgba8, 1);
    LookupParams params;
    const float u = 0.37f, v = 0.61f;
    // Both derivatives 4 pixels: level 2.
    Rgba p = lookupPoint(*image, u, v, footprintOf(*image, u, v, {4.0f, 0}, {0, 4.0f}), params);
    Rgba want =
        readPixel(*image, int(u * image->levelWidthF[2]), int(v * image->levelHeightF[2]), 2);
    EXPECT_EQ(std::memcmp(&p, &want, sizeof p), 0);
    // Full blur: the coarsest level.
    params.blurFraction = 1.0f;
    p = lookupPoint(*image, u, v, footprintOf(*image, u, v, {4.0f, 0}, {0, 4.0f}), params);
    want = readPixel(*image, 0, 0, image->lastLevel);
    EXPECT_EQ(std::memcmp(&p, &want, sizeof p), 0);
    // Point mode: lookupLevel, truncated.
    params = LookupParams{};
    params.pointMode = 1;
    params.lookupLevel = 1.9f;
    p = lookupPoint(*image, u, v, footprintOf(*image, u, v, {40.0f, 0}, {0, 40.0f}), params);
    want = readPixel(*image, int(u * image->levelWidthF[1]), int(v * image->levelHeightF[1]), 1);
    EXPECT_EQ(std::memcmp(&p, &want, sizeof p), 0);
}

TEST(Lookups, HostileInputGivesFiniteResults) {
    for (SampleFormat format : kAllFormats) {
        auto image = patternImage(100, 70, format, 1);
        for (std::int32_t mode : {kEdgeModeClamp, kEdgeModeMirrorBlur}) {
            image->edgeMode = mode;
            const float bad[] = {kNaN, kInf, -kInf, 1e30f, -1e30f, 3e9f, 0.5f};
            for (float a : bad) {
                for (float b : bad) {
                    LookupParams params;
                    params.lookupLevel = a;
                    params.maxSamples = 64;
                    params.blurFraction = b;
                    params.jitter = format == SampleFormat::Rgba16;
                    params.clipLine.enabled = true;
                    params.clipLine.direction = {a, b};
                    const Footprint fps[] = {
                        Footprint{}, Footprint{{a, b}, {b, a}, {0.5f, 0.5f}},
                        Footprint{{0.5f, 0.5f}, {0.5f + 1e-3f, 0.5f}, {0.5f, 0.5f + 1e-7f}},
                        Footprint{{0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}}};
                    for (const Footprint& fp : fps) {
                        for (float detail : {-1.0f, 0.0f, kNaN, 1e30f}) {
                            const Rgba area = lookupArea(*image, a, b, fp, params, detail);
                            ASSERT_TRUE(finite(area));
                            if (std::isnan(a) || std::isnan(b)) {
                                ASSERT_EQ(area.r, 0.0f);
                                ASSERT_EQ(area.a, 0.0f);
                            }
                            ASSERT_TRUE(finite(lookupArea(*image, 0.5f, 0.5f, fp, params, detail)));
                            ASSERT_TRUE(finite(lookupPoint(*image, a, b, fp, params)));
                        }
                    }
                }
            }
        }
    }
}

TEST(Lookups, IdenticalWhateverTheThreadCount) {
    auto one = patternImage(600, 520, SampleFormat::Rgba8, 1);
    auto seven = patternImage(600, 520, SampleFormat::Rgba8, 7);
    LookupParams params;
    params.jitter = true;
    for (float u = -0.2f; u < 1.2f; u += 0.0517f) {
        for (float v = -0.3f; v < 1.2f; v += 0.0931f) {
            const Footprint fp = footprintOf(*one, u, v, {12.0f, 3.0f}, {-1.0f, 2.0f});
            LookupParams p1 = params, p7 = params;
            const Rgba a = lookupArea(*one, u, v, fp, p1, 0.2f);
            const Rgba b = lookupArea(*seven, u, v, fp, p7, 0.2f);
            ASSERT_EQ(std::memcmp(&a, &b, sizeof a), 0);
        }
    }
}

}  // namespace
}  // namespace mirel::image
