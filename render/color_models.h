// Colour-model arithmetic of the output modes: HSL, the brightness of a hue at a
// given lightness, and the modes that rebuild a colour from hue, saturation and lightness.
#pragma once

#include <cstdint>

namespace mirel::render {

// The output modes' fixed-point scale: 32768 is 1.0. Channels may run above it
// (over-range light) up to kFixedMax; nothing is ever negative.
constexpr std::int32_t kFixedFull = 32768;
constexpr std::int32_t kFixedHalf = 16384;
constexpr std::int32_t kFixedMax = 65535;

// One colour in the fixed-point scale, red, green, blue.
struct FixedRgb {
    std::int32_t r = 0, g = 0, b = 0;
};

// Hue 0..1 (0 red, 1/3 green, 2/3 blue), saturation and lightness 0..1.
struct Hsl {
    double h = 0.0, s = 0.0, l = 0.0;
};

struct RgbD {
    double r = 0.0, g = 0.0, b = 0.0;
};

// HSL of channels in 0..1 (values outside are limited to 0..1 first: the
// colour models have no meaning for over-range light). Greys get hue 0.
Hsl rgbToHsl(const RgbD& rgb);
RgbD hslToRgb(const Hsl& hsl);

// V(h, s): the brightness 0.28 R + 0.52 G + 0.2 B of the colour of hue h and
// saturation s at lightness 0.5. Lies between 0.2 (blue) and 0.8 (yellow).
double brightnessAtHalf(double h, double s);

// The HSL lightness at which a colour whose half-lightness brightness is `a`
// reaches brightness `t`; brightness is linear in lightness on each side of 0.5.
double lightnessForBrightness(double t, double a);

// The inverse: the brightness of lightness `l` for half-lightness brightness `a`.
double brightnessOfLightness(double l, double a);

// The 8-bit-weighted luma of a fixed-point colour, as a float (1.0 for white).
double luma8(const FixedRgb& x);

// Mode 58's combination of two values in 0..1 (used per channel and by mode 59).
double dextrousCombine(double e, double s);

// The modes built on HSL: 15 color, 16 luminance, 22 saturation, 23 hue,
// 46 wax, 47 wane, 53 frontal, 59 sinister, 60 anterior, 61 posterior.
// Any other mode number gives the effect.
FixedRgb blendColourModel(const FixedRgb& effect, const FixedRgb& source, std::int32_t mode);

// True for the mode numbers blendColourModel handles.
bool isColourModelMode(std::int32_t mode);

}  // namespace mirel::render
