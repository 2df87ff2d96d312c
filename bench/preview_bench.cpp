// One preview render of the sample photograph at the zoom that fits it into
// the dialog's pane, in each style, through the render entry and the host
// program's own host code (the source is loaded before the timing starts,
// as the dialog's first preview does once per run).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "apps/host/filter_host.h"
#include "apps/mirel/image_file.h"
#include "host/plugin_main.h"
#include "host/preview_render.h"
#include "host/render_entry.h"
#include "image/preview.h"

namespace mirel {
namespace {

host_app::Picture* samplePhotograph() {
    static std::unique_ptr<host_app::Picture> picture = [] {
        auto read = std::make_unique<host_app::Picture>();
        std::string error;
        if (!host_app::readPicture(MIREL_BENCH_SOURCE_DIR "/examples/aitzgorri_1600.jpg", *read,
                                   error)) {
            read.reset();
        }
        return read;
    }();
    return picture.get();
}

void BM_PreviewAtFitZoom(benchmark::State& state) {
    host_app::Picture* picture = samplePhotograph();
    if (!picture) {
        state.SkipWithError("sample photograph not found");
        return;
    }
    // The render entry talks to the host through the record only; the host's
    // plug-in library is never called here.
    static const hostkit::PluginLibrary unused;
    hostkit::HostOptions options;
    hostkit::FilterHost host(unused, *picture, options);
    const auto activeHost = host.activate();
    ParameterBlock params{};
    RunState run{};
    initParameterBlock(params);
    initRunStateHeader(run);
    FilterContext ctx;
    ctx.record = &host.record();
    ctx.params = &params;
    ctx.run = &run;
    if (!setUpRun(ctx)) {
        state.SkipWithError("no memory for the run");
        return;
    }
    params.settings.waterStyle = static_cast<std::int32_t>(state.range(0));
    params.zoomLevel = image::fitZoomFor(picture->width, picture->height, image::kPreviewPaneWidth,
                                         image::kPreviewPaneHeight);
    renderPreview(ctx);  // loads the source and builds its pyramid
    for (auto _ : state) {
        if (renderPreview(ctx) != 0) state.SkipWithError("the preview render failed");
    }
    const image::PreviewBuffer& preview = ctx.session.preview;
    state.counters["zoom"] = params.zoomLevel;
    state.counters["pixels"] = double(preview.bufferWidth) * preview.bufferHeight;
    state.SetLabel(state.range(0) == kWaterStyleSimple ? "Simple" : "Complex");
    releaseRun(ctx);
}
BENCHMARK(BM_PreviewAtFitZoom)
    ->Arg(kWaterStyleSimple)
    ->Arg(kWaterStyleComplex)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace mirel
