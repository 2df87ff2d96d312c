// Water shading and the preview overlays.
#include "render/shading.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "cells_test_support.h"
#include "render/shading_math.h"

namespace mirel::render {
namespace {

using testing::Scene;

TEST(FastPow, FollowsPowWithinItsErrorAndNeverGoesNegative) {
    for (double base : {0.05, 0.2, 0.5, 0.8, 0.99}) {
        for (double exponent : {0.5, 2.6, 4.0}) {
            const double exact = std::pow(base, exponent);
            EXPECT_NEAR(fastPow(base, exponent), exact, 0.25 * exact + 0.02)
                << base << " " << exponent;
        }
    }
    // A tiny base with a large exponent would push the high word below zero.
    EXPECT_EQ(fastPow(1e-300, 4.0), 0.0);
    EXPECT_EQ(fastPow(0.0, 4.0), 0.0);
    EXPECT_EQ(fastPow(-0.5, 2.0), 0.0);
    EXPECT_EQ(fastPow(std::nan(""), 2.0), 0.0);
    EXPECT_TRUE(std::isfinite(fastPow(0.5, -1e30)));
    EXPECT_EQ(fastPow(0.5, std::nan("")), 0.0);
}

TEST(Sparkle, ReadsItsSlopesAlongXAndUpAndVanishesWithLightBehind) {
    const Vec3d up{0.0, 1.0, 0.0};
    // Light and eye straight above: the half vector is the normal, so the slopes
    // are p = 0 and q = 1 (the up axis), nothing is masked and Fresnel gives 0.02.
    constexpr double kPi = 3.14159265358979323846;
    const double expected =
        0.02 * std::exp(-0.5 / 0.09) / (2.0 * kPi * std::sqrt(0.04 * 0.09)) / 4.0;
    EXPECT_NEAR(microfacetSparkle(up, up, up, 0.04, 0.09) / expected, 1.0, 1e-9);
    EXPECT_NEAR(microfacetSparkle(up, up, up, 0.09, 0.04) / expected,
                std::exp(-0.5 / 0.04 + 0.5 / 0.09), 1e-9);

    const Vec3d light = unitVector(Vec3d{0.3, 0.8, 0.2});
    const Vec3d view = unitVector(Vec3d{-0.3, 0.8, -0.2});
    const double mirror = microfacetSparkle(light, view, up, 0.04, 0.04);
    EXPECT_GT(mirror, 0.0);
    EXPECT_TRUE(std::isfinite(mirror));
    EXPECT_EQ(microfacetSparkle(Vec3d{0.0, -1.0, 0.0}, view, up, 0.04, 0.04), 0.0);
    // Spreads below the floor are held there; opposite light and view have no half vector.
    EXPECT_DOUBLE_EQ(microfacetSparkle(light, view, up, 0.0, 0.0), mirror);
    EXPECT_EQ(microfacetSparkle(light, Vec3d{-light.x, -light.y, -light.z}, up, 0.04, 0.04), 0.0);
    for (double x : {0.01, 0.5, 0.999, 1.0}) {
        const double lambda = smithLambda(x, 0.04);
        EXPECT_GE(lambda, 0.0);
        EXPECT_TRUE(std::isfinite(lambda));
    }
}

TEST(ShadeSample, SimpleWaterWeightMixesTheWaterColourAndThePicture) {
    Scene scene(nullptr);
    RenderContext& context = scene.prepare();
    CellRecord cell{};
    cell.kind = kKindSimpleWater;
    const image::Rgba picture{0.9f, 0.1f, 0.4f, 1.0f};

    cell.waterWeight = 0.0f;
    image::Rgba colour = picture;
    shadeSample(colour, cell, context);
    EXPECT_FLOAT_EQ(colour.r, context.waterRgba[0]);
    EXPECT_FLOAT_EQ(colour.g, context.waterRgba[1]);
    EXPECT_FLOAT_EQ(colour.b, context.waterRgba[2]);
    EXPECT_FLOAT_EQ(colour.a, 1.0f);

    cell.waterWeight = 1.0f;
    colour = picture;
    shadeSample(colour, cell, context);
    EXPECT_FLOAT_EQ(colour.r, picture.r);
    EXPECT_FLOAT_EQ(colour.g, picture.g);
    EXPECT_FLOAT_EQ(colour.b, picture.b);

    // Dry samples keep the picture whatever their weight says.
    cell.kind = kKindSimpleDry;
    cell.waterWeight = 0.0f;
    colour = picture;
    shadeSample(colour, cell, context);
    EXPECT_FLOAT_EQ(colour.r, picture.r);
}

// A Complex water sample seen along `ray` on flat water.
CellRecord complexSample(const Vec3d& ray) {
    CellRecord cell{};
    cell.kind = kKindComplexWater;
    cell.hitNormal = Vec3d{0.0, 1.0, 0.0};
    cell.rayDir = unitVector(ray);
    cell.negRay = Vec3d{-cell.rayDir.x, -cell.rayDir.y, -cell.rayDir.z};
    cell.slopeSpread[0] = cell.slopeSpread[1] = kMinSlopeSpread;
    return cell;
}

TEST(ShadeSample, ComplexGrazingRaysShowThePictureAndSteepRaysTheWater) {
    Scene scene(nullptr);
    scene.settings.glitterColor = Rgb16{0, 0, 0};  // no sparkle in the way
    scene.settings.brilliance = 100.0f;            // contrast curve off: k = 1
    RenderContext& context = scene.prepare();
    const image::Rgba picture{0.8f, 0.8f, 0.8f, 1.0f};

    image::Rgba grazing = picture;
    shadeSample(grazing, complexSample(Vec3d{0.0, -0.02, 1.0}), context);
    image::Rgba steep = picture;
    shadeSample(steep, complexSample(Vec3d{0.0, -1.0, 0.05}), context);

    EXPECT_NEAR(grazing.g, picture.g, 0.12);
    EXPECT_NEAR(steep.g, context.waterThird[1], 0.05);
    EXPECT_GT(grazing.g, steep.g + 0.4);
}

TEST(ShadeSample, DefaultBacklitWaterOnGreyIsNotWashedOutBySparkle) {
    // The default light stands ahead and to the left, so the left of the water
    // faces it. The sparkle must stay a sheen there: only the glints of single
    // wave faces may reach white, never a broad field of it.
    Scene scene(nullptr);
    scene.inputs.hostWidth = 1600;
    scene.inputs.hostHeight = 1065;
    RenderContext& context = scene.prepare();
    int water = 0, white = 0, whiteLeft = 0, waterLeft = 0;
    for (int row = 540; row < 1065; row += 12) {
        for (int column = 0; column < 1600; column += 12) {
            CellRecord cell{};
            evaluateSample(column, row, context, cell, sampleSeed(column, row));
            if (cell.kind != kKindComplexWater) continue;
            image::Rgba colour{0.5f, 0.5f, 0.5f, 1.0f};
            shadeSample(colour, cell, context);
            const bool washedOut = colour.r == 1.0f && colour.g == 1.0f && colour.b == 1.0f;
            ++water;
            white += washedOut ? 1 : 0;
            if (column < 640) {
                ++waterLeft;
                whiteLeft += washedOut ? 1 : 0;
            }
        }
    }
    ASSERT_GT(waterLeft, 1000);
    EXPECT_LT(white, water / 20);
    EXPECT_LT(whiteLeft, waterLeft / 10);
}

TEST(ShadeSample, ClampsUnlessHighDynamicRange) {
    Scene scene(nullptr);
    RenderContext& context = scene.prepare();
    const CellRecord cell = complexSample(Vec3d{0.0, -0.02, 1.0});
    const image::Rgba bright{40.0f, 40.0f, 40.0f, 1.0f};

    image::Rgba clamped = bright;
    shadeSample(clamped, cell, context);
    EXPECT_EQ(clamped.r, 1.0f);

    context.highDynamicRange = true;
    image::Rgba open = bright;
    shadeSample(open, cell, context);
    EXPECT_GT(open.r, 1.0f);
    EXPECT_TRUE(std::isfinite(open.r));
}

TEST(DrawOverlays, CrossIsElevenByOneWhiteOnThirteenByThreeBlack) {
    Scene scene(nullptr);
    scene.inputs.destination = kDestinationPreview;
    RenderContext& context = scene.prepare();
    context.centrePixelX = 20;
    context.centrePixelY = 30;
    int white = 0, black = 0, whiteRow = 0, whiteColumn = 0;
    for (int row = 0; row < 60; ++row) {
        for (int column = 0; column < 40; ++column) {
            image::Rgba colour{0.5f, 0.5f, 0.5f, 1.0f};
            drawOverlays(colour, column, row, nullptr, context);
            if (colour.r > 0.8f) {
                ++white;
                whiteRow += row == 30;
                whiteColumn += column == 20;
            } else if (colour.r < 0.2f) {
                ++black;
            }
        }
    }
    EXPECT_EQ(whiteRow, 11);
    EXPECT_EQ(whiteColumn, 11);
    EXPECT_EQ(white, 21);                      // two arms of 11 sharing the centre
    EXPECT_EQ(white + black, 13 * 3 * 2 - 9);  // two 13 x 3 bars sharing a 3 x 3 square

    // Only the preview draws.
    context.destination = kDestinationHostOutput;
    image::Rgba colour{0.5f, 0.5f, 0.5f, 1.0f};
    drawOverlays(colour, 20, 30, nullptr, context);
    EXPECT_EQ(colour.r, 0.5f);
}

TEST(DrawOverlays, HorizonLineIsMagentaAndFadesWithinAPixel) {
    Scene scene(nullptr);
    scene.inputs.destination = kDestinationPreview;
    scene.settings.offset = 50.0f;  // the offset line away from the horizon
    RenderContext& context = scene.prepare();
    context.centrePixelX = context.centrePixelY = -1000;
    CellRecord cell{};
    // Where the dash is fully on: sin(width * h / 2) = 1.
    cell.spunH = std::acos(-1.0) / context.storeWidth;
    cell.spunV = context.horizonY;
    image::Rgba on{0.0f, 0.0f, 0.0f, 1.0f};
    drawOverlays(on, 0, 0, &cell, context);
    EXPECT_FLOAT_EQ(on.r, 1.0f);
    EXPECT_FLOAT_EQ(on.g, 0.0f);
    EXPECT_FLOAT_EQ(on.b, 1.0f);

    cell.spunV = context.horizonY + 2.5 / context.storeWidth;  // past the fade
    image::Rgba off{0.0f, 0.0f, 0.0f, 1.0f};
    drawOverlays(off, 0, 0, &cell, context);
    EXPECT_EQ(off.r, 0.0f);
}

}  // namespace
}  // namespace mirel::render
