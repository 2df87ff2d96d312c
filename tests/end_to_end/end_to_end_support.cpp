// Shared pieces of the end-to-end tests.
#include "tests/end_to_end/end_to_end_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "tests/support/scratch.h"

namespace mirel::testing {

using host_app::Picture;

namespace {

Picture reduce(const Picture& full, int factor) {
    Picture small;
    std::string error;
    EXPECT_TRUE(
        host_app::allocatePicture(small, full.width / factor, full.height / factor, 3, 8, error))
        << error;
    for (std::int32_t y = 0; y < small.height; ++y) {
        for (std::int32_t x = 0; x < small.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                float sum = 0.0f;
                for (int dy = 0; dy < factor; ++dy)
                    for (int dx = 0; dx < factor; ++dx)
                        sum += host_app::sampleValue(full, x * factor + dx, y * factor + dy, c);
                host_app::setSampleValue(small, x, y, c, std::floor(sum / float(factor * factor)));
            }
        }
    }
    return small;
}

}  // namespace

const Picture& samplePicture(int factor) {
    static std::map<int, Picture> pictures;
    auto found = pictures.find(factor);
    if (found != pictures.end()) return found->second;
    Picture full;
    std::string error;
    EXPECT_TRUE(host_app::readPicture(sourceDir() + "/examples/aitzgorri_1600.jpg", full, error))
        << error;
    return pictures[factor] = factor <= 1 ? full : reduce(full, factor);
}

Picture convertPicture(const Picture& rgb8, int channels, int bits) {
    Picture converted;
    std::string error;
    EXPECT_TRUE(
        host_app::allocatePicture(converted, rgb8.width, rgb8.height, channels, bits, error))
        << error;
    const float scale = host_app::fullScale(converted);
    const int colours = channels >= 3 ? 3 : 1;
    for (std::int32_t y = 0; y < rgb8.height; ++y) {
        for (std::int32_t x = 0; x < rgb8.width; ++x) {
            float rgb[3];
            for (int c = 0; c < 3; ++c) rgb[c] = host_app::normalisedSample(rgb8, x, y, c);
            for (int c = 0; c < colours; ++c) {
                const float value =
                    colours == 3 ? rgb[c] : 0.3f * rgb[0] + 0.59f * rgb[1] + 0.11f * rgb[2];
                host_app::setSampleValue(converted, x, y, c,
                                         bits == 32 ? value : std::floor(value * scale));
            }
            if (channels == 2 || channels == 4)
                host_app::setSampleValue(converted, x, y, colours, scale);
        }
    }
    return converted;
}

const hostkit::PluginLibrary& mirelPlugin() {
    static hostkit::PluginLibrary* library = [] {
        auto* opened = new hostkit::PluginLibrary;
        std::string error;
        EXPECT_TRUE(opened->open(pluginPath(), error)) << error;
        return opened;
    }();
    return *library;
}

Picture stripOf(const Picture& source, std::int32_t width, std::int32_t height) {
    Picture strip;
    std::string error;
    EXPECT_TRUE(host_app::allocatePicture(strip, width, height, source.channels,
                                          source.bitsPerChannel, error))
        << error;
    const std::int32_t top = std::max(0, (source.height - height) / 2);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            for (int c = 0; c < source.channels; ++c)
                host_app::setSampleValue(
                    strip, x, y, c,
                    host_app::sampleValue(source, x % source.width, (top + y) % source.height, c));
    return strip;
}

Picture gradientMask(const Picture& picture) {
    Picture mask;
    std::string error;
    EXPECT_TRUE(host_app::allocatePicture(mask, picture.width, picture.height, 1, 8, error));
    for (std::int32_t y = 0; y < mask.height; ++y)
        for (std::int32_t x = 0; x < mask.width; ++x)
            host_app::setSampleValue(mask, x, y, 0, float(255 * x / (mask.width - 1)));
    return mask;
}

hostkit::HostOptions replayOptions() {
    hostkit::HostOptions options;
    options.offerDescriptors = true;
    options.playInfo = pi::kPlugInDialogDontDisplay;
    return options;
}

std::int16_t runFilter(Picture& picture, const hostkit::HostOptions& options, const Picture* mask) {
    hostkit::FilterHost host(mirelPlugin(), picture, options);
    if (mask) host.setMask(mask);
    return host.run(true);
}

std::int16_t runFilter(Picture& picture, const hostkit::Descriptor& settings, const Picture* mask) {
    return runFilter(picture, settings, replayOptions(), mask);
}

std::int16_t runFilter(Picture& picture, const hostkit::Descriptor& settings,
                       const hostkit::HostOptions& options, const Picture* mask) {
    hostkit::FilterHost host(mirelPlugin(), picture, options);
    if (mask) host.setMask(mask);
    const hostkit::ActiveHost active = host.activate();
    if (!host.descriptors().offer(settings)) return -1;
    return host.run(true);
}

Difference differenceOf(const Picture& a, const Picture& b, std::int32_t top, std::int32_t bottom,
                        std::int32_t left, std::int32_t right) {
    Difference difference;
    if (right < 0) right = a.width;
    double sum = 0.0;
    std::int64_t count = 0;
    for (std::int32_t y = top; y < bottom; ++y) {
        for (std::int32_t x = left; x < right; ++x) {
            for (int c = 0; c < a.channels; ++c) {
                const double d = std::fabs(double(host_app::normalisedSample(a, x, y, c)) -
                                           double(host_app::normalisedSample(b, x, y, c)));
                sum += d;
                difference.largest = std::max(difference.largest, d);
                ++count;
            }
        }
    }
    difference.mean = count ? sum / double(count) : 0.0;
    return difference;
}

}  // namespace mirel::testing
