// The PSD export of a 12-megapixel 8-bit picture against the render it is
// made of: the export's own cost (the export image, the layer and merged
// planes, the file) should stay within a tenth of the render's. Both go
// through the render entry and the host program's host code; the source is
// loaded before the timing starts.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <memory>
#include <string>

#include "apps/host/filter_host.h"
#include "apps/mirel/image_file.h"
#include "export/psd_export.h"
#include "export/psd_writer.h"
#include "host/plugin_main.h"
#include "host/render_entry.h"

namespace mirel {
namespace {

constexpr std::int32_t kWidth = 4000, kHeight = 3000;

// The sample photograph enlarged to 12 megapixels (nearest neighbour).
host_app::Picture* twelveMegapixels() {
    static std::unique_ptr<host_app::Picture> picture = [] {
        host_app::Picture sample;
        std::string error;
        auto big = std::make_unique<host_app::Picture>();
        if (!host_app::readPicture(MIREL_BENCH_SOURCE_DIR "/examples/aitzgorri_1600.jpg", sample,
                                   error) ||
            sample.channels != 3 || sample.bitsPerChannel != 8 ||
            !host_app::allocatePicture(*big, kWidth, kHeight, 3, 8, error))
            return std::unique_ptr<host_app::Picture>();
        for (std::int32_t y = 0; y < kHeight; ++y)
            for (std::int32_t x = 0; x < kWidth; ++x) {
                const std::uint8_t* from = host_app::pixelAddress(sample, x * sample.width / kWidth,
                                                                  y * sample.height / kHeight);
                std::uint8_t* to = host_app::pixelAddress(*big, x, y);
                to[0] = from[0], to[1] = from[1], to[2] = from[2];
            }
        return big;
    }();
    return picture.get();
}

// CPU seconds of every thread of the process so far: on a shared machine the
// wall time says more about the neighbours than about the export.
double processCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A run set up on the picture with its source loaded.
struct ExportRun {
    hostkit::PluginLibrary unused;  // the host's plug-in library is never called here
    std::unique_ptr<hostkit::FilterHost> host;
    ParameterBlock params{};
    RunState run{};
    FilterContext ctx;

    bool setUp(host_app::Picture& picture) {
        host = std::make_unique<hostkit::FilterHost>(unused, picture, hostkit::HostOptions{});
        initParameterBlock(params);
        initRunStateHeader(run);
        ctx.record = &host->record();
        ctx.params = &params;
        ctx.run = &run;
        run.filterWidth = kWidth;
        run.filterHeight = kHeight;
        return setUpRun(ctx);
    }
    ~ExportRun() { releaseRun(ctx); }
};

void BM_ExportRender(benchmark::State& state) {
    host_app::Picture* picture = twelveMegapixels();
    ExportRun run;
    if (!picture || !run.setUp(*picture)) {
        state.SkipWithError("no picture or no memory");
        return;
    }
    const auto active = run.host->activate();
    auto target = image::create(kWidth, kHeight, image::SampleFormat::Rgba8);
    if (!target || renderForExport(run.ctx, *target, {}) != 0) {  // loads the source
        state.SkipWithError("the render failed");
        return;
    }
    const double cpuBefore = processCpuSeconds();
    for (auto _ : state) {
        if (renderForExport(run.ctx, *target, {}) != 0) state.SkipWithError("the render failed");
    }
    state.counters["megapixels"] = kWidth * kHeight / 1e6;
    state.counters["cpu_s_all_threads"] =
        (processCpuSeconds() - cpuBefore) / double(state.iterations());
}

void BM_PsdExport(benchmark::State& state) {
    host_app::Picture* picture = twelveMegapixels();
    ExportRun run;
    if (!picture || !run.setUp(*picture)) {
        state.SkipWithError("no picture or no memory");
        return;
    }
    const auto active = run.host->activate();
    char folder[] = "/tmp/mirel_psd_bench_XXXXXX";
    if (!::mkdtemp(folder)) {
        state.SkipWithError("no scratch folder");
        return;
    }
    const std::string path = std::string(folder) + "/bench.psd";
    auto warm = image::create(kWidth, kHeight, image::SampleFormat::Rgba8);
    if (!warm || renderForExport(run.ctx, *warm, {}) != 0) {  // loads the source
        state.SkipWithError("the render failed");
        return;
    }
    warm.reset();
    const double cpuBefore = processCpuSeconds();
    for (auto _ : state) {
        if (exportPsd(run.ctx, PsdExportOptions{}, path) != 0)
            state.SkipWithError("the export failed");
    }
    state.counters["cpu_s_all_threads"] =
        (processCpuSeconds() - cpuBefore) / double(state.iterations());
    std::remove(path.c_str());
    ::rmdir(folder);
    state.counters["megapixels"] = kWidth * kHeight / 1e6;
}

BENCHMARK(BM_ExportRender)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_PsdExport)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace
}  // namespace mirel
