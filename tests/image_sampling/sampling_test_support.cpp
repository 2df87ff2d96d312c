// Pictures for the sampling tests (see sampling_test_support.h).
#include "sampling_test_support.h"

#include <cmath>
#include <cstdint>

#include "image/pyramid.h"

namespace mirel::image::testing {

std::unique_ptr<TiledImage> uniformImage(int width, int height, SampleFormat format,
                                         const Rgba& value) {
    auto image = create(width, height, format);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) writePixel(*image, x, y, 0, value);
    buildPyramid(*image, poolJobRunner(1));
    return image;
}

std::unique_ptr<TiledImage> patternImage(int width, int height, SampleFormat format, int threads) {
    auto image = create(width, height, format);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint32_t h = static_cast<std::uint32_t>(x) * 73856093u ^
                              static_cast<std::uint32_t>(y) * 19349663u;
            h = (h ^ (h >> 13)) * 0x5bd1e995u;
            const float noise = static_cast<float>((h >> 8) & 255) / 255.0f;
            Rgba p{noise, static_cast<float>(x % 97) / 96.0f, static_cast<float>(y % 61) / 60.0f,
                   0.5f + 0.5f * std::sin(0.05f * static_cast<float>(x + y))};
            if (format == SampleFormat::RgbaFloat) p.r *= 3.0f;  // float pictures pass 1.0
            writePixel(*image, x, y, 0, p);
        }
    }
    buildPyramid(*image, poolJobRunner(threads));
    return image;
}

namespace {

double channelAt(const TiledImage& image, int x, int y, int level, int channel) {
    x = clampCoord(x, image.lastX[level]);
    y = clampCoord(y, image.lastY[level]);
    switch (image.format) {
        case SampleFormat::Rgba8:
            return (readRgba8(image, x, y, level) >> (24 - 8 * channel)) & 255u;
        case SampleFormat::Rgba16: {
            const Rgba16Pixel p = readRgba16(image, x, y, level);
            const std::uint16_t c[4] = {p.r, p.g, p.b, p.a};
            return c[channel];
        }
        case SampleFormat::RgbaFloat: {
            const Rgba p = readRgbaFloat(image, x, y, level);
            const float c[4] = {p.r, p.g, p.b, p.a};
            return c[channel];
        }
    }
    return 0;
}

}  // namespace

Rgba nativePixel(const TiledImage& image, int x, int y, int level) {
    return Rgba{float(channelAt(image, x, y, level, 0)), float(channelAt(image, x, y, level, 1)),
                float(channelAt(image, x, y, level, 2)), float(channelAt(image, x, y, level, 3))};
}

Rgba referenceFilteredRead(const TiledImage& image, int level, float x, float y) {
    const float a = x + 0.5f, b = y + 0.5f;
    const int bx = static_cast<int>(std::floor(a)), by = static_cast<int>(std::floor(b));
    const int px = static_cast<int>((a - std::floor(a)) * 128.0f);
    const int py = static_cast<int>((b - std::floor(b)) * 128.0f);
    const WeightTables& w = image.weightTables;
    float out[4];
    for (int ch = 0; ch < 4; ++ch) {
        double total = 0;
        for (int o = -2; o <= 2; ++o) {
            double row = 0;
            for (int c = -2; c <= 2; ++c) {
                const double pixel = channelAt(image, bx + c, by + o, level, ch);
                switch (image.format) {
                    case SampleFormat::Rgba8:
                        row += w.fixed2048[px][2 - c] * pixel;
                        break;
                    case SampleFormat::Rgba16:
                        row += w.fixed32768[px][2 - c] * pixel;
                        break;
                    case SampleFormat::RgbaFloat:
                        row += w.weights[px][2 - c] * pixel;
                        break;
                }
            }
            switch (image.format) {
                case SampleFormat::Rgba8:
                    total += w.fixed2048[py][2 - o] * row;
                    break;
                case SampleFormat::Rgba16:
                    total += w.fixed32768[py][2 - o] * std::trunc(row / 32768.0);
                    break;
                case SampleFormat::RgbaFloat:
                    total += w.weights[py][2 - o] * row;
                    break;
            }
        }
        switch (image.format) {
            case SampleFormat::Rgba8:
                out[ch] = static_cast<float>(total / 4194304.0);
                break;
            case SampleFormat::Rgba16:
                out[ch] = static_cast<float>(total / 32768.0);
                break;
            case SampleFormat::RgbaFloat:
                out[ch] = static_cast<float>(total);
                break;
        }
    }
    return Rgba{out[0], out[1], out[2], out[3]};
}

}  // namespace mirel::image::testing
