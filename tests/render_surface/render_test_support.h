// Shared set-up of the render surface tests: settings at their defaults, the noise
// tables of their seed, and a context for a picture of a given size without a store.
#pragma once

#include <memory>

#include "image/noise.h"
#include "render/render_context.h"
#include "render/surface.h"
#include "settings/settings_record.h"

namespace mirel::render::testing {

struct Scene {
    SettingsRecord settings{};
    image::NoiseTables noise{};
    RenderInputs inputs{};
    std::unique_ptr<RenderContext> context = std::make_unique<RenderContext>();

    Scene(int width, int height) {
        fullReset(settings);
        inputs.hostWidth = width;
        inputs.hostHeight = height;
    }
    RenderContext& prepare() {
        image::buildNoiseTables(noise, static_cast<std::uint32_t>(settings.randomSeed));
        inputs.settings = &settings;
        inputs.noise = &noise;
        prepareRenderContext(static_cast<image::TiledImage*>(nullptr), inputs, *context);
        return *context;
    }
    CellRecord sample(double column, double row) {
        CellRecord cell{};
        evaluateSample(column, row, *context, cell,
                       sampleSeed(static_cast<int>(column), static_cast<int>(row)));
        return cell;
    }
};

}  // namespace mirel::render::testing
