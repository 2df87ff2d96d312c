// What a photographer sees: the picture above the water untouched, nothing of the
// covered part in the reflection, no white bar at the horizon and no lone
// pixels in the distance; whole runs of the real plug-in on small pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "tests/end_to_end/end_to_end_support.h"

namespace mirel::testing {
namespace {

using host_app::Picture;
using hostkit::Descriptor;
using pi::fourCC;

constexpr std::int32_t kStyleSimple = 1, kStyleComplex = 2;

struct Look {
    std::int32_t style = kStyleComplex;
    double waviness = 65.0, blur = 0.0, horizon = 50.0;
};

Descriptor settingsOf(const Look& look) {
    Descriptor d;
    d.put(hostkit::integerItem(fourCC("0022"), look.style));
    d.put(hostkit::floatItem(fourCC("0031"), look.waviness));
    d.put(hostkit::floatItem(fourCC("0034"), look.blur));
    d.put(hostkit::floatItem(fourCC("0019"), look.horizon));
    return d;
}

std::string nameOf(const Look& look) {
    return "style " + std::to_string(look.style) + ", waviness " +
           std::to_string(int(look.waviness)) + ", blur " + std::to_string(int(look.blur));
}

Picture rendered(const Picture& original, const Look& look, const Picture* mask = nullptr) {
    useOwnTemporaryFolder();
    Picture picture = original;
    EXPECT_EQ(runFilter(picture, settingsOf(look), mask), 0) << nameOf(look);
    return picture;
}

// The first pixel row the horizon line touches: every row above it is dry.
std::int32_t horizonRow(const Picture& picture, double horizon) {
    return std::int32_t(std::floor(horizon * 0.99 * 0.01 * picture.height));
}

double level(const Picture& picture, std::int32_t x, std::int32_t y, int c) {
    return 255.0 * host_app::normalisedSample(picture, x, y, c);
}

double brightness(const Picture& picture, std::int32_t x, std::int32_t y) {
    return (level(picture, x, y, 0) + level(picture, x, y, 1) + level(picture, x, y, 2)) / 3.0;
}

TEST(PictureQuality, TheDryPartIsThePictureBitForBit) {
    const Picture& photo = samplePicture(8);
    // A selection that fades from nothing at the left to all at the right.
    Picture mask;
    std::string error;
    ASSERT_TRUE(host_app::allocatePicture(mask, photo.width, photo.height, 1, 8, error));
    for (std::int32_t y = 0; y < mask.height; ++y)
        for (std::int32_t x = 0; x < mask.width; ++x)
            host_app::setSampleValue(mask, x, y, 0, std::floor(255.0f * x / (mask.width - 1)));

    double waterMean[2][2] = {};  // [8 or 16 bits][style]: mean level of the water
    for (int bits : {8, 16, 32}) {
        const Picture original = convertPicture(photo, 3, bits);
        for (std::int32_t style : {kStyleSimple, kStyleComplex}) {
            for (const Picture* selection :
                 {static_cast<const Picture*>(nullptr), static_cast<const Picture*>(&mask)}) {
                SCOPED_TRACE(std::to_string(bits) + " bits, style " + std::to_string(style) +
                             (selection ? ", selection" : ""));
                Look look;
                look.style = style;
                const Picture picture = rendered(original, look, selection);
                const std::int32_t dryRows = horizonRow(picture, look.horizon);
                EXPECT_EQ(differenceOf(picture, original, 0, dryRows).largest, 0.0);
                // The water's geometry stays where it was: the row the horizon
                // crosses and the rows below it are water.
                EXPECT_GT(differenceOf(picture, original, dryRows, dryRows + 1).mean, 0.01);
                if (bits == 32 || selection) continue;
                double sum = 0.0;
                for (std::int32_t y = dryRows + 1; y < picture.height; ++y)
                    for (std::int32_t x = 0; x < picture.width; ++x)
                        sum += brightness(picture, x, y);
                waterMean[bits == 16][style - 1] =
                    sum / (double(picture.height - dryRows - 1) * picture.width);
            }
        }
    }
    // Results are rounded to the nearest level: 8 bits come out as bright as 16.
    for (int style = 0; style < 2; ++style)
        EXPECT_NEAR(waterMean[0][style], waterMean[1][style], 0.15);
}

TEST(PictureQuality, TheReflectionHoldsNothingOfTheCoveredPart) {
    // Muted blue-grey stripes above the horizon; below it, covered by the
    // water, pure red that appears nowhere above.
    const std::int32_t width = 200, height = 133;
    Picture original;
    std::string error;
    ASSERT_TRUE(host_app::allocatePicture(original, width, height, 3, 8, error));
    const std::int32_t covered = horizonRow(original, 50.0) + 1;
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const float v = 110.0f + 70.0f * std::sin(0.3f * x + 0.2f * y);
            const float rgb[3] = {y < covered ? v : 255.0f, y < covered ? v + 10.0f : 0.0f,
                                  y < covered ? v + 25.0f : 0.0f};
            for (int c = 0; c < 3; ++c)
                host_app::setSampleValue(original, x, y, c, std::floor(rgb[c]));
        }
    }
    for (std::int32_t style : {kStyleSimple, kStyleComplex}) {
        for (double waviness : {0.0, 65.0}) {
            for (double blur : {0.0, 100.0}) {
                const Look look{style, waviness, blur};
                SCOPED_TRACE(nameOf(look));
                const Picture picture = rendered(original, look);
                double reddest = -255.0;
                for (std::int32_t y = covered + 1; y < height; ++y)
                    for (std::int32_t x = 0; x < width; ++x)
                        reddest = std::max(
                            reddest, level(picture, x, y, 0) - std::max(level(picture, x, y, 1),
                                                                        level(picture, x, y, 2)));
                EXPECT_LT(reddest, 40.0);
            }
        }
    }
}

TEST(PictureQuality, WavinessHundredLeavesNoWhiteBarAtTheHorizonOfADarkPicture) {
    Picture dark = samplePicture(8);
    for (std::int32_t y = 0; y < dark.height; ++y)
        for (std::int32_t x = 0; x < dark.width; ++x)
            for (int c = 0; c < 3; ++c)
                host_app::setSampleValue(dark, x, y, c,
                                         std::floor(0.3f * host_app::sampleValue(dark, x, y, c)));
    Look look;
    look.waviness = 100.0;
    const Picture picture = rendered(dark, look);
    const std::int32_t top = horizonRow(picture, look.horizon);
    int longest = 0;
    for (std::int32_t y = top; y < top + picture.height / 10; ++y) {
        int run = 0;
        for (std::int32_t x = 0; x < picture.width; ++x) {
            const bool white = level(picture, x, y, 0) >= 250.0 &&
                               level(picture, x, y, 1) >= 250.0 && level(picture, x, y, 2) >= 250.0;
            run = white ? run + 1 : 0;
            longest = std::max(longest, run);
        }
    }
    EXPECT_LE(longest, 3);
}

TEST(PictureQuality, TheComplexWaterHasNoLonePixels) {
    // Pixels more than 40 levels brighter or darker than all eight neighbours;
    // this render used to have 37 of them.
    Look look;
    look.horizon = 30.0;
    const Picture picture = rendered(samplePicture(8), look);
    int lone = 0;
    for (std::int32_t y = horizonRow(picture, look.horizon); y < picture.height - 1; ++y) {
        for (std::int32_t x = 1; x < picture.width - 1; ++x) {
            const double v = brightness(picture, x, y);
            bool brighter = true, darker = true;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    if (dx == 0 && dy == 0) continue;
                    const double n = brightness(picture, x + dx, y + dy);
                    brighter = brighter && v - n > 40.0;
                    darker = darker && n - v > 40.0;
                }
            }
            lone += brighter || darker;
        }
    }
    EXPECT_LE(lone, 3);
}

}  // namespace
}  // namespace mirel::testing
