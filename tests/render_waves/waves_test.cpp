// The batched wave and noise paths against the one-at-a-time functions: the
// surface must come out the same bits whichever way it is evaluated, including
// at lattice edges, signed zeros, huge coordinates and non-numbers.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "image/noise.h"
#include "render/render_context.h"
#include "render/surface.h"
#include "render/surface_waves.h"
#include "settings/settings_record.h"

namespace mirel::render {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

std::uint32_t bitsOf(float v) {
    return std::bit_cast<std::uint32_t>(v);
}
std::uint64_t bitsOf(double v) {
    return std::bit_cast<std::uint64_t>(v);
}

// Coordinates that stress the floor and the lattice: both zeros, cell edges,
// just below whole numbers, the 2^23 and 2^30 limits, the int range, and
// non-finite values; then ordinary random ones.
std::vector<float> awkwardCoordinates() {
    std::vector<float> v = {0.0f,         -0.0f,   1.0f,    -1.0f,         0.5f,
                            -0.5f,        255.0f,  256.0f,  -256.0f,       0.99999994f,
                            -0.99999994f, 1e-40f,  -1e-40f, 8388607.5f,    8388608.0f,
                            -8388609.0f,  1.0e9f,  -1.0e9f, 1073741824.0f, 3.0e9f,
                            -3.0e9f,      3.0e38f, kInf,    -kInf,         kNaN};
    std::mt19937 random(7);
    std::uniform_real_distribution<float> small(-600.0f, 600.0f);
    for (int i = 0; i < 200; ++i) v.push_back(small(random));
    return v;
}

TEST(BatchedNoise, FourAndEightLanesMatchOneAtATimeBitForBit) {
    const std::vector<float> xs = awkwardCoordinates();
    image::NoiseTables unbuilt{};  // all zeros: every read gives 0
    for (std::uint32_t seed : {0u, 77u, 1999u, 4000000000u}) {
        image::NoiseTables built;
        image::buildNoiseTables(built, seed);
        for (const image::NoiseTables* tables : {&built, &unbuilt}) {
            for (std::size_t i = 0; i + 8 <= xs.size(); ++i) {
                // Each batch mixes neighbouring awkward values with a shifted copy.
                float x[8], y[8], n[8], w[8], wide[8];
                for (int k = 0; k < 8; ++k) {
                    x[k] = xs[i + k];
                    y[k] = xs[(i * 7 + k * 13) % xs.size()];
                }
                image::noise2x4(*tables, x, y, n);
                image::noise2x4(*tables, x + 4, y + 4, n + 4);
                image::warpNoiseX4(*tables, x, y, w);
                if (image::hasAvx2()) image::noise2x8(*tables, x, y, wide);
                for (int k = 0; k < 8; ++k) {
                    ASSERT_EQ(bitsOf(n[k]), bitsOf(image::noise2(*tables, x[k], y[k])))
                        << "noise2 at " << x[k] << ", " << y[k] << " seed " << seed;
                    if (image::hasAvx2()) {
                        ASSERT_EQ(bitsOf(wide[k]), bitsOf(n[k]))
                            << "eight lanes at " << x[k] << ", " << y[k] << " seed " << seed;
                    }
                    if (k < 4) {
                        ASSERT_EQ(bitsOf(w[k]), bitsOf(image::warpNoise(*tables, x[k], y[k])))
                            << "warpNoise at " << x[k] << ", " << y[k] << " seed " << seed;
                    }
                }
            }
        }
    }
}

struct Scene {
    SettingsRecord settings{};
    image::NoiseTables noise{};
    RenderInputs inputs{};
    std::unique_ptr<RenderContext> context = std::make_unique<RenderContext>();

    RenderContext& prepare(bool withNoise = true) {
        image::buildNoiseTables(noise, static_cast<std::uint32_t>(settings.randomSeed));
        inputs.settings = &settings;
        inputs.noise = withNoise ? &noise : nullptr;
        inputs.hostWidth = 1200;
        inputs.hostHeight = 800;
        prepareRenderContext(static_cast<image::TiledImage*>(nullptr), inputs, *context);
        return *context;
    }
};

// The height as a sum of single waves, level by level, as the surface is defined.
double referenceHeight(const RenderContext& c, const double* weight, const Vec3d& point, int levels,
                       double rippleHeight) {
    const double seedShift = static_cast<double>(c.settings.randomSeed) * 0.17 * 0.8;
    double ax = 0.75 * point.x, az = point.z;
    double bx = 0.73 * point.x, bz = point.z;
    double g = 0.16, a = c.waviness4, sum = 0.0;
    for (int i = 0; i < levels; ++i) {
        if (weight[i] != 0.0) {
            const double u = waveLevel(c, static_cast<float>((ax + seedShift) * g),
                                       static_cast<float>((az + seedShift) * g), i);
            const double w = waveLevel(c, static_cast<float>((bx - seedShift) * g),
                                       static_cast<float>((bz - seedShift) * g), i);
            sum += (u + w) * a * weight[i];
        }
        const double nax = 1.6 * ax - 1.2 * az, naz = 1.6 * az + 1.2 * ax;
        const double nbx = 1.35 * bz - 1.45 * bx, nbz = -1.35 * bx - 1.45 * bz;
        ax = nax, az = naz, bx = nbx, bz = nbz;
        g *= 1.9;
        a *= c.complexityBand;
    }
    const double ripples = rippleHeight == c.rippleHeight ? worldRipples(c, point.x, point.z) : 0.0;
    return point.y - (ripples + sum);
}

TEST(BatchedWaves, SurfaceHeightMatchesTheSumOfSingleWaves) {
    struct Variant {
        std::int32_t seed;
        float waviness, complexity;
        bool noise;
    };
    // Waviness above 100 gives negative crest sharpness; no noise tables skips the warp.
    const Variant variants[] = {{0, 50.0f, 50.0f, true},
                                {1234, 150.0f, 90.0f, true},
                                {2047, 5.0f, 0.0f, true},
                                {77, 60.0f, 40.0f, false}};
    std::mt19937 random(11);
    std::uniform_real_distribution<double> across(-40.0, 40.0), away(0.0, 400.0);
    for (const Variant& v : variants) {
        Scene scene;
        fullReset(scene.settings);
        scene.settings.randomSeed = v.seed;
        scene.settings.waviness = v.waviness;
        scene.settings.complexity = v.complexity;
        scene.settings.waterStyle = kWaterStyleComplex;
        const RenderContext& c = scene.prepare(v.noise);
        const double weightSets[][kWaveLevels] = {
            {1, 1, 1, 1, 1}, {0.2, 0.35, 0.9, 1, 0.2}, {0, 1, 0, 0, 0}, {0, 0, 0, 0, 1}};
        std::vector<Vec3d> points = {
            {0.0, 0.0, 0.0}, {-0.0, 0.1, -0.0}, {1e7, 0.0, 3e7}, {1e12, 0.0, 1e12}};
        for (int i = 0; i < 100; ++i) points.push_back({across(random), 0.05, away(random)});
        for (const auto& weight : weightSets) {
            for (const Vec3d& p : points) {
                for (int levels = 1; levels <= kWaveLevels; ++levels) {
                    ASSERT_EQ(bitsOf(surfaceHeightLevels(c, weight, p, levels, 0.0)),
                              bitsOf(referenceHeight(c, weight, p, levels, 0.0)))
                        << "seed " << v.seed << " at " << p.x << ", " << p.z << " levels "
                        << levels;
                }
                ASSERT_EQ(bitsOf(surfaceHeight(c, weight, p)),
                          bitsOf(referenceHeight(c, weight, p, kWaveLevels, c.rippleHeight)));
                ASSERT_EQ(bitsOf(surfaceHeightCoarse(c, weight, p)),
                          bitsOf(referenceHeight(c, weight, p, kCoarseWaveLevels, c.rippleHeight)));
            }
        }
    }
}

// The normal of a Complex sample comes from three heights evaluated together;
// each must equal the height of its point alone.
TEST(BatchedWaves, SampleNormalMatchesThreeSingleHeights) {
    Scene scene;
    fullReset(scene.settings);
    scene.settings.waterStyle = kWaterStyleComplex;
    scene.settings.randomSeed = 555;
    RenderContext& c = scene.prepare();
    int checked = 0;
    for (int row = 420; row < 800; row += 23) {
        for (int column = 0; column < 1200; column += 97) {
            CellRecord cell{};
            evaluateSample(column, row, c, cell, sampleSeed(column, row));
            if (cell.kind != kKindComplexWater) continue;
            // The footprint cache now holds this sample's footprint size.
            const SampleFootprint fp = footprintOfSize(c, c.cacheValue);
            const Vec3d hit = cell.hitPoint;
            const double h0 = surfaceHeight(c, fp.levelWeight, hit);
            const double hx = surfaceHeight(c, fp.levelWeight, {hit.x + fp.size, hit.y, hit.z});
            const double hz = surfaceHeight(c, fp.levelWeight, {hit.x, hit.y, hit.z + fp.size});
            const Vec3d n{hx - h0, fp.size, hz - h0};
            const double length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
            ASSERT_EQ(bitsOf(cell.hitNormal.x), bitsOf(n.x / length)) << column << ", " << row;
            ASSERT_EQ(bitsOf(cell.hitNormal.y), bitsOf(n.y / length)) << column << ", " << row;
            ASSERT_EQ(bitsOf(cell.hitNormal.z), bitsOf(n.z / length)) << column << ", " << row;
            ++checked;
        }
    }
    EXPECT_GT(checked, 50);
}

// Any number of points gives each point's own sum, however the points are
// grouped, and a sum carried on from its first levels is the whole sum.
TEST(BatchedWaves, WaveSumsOfManyPointsMatchSinglePoints) {
    Scene scene;
    fullReset(scene.settings);
    scene.settings.randomSeed = 99;
    const RenderContext& c = scene.prepare();
    const double weight[kWaveLevels] = {1.0, 0.0, 0.6, 0.3, 0.2};
    Vec3d points[8];
    for (int n = 0; n < 8; ++n) points[n] = {n * 1.7 - 5.0, 0.0, 3.0 + n * 11.3};
    for (int levels = 1; levels <= kWaveLevels; ++levels) {
        double together[8] = {};
        waveSums(c, weight, points, 8, levels, together);
        for (int n = 0; n < 8; ++n) {
            double alone = 0.0;
            waveSums(c, weight, &points[n], 1, levels, &alone);
            ASSERT_EQ(bitsOf(together[n]), bitsOf(alone)) << "point " << n << " levels " << levels;
        }
        // Carried on from the sum of the first levels, mixed with whole sums in
        // one batch: the same bits as the whole sum.
        for (int first = 1; first < levels; ++first) {
            double carried[8] = {};
            int firstLevels[8] = {};
            for (int n = 0; n < 8; n += 2) {
                waveSums(c, weight, &points[n], 1, first, &carried[n]);
                firstLevels[n] = first;
            }
            waveSums(c, weight, points, 8, levels, carried, firstLevels);
            for (int n = 0; n < 8; ++n)
                ASSERT_EQ(bitsOf(carried[n]), bitsOf(together[n]))
                    << "point " << n << " levels " << levels << " from " << first;
        }
    }
}

// The octave sums one noise read at a time, as the Simple waves are defined.
void referenceFbm(const image::NoiseTables& noise, float a, float b, float octaves, float& sx,
                  float& sy) {
    constexpr float kRotCos = 0.7771459f;
    constexpr float kRotSin = 0.6293203f;
    sx = 0.0f;
    sy = 0.0f;
    for (int i = 1; i < 64 && static_cast<float>(i) < octaves; ++i) {
        sx += image::noise2(noise, a * kRotCos - b * kRotSin, a * kRotSin + b * kRotCos);
        a += 25.0764f;
        b += 723.453f;
        sy += image::noise2(noise, a * kRotCos - b * kRotSin, a * kRotSin + b * kRotCos);
        b += 65.81998f;
        a += 44.8452f;
        a *= 1.7134f;
        b *= 1.7134f;
    }
    if (!std::isfinite(octaves) || octaves >= 64.0f) return;
    const float fr = octaves - std::trunc(octaves);
    if (fr > 0.0f) {
        sx += image::noise2(noise, a, b) * fr;
        sy += image::noise2(noise, a + 13.0764f, b + 623.453f) * fr;
    }
}

TEST(BatchedWaves, FbmMatchesOneReadAtATime) {
    image::NoiseTables noise;
    image::buildNoiseTables(noise, 321);
    const float octaveCounts[] = {-1.0f, 0.0f,  0.5f,  1.0f,  1.01f,  2.5f, 4.01f,
                                  7.0f,  32.0f, 63.5f, 64.0f, 100.0f, kInf, kNaN};
    const float positions[][2] = {{0.0f, 0.0f}, {-0.0f, 3.5f}, {12.25f, -7.75f},
                                  {1e6f, 2e6f}, {kInf, 1.0f},  {kNaN, 0.0f}};
    for (float octaves : octaveCounts) {
        for (const auto& pos : positions) {
            float sx = 0, sy = 0, rx = 0, ry = 0;
            fbm(noise, pos[0], pos[1], octaves, sx, sy);
            referenceFbm(noise, pos[0], pos[1], octaves, rx, ry);
            EXPECT_EQ(bitsOf(sx), bitsOf(rx)) << "octaves " << octaves << " at " << pos[0];
            EXPECT_EQ(bitsOf(sy), bitsOf(ry)) << "octaves " << octaves << " at " << pos[0];
        }
    }
}

}  // namespace
}  // namespace mirel::render
