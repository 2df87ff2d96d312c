// Pixel evaluation over the cell grid: which path each pixel takes and what it
// costs, and what the edge blend and the patterns make of it.
#include <gtest/gtest.h>

#include <cmath>

#include "cells_test_support.h"

namespace mirel::render {
namespace {

using testing::Scene;
using testing::TileGrid;
using testing::uniformPicture;

constexpr float kR = 200.0f / 255.0f, kG = 100.0f / 255.0f, kB = 50.0f / 255.0f;

TEST(CellGrid, CornersMapToGridCellsAndMissOutsideIt) {
    TileGrid grid(64, 128, 128, 160);
    EXPECT_EQ(grid.tile.columns, 66);
    EXPECT_EQ(grid.tile.rows, 34);
    EXPECT_EQ(cellAt(grid.tile, 63, 127), grid.cells.data());
    EXPECT_EQ(cellAt(grid.tile, 64, 127), grid.cells.data() + 1);
    EXPECT_EQ(cellAt(grid.tile, 63, 128), grid.cells.data() + 66);
    EXPECT_EQ(cellAt(grid.tile, 62, 127), nullptr);
    EXPECT_EQ(cellAt(grid.tile, 63, 126), nullptr);
    EXPECT_EQ(cellAt(grid.tile, 129, 161), nullptr);
    EXPECT_NE(cellAt(grid.tile, 128, 160), nullptr);
    // Keys tell kinds, outside flags and region tags apart.
    EXPECT_NE(cornerKey(2, 0, 0), cornerKey(2, 0, 1));
    EXPECT_NE(cornerKey(2, 0, 0), cornerKey(3, 0, 0));
    EXPECT_NE(cornerKey(kKindOutsideGrid, kRegionOutsideGrid, 0), cornerKey(2, 0, 0));
}

TEST(EvaluatePixel, UniformTileTakesOneAreaSamplePerPixel) {
    auto picture = uniformPicture(64, 64, 200, 100, 50);
    for (int style : {kWaterStyleSimple, kWaterStyleComplex}) {
        Scene scene(picture.get());
        scene.settings.waterStyle = style;
        RenderContext& context = scene.prepare();
        ASSERT_EQ(qualityFor(context), kQualityAdaptive);
        // Above the horizon, away from the picture's edges: every corner is
        // dry (or shows no water) and reads inside the picture.
        TileGrid grid(16, 0, 32, 16);
        renderTileCells(context, grid.tile);

        EXPECT_EQ(context.stats.areaSamples, 16 * 16) << "style " << style;
        EXPECT_EQ(context.stats.pointSamples, 0);
        EXPECT_EQ(context.stats.edgeBlendsTried, 0);
        EXPECT_EQ(context.stats.surfaceEvaluations, 17 * 17 + 16 * 16);  // corners, centres
        for (int b = 0; b < 16; ++b) {
            for (int a = 16; a < 32; ++a) {
                const float* c = grid.colour(a, b);
                ASSERT_NEAR(c[0], kR, 1e-3f) << a << "," << b;
                ASSERT_NEAR(c[1], kG, 1e-3f);
                ASSERT_NEAR(c[2], kB, 1e-3f);
                ASSERT_NEAR(c[3], 1.0f, 1e-3f);
            }
        }
    }
}

TEST(EvaluatePixel, OffsetLineThroughARowIsBlendedByArea) {
    auto picture = uniformPicture(64, 64, 200, 100, 50);
    Scene scene(picture.get());
    scene.settings.waterStyle = kWaterStyleSimple;
    scene.settings.waviness = 0.0f;  // a flat mirror, no ripples: one straight boundary
    scene.settings.size = 0.0f;
    scene.settings.brilliance = 0.0f;  // half water colour near the horizon
    RenderContext& context = scene.prepare();
    // The line sits at y = 0.495, 0.68 of the way from corner row 30 to 31.
    TileGrid grid(0, 24, 64, 40);
    renderTileCells(context, grid.tile);

    EXPECT_EQ(context.stats.edgeBlendsTried, 64);
    EXPECT_EQ(context.stats.edgeBlendsFailed, 0);
    EXPECT_EQ(context.stats.across17 + context.stats.down17 + context.stats.grid5x5, 0);
    for (int a = 0; a < 64; ++a) {
        const float* dry = grid.colour(a, 30);
        const float* edge = grid.colour(a, 31);
        const float* wet = grid.colour(a, 32);
        ASSERT_NEAR(dry[0], kR, 1e-3f);
        ASSERT_GT(std::fabs(wet[0] - dry[0]), 0.05f);  // the water colour shows
        for (int k = 0; k < 3; ++k) {
            const float expected = dry[k] + (wet[k] - dry[k]) * 0.32f;
            ASSERT_NEAR(edge[k], expected, 0.02f) << "column " << a << " channel " << k;
        }
    }
}

// Sets the four corners of pixel (a, b) to the given kinds.
void setCorners(TileGrid& grid, int a, int b, const int kinds[4]) {
    const int columns[4] = {a - 1, a, a - 1, a};
    const int rows[4] = {b - 1, b - 1, b, b};
    for (int k = 0; k < 4; ++k) {
        CellRecord* cell = cellAt(grid.tile, columns[k], rows[k]);
        *cell = CellRecord{};
        cell->kind = kinds[k];
        cell->sourceU = cell->sourceV = 0.5f;
    }
}

TEST(EvaluatePixel, FourDifferentCornerKindsTake25Samples) {
    auto picture = uniformPicture(64, 64, 200, 100, 50);
    Scene scene(picture.get());
    scene.settings.waterStyle = kWaterStyleSimple;
    RenderContext& context = scene.prepare();
    TileGrid grid(8, 8, 9, 9);
    const int kinds[4] = {kKindSimpleWater, kKindSimpleDry, kKindComplexWater, kKindComplexDry};
    setCorners(grid, 8, 8, kinds);

    evaluatePixel(context, grid.tile, 8, 8, kQualityAdaptive);
    EXPECT_EQ(context.stats.grid5x5, 1);
    EXPECT_EQ(context.stats.pointSamples, 25);
    EXPECT_EQ(context.stats.surfaceEvaluations, 25);
    EXPECT_EQ(context.stats.edgeBlendsTried, 0);

    // The preview's quality takes one area sample whatever the corners say.
    context.stats = RenderStats{};
    evaluatePixel(context, grid.tile, 8, 8, kQualitySingle);
    EXPECT_EQ(context.stats.areaSamples, 1);
    EXPECT_EQ(context.stats.surfaceEvaluations, 0);
}

TEST(EvaluatePixel, DiagonalCornersAreSupersampledAndOneOddCornerIsBlended) {
    auto picture = uniformPicture(64, 64, 200, 100, 50);
    Scene scene(picture.get());
    scene.settings.waterStyle = kWaterStyleSimple;
    RenderContext& context = scene.prepare();
    TileGrid grid(8, 8, 9, 9);
    const int diagonal[4] = {kKindSimpleWater, kKindSimpleDry, kKindSimpleDry, kKindSimpleWater};
    setCorners(grid, 8, 8, diagonal);
    evaluatePixel(context, grid.tile, 8, 8, kQualityAdaptive);
    EXPECT_EQ(context.stats.edgeBlendsTried, 0);
    EXPECT_EQ(context.stats.grid5x5, 1);

    // Above the horizon every probe is dry: the boundary round a lone wet
    // corner closes in on the corner and the blend keeps the dry picture.
    context.stats = RenderStats{};
    const int oddCorner[4] = {kKindSimpleWater, kKindSimpleDry, kKindSimpleDry, kKindSimpleDry};
    setCorners(grid, 8, 8, oddCorner);
    image::Rgba colour = evaluatePixel(context, grid.tile, 8, 8, kQualityAdaptive);
    EXPECT_EQ(context.stats.edgeBlendsTried, 1);
    EXPECT_EQ(context.stats.edgeBlendsFailed, 0);
    EXPECT_EQ(context.stats.grid5x5, 0);
    EXPECT_EQ(context.stats.surfaceEvaluations, 12);  // six per crossed edge
    EXPECT_NEAR(colour.r, kR, 2e-3f);

    // Probes that match neither region make the blend fail: supersampled instead.
    context.stats = RenderStats{};
    const int foreign[4] = {kKindSimpleWater, kKindComplexDry, kKindComplexDry, kKindComplexDry};
    setCorners(grid, 8, 8, foreign);
    colour = evaluatePixel(context, grid.tile, 8, 8, kQualityAdaptive);
    EXPECT_EQ(context.stats.edgeBlendsTried, 1);
    EXPECT_EQ(context.stats.edgeBlendsFailed, 1);
    EXPECT_EQ(context.stats.grid5x5, 1);
    EXPECT_NEAR(colour.r, kR, 1e-3f);  // all 25 probes read the uniform picture
}

TEST(SupersamplePixel, TwoByTwoOnUniformPictureKeepsItsColour) {
    auto picture = uniformPicture(64, 64, 200, 100, 50);
    Scene scene(picture.get());
    RenderContext& context = scene.prepare();
    TileGrid grid(4, 4, 8, 8);
    evaluateCorners(context, grid.tile);
    const image::Rgba colour = supersamplePixel(context, grid.tile, 5, 5, SamplePattern::Grid2x2);
    EXPECT_EQ(context.stats.grid2x2, 1);
    EXPECT_EQ(context.stats.pointSamples, 4);
    EXPECT_NEAR(colour.r, kR, 1e-3f);
    EXPECT_NEAR(colour.g, kG, 1e-3f);
    EXPECT_NEAR(colour.a, 1.0f, 1e-3f);
}

TEST(EvaluatePixel, ComplexWaterReadsEachCornerOnceAndAReusedGridKeepsNoneOfItsSamples) {
    auto picture = testing::samplePhotograph();
    ASSERT_TRUE(picture);
    Scene scene(picture.get());
    scene.settings.waterStyle = kWaterStyleComplex;
    RenderContext& context = scene.prepare();
    // 32 x 16 pixels of open water near the bottom of the photograph.
    const std::int32_t left = 400, top = picture->baseHeight - 40;
    TileGrid fresh(left, top, left + 32, top + 16);
    renderTileCells(context, fresh.tile);
    // Most pixels are the mean of their four corners, and a corner is read by up to four
    // of them: without sharing, 4 reads a pixel.
    EXPECT_GT(context.stats.singleSample, 32 * 16 * 3 / 4);
    EXPECT_LT(context.stats.areaSamples, 2 * context.stats.singleSample)
        << context.stats.singleSample;

    // A grid that rendered another stretch of water first gives the same pixels, bit for
    // bit: none of its corner samples survive into the next tile.
    TileGrid reused(left + 64, top - 16, left + 96, top);
    renderTileCells(context, reused.tile);
    reused.tile = tileCells(reused.cells.data(), left, top, left + 32, top + 16);
    renderTileCells(context, reused.tile);
    for (std::int32_t b = top; b < top + 16; ++b) {
        for (std::int32_t a = left; a < left + 32; ++a) {
            for (int k = 0; k < 4; ++k) {
                ASSERT_EQ(reused.colour(a, b)[k], fresh.colour(a, b)[k]) << a << "," << b;
            }
        }
    }
}

TEST(EvaluatePixel, PreviewQualityFollowsTheStyle) {
    Scene scene(nullptr);
    scene.settings.waterStyle = kWaterStyleSimple;
    scene.inputs.destination = kDestinationPreview;
    EXPECT_EQ(qualityFor(scene.prepare()), kQualitySingle);
    scene.settings.waterStyle = kWaterStyleComplex;
    EXPECT_EQ(qualityFor(scene.prepare()), kQualityJittered);
    scene.inputs.destination = kDestinationExport;
    EXPECT_EQ(qualityFor(scene.prepare()), kQualityAdaptive);
}

}  // namespace
}  // namespace mirel::render
