// Makes the bench's pictures: the sample photograph scaled to a given number
// of megapixels (same proportions, bilinear), written in the format of the
// output's extension. Usage: mirel_bench_picture IN OUT MEGAPIXELS
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "apps/mirel/image_file.h"

namespace {

using mirel::host_app::Picture;

float bilinear(const Picture& picture, float x, float y, int channel) {
    const auto x0 = std::int32_t(std::floor(x));
    const auto y0 = std::int32_t(std::floor(y));
    const float fx = x - float(x0), fy = y - float(y0);
    auto at = [&](std::int32_t px, std::int32_t py) {
        px = std::clamp(px, 0, picture.width - 1);
        py = std::clamp(py, 0, picture.height - 1);
        return mirel::host_app::sampleValue(picture, px, py, channel);
    };
    const float top = at(x0, y0) + (at(x0 + 1, y0) - at(x0, y0)) * fx;
    const float bottom = at(x0, y0 + 1) + (at(x0 + 1, y0 + 1) - at(x0, y0 + 1)) * fx;
    return top + (bottom - top) * fy;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s IN OUT MEGAPIXELS\n", argv[0]);
        return 2;
    }
    Picture source;
    std::string error;
    if (!mirel::host_app::readPicture(argv[1], source, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    const double megapixels = std::atof(argv[3]);
    const double factor = std::sqrt(megapixels * 1e6 / (double(source.width) * source.height));
    const auto width = std::int64_t(std::lround(source.width * factor));
    const auto height = std::int64_t(std::lround(source.height * factor));
    Picture scaled;
    if (megapixels <= 0.0 ||
        !mirel::host_app::allocatePicture(scaled, width, height, source.channels,
                                          source.bitsPerChannel, error)) {
        std::fprintf(stderr, "cannot make a picture of %s megapixels: %s\n", argv[3],
                     error.c_str());
        return 2;
    }
    const float stepX = float(source.width) / float(width);
    const float stepY = float(source.height) / float(height);
    for (std::int32_t y = 0; y < scaled.height; ++y) {
        for (std::int32_t x = 0; x < scaled.width; ++x) {
            for (int c = 0; c < source.channels; ++c) {
                const float value = bilinear(source, (float(x) + 0.5f) * stepX - 0.5f,
                                             (float(y) + 0.5f) * stepY - 0.5f, c);
                mirel::host_app::setSampleValue(scaled, x, y, c, std::round(value));
            }
        }
    }
    if (!mirel::host_app::writePicture(argv[2], scaled, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    std::printf("%d x %d\n", scaled.width, scaled.height);
    return 0;
}
