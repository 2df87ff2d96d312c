// Render set-up: geometry, scales, light, camera, ripples in the world, wave
// normalisation, and what the set-up makes of settings no dialog would allow.
#include "render/render_context.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "image/sampling.h"
#include "render/surface.h"
#include "render_test_support.h"

namespace mirel::render {
namespace {

using testing::Scene;

TEST(RenderContext, NoSpinGivesIdentityMatricesAndAspectHeight) {
    Scene scene(400, 300);
    scene.settings.spin = 0.0f;
    const RenderContext& c = scene.prepare();
    for (int i = 0; i < 2; ++i) {
        for (int j = 0; j < 2; ++j) {
            EXPECT_EQ(c.spinRot[i][j], i == j ? 1.0 : 0.0);
            EXPECT_EQ(c.unspinRot[i][j], i == j ? 1.0 : 0.0);
        }
    }
    EXPECT_FLOAT_EQ(c.aspect, 0.75f);
    EXPECT_FLOAT_EQ(c.viewHeight, 0.75f);
    EXPECT_FLOAT_EQ(c.invWidth, 1.0f / 400.0f);
    EXPECT_FLOAT_EQ(c.invHeight, 1.0f / 300.0f);
}

TEST(RenderContext, SpinTurnsTheHorizonAndRoundTrips) {
    Scene scene(400, 300);
    scene.settings.spin = 90.0f;
    const RenderContext& c = scene.prepare();
    // Turned a quarter, the picture's width lies across the horizon.
    EXPECT_NEAR(c.viewHeight, 1.0f, 1e-6);

    scene.settings.spin = 37.0f;
    scene.prepare();
    for (double px : {-0.5, -0.1, 0.3}) {
        for (double py : {-0.375, 0.0, 0.2}) {
            double h = 0.0, v = 0.0;
            spinPoint(c, px, py, h, v);
            float u = 0.0f, w = 0.0f;
            unspinPoint(c, h, v, u, w);
            EXPECT_NEAR(u, px + 0.5, 1e-6);
            EXPECT_NEAR(w, py / c.aspect + 0.5, 1e-6);
        }
    }
    // The spun height covers all four corners.
    for (double sx : {-0.5, 0.5}) {
        for (double sy : {-0.375, 0.375}) {
            double h = 0.0, v = 0.0;
            spinPoint(c, sx, sy, h, v);
            EXPECT_LE(std::fabs(v), c.viewHeight * 0.5 + 1e-6);
        }
    }
}

TEST(RenderContext, HorizonAndOffsetLines) {
    Scene scene(200, 200);
    scene.settings.horizon = 100.0f;
    scene.settings.offset = 100.0f;
    const RenderContext& c = scene.prepare();
    EXPECT_FLOAT_EQ(c.horizonFrac, 0.99f);
    EXPECT_FLOAT_EQ(c.offsetLine, 1.0f);
    EXPECT_FLOAT_EQ(c.horizonY, 0.49f);
    EXPECT_FLOAT_EQ(c.offsetY, 0.5f);

    scene.settings.horizon = 50.0f;
    scene.settings.offset = 50.0f;
    scene.prepare();
    EXPECT_FLOAT_EQ(c.horizonFrac, 0.495f);
    EXPECT_FLOAT_EQ(c.offsetLine, 0.7475f);
}

TEST(RenderContext, LightFromTheDisc) {
    Scene scene(100, 100);
    const RenderContext& c = scene.prepare();

    // Straight up: only the third component counts, kept when above 0.01.
    scene.settings.lightDirection = {0.0f, 0.0f, 0.5f};
    scene.prepare();
    EXPECT_EQ(c.lightDir.x, 0.0);
    EXPECT_DOUBLE_EQ(c.lightDir.y, 0.5);
    EXPECT_EQ(c.lightDir.z, 0.0);
    // ... and clamped to 0.01, then normalised, when below.
    scene.settings.lightDirection = {0.0f, 0.0f, -3.0f};
    scene.prepare();
    EXPECT_DOUBLE_EQ(c.lightDir.y, 1.0);

    // At distance 1 on the disc the light lies on the horizon; rounding must not
    // turn its height into a non-number.
    for (Vec3f l : {Vec3f{1.0f, 0.0f, 0.0f}, Vec3f{0.6f, 0.8f, 0.0f},
                    Vec3f{0.70710677f, -0.70710677f, 0.2f}}) {
        scene.settings.lightDirection = l;
        scene.prepare();
        EXPECT_NEAR(c.lightDir.y, 0.01, 1e-4);
        const double length = std::sqrt(c.lightDir.x * c.lightDir.x + c.lightDir.y * c.lightDir.y +
                                        c.lightDir.z * c.lightDir.z);
        EXPECT_NEAR(length, 1.0, 1e-6);
        // The disc's y runs against the scene's z.
        EXPECT_EQ(c.lightDir.z<0.0, l.y> 0.0);
    }

    // Halfway out: 45 degrees from the vertical.
    scene.settings.lightDirection = {0.5f, 0.0f, 0.0f};
    scene.prepare();
    EXPECT_NEAR(c.lightDir.x, std::sqrt(0.5), 1e-6);
    EXPECT_NEAR(c.lightDir.y, std::sqrt(0.5), 1e-6);
}

TEST(RenderContext, CameraAndFarLimit) {
    Scene scene(200, 200);
    scene.settings.perspective = 50.0f;
    scene.settings.altitude = 50.0f;
    scene.settings.offset = 0.0f;
    const RenderContext& c = scene.prepare();
    EXPECT_NEAR(c.focal, 0.7, 1e-6);
    EXPECT_NEAR(c.eyeHeight, 11.1, 1e-5);
    // The offset line on the horizon reaches the water only at infinity.
    EXPECT_TRUE(std::isinf(c.farLimit));

    scene.settings.offset = 50.0f;
    scene.prepare();
    const double w = c.offsetY - c.horizonY;
    EXPECT_NEAR(c.farLimit, c.eyeHeight * c.focal / w, 1e-9 * c.farLimit);
}

TEST(RenderContext, ParameterScalesAndCentrePixel) {
    Scene scene(400, 300);
    scene.settings.size = 50.0f;
    scene.settings.altitude = 20.0f;
    scene.settings.center = {0.5f, 0.2f};
    scene.inputs.zoom = 2;
    scene.inputs.panX = 11;
    scene.inputs.panY = 7;
    const RenderContext& c = scene.prepare();
    EXPECT_FLOAT_EQ(c.altitude5, 1.0f);
    EXPECT_FLOAT_EQ(c.rippleScale, 3.0f);
    EXPECT_FLOAT_EQ(c.invRippleScale, 1.0f / 3.0f);
    // The pan is divided in whole rendered pixels: 11 / 2 = 5, 7 / 2 = 3.
    EXPECT_EQ(c.centrePixelX, 100 - 5);
    EXPECT_EQ(c.centrePixelY, 30 - 3);
    for (int i = 0; i < kRippleCount; ++i) {
        EXPECT_LE(std::fabs(c.rippleX[i]), 3.0f * 0.09f);
        EXPECT_EQ(c.rippleX[i], c.rippleCopyX[i]);
        EXPECT_EQ(c.rippleY[i], c.rippleCopyY[i]);
    }

    // A zoom the block never set counts as 1 instead of dividing by zero.
    scene.inputs.zoom = 0;
    scene.prepare();
    EXPECT_EQ(c.zoom, 1);
    EXPECT_EQ(c.centrePixelX, 200 - 11);
}

TEST(RenderContext, SizeZeroLeavesTheInverseUnset) {
    Scene scene(200, 200);
    scene.settings.size = 0.0f;
    const RenderContext& c = scene.prepare();
    EXPECT_EQ(c.rippleScale, 0.0f);
    EXPECT_EQ(c.invRippleScale, 0.0f);
    for (int i = 0; i < kRippleCount; ++i) EXPECT_EQ(c.rippleX[i], 0.0f);
}

TEST(RenderContext, RippleCentreInTheWorld) {
    Scene scene(200, 200);
    scene.settings.horizon = 50.0f;
    scene.settings.center = {0.5f, 0.2f};  // above the horizon
    const RenderContext& c = scene.prepare();
    EXPECT_EQ(c.rippleWorldScale, 0.0);
    EXPECT_EQ(c.invRippleWorldScale, 1.0);
    EXPECT_EQ(worldRipples(c, 0.0, 5.0), 0.0);

    scene.settings.center = {0.5f, 0.8f};  // on the water
    scene.settings.height = 100.0f;
    scene.prepare();
    ASSERT_GT(c.rippleWorldScale, 0.0);
    EXPECT_DOUBLE_EQ(c.invRippleWorldScale, 1.0 / c.rippleWorldScale);
    EXPECT_NEAR(c.centreHit.y, 0.0, 1e-9);
    EXPECT_GT(c.centreHit.z, 0.0);
    EXPECT_EQ(c.centreHit.x, 0.0);
    // Rings near the centre move the water; far away nothing does.
    double strongest = 0.0;
    for (int i = 0; i < 20; ++i) {
        const double x = c.centreHit.x + c.rippleWorldScale * 0.05 * i;
        strongest = std::max(strongest, std::fabs(worldRipples(c, x, c.centreHit.z)));
    }
    EXPECT_GT(strongest, 0.0);
    EXPECT_EQ(worldRipples(c, c.centreHit.x + 3.0 * c.rippleWorldScale, c.centreHit.z), 0.0);
}

TEST(RenderContext, LookupParametersByDestinationAndStyle) {
    Scene scene(64, 64);
    scene.inputs.destination = kDestinationPreview;
    scene.settings.waterStyle = kWaterStyleSimple;
    const RenderContext& c = scene.prepare();
    EXPECT_EQ(c.lookup.maxSamples, 10);
    EXPECT_TRUE(c.lookup.isotropic);
    EXPECT_FALSE(c.lookup.jitter);
    EXPECT_EQ(c.lookup.pointMode, 0);
    EXPECT_TRUE(c.isSimple);

    scene.inputs.destination = kDestinationHostOutput;
    scene.settings.waterStyle = kWaterStyleComplex;
    scene.prepare();
    EXPECT_EQ(c.lookup.maxSamples, 50);
    EXPECT_FALSE(c.lookup.isotropic);
    EXPECT_EQ(c.surfaceStyle, kSurfaceComplex);
    EXPECT_FALSE(c.isSimple);

    // Any other style number renders Simple.
    scene.settings.waterStyle = 7;
    scene.prepare();
    EXPECT_EQ(c.surfaceStyle, kSurfaceSimple);
}

TEST(RenderContext, ExportTakesTheStoreSize) {
    Scene scene(300, 200);
    auto store = image::create(600, 300, image::SampleFormat::Rgba8);
    ASSERT_NE(store, nullptr);
    scene.inputs.destination = kDestinationExport;
    image::buildNoiseTables(scene.noise, 1841);
    scene.inputs.settings = &scene.settings;
    scene.inputs.noise = &scene.noise;
    RenderContext& c = *scene.context;
    prepareRenderContext(store.get(), scene.inputs, c);
    EXPECT_EQ(c.imageWidth, 600.0f);
    EXPECT_FLOAT_EQ(c.aspect, 0.5f);
    EXPECT_EQ(c.hostWidth, 300.0f);
    EXPECT_FLOAT_EQ(c.hostAspect, 200.0f / 300.0f);
    EXPECT_EQ(store->edgeMode, image::kEdgeModeMirrorBlur);

    scene.inputs.destination = kDestinationHostOutput;
    prepareRenderContext(store.get(), scene.inputs, c);
    EXPECT_EQ(c.imageWidth, 300.0f);
    EXPECT_EQ(c.storeWidth, 600.0f);
}

TEST(RenderContext, SharpnessAndWaveNormalisation) {
    Scene scene(100, 100);
    scene.settings.waviness = 50.0f;
    scene.settings.complexity = 60.0f;
    const RenderContext& c = scene.prepare();
    EXPECT_NEAR(c.sharpness[0], 0.005, 1e-9);
    for (int k = 1; k < kWaveLevels; ++k) {
        EXPECT_NEAR(c.sharpness[k] - c.sharpness[k - 1], 0.4 * 0.4 / 10.0, 1e-6);
    }
    // Each level spans about 0.25 around a mean of about 0 (the warp moves it a little).
    for (int k = 0; k < kWaveLevels; ++k) {
        double low = 1e9, high = -1e9, sum = 0.0;
        int n = 0;
        for (int i = 0; i < 120; ++i) {
            for (int j = 0; j < 120; ++j) {
                const double w = waveLevel(c, i * 0.173f, j * 0.211f, k);
                low = std::min(low, w);
                high = std::max(high, w);
                sum += w;
                ++n;
            }
        }
        EXPECT_GT(high - low, 0.2) << "level " << k;
        EXPECT_LT(high - low, 0.26) << "level " << k;
        EXPECT_NEAR(sum / n, 0.0, 0.04) << "level " << k;
    }
    EXPECT_LT(c.simpleWaveMean, 0.0f);
    for (int k = 0; k < kWaveLevels; ++k) {
        EXPECT_GT(c.slopeStats[k][0], 0.0);
        EXPECT_GT(c.slopeStats[k][1], 0.0);
    }
}

TEST(RenderContext, SlopeStatisticsFollowTheirInputs) {
    // Jobs of one render share their slope statistics; another seed, another
    // table or another waviness must not get the previous render's.
    auto stats = [](std::int32_t seed, float waviness, std::uint32_t tableSeed) {
        Scene scene(64, 64);
        scene.settings.randomSeed = seed;
        scene.settings.waviness = waviness;
        image::buildNoiseTables(scene.noise, tableSeed);
        scene.inputs.settings = &scene.settings;
        scene.inputs.noise = &scene.noise;
        prepareRenderContext(static_cast<image::TiledImage*>(nullptr), scene.inputs,
                             *scene.context);
        std::vector<double> out;
        for (auto& level : scene.context->slopeStats) out.insert(out.end(), level, level + 2);
        return out;
    };
    const auto a = stats(5, 60.0f, 5);
    const auto b = stats(900, 60.0f, 900);
    const auto c = stats(5, 90.0f, 5);
    const auto d = stats(5, 60.0f, 77);
    EXPECT_NE(a, b);
    EXPECT_NE(a, c);
    EXPECT_NE(a, d);
    EXPECT_EQ(stats(5, 60.0f, 5), a);
    EXPECT_EQ(stats(900, 60.0f, 900), b);
}

TEST(RenderContext, SettingsNoDialogAllows) {
    Scene scene(100, 80);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    scene.settings.spin = nan;
    scene.settings.horizon = inf;
    scene.settings.waviness = 250.0f;  // crests sharper than sharp
    scene.settings.complexity = 1e30f;
    scene.settings.perspective = 500.0f;  // focal length behind the eye
    scene.settings.altitude = -50.0f;     // eye below the water
    scene.settings.lightDirection = {nan, 0.0f, 1.0f};
    scene.settings.center = {-inf, 1e20f};
    const RenderContext& c = scene.prepare();
    EXPECT_EQ(c.settings.spin, kDefaultSpin);
    EXPECT_EQ(c.settings.horizon, kDefaultHorizon);
    EXPECT_GT(c.focal, 0.0);
    EXPECT_GT(c.eyeHeight, 0.0);
    EXPECT_LE(c.octaves, 32.0f);
    for (int k = 0; k < kWaveLevels; ++k) {
        EXPECT_TRUE(std::isfinite(c.waveScale[k]));
        EXPECT_TRUE(std::isfinite(c.waveOffset[k]));
        EXPECT_TRUE(std::isfinite(c.slopeStats[k][0]));
    }
    EXPECT_TRUE(std::isfinite(c.lightDir.x) && std::isfinite(c.lightDir.y));
    EXPECT_FALSE(std::isnan(c.farLimit));

    // No settings or tables at all: a cleared, usable context.
    RenderInputs none;
    none.hostWidth = 10;
    none.hostHeight = 10;
    RenderContext& ctx = *scene.context;
    prepareRenderContext(static_cast<image::TiledImage*>(nullptr), none, ctx);
    CellRecord cell{};
    evaluateSample(3.0, 8.0, ctx, cell, 1);
    EXPECT_NE(cell.kind, kKindUnevaluated);
}

}  // namespace
}  // namespace mirel::render
