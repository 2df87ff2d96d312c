// Tests of the colour-model modes: HSL, the brightness function, and the hue,
// saturation, color and luminance modes against a search-based float reference.
#include "render/color_models.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "render/output_modes.h"

namespace mirel::render {
namespace {

using image::Rgba;

constexpr double kOne = 32768.0;

// ---------------------------------------------------------------- reference

// HSL to RGB by chroma, written apart from the engine's version.
RgbD referenceHsl(double h, double s, double l) {
    const double c = (1.0 - std::abs(2.0 * l - 1.0)) * s;
    const double h6 = (h - std::floor(h)) * 6.0;
    const double x = c * (1.0 - std::abs(std::fmod(h6, 2.0) - 1.0));
    const double m = l - c / 2.0;
    RgbD out;
    switch (static_cast<int>(h6)) {
        case 0:
            out = {c, x, 0};
            break;
        case 1:
            out = {x, c, 0};
            break;
        case 2:
            out = {0, c, x};
            break;
        case 3:
            out = {0, x, c};
            break;
        case 4:
            out = {x, 0, c};
            break;
        default:
            out = {c, 0, x};
            break;
    }
    return {out.r + m, out.g + m, out.b + m};
}

double brightnessOf(const RgbD& c) {
    return 0.28 * c.r + 0.52 * c.g + 0.2 * c.b;
}

// The colour of hue h and saturation s whose brightness is t, found by bisection
// on lightness (brightness rises with lightness for any fixed hue and saturation).
RgbD colourAtBrightness(double h, double s, double t) {
    double lo = 0.0, hi = 1.0;
    for (int i = 0; i < 60; ++i) {
        const double mid = (lo + hi) / 2;
        (brightnessOf(referenceHsl(h, s, mid)) < t ? lo : hi) = mid;
    }
    return referenceHsl(h, s, (lo + hi) / 2);
}

double referenceLuma8(const FixedRgb& c) {
    return std::floor((77.0 * c.r + 150.0 * c.g + 28.0 * c.b) / 256.0) / kOne;
}

RgbD unitOf(const FixedRgb& c) {
    return {c.r / kOne, c.g / kOne, c.b / kOne};
}

std::vector<FixedRgb> colourGrid() {
    const double values[] = {0.0, 0.13, 0.31, 0.5, 0.62, 0.87, 1.0};
    std::vector<FixedRgb> out;
    for (double r : values) {
        for (double g : values) {
            for (double b : values) {
                out.push_back({toFixed(float(r)), toFixed(float(g)), toFixed(float(b))});
            }
        }
    }
    return out;
}

// ---------------------------------------------------------------- building blocks

TEST(ColourModels, HslRoundTripAndKnownColours) {
    const Hsl red = rgbToHsl({1, 0, 0});
    EXPECT_DOUBLE_EQ(red.h, 0.0);
    EXPECT_DOUBLE_EQ(red.s, 1.0);
    EXPECT_DOUBLE_EQ(red.l, 0.5);
    EXPECT_NEAR(rgbToHsl({0, 0, 1}).h, 2.0 / 3.0, 1e-12);
    EXPECT_NEAR(rgbToHsl({1, 0, 1}).h, 5.0 / 6.0, 1e-12);
    const Hsl greyish = rgbToHsl({0.4, 0.4, 0.4});
    EXPECT_EQ(greyish.h, 0.0);
    EXPECT_EQ(greyish.s, 0.0);
    EXPECT_NEAR(greyish.l, 0.4, 1e-12);
    // Over-range channels are limited first: brighter than white is white.
    EXPECT_DOUBLE_EQ(rgbToHsl({1.7, 1.2, 3.0}).l, 1.0);
    for (const FixedRgb& f : colourGrid()) {
        const RgbD c = unitOf(f);
        const Hsl hsl = rgbToHsl(c);
        const RgbD back = hslToRgb(hsl);
        ASSERT_NEAR(back.r, c.r, 1e-9);
        ASSERT_NEAR(back.g, c.g, 1e-9);
        ASSERT_NEAR(back.b, c.b, 1e-9);
        const RgbD ref = referenceHsl(hsl.h, hsl.s, hsl.l);
        ASSERT_NEAR(ref.r, c.r, 1e-9);
        ASSERT_NEAR(ref.g, c.g, 1e-9);
        ASSERT_NEAR(ref.b, c.b, 1e-9);
    }
}

TEST(ColourModels, BrightnessFunctionAndItsInverse) {
    EXPECT_NEAR(brightnessAtHalf(2.0 / 3.0, 1.0), 0.2, 1e-12);  // blue
    EXPECT_NEAR(brightnessAtHalf(1.0 / 6.0, 1.0), 0.8, 1e-12);  // yellow
    EXPECT_NEAR(brightnessAtHalf(0.3, 0.0), 0.5, 1e-12);        // any grey
    EXPECT_EQ(lightnessForBrightness(1.0, 0.3), 1.0);
    EXPECT_EQ(lightnessForBrightness(7.0, 0.3), 1.0);
    EXPECT_EQ(lightnessForBrightness(0.0, 0.3), 0.0);
    EXPECT_EQ(lightnessForBrightness(-1.0, 0.3), 0.0);
    EXPECT_EQ(lightnessForBrightness(NAN, 0.3), 0.0);
    for (double a : {0.2, 0.35, 0.5, 0.8}) {
        EXPECT_NEAR(lightnessForBrightness(a, a), 0.5, 1e-12);
        for (double l = 0.0; l <= 1.0; l += 1.0 / 32) {
            EXPECT_NEAR(lightnessForBrightness(brightnessOfLightness(l, a), a), l, 1e-12);
        }
    }
    // The closed form agrees with the brightness of the colour itself.
    for (double h = 0.0; h < 1.0; h += 1.0 / 24) {
        for (double s = 0.0; s <= 1.0; s += 0.25) {
            const double a = brightnessAtHalf(h, s);
            for (double l = 0.0; l <= 1.0; l += 0.125) {
                ASSERT_NEAR(brightnessOfLightness(l, a), brightnessOf(referenceHsl(h, s, l)),
                            1e-12);
            }
        }
    }
}

TEST(ColourModels, Luma8) {
    EXPECT_DOUBLE_EQ(luma8({32768, 32768, 32768}), 32640.0 / kOne);  // weights sum to 255
    EXPECT_DOUBLE_EQ(luma8({0, 0, 0}), 0.0);
    EXPECT_DOUBLE_EQ(luma8({0, 256, 0}), 150.0 / kOne);
    EXPECT_GT(luma8({65535, 65535, 65535}), 1.0);  // over-range light stays bright
}

// ---------------------------------------------------------------- modes

struct ColourReference {
    std::int32_t mode;
    const char* name;
    // effect, source in 0..1 -> the reference result
    RgbD (*f)(const FixedRgb& e, const FixedRgb& s);
};

const ColourReference kColourModes[] = {
    {15, "color",
     [](const FixedRgb& e, const FixedRgb& s) {
         const Hsl he = rgbToHsl(unitOf(e));
         return colourAtBrightness(he.h, he.s, referenceLuma8(s));
     }},
    {16, "luminance",
     [](const FixedRgb& e, const FixedRgb& s) {
         const Hsl hs = rgbToHsl(unitOf(s));
         return colourAtBrightness(hs.h, hs.s, referenceLuma8(e));
     }},
    {22, "saturation",
     [](const FixedRgb& e, const FixedRgb& s) {
         const Hsl he = rgbToHsl(unitOf(e)), hs = rgbToHsl(unitOf(s));
         return colourAtBrightness(hs.h, he.s, brightnessOf(unitOf(s)));
     }},
    {23, "hue",
     [](const FixedRgb& e, const FixedRgb& s) {
         const Hsl he = rgbToHsl(unitOf(e)), hs = rgbToHsl(unitOf(s));
         return colourAtBrightness(he.h, hs.s, brightnessOf(unitOf(s)));
     }},
};

TEST(ColourModelModes, HueSaturationColorLuminanceFollowTheReference) {
    const std::vector<FixedRgb> grid = colourGrid();
    constexpr double kTolerance = 3.0;  // steps of 1/32768
    for (const ColourReference& ref : kColourModes) {
        for (const FixedRgb& e : grid) {
            for (const FixedRgb& s : grid) {
                const FixedRgb got = blendColourModel(e, s, ref.mode);
                const RgbD want = ref.f(e, s);
                ASSERT_NEAR(got.r, want.r * kOne, kTolerance) << ref.name;
                ASSERT_NEAR(got.g, want.g * kOne, kTolerance) << ref.name;
                ASSERT_NEAR(got.b, want.b * kOne, kTolerance) << ref.name;
            }
        }
    }
    // Through the engine: the luminance of white over red is a light red.
    const Rgba out = blendOutputMode({1, 1, 1, 1}, {1, 0, 0, 1}, 16);
    EXPECT_NEAR(out.r, 1.0f, 1e-4f);
    EXPECT_GT(out.g, 0.9f);
    EXPECT_NEAR(out.g, out.b, 1e-4f);
}

TEST(ColourModelModes, WaxAndWaneWeighByTheEffectsSaturation) {
    const FixedRgb greyEffect{16384, 16384, 16384};
    const FixedRgb red{32768, 0, 0};
    const FixedRgb source{5000, 20000, 30000};
    // A grey effect has no saturation: wax keeps the source, wane takes the effect.
    const FixedRgb wax = blendColourModel(greyEffect, source, 46);
    EXPECT_NEAR(wax.r, source.r, 1);
    EXPECT_NEAR(wax.b, source.b, 1);
    const FixedRgb wane = blendColourModel(greyEffect, source, 47);
    EXPECT_NEAR(wane.r, greyEffect.r, 1);
    EXPECT_NEAR(wane.g, greyEffect.g, 1);
    // A pure colour at half lightness: the other way round.
    EXPECT_NEAR(blendColourModel(red, source, 46).r, 32768, 1);
    EXPECT_NEAR(blendColourModel(red, source, 47).g, source.g, 1);
    // Black and white effects fade out entirely.
    EXPECT_NEAR(blendColourModel({0, 0, 0}, source, 47).b, source.b, 1);
}

TEST(ColourModelModes, BrightnessCombinationsOnGreys) {
    const FixedRgb half{16384, 16384, 16384};
    // Anterior and posterior: P (2 - P) of the two brightnesses; on greys the
    // brightness is the lightness itself.
    for (std::int32_t mode : {60, 61}) {
        const FixedRgb out = blendColourModel(half, half, mode);
        EXPECT_NEAR(out.r, 0.4375 * kOne, 2) << mode;
        EXPECT_EQ(out.r, out.g);
        EXPECT_EQ(out.g, out.b);
    }
    // Sinister: the dextrous combination of the source's luma and the effect's brightness.
    const FixedRgb e{toFixed(0.6f), toFixed(0.6f), toFixed(0.6f)};
    const FixedRgb s{toFixed(0.3f), toFixed(0.3f), toFixed(0.3f)};
    const double want = dextrousCombine(e.r / kOne, luma8(s));
    EXPECT_NEAR(want, 0.3 * 255 / 256 / 1.2, 1e-4);
    EXPECT_NEAR(blendColourModel(e, s, 59).g, want * kOne, 2);
    EXPECT_EQ(dextrousCombine(0.0, 0.0), 1.0);
    EXPECT_EQ(dextrousCombine(0.5, 0.5), 0.5);
    EXPECT_EQ(dextrousCombine(0.5, 1.0), 0.75);
}

TEST(ColourModelModes, FrontalKeepsTheDarkerLightness) {
    EXPECT_EQ(blendColourModel({0, 0, 0}, {0, 0, 0}, 53).r, 0);
    const FixedRgb out = blendColourModel({16384, 16384, 16384}, {24000, 24000, 24000}, 53);
    EXPECT_EQ(out.r, 16384);
    EXPECT_EQ(out.g, 16384);
    // Two colours of full saturation at half lightness mix their hue vectors fully:
    // the saturation survives where the hues agree.
    const FixedRgb red{32768, 0, 0};
    const Hsl mixed = rgbToHsl(unitOf(blendColourModel(red, red, 53)));
    EXPECT_NEAR(mixed.s, 1.0, 1e-3);
    EXPECT_NEAR(mixed.l, 0.5, 1e-3);
}

}  // namespace
}  // namespace mirel::render
