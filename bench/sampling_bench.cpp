// Filtered sampling kernels: filteredRead, trilinearRead and a typical area
// lookup, in reads per second for each sample format.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "image/footprint.h"
#include "image/pyramid.h"
#include "image/sampling.h"

namespace {

using namespace mirel::image;

constexpr int kSize = 2048;
constexpr int kPositions = 4096;

SampleFormat formatOf(const benchmark::State& state) {
    switch (state.range(0)) {
        case 0:
            return SampleFormat::Rgba8;
        case 1:
            return SampleFormat::Rgba16;
        default:
            return SampleFormat::RgbaFloat;
    }
}

const char* formatName(SampleFormat format) {
    switch (format) {
        case SampleFormat::Rgba8:
            return "Rgba8";
        case SampleFormat::Rgba16:
            return "Rgba16";
        case SampleFormat::RgbaFloat:
            return "RgbaFloat";
    }
    return "";
}

// One busy picture per format, built once and shared by the kernels.
const TiledImage& pictureFor(SampleFormat format) {
    static std::unique_ptr<TiledImage> images[3];
    const int slot = format == SampleFormat::Rgba8 ? 0 : (format == SampleFormat::Rgba16 ? 1 : 2);
    if (!images[slot]) {
        images[slot] = create(kSize, kSize, format);
        for (int y = 0; y < kSize; ++y) {
            for (int x = 0; x < kSize; ++x) {
                const std::uint32_t h = (static_cast<std::uint32_t>(x) * 2654435761u) ^
                                        (static_cast<std::uint32_t>(y) * 40503u);
                writePixel(*images[slot], x, y, 0,
                           Rgba{float(h & 255) / 255.0f, float(x & 255) / 255.0f,
                                float(y & 255) / 255.0f, 1.0f});
            }
        }
        buildPyramid(*images[slot]);
    }
    return *images[slot];
}

// Positions as a render visits them: along rows, about 0.8 pixel apart with a
// wobble, so that neighbouring reads share cache lines. `scale` is the picture
// size in the positions' unit (pixels or 1 for normalised).
std::vector<float> positions(float scale) {
    std::vector<float> p(2 * kPositions);
    std::uint32_t s = 12345u;
    auto next = [&s] {
        s = s * 1664525u + 1013904223u;
        return static_cast<float>(s >> 8) / 16777216.0f;
    };
    float x = 0.0f, y = 100.0f;
    for (int i = 0; i < kPositions; ++i) {
        x += 0.5f + 0.6f * next();
        if (x >= kSize - 1) {
            x = 0.0f;
            y += 7.0f;
        }
        p[2 * i] = x / kSize * scale;
        p[2 * i + 1] = (y + 2.0f * next()) / kSize * scale;
    }
    return p;
}

// Positions anywhere in the picture: every read misses the cache.
std::vector<float> scatteredPositions(float scale) {
    std::vector<float> p(2 * kPositions);
    std::uint32_t s = 777u;
    for (float& v : p) {
        s = s * 1664525u + 1013904223u;
        v = static_cast<float>(s >> 8) / 16777216.0f * scale;
    }
    return p;
}

void BM_filteredRead(benchmark::State& state) {
    const SampleFormat format = formatOf(state);
    const TiledImage& image = pictureFor(format);
    const std::vector<float> p = positions(static_cast<float>(kSize));
    for (auto _ : state) {
        for (int i = 0; i < kPositions; ++i)
            benchmark::DoNotOptimize(filteredRead(image, 0, p[2 * i], p[2 * i + 1]));
    }
    state.SetItemsProcessed(state.iterations() * kPositions);
    state.SetLabel(formatName(format));
}
BENCHMARK(BM_filteredRead)->DenseRange(0, 2);

void BM_filteredReadScattered(benchmark::State& state) {
    const SampleFormat format = formatOf(state);
    const TiledImage& image = pictureFor(format);
    const std::vector<float> p = scatteredPositions(static_cast<float>(kSize));
    for (auto _ : state) {
        for (int i = 0; i < kPositions; ++i)
            benchmark::DoNotOptimize(filteredRead(image, 0, p[2 * i], p[2 * i + 1]));
    }
    state.SetItemsProcessed(state.iterations() * kPositions);
    state.SetLabel(formatName(format));
}
BENCHMARK(BM_filteredReadScattered)->DenseRange(0, 2);

void BM_trilinearRead(benchmark::State& state) {
    const SampleFormat format = formatOf(state);
    const TiledImage& image = pictureFor(format);
    const std::vector<float> p = positions(1.0f);
    for (auto _ : state) {
        for (int i = 0; i < kPositions; ++i)
            benchmark::DoNotOptimize(trilinearRead(image, 1, 0.3f, p[2 * i], p[2 * i + 1]));
    }
    state.SetItemsProcessed(state.iterations() * kPositions);
    state.SetLabel(formatName(format));
}
BENCHMARK(BM_trilinearRead)->DenseRange(0, 2);

// A footprint of ratio 4 (major half-axis 32 pixels, minor 8) at up to 10 reads:
// four trilinear reads along the major axis at level 3.
void BM_lookupAreaRatio4(benchmark::State& state) {
    const SampleFormat format = formatOf(state);
    const TiledImage& image = pictureFor(format);
    const std::vector<float> p = positions(1.0f);
    const float w = static_cast<float>(kSize);
    LookupParams params;
    params.maxSamples = 10;
    for (auto _ : state) {
        for (int i = 0; i < kPositions; ++i) {
            const float u = p[2 * i], v = p[2 * i + 1];
            const Footprint fp{{u, v}, {u - 32.0f / w, v}, {u, v - 8.0f / w}};
            benchmark::DoNotOptimize(lookupArea(image, u, v, fp, params, 0.0f));
        }
    }
    state.SetItemsProcessed(state.iterations() * kPositions);
    state.SetLabel(formatName(format));
}
BENCHMARK(BM_lookupAreaRatio4)->DenseRange(0, 2);

}  // namespace
