// The surface models: dry and wet samples, the mirror about the offset line in
// both styles, ripples, the Complex hit and its footprint, seeds, noise sums and
// the erfc approximation, and samples of settings no dialog would allow.
#include "render/surface.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "image/noise.h"
#include "render/render_context.h"
#include "render_test_support.h"

namespace mirel::render {
namespace {

using testing::Scene;

// Flat water: no noise, no ripples; the reflection is a plain mirror.
void makeFlat(SettingsRecord& s) {
    s.waviness = 0.0f;
    s.height = 0.0f;
    s.size = 0.0f;
}

TEST(SurfaceSeeds, MixColumnAndRowWithoutOverflow) {
    EXPECT_EQ(sampleSeed(0, 0), 0);
    EXPECT_EQ(sampleSeed(1, 0), 7607);
    EXPECT_EQ(sampleSeed(0, 1), 661);
    EXPECT_EQ(sampleSeed(3, 5), (3 * 7607) ^ (5 * 661));
    EXPECT_EQ(sampleSeed(-1, 0), -7607);
    // Wraps in 32 bits (no signed overflow under the sanitizers).
    EXPECT_EQ(sampleSeed(INT_MAX, 0),
              static_cast<std::int32_t>(static_cast<std::uint32_t>(INT_MAX) * 7607u));
    (void)sampleSeed(INT_MIN, INT_MAX);
}

TEST(SurfaceSimple, SampleOnTheOffsetLineIsDryAndShowsItself) {
    Scene scene(200, 200);
    scene.settings.waterStyle = kWaterStyleSimple;
    scene.settings.horizon = 0.0f;
    scene.settings.offset = 0.0f;
    RenderContext& c = scene.prepare();
    ASSERT_EQ(c.offsetY, -0.5f);
    // Row -1 lies at y = 0, exactly on the offset line.
    const CellRecord cell = scene.sample(40.0, -1.0);
    EXPECT_EQ(cell.kind, kKindSimpleDry);
    EXPECT_EQ(cell.waterWeight, 1.0f);
    EXPECT_EQ(cell.blurRadius, 0.0f);
    EXPECT_FLOAT_EQ(cell.sourceU, 41.0f / 200.0f);
    EXPECT_EQ(cell.sourceV, 0.0f);
    EXPECT_EQ(cell.outside, 0);
    EXPECT_EQ(cell.regionTag, 0);
    EXPECT_EQ(cell.seed, sampleSeed(40, -1));
    // The next row down is water.
    EXPECT_EQ(scene.sample(40.0, 0.0).kind, kKindSimpleWater);
}

TEST(SurfaceSimple, FlatWaterMirrorsAboutTheOffsetLine) {
    for (float spin : {0.0f, 90.0f}) {
        Scene scene(200, 100);
        scene.settings.waterStyle = kWaterStyleSimple;
        makeFlat(scene.settings);
        scene.settings.horizon = 30.0f;
        scene.settings.offset = 20.0f;
        scene.settings.spin = spin;
        RenderContext& c = scene.prepare();
        int wet = 0;
        for (int row = 0; row < 100; row += 7) {
            for (int column = 0; column < 200; column += 13) {
                const CellRecord cell = scene.sample(column, row);
                const double x = (column + 1.0) / 200.0, y = (row + 1.0) / 100.0;
                if (cell.kind == kKindSimpleDry) {
                    EXPECT_NEAR(cell.sourceU, x, 1e-6);
                    EXPECT_NEAR(cell.sourceV, y, 1e-6);
                    continue;
                }
                ASSERT_EQ(cell.kind, kKindSimpleWater);
                ++wet;
                if (spin == 0.0f) {
                    // Mirrored vertically about the offset line, in centred units.
                    const double v = c.aspect * (y - 0.5);
                    const double mirrored = (2.0 * c.offsetY - v) / c.aspect + 0.5;
                    EXPECT_NEAR(cell.sourceU, x, 1e-6);
                    EXPECT_NEAR(cell.sourceV, mirrored, 1e-5);
                } else {
                    // A quarter turn stands the horizon upright: the mirror is sideways.
                    const double px = x - 0.5;
                    EXPECT_NEAR(cell.sourceV, y, 1e-5);
                    EXPECT_NEAR(cell.sourceU, 2.0 * c.offsetY - px + 0.5, 1e-5);
                }
            }
        }
        EXPECT_GT(wet, 20) << "spin " << spin;
    }
}

TEST(SurfaceSimple, WavesNeverReflectBelowTheOffsetLine) {
    Scene scene(160, 120);
    scene.settings.waterStyle = kWaterStyleSimple;
    scene.settings.waviness = 100.0f;
    scene.settings.height = 100.0f;
    scene.settings.center = {0.5f, 0.8f};
    RenderContext& c = scene.prepare();
    bool moved = false;
    for (int row = 0; row < 120; row += 3) {
        for (int column = 0; column < 160; column += 3) {
            const CellRecord cell = scene.sample(column, row);
            if (cell.kind != kKindSimpleWater) continue;
            EXPECT_LE(cell.sourceV, c.offsetLine + 1e-5);
            EXPECT_GE(cell.waterWeight, 0.0f);
            EXPECT_LE(cell.waterWeight, 1.0f);
            EXPECT_GE(cell.blurRadius, 0.0f);
            const double x = (column + 1.0) / 160.0;
            moved = moved || std::fabs(cell.sourceU - x) > 1e-3;
        }
    }
    EXPECT_TRUE(moved);
}

TEST(SurfaceSimple, RipplesFollowSizeAndHeight) {
    // With size 0 the ripple height changes nothing; with a size it does.
    auto sources = [](float size, float height) {
        Scene scene(128, 128);
        scene.settings.waterStyle = kWaterStyleSimple;
        scene.settings.size = size;
        scene.settings.height = height;
        scene.settings.waviness = 0.0f;
        scene.settings.center = {0.5f, 0.75f};
        scene.prepare();
        std::vector<float> out;
        for (int row = 70; row < 128; row += 4) {
            for (int column = 30; column < 100; column += 4) {
                const CellRecord cell = scene.sample(column, row);
                out.push_back(cell.sourceU);
                out.push_back(cell.sourceV);
            }
        }
        return out;
    };
    EXPECT_EQ(sources(0.0f, 0.0f), sources(0.0f, 100.0f));
    EXPECT_NE(sources(60.0f, 0.0f), sources(60.0f, 100.0f));
}

TEST(SurfaceSimple, BlurGrowsTowardsTheBottomAndWeightWithBrilliance) {
    Scene scene(100, 100);
    scene.settings.waterStyle = kWaterStyleSimple;
    scene.settings.blur = 80.0f;
    scene.settings.offset = 10.0f;
    scene.prepare();
    float previous = 0.0f;
    for (int row = 60; row < 100; row += 5) {
        const CellRecord cell = scene.sample(50.0, row);
        ASSERT_EQ(cell.kind, kKindSimpleWater);
        EXPECT_GT(cell.blurRadius, previous);
        previous = cell.blurRadius;
    }
    auto weightAt = [](float brilliance) {
        Scene s(100, 100);
        s.settings.waterStyle = kWaterStyleSimple;
        makeFlat(s.settings);
        s.settings.brilliance = brilliance;
        s.prepare();
        return s.sample(50.0, 80.0).waterWeight;
    };
    EXPECT_LT(weightAt(0.0f), weightAt(60.0f));
    EXPECT_EQ(weightAt(100.0f), 1.0f);
}

TEST(SurfaceComplex, SampleAboveTheHorizonShowsItself) {
    Scene scene(200, 200);
    scene.settings.waterStyle = kWaterStyleComplex;
    scene.settings.horizon = 50.0f;
    scene.prepare();
    const CellRecord cell = scene.sample(120.0, 30.0);
    EXPECT_EQ(cell.kind, kKindComplexDry);
    EXPECT_NEAR(cell.sourceU, 121.0 / 200.0, 1e-6);
    EXPECT_NEAR(cell.sourceV, 31.0 / 200.0, 1e-6);
    EXPECT_EQ(cell.blurRadius, 0.0f);
    EXPECT_EQ(cell.hasSpread, 0);
    EXPECT_EQ(cell.rayDir.x, -1.0);
    EXPECT_EQ(cell.hitNormal.y, -1.0);
    EXPECT_EQ(cell.negRay.z, -1.0);
}

TEST(SurfaceComplex, FlatWaterIsAMirrorAboutTheOffsetLine) {
    Scene scene(200, 200);
    scene.settings.waterStyle = kWaterStyleComplex;
    makeFlat(scene.settings);
    scene.settings.horizon = 40.0f;
    scene.settings.offset = 0.0f;
    RenderContext& c = scene.prepare();
    for (int row = 90; row < 200; row += 11) {
        for (int column = 0; column < 200; column += 23) {
            const CellRecord cell = scene.sample(column, row);
            ASSERT_EQ(cell.kind, kKindComplexWater);
            EXPECT_NEAR(cell.hitNormal.y, 1.0, 1e-12);
            EXPECT_NEAR(cell.hitPoint.y, 0.0, 1e-9);
            const double x = (column + 1.0) / 200.0, y = (row + 1.0) / 200.0;
            const double v = y - 0.5;
            EXPECT_NEAR(cell.sourceU, x, 1e-5);
            EXPECT_NEAR(cell.sourceV, 2.0 * c.offsetY - v + 0.5, 1e-5);
            EXPECT_NEAR(cell.rayDir.x, -cell.negRay.x, 0.0);
            EXPECT_NEAR(cell.eyeToHit.y, -c.eyeHeight, 1e-9);
        }
    }
}

TEST(SurfaceComplex, WavesBendTheNormalAndStayInBounds) {
    Scene scene(160, 160);
    scene.settings.waterStyle = kWaterStyleComplex;
    scene.settings.waviness = 90.0f;
    scene.settings.center = {0.5f, 0.8f};
    scene.settings.height = 80.0f;
    scene.prepare();
    int water = 0, tilted = 0;
    for (int row = 85; row < 160; row += 4) {
        for (int column = 0; column < 160; column += 6) {
            const CellRecord cell = scene.sample(column, row);
            if (cell.kind != kKindComplexWater) {
                EXPECT_EQ(cell.kind, kKindComplexDry);
                continue;
            }
            ++water;
            const Vec3d n = cell.hitNormal;
            EXPECT_NEAR(n.x * n.x + n.y * n.y + n.z * n.z, 1.0, 1e-9);
            EXPECT_GT(n.y, 0.0);
            EXPECT_LT(cell.rayDir.y, 0.0);
            if (std::fabs(n.y) < 0.9999) ++tilted;
            EXPECT_GE(cell.slopeSpread[0], kMinSlopeSpread);
            EXPECT_GE(cell.slopeSpread[1], kMinSlopeSpread);
            ASSERT_EQ(cell.hasSpread, 1);
            const double lu = std::hypot(cell.spreadU[0], cell.spreadU[1]);
            const double lv = std::hypot(cell.spreadV[0], cell.spreadV[1]);
            EXPECT_LE(std::max(lu, lv), 0.45 + 1e-6);
            EXPECT_GE(cell.blurRadius, 0.0f);
        }
    }
    EXPECT_GT(water, 100);
    EXPECT_GT(tilted, water / 2);
}

TEST(SurfaceComplex, FarLimitEndsTheWater) {
    Scene scene(200, 200);
    scene.settings.waterStyle = kWaterStyleComplex;
    scene.settings.horizon = 40.0f;
    scene.settings.offset = 40.0f;
    RenderContext& c = scene.prepare();
    // Between the horizon and the offset line the water is farther than the limit.
    const double rowBetween = ((c.horizonY + c.offsetY) * 0.5 + 0.5) * 200.0 - 1.0;
    EXPECT_EQ(scene.sample(100.0, rowBetween).kind, kKindComplexDry);
    EXPECT_EQ(scene.sample(100.0, 190.0).kind, kKindComplexWater);
}

TEST(SurfaceComplex, ALowEyeFindsThePointOnTheWaves) {
    // With the eye among the waves the rays graze them, and a search that stops
    // short leaves whole rows off the surface, which shows as a straight line.
    for (float altitude : {0.0f, 0.5f, 1.0f, 2.0f, 5.0f}) {
        SCOPED_TRACE(altitude);
        Scene scene(200, 133);
        scene.settings.waterStyle = kWaterStyleComplex;
        scene.settings.altitude = altitude;
        RenderContext& c = scene.prepare();
        int water = 0;
        for (int row = 67; row < 133; ++row) {
            for (int column = 0; column < 200; column += 7) {
                const CellRecord cell = scene.sample(column, row);
                if (cell.kind != kKindComplexWater) continue;
                ++water;
                const SampleFootprint fp = sampleFootprint(c, cell.spunH, cell.spunV, cell.seed);
                ASSERT_LE(std::fabs(surfaceHeightCoarse(c, fp.levelWeight, cell.hitPoint)),
                          0.01 * c.eyeHeight)
                    << column << "," << row;
            }
        }
        EXPECT_GT(water, 1500);
    }
}

TEST(SurfaceComplex, FootprintCacheIsKeyedBySeed) {
    Scene scene(200, 200);
    scene.settings.waterStyle = kWaterStyleComplex;
    RenderContext& c = scene.prepare();
    // The cache's first key is an ordinary seed: it must not hand out an empty value.
    const SampleFootprint first = sampleFootprint(c, 0.0, 0.3, kFootprintCacheSeed);
    EXPECT_GT(first.size, 0.0);
    const SampleFootprint near = sampleFootprint(c, 0.0, 0.1, kFootprintCacheSeed);
    EXPECT_EQ(near.size, first.size);  // same seed: reused
    const SampleFootprint other = sampleFootprint(c, 0.0, 0.1, 5);
    EXPECT_GT(other.size, first.size);  // nearer the horizon a pixel covers more water
}

// Sky above the horizon at 40, a dry band down to the offset line at 45 (the water there
// lies beyond the far limit), water below: every kind of sample in one column.
void prepareBanded(Scene& scene, std::int32_t style) {
    scene.settings.waterStyle = style;
    scene.settings.horizon = 40.0f;
    scene.settings.offset = 45.0f;
    scene.prepare();
}

TEST(SurfaceComplex, StoppingAtTheWaterChangesNothingALaterSampleSees) {
    // Two renders of the same settings side by side: one takes every sample whole, the
    // other first asks only whether it lies on water and then, where it does, takes it
    // whole. Sky, the dry band under the horizon, water and samples that share a seed
    // (the footprint cache then hands the first size on) must all come out the same.
    Scene whole(200, 200), asking(200, 200);
    prepareBanded(whole, kWaterStyleComplex);
    prepareBanded(asking, kWaterStyleComplex);
    int stopped = 0, completed = 0;
    for (int row = 0; row < 200; row += 3) {
        for (double column : {13.0, 13.5, 101.0, 187.25}) {
            const std::int32_t seed = sampleSeed(static_cast<int>(column), row);
            CellRecord expected{};
            evaluateSample(column, row, *whole.context, expected, seed);
            CellRecord cell{};
            if (evaluateSampleUnlessWater(column, row, *asking.context, cell, seed)) {
                ++stopped;
                EXPECT_EQ(expected.kind, kKindComplexWater) << column << "," << row;
                cell = CellRecord{};
                evaluateSample(column, row, *asking.context, cell, seed);
            } else {
                ++completed;
            }
            ASSERT_EQ(std::memcmp(&cell, &expected, sizeof cell), 0) << column << "," << row;
            ASSERT_EQ(asking.context->cacheSeed, whole.context->cacheSeed);
        }
    }
    EXPECT_GT(stopped, 60);
    EXPECT_GT(completed, 60);
}

TEST(SurfaceComplex, SamplesTakenSideBySideAreTheSamplesTakenOneAtATime) {
    // A column of samples from the sky through the dry band into the water, some pairs
    // sharing a seed (the footprint cache hands the first size on), more than one batch.
    for (int style : {kWaterStyleSimple, kWaterStyleComplex}) {
        SCOPED_TRACE(style);
        Scene single(200, 200), batched(200, 200);
        prepareBanded(single, style);
        prepareBanded(batched, style);
        std::vector<SampleRequest> requests;
        std::vector<CellRecord> expected(3 * kSampleBatch + 5), cells(expected.size());
        for (std::size_t k = 0; k < expected.size(); ++k) {
            const double row = static_cast<double>(7 * (k / 2) + 2);
            const double column = k % 2 == 0 ? 57.0 : 57.5;
            const std::int32_t seed = sampleSeed(57, static_cast<int>(row));
            evaluateSample(column, row, *single.context, expected[k], seed);
            requests.push_back(SampleRequest{column, row, &cells[k], seed});
        }
        evaluateSamples(requests.data(), static_cast<int>(requests.size()), *batched.context);
        int water = 0;
        for (std::size_t k = 0; k < cells.size(); ++k) {
            ASSERT_EQ(std::memcmp(&cells[k], &expected[k], sizeof(CellRecord)), 0) << k;
            water += cells[k].kind == kKindComplexWater ? 1 : 0;
        }
        EXPECT_EQ(batched.context->cacheSeed, single.context->cacheSeed);
        EXPECT_EQ(batched.context->stats.surfaceEvaluations,
                  single.context->stats.surfaceEvaluations);
        if (style == kWaterStyleComplex) {
            EXPECT_GT(water, 8);
        }
    }
}

TEST(SurfaceComplex, WaterChecksTakenAheadAnswerAsTheSampleWouldInItsTurn) {
    // The checks of a column of samples are taken first; then, in turn, each is either
    // taken or the sample evaluated, and the answers, the footprint cache and the count
    // must be those of asking one sample at a time. Every other sample follows one with
    // its own seed at another place, so that the cache holds its seed with another size.
    Scene single(200, 200), ahead(200, 200);
    prepareBanded(single, kWaterStyleComplex);
    prepareBanded(ahead, kWaterStyleComplex);
    std::vector<SampleRequest> requests;
    for (int k = 0; k < 2 * kSampleBatch + 3; ++k) {
        const int row = 4 * k + 60;
        requests.push_back(SampleRequest{91.5, row - 0.5, nullptr, sampleSeed(91, row)});
    }
    std::vector<WaterCheck> checks(requests.size());
    checkSamplesOnWater(requests.data(), static_cast<int>(requests.size()), *ahead.context,
                        checks.data());
    EXPECT_EQ(ahead.context->stats.surfaceEvaluations, 0);  // the context is left alone
    int taken = 0, refused = 0;
    for (std::size_t k = 0; k < requests.size(); ++k) {
        const SampleRequest& r = requests[k];
        if (k % 2 == 1) {
            CellRecord other{};
            for (Scene* scene : {&single, &ahead})
                evaluateSample(r.column - 40.0, r.row, *scene->context, other, r.seed);
        }
        CellRecord expected{}, cell{};
        const bool water =
            evaluateSampleUnlessWater(r.column, r.row, *single.context, expected, r.seed);
        bool answer = takeWaterCheck(*ahead.context, checks[k], r.seed);
        if (answer) {
            ++taken;
        } else {
            ++refused;
            answer = evaluateSampleUnlessWater(r.column, r.row, *ahead.context, cell, r.seed);
        }
        ASSERT_EQ(answer, water) << k;
        ASSERT_EQ(ahead.context->cacheSeed, single.context->cacheSeed) << k;
        ASSERT_EQ(
            std::memcmp(&ahead.context->cacheValue, &single.context->cacheValue, sizeof(double)), 0)
            << k;
        ASSERT_EQ(ahead.context->stats.surfaceEvaluations,
                  single.context->stats.surfaceEvaluations);
    }
    EXPECT_GT(taken, 5);
    EXPECT_GT(refused, 5);
}

TEST(SurfaceComplex, LevelWeightsFadeWithTheFootprint) {
    Scene scene(200, 200);
    RenderContext& c = scene.prepare();
    const SampleFootprint small = footprintOfSize(c, 0.01);
    const SampleFootprint large = footprintOfSize(c, 40.0);
    for (int i = 0; i < kWaveLevels; ++i) {
        EXPECT_GT(small.levelWeight[i], 0.2);
        EXPECT_LE(small.levelWeight[i], 1.0);
        EXPECT_LT(large.levelWeight[i], small.levelWeight[i]);
        if (i > 0) {
            EXPECT_LE(large.levelWeight[i], large.levelWeight[i - 1]);
        }
    }
    EXPECT_NEAR(large.levelWeight[4], 0.2, 1e-6);
    EXPECT_GE(large.slopeVariance[0], small.slopeVariance[0]);
    const SampleFootprint broken = footprintOfSize(c, std::numeric_limits<double>::quiet_NaN());
    EXPECT_NEAR(broken.levelWeight[0], 0.2, 1e-9);
}

TEST(SurfaceFunctions, ErfcApproximation) {
    EXPECT_DOUBLE_EQ(erfcApprox(0.0), 1.0);
    for (double x = -3.0; x <= 3.0; x += 0.25) {
        EXPECT_NEAR(erfcApprox(x), std::erfc(x), 0.01) << x;
        EXPECT_NEAR(erfcApprox(x) + erfcApprox(-x), 2.0, 1e-12);
    }
    EXPECT_EQ(erfcApprox(std::numeric_limits<double>::infinity()), 0.0);
    EXPECT_EQ(erfcApprox(-std::numeric_limits<double>::infinity()), 2.0);
    EXPECT_TRUE(std::isnan(erfcApprox(std::numeric_limits<double>::quiet_NaN())));
}

TEST(SurfaceFunctions, FbmOctaves) {
    image::NoiseTables noise;
    image::buildNoiseTables(noise, 77);
    float sx = 1.0f, sy = 1.0f;
    fbm(noise, 3.3f, 4.7f, 1.0f, sx, sy);
    EXPECT_EQ(sx, 0.0f);
    EXPECT_EQ(sy, 0.0f);
    // Below the first whole octave only the unrotated fraction is added.
    fbm(noise, 3.3f, 4.7f, 0.5f, sx, sy);
    EXPECT_FLOAT_EQ(sx, image::noise2(noise, 3.3f, 4.7f) * 0.5f);
    EXPECT_FLOAT_EQ(sy, image::noise2(noise, 3.3f + 13.0764f, 4.7f + 623.453f) * 0.5f);
    // Every whole octave has the same amplitude: the sum grows with the count.
    float s2x = 0.0f, s2y = 0.0f, s6x = 0.0f, s6y = 0.0f;
    fbm(noise, 0.37f, 0.61f, 2.0f, s2x, s2y);
    fbm(noise, 0.37f, 0.61f, 6.0f, s6x, s6y);
    EXPECT_NE(s2x, s6x);
    // Absurd counts end.
    fbm(noise, 0.37f, 0.61f, 1e30f, sx, sy);
    fbm(noise, 0.37f, 0.61f, std::numeric_limits<float>::quiet_NaN(), sx, sy);
    EXPECT_EQ(sx, 0.0f);
}

TEST(SurfaceRobustness, AnySettingsGiveBoundedSamples) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float specials[] = {nan, inf, -inf, 1e30f, -1e30f, 1e6f, -1e6f, 0.0f, 100.0f, -5.0f};
    std::mt19937 rng(12345);
    auto pick = [&]() {
        std::uniform_int_distribution<int> which(0, 19);
        const int k = which(rng);
        if (k < 10) return specials[k];
        return std::uniform_real_distribution<float>(-150.0f, 250.0f)(rng);
    };
    for (int run = 0; run < 300; ++run) {
        Scene scene(24 + run % 7, 17 + run % 5);
        SettingsRecord& s = scene.settings;
        for (float* f :
             {&s.horizon, &s.offset, &s.spin, &s.perspective, &s.altitude, &s.waviness,
              &s.complexity, &s.brilliance, &s.blur, &s.size, &s.height, &s.undulation, &s.center.x,
              &s.center.y, &s.lightDirection.x, &s.lightDirection.y, &s.lightDirection.z}) {
            *f = pick();
        }
        s.waterStyle = run % 2 == 0 ? kWaterStyleSimple : kWaterStyleComplex;
        s.randomSeed = static_cast<std::int32_t>(rng());
        scene.inputs.zoom = run % 3;
        scene.inputs.panX = static_cast<std::int32_t>(rng() % 1000) - 500;
        scene.prepare();
        for (double row = -1.0; row < 18.0; row += 2.5) {
            for (double column = -1.0; column < 25.0; column += 3.5) {
                const CellRecord cell = scene.sample(column, row);
                ASSERT_TRUE(cell.kind == kKindSimpleWater || cell.kind == kKindSimpleDry ||
                            cell.kind == kKindComplexWater || cell.kind == kKindComplexDry)
                    << "run " << run << " kind " << cell.kind;
                EXPECT_GE(cell.waterWeight, 0.0f);
                EXPECT_LE(cell.waterWeight, 1.0f);
                EXPECT_FALSE(std::isnan(cell.blurRadius));
                EXPECT_GE(cell.slopeSpread[0], kMinSlopeSpread);
                if (cell.hasSpread) {
                    EXPECT_LE(std::hypot(cell.spreadU[0], cell.spreadU[1]), 0.4501);
                    EXPECT_LE(std::hypot(cell.spreadV[0], cell.spreadV[1]), 0.4501);
                }
            }
        }
    }
}

}  // namespace
}  // namespace mirel::render
