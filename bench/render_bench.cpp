// Render engine kernels on the sample photograph's pyramid: surface samples per
// second in each style, and one 64 x 64 tile at each pixel quality.
#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "image/noise.h"
#include "image/pyramid.h"
#include "image/tiled_image.h"
#include "render/cells.h"
#include "render/render_context.h"
#include "render/surface.h"
#include "settings/jpeg_codec.h"
#include "settings/settings_record.h"

namespace mirel::render {
namespace {

// The photograph lives beside the sources; the bench runs from the build tree.
std::string photographPath() {
    for (const char* candidate : {"examples/aitzgorri_1600.jpg", "../examples/aitzgorri_1600.jpg",
                                  "../../examples/aitzgorri_1600.jpg"}) {
        if (std::ifstream(candidate).good()) return candidate;
    }
    return MIREL_BENCH_SOURCE_DIR "/examples/aitzgorri_1600.jpg";
}

std::unique_ptr<image::TiledImage> decodePhotograph() {
    std::ifstream file(photographPath(), std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                    std::istreambuf_iterator<char>());
    if (bytes.empty()) return nullptr;
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    const bool header = jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK;
    const int width = static_cast<int>(info.image_width);
    const int height = static_cast<int>(info.image_height);
    jpeg_destroy_decompress(&info);
    if (!header) return nullptr;
    auto picture = image::create(width, height, image::SampleFormat::Rgba8);
    if (!picture || !decodeJpeg(bytes, *picture)) return nullptr;
    image::buildPyramid(*picture);
    return picture;
}

image::TiledImage* photograph() {
    static std::unique_ptr<image::TiledImage> picture = decodePhotograph();
    return picture.get();
}

// A context for the whole photograph at the default settings in one style.
struct Setup {
    SettingsRecord settings{};
    image::NoiseTables noise{};
    std::unique_ptr<RenderContext> context = std::make_unique<RenderContext>();

    Setup(std::int32_t style, std::int32_t destination) {
        fullReset(settings);
        settings.waterStyle = style;
        image::buildNoiseTables(noise, static_cast<std::uint32_t>(settings.randomSeed));
        RenderInputs inputs;
        inputs.settings = &settings;
        inputs.noise = &noise;
        inputs.destination = destination;
        inputs.hostWidth = photograph()->baseWidth;
        inputs.hostHeight = photograph()->baseHeight;
        prepareRenderContext(photograph(), inputs, *context);
    }
};

void BM_EvaluateSample(benchmark::State& state) {
    if (!photograph()) {
        state.SkipWithError("sample photograph not found");
        return;
    }
    Setup setup(static_cast<std::int32_t>(state.range(0)), kDestinationHostOutput);
    CellRecord cell{};
    // Samples walk a block below the horizon, where both models do their work.
    int column = 0, row = 600;
    for (auto _ : state) {
        evaluateSample(column, row, *setup.context, cell, sampleSeed(column, row));
        benchmark::DoNotOptimize(cell.sourceU);
        if (++column == 1600) column = 0, row = row == 1000 ? 600 : row + 1;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(state.range(0) == kWaterStyleSimple ? "Simple" : "Complex");
}
BENCHMARK(BM_EvaluateSample)->Arg(kWaterStyleSimple)->Arg(kWaterStyleComplex);

// One 64 x 64 tile: quality 2 (Simple preview), 5 (Complex preview) and 3
// (adaptive, both styles), on a tile crossed by the offset line and on one
// wholly in the water.
void BM_RenderTile(benchmark::State& state) {
    if (!photograph()) {
        state.SkipWithError("sample photograph not found");
        return;
    }
    const int quality = static_cast<int>(state.range(0));
    const auto style = static_cast<std::int32_t>(state.range(1));
    const int top = static_cast<int>(state.range(2));
    Setup setup(style, quality == kQualityAdaptive ? kDestinationHostOutput : kDestinationPreview);
    std::vector<CellRecord> cells(66 * 66);
    const TileCells tile = tileCells(cells.data(), 768, top, 832, top + 64);
    for (auto _ : state) {
        setup.context->stats = RenderStats{};
        evaluateCorners(*setup.context, tile);
        evaluatePixels(*setup.context, tile, quality);
        benchmark::DoNotOptimize(cells[100].pixelColour[0]);
    }
    const RenderStats& stats = setup.context->stats;
    state.counters["evaluations"] = static_cast<double>(stats.surfaceEvaluations);
    state.counters["edgePixels"] =
        static_cast<double>(stats.across17 + stats.down17 + stats.grid5x5 + stats.edgeBlendsTried -
                            stats.edgeBlendsFailed);
    state.SetItemsProcessed(state.iterations() * 64 * 64);
    state.SetLabel(std::string(style == kWaterStyleSimple ? "Simple" : "Complex") +
                   (top < 600 ? " across the offset line" : " in the water"));
}
BENCHMARK(BM_RenderTile)
    ->ArgsProduct({{kQualitySingle}, {kWaterStyleSimple}, {512, 800}})
    ->ArgsProduct({{kQualityJittered}, {kWaterStyleComplex}, {512, 800}})
    ->ArgsProduct({{kQualityAdaptive}, {kWaterStyleSimple, kWaterStyleComplex}, {512, 800}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace mirel::render
