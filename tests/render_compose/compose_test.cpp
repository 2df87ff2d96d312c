// Tile composition: the steps around the output mode, the preview's
// checkerboard, the selection and the walk over a job's tile.
#include "render/compose.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "render/render_job.h"
#include "render/surface.h"

namespace mirel::render {
namespace {

using image::Rgba;

constexpr float kTolerance = 1e-5f;

void expectRgba(const Rgba& actual, const Rgba& expected, float tolerance = kTolerance) {
    EXPECT_NEAR(actual.r, expected.r, tolerance);
    EXPECT_NEAR(actual.g, expected.g, tolerance);
    EXPECT_NEAR(actual.b, expected.b, tolerance);
    EXPECT_NEAR(actual.a, expected.a, tolerance);
}

ComposeSettings hostSettings(std::int32_t mode = 1) {
    ComposeSettings settings;
    settings.outputMode = mode;
    settings.destination = kDestinationHostOutput;
    return settings;
}

TEST(ComposeEffect, AlphaIsLiftedSoNearlyOpaqueWaterBecomesOpaque) {
    const ComposeSettings settings = hostSettings();
    EXPECT_FLOAT_EQ(prepareEffect({0.5f, 0.5f, 0.5f, 0.995f}, settings).a, 1.0f);
    EXPECT_NEAR(prepareEffect({0.5f, 0.5f, 0.5f, 0.5f}, settings).a, 0.5035f, 1e-6f);
    EXPECT_FLOAT_EQ(prepareEffect({0.5f, 0.5f, 0.5f, -0.2f}, settings).a, 0.0f);
    const Rgba raised = prepareEffect({-0.3f, 0.2f, -1.0f, 1.0f}, settings);
    EXPECT_FLOAT_EQ(raised.r, 0.0f);
    EXPECT_FLOAT_EQ(raised.b, 0.0f);
}

TEST(ComposeEffect, OverRangeLightSpreadsIntoTheOtherChannels) {
    const float unit = 60.0f / 256.0f;
    // One bright channel: the other two share its excess.
    expectRgba(spreadOverRangeLight({1.5f, 0.2f, 0.4f, 1.0f}),
               {1.5f, 0.2f + 0.25f * unit, 0.4f + 0.25f * unit, 1.0f});
    // Two bright channels: the third receives all of it.
    expectRgba(spreadOverRangeLight({0.1f, 1.5f, 1.2f, 1.0f}),
               {0.1f + 0.7f * unit, 1.5f, 1.2f, 1.0f});
    // A share that pushes the first channel over 1 moves its excess on to the second.
    const float first = 0.99f + 1.5f * unit;
    expectRgba(spreadOverRangeLight({0.99f, 0.1f, 4.0f, 1.0f}),
               {first, 0.1f + 1.5f * unit + (first - 1.0f), 4.0f, 1.0f});
    // None or all three: unchanged.
    expectRgba(spreadOverRangeLight({0.3f, 0.6f, 1.0f, 0.5f}), {0.3f, 0.6f, 1.0f, 0.5f});
    expectRgba(spreadOverRangeLight({1.3f, 1.6f, 1.1f, 1.0f}), {1.3f, 1.6f, 1.1f, 1.0f});
}

TEST(ComposeEffect, GreyTargetsTakeTheWeightedGrey) {
    ComposeSettings settings = hostSettings();
    settings.greyTarget = true;
    const Rgba grey = prepareEffect({1.0f, 0.5f, 0.0f, 1.0f}, settings);
    EXPECT_NEAR(grey.r, 0.595f, 1e-6f);
    EXPECT_FLOAT_EQ(grey.r, grey.g);
    EXPECT_FLOAT_EQ(grey.g, grey.b);
}

TEST(ComposePixel, NormalModeGivesTheEffectAndOtherModesBlend) {
    const Rgba effect{0.25f, 0.5f, 0.75f, 1.0f};
    const Rgba source{0.5f, 0.5f, 0.5f, 1.0f};
    expectRgba(composePixel(hostSettings(1), 0, 0, effect, source, 1.0f), effect);
    // Multiply: E * S in the 32768 scale.
    expectRgba(composePixel(hostSettings(9), 0, 0, effect, source, 1.0f),
               {0.125f, 0.25f, 0.375f, 1.0f}, 1e-4f);
}

TEST(ComposePixel, HighDynamicRangeSkipsTheModeAndKeepsBrightLight) {
    ComposeSettings settings = hostSettings(9);
    settings.highDynamicRange = true;
    settings.layerTakesTransparency = true;
    const Rgba result =
        composePixel(settings, 0, 0, {3.0f, 0.5f, 1e9f, 0.5f}, {0.5f, 0.5f, 0.5f, 1.0f}, 1.0f);
    expectRgba(result, {3.0f, 0.5f, kHighDynamicRangeMax, 0.5f});
    // Without a transparency plane a translucent pixel is laid over the picture,
    // whose own light above 1 is kept.
    settings.layerTakesTransparency = false;
    expectRgba(
        composePixel(settings, 0, 0, {3.0f, 1.0f, 0.0f, 0.5f}, {1.0f, 1.0f, 2.0f, 1.0f}, 1.0f),
        {2.0f, 1.0f, 1.0f, 1.0f});
}

TEST(ComposePixel, TranslucentResultsAreLaidOverThePictureWhereTheLayerHasNoTransparency) {
    const Rgba effect{1.0f, 0.0f, 0.0f, 0.25f / kAlphaLift};
    const Rgba source{0.0f, 0.0f, 1.0f, 1.0f};
    expectRgba(composePixel(hostSettings(), 0, 0, effect, source, 1.0f), {0.25f, 0.0f, 0.75f, 1.0f},
               1e-5f);

    ComposeSettings layer = hostSettings();
    layer.layerTakesTransparency = true;
    expectRgba(composePixel(layer, 0, 0, effect, source, 1.0f), {1.0f, 0.0f, 0.0f, 0.25f}, 1e-5f);

    // Nothing over a transparent picture stays transparent, without a division by zero.
    const Rgba clear = composePixel(hostSettings(), 0, 0, {1.0f, 1.0f, 1.0f, 0.0f},
                                    {0.2f, 0.4f, 0.6f, 0.0f}, 1.0f);
    expectRgba(clear, {0.2f, 0.4f, 0.6f, 0.0f});
}

TEST(ComposePixel, ResultsAreHeldToTheStoredRange) {
    // Screen of two bright values would pass 1 without the final limit; a NaN
    // source must not reach the store either.
    const Rgba result = composePixel(hostSettings(10), 0, 0, {0.9f, 0.9f, 0.9f, 1.0f},
                                     {2.0f, std::nanf(""), 0.5f, 1.0f}, 1.0f);
    EXPECT_LE(result.r, 1.0f);
    EXPECT_GE(result.g, 0.0f);
    EXPECT_LE(result.g, 1.0f);
}

TEST(ComposePixel, PreviewShowsTheCheckerboardUnderTransparency) {
    ComposeSettings preview = hostSettings();
    preview.destination = kDestinationPreview;
    const Rgba clear{0.3f, 0.3f, 0.3f, 0.0f};
    const Rgba source{0.5f, 0.5f, 0.5f, 1.0f};
    expectRgba(composePixel(preview, 0, 0, clear, source, 1.0f), {1.0f, 1.0f, 1.0f, 1.0f});
    expectRgba(composePixel(preview, 8, 0, clear, source, 1.0f), {0.8f, 0.8f, 0.8f, 1.0f});
    expectRgba(composePixel(preview, 7, 15, clear, source, 1.0f), {0.8f, 0.8f, 0.8f, 1.0f});
    expectRgba(composePixel(preview, 8, 8, clear, source, 1.0f), {1.0f, 1.0f, 1.0f, 1.0f});
    // A translucent effect mixes with the checker, and the preview is opaque.
    const Rgba half =
        composePixel(preview, 8, 0, {0.0f, 0.0f, 0.0f, 0.5f / kAlphaLift}, source, 1.0f);
    expectRgba(half, {0.4f, 0.4f, 0.4f, 1.0f}, 1e-5f);
}

TEST(ComposePixel, SelectionMixesBackTowardsThePicture) {
    const Rgba effect{1.0f, 1.0f, 1.0f, 1.0f};
    const Rgba source{0.2f, 0.4f, 0.6f, 1.0f};
    expectRgba(composePixel(hostSettings(), 0, 0, effect, source, 0.0f), source);
    expectRgba(composePixel(hostSettings(), 0, 0, effect, source, 0.5f), {0.6f, 0.7f, 0.8f, 1.0f});
    // In the preview the picture is first laid over the checkerboard.
    ComposeSettings preview = hostSettings();
    preview.destination = kDestinationPreview;
    expectRgba(composePixel(preview, 8, 0, effect, {0.0f, 0.0f, 0.0f, 0.5f}, 0.0f),
               {0.4f, 0.4f, 0.4f, 1.0f});
}

// A target that records what composeTile hands it.
class RecordingTarget final : public ComposeTarget {
  public:
    explicit RecordingTarget(std::int32_t width, std::int32_t height)
        : width_(width), writes(std::size_t(width * height), 0), stored(writes.size()) {}
    Rgba readSource(std::int32_t x, std::int32_t y) override {
        return {float(x) / 64.0f, float(y) / 64.0f, 0.0f, 1.0f};
    }
    float maskAt(std::int32_t x, std::int32_t) override { return x < 2 ? 0.0f : 1.0f; }
    void writeResult(std::int32_t x, std::int32_t y, const Rgba& rgba) override {
        const std::size_t at = std::size_t(y * width_ + x);
        ++writes.at(at);
        stored.at(at) = rgba;
    }
    std::int32_t width_;
    std::vector<int> writes;
    std::vector<Rgba> stored;
};

TEST(ComposeTile, EveryPixelOfTheTileIsComposedOnceAtItsPlace) {
    // A 5 x 3 tile at column 64, row 128 of the rendered rectangle.
    jobs::TiledJob job;
    job.tile = jobs::JobRect{128, 64, 131, 69};
    std::vector<CellRecord> cells(std::size_t(7 * 5));
    job.grid.cells = cells.data();
    job.grid.columns = 7;
    job.grid.rows = 5;
    job.grid.bytes = cells.size() * sizeof(CellRecord);
    for (std::int32_t row = 128; row < 131; ++row) {
        for (std::int32_t column = 64; column < 69; ++column) {
            CellRecord* cell = cellAt(jobCells(job), column, row);
            ASSERT_NE(cell, nullptr);
            cell->pixelColour[0] = 1.0f;
            cell->pixelColour[1] = 1.0f;
            cell->pixelColour[2] = float(column - 64) / 8.0f;
            cell->pixelColour[3] = 1.0f;
        }
    }
    RecordingTarget target(5, 3);
    composeTile(job, hostSettings(), target);
    for (std::int32_t y = 0; y < 3; ++y) {
        for (std::int32_t x = 0; x < 5; ++x) {
            const std::size_t at = std::size_t(y * 5 + x);
            EXPECT_EQ(target.writes[at], 1) << x << "," << y;
            const Rgba expected = x < 2 ? Rgba{float(x) / 64.0f, float(y) / 64.0f, 0.0f, 1.0f}
                                        : Rgba{1.0f, 1.0f, float(x) / 8.0f, 1.0f};
            expectRgba(target.stored[at], expected);
        }
    }
}

TEST(ComposeTile, AJobWithoutCellsComposesNothing) {
    jobs::TiledJob job;
    job.tile = jobs::JobRect{0, 0, 4, 4};
    RecordingTarget target(4, 4);
    composeTile(job, hostSettings(), target);
    for (int count : target.writes) EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace mirel::render
