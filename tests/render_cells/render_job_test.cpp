// Render jobs on the worker pool over the sample photograph: every tile is
// collected, and the picture does not depend on the number of threads.
#include "render/render_job.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "cells_test_support.h"

namespace mirel::render {
namespace {

using testing::Scene;

struct Rendered {
    std::vector<float> pixels;  // RGBA, row by row
    jobs::TiledJobsResult result;
    RenderStats stats;
    int collected = 0;
};

// The whole photograph at zoom 10 (160 x 107 rendered pixels, six tiles).
Rendered renderPhotograph(Scene& scene, int threads) {
    constexpr int kZoom = 10;
    const int width = scene.source->baseWidth / kZoom;
    const int height = scene.source->baseHeight / kZoom;
    scene.inputs.zoom = kZoom;
    image::buildNoiseTables(scene.noise, static_cast<std::uint32_t>(scene.settings.randomSeed));
    scene.inputs.settings = &scene.settings;
    scene.inputs.noise = &scene.noise;

    Rendered out;
    out.pixels.assign(static_cast<std::size_t>(width) * height * 4, -1.0f);
    RenderRequest request;
    request.inputs = scene.inputs;
    request.source = scene.source;
    request.rect = jobs::JobRect{0, 0, height, width};
    request.threadLimit = threads;
    request.collect = [&](const jobs::TiledJob& job, const RenderContext& context) {
        ++out.collected;
        out.stats.areaSamples += context.stats.areaSamples;
        out.stats.edgeBlendsTried += context.stats.edgeBlendsTried;
        for (int row = job.tile.top; row < job.tile.bottom; ++row) {
            for (int column = job.tile.left; column < job.tile.right; ++column) {
                const float* colour = pixelColourAt(job, column, row);
                std::memcpy(&out.pixels[(static_cast<std::size_t>(row) * width + column) * 4],
                            colour, 4 * sizeof(float));
            }
        }
    };
    out.result = runRenderJobs(request);
    return out;
}

TEST(RenderJobs, PhotographIsIdenticalOnOneTwoAndSevenThreads) {
    auto photograph = testing::samplePhotograph();
    ASSERT_TRUE(photograph);
    struct Case {
        std::int32_t style, destination;
    };
    // The host's adaptive quality in both styles, and the dithered preview.
    for (const Case& c : {Case{kWaterStyleSimple, kDestinationHostOutput},
                          Case{kWaterStyleComplex, kDestinationHostOutput},
                          Case{kWaterStyleComplex, kDestinationPreview}}) {
        Scene scene(photograph.get());
        scene.settings.waterStyle = c.style;
        scene.inputs.destination = c.destination;
        const Rendered one = renderPhotograph(scene, 1);
        EXPECT_EQ(one.result.jobCount, 6);
        EXPECT_EQ(one.collected, 6);
        EXPECT_GT(one.stats.areaSamples, 0);
        if (c.destination == kDestinationHostOutput) {
            EXPECT_GT(one.stats.edgeBlendsTried, 0);  // the offset line crosses the picture
        }
        for (float v : one.pixels) ASSERT_GE(v, 0.0f) << "a pixel was never written";

        for (int threads : {2, 7}) {
            if (c.destination == kDestinationPreview && threads == 2) continue;
            const Rendered many = renderPhotograph(scene, threads);
            EXPECT_EQ(many.collected, 6);
            ASSERT_EQ(many.pixels.size(), one.pixels.size());
            EXPECT_EQ(std::memcmp(many.pixels.data(), one.pixels.data(),
                                  one.pixels.size() * sizeof(float)),
                      0)
                << "style " << c.style << ", destination " << c.destination << " on " << threads
                << " threads";
        }
    }
}

TEST(RenderJobs, RequestWithoutSettingsRendersNothing) {
    RenderRequest request;
    request.rect = jobs::JobRect{0, 0, 10, 10};
    int collected = 0;
    request.collect = [&](const jobs::TiledJob&, const RenderContext&) { ++collected; };
    const jobs::TiledJobsResult result = runRenderJobs(request);
    EXPECT_EQ(result.jobCount, 0);
    EXPECT_EQ(collected, 0);
}

}  // namespace
}  // namespace mirel::render
