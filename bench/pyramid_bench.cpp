// Pyramid build speed: a 4000 x 3000 picture in each format with 1 and 2 worker
// threads, in megapixels of level 0 per second.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "image/pyramid.h"

namespace {

using mirel::image::SampleFormat;

void fillNoise(mirel::image::TiledImage& image) {
    std::mt19937 random(5);
    for (int y = 0; y < image.baseHeight; ++y) {
        for (int x = 0; x < image.baseWidth; ++x) {
            std::uint8_t* p = mirel::image::pixelAddress(image, x, y, 0);
            for (int i = 0; i < image.bytesPerPixel; i += 4) {
                std::uint32_t word = random();
                if (image.format == SampleFormat::RgbaFloat) {
                    const float f = static_cast<float>(word & 0xffff) / 65536.0f;
                    std::memcpy(&word, &f, 4);
                } else if (image.format == SampleFormat::Rgba16) {
                    word &= 0x7fff7fffu;
                }
                std::memcpy(p + i, &word, 4);
            }
        }
    }
}

void pyramidBuild(benchmark::State& state) {
    const auto format = static_cast<SampleFormat>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    mirel::image::TiledImage image;
    if (!mirel::image::init(image, 4000, 3000, format)) {
        state.SkipWithError("cannot allocate the picture");
        return;
    }
    fillNoise(image);
    const mirel::image::JobRunner run = mirel::image::poolJobRunner(threads);
    for (auto _ : state) {
        mirel::image::buildPyramid(image, run);
        benchmark::ClobberMemory();
    }
    state.counters["MP/s"] = benchmark::Counter(12.0 * static_cast<double>(state.iterations()),
                                                benchmark::Counter::kIsRate);
}

BENCHMARK(pyramidBuild)
    ->ArgNames({"format", "threads"})
    ->ArgsProduct({{3, 4, 9}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
