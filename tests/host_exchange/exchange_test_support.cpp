// Shared pieces of the host exchange tests.
#include "tests/host_exchange/exchange_test_support.h"

#include <dirent.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "tests/support/scratch.h"

namespace mirel::testing {

host_app::Picture patternPicture(std::int32_t width, std::int32_t height, int channels, int bits) {
    host_app::Picture picture;
    std::string error;
    EXPECT_TRUE(host_app::allocatePicture(picture, width, height, channels, bits, error)) << error;
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c) {
                const std::int64_t n = std::int64_t(x) * 7 + std::int64_t(y) * 131 + c * 61;
                float value = 0.0f;
                if (bits == 8)
                    value = float(n % 256);
                else if (bits == 16)
                    value = float((n * 97) % 32769);
                else
                    value = float(n % 1000) / 400.0f - 0.5f;  // -0.5 .. 2.0
                host_app::setSampleValue(picture, x, y, c, value);
            }
        }
    }
    return picture;
}

std::string identityFilterPath() {
    return MIREL_IDENTITY_FILTER;
}

const hostkit::PluginLibrary& identityFilter() {
    static hostkit::PluginLibrary* library = [] {
        auto* opened = new hostkit::PluginLibrary;
        std::string error;
        EXPECT_TRUE(opened->open(identityFilterPath(), error)) << error;
        return opened;
    }();
    return *library;
}

}  // namespace mirel::testing
