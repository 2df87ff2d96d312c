// Colour-model arithmetic of the output modes: HSL, the brightness function V and
// the HSL-based modes. Floats throughout; results return to the fixed-point scale.
#include "render/color_models.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/math/elementary.h"

namespace mirel::render {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// The frontal mode measures its hue angle from this origin (three quarters of a turn).
constexpr double kFrontalHueOrigin = 4.712389;

double unitChannel(std::int32_t v) {
    return std::clamp(static_cast<double>(v) / kFixedFull, 0.0, 1.0);
}

RgbD unitColour(const FixedRgb& c) {
    return {unitChannel(c.r), unitChannel(c.g), unitChannel(c.b)};
}

// Saturating: NaN and negatives give 0, large values kFixedMax.
std::int32_t fixedFromUnit(double v) {
    const double scaled = v * kFixedFull;
    if (!(scaled > 0.0)) return 0;
    if (scaled >= kFixedMax) return kFixedMax;
    return static_cast<std::int32_t>(scaled);
}

FixedRgb fixedFromRgb(const RgbD& c) {
    return {fixedFromUnit(c.r), fixedFromUnit(c.g), fixedFromUnit(c.b)};
}

double hueChannel(double p, double q, double t) {
    if (t < 0.0) t += 1.0;
    if (t > 1.0) t -= 1.0;
    if (t < 1.0 / 6.0) return p + (q - p) * 6.0 * t;
    if (t < 0.5) return q;
    if (t < 2.0 / 3.0) return p + (q - p) * (2.0 / 3.0 - t) * 6.0;
    return p;
}

double brightness(const RgbD& c) {
    return 0.28 * c.r + 0.52 * c.g + 0.2 * c.b;
}

// The brightness of a colour from its HSL, through V: exact, since brightness
// is linear in lightness on each side of 0.5 for a fixed hue and saturation.
double brightnessOfHsl(const Hsl& c) {
    return brightnessOfLightness(c.l, brightnessAtHalf(c.h, c.s));
}

FixedRgb rebuild(double h, double s, double targetBrightness, double a) {
    return fixedFromRgb(hslToRgb({h, s, lightnessForBrightness(targetBrightness, a)}));
}

// Wax and wane: mix towards the effect by an amount that fades out towards
// black and white (w is 0 at both ends of the lightness range, 1 at the middle).
FixedRgb waxWane(const FixedRgb& e, const FixedRgb& s, bool wane) {
    const Hsl he = rgbToHsl(unitColour(e));
    double w = 2.0 * he.l;
    if (w > 1.0) w = 2.0 - w;
    const double fade = 1.0 - math::pow(1.0 - w, 4.0);
    const double a = (wane ? 1.0 - he.s : he.s) * fade;
    auto mix = [a](std::int32_t ev, std::int32_t sv) {
        return fixedFromUnit((sv * (1.0 - a) + a * ev) / kFixedFull);
    };
    return {mix(e.r, s.r), mix(e.g, s.g), mix(e.b, s.b)};
}

FixedRgb frontal(const FixedRgb& e, const FixedRgb& s) {
    const Hsl he = rgbToHsl(unitColour(e));
    const Hsl hs = rgbToHsl(unitColour(s));
    auto tent = [](double x) { return x > 1.0 ? 2.0 - x : x; };
    const double u = 1.0 - tent(2.0 * hs.l);
    const double v = 1.0 - tent(2.0 * he.l);
    const double w = (1.0 - math::pow(u, 4.0)) * (1.0 - math::pow(v, 4.0));
    const double ex = math::cos(kTwoPi * he.h) * he.s, ey = math::sin(kTwoPi * he.h) * he.s;
    const double sx = math::cos(kTwoPi * hs.h) * hs.s, sy = math::sin(kTwoPi * hs.h) * hs.s;
    const double mx = ex + (sx - ex) * w, my = ey + (sy - ey) * w;
    double angle = kFrontalHueOrigin - math::atan2(my, mx);
    angle = std::fmod(angle, kTwoPi);
    if (angle < 0.0) angle += kTwoPi;
    const double saturation = std::min(math::hypot(mx, my), 1.0);
    return fixedFromRgb(hslToRgb({angle / kTwoPi, saturation, std::min(he.l, hs.l)}));
}

}  // namespace

Hsl rgbToHsl(const RgbD& rgb) {
    const double r = std::clamp(rgb.r, 0.0, 1.0);
    const double g = std::clamp(rgb.g, 0.0, 1.0);
    const double b = std::clamp(rgb.b, 0.0, 1.0);
    const double hi = std::max({r, g, b});
    const double lo = std::min({r, g, b});
    Hsl out;
    out.l = (hi + lo) * 0.5;
    const double d = hi - lo;
    if (!(d > 0.0)) return out;  // grey (also NaN): hue and saturation 0
    out.s = out.l <= 0.5 ? d / (hi + lo) : d / (2.0 - hi - lo);
    double h;
    if (hi == r) {
        h = (g - b) / d;
        if (h < 0.0) h += 6.0;
    } else if (hi == g) {
        h = (b - r) / d + 2.0;
    } else {
        h = (r - g) / d + 4.0;
    }
    out.h = h / 6.0;
    return out;
}

RgbD hslToRgb(const Hsl& hsl) {
    const double l = std::clamp(hsl.l, 0.0, 1.0);
    const double s = std::clamp(hsl.s, 0.0, 1.0);
    if (s <= 0.0) return {l, l, l};
    const double q = l < 0.5 ? l * (1.0 + s) : l + s - l * s;
    const double p = 2.0 * l - q;
    double h = hsl.h - std::floor(hsl.h);
    return {hueChannel(p, q, h + 1.0 / 3.0), hueChannel(p, q, h), hueChannel(p, q, h - 1.0 / 3.0)};
}

double brightnessAtHalf(double h, double s) {
    return brightness(hslToRgb({h, s, 0.5}));
}

double lightnessForBrightness(double t, double a) {
    if (t >= 1.0) return 1.0;
    if (!(t > 0.0)) return 0.0;
    if (t > a) return 0.5 + 0.5 * (t - a) / (1.0 - a);
    return 0.5 * t / a;
}

double brightnessOfLightness(double l, double a) {
    if (l > 0.5) return (l - 0.5) * 2.0 * (1.0 - a) + a;
    return 2.0 * l * a;
}

double luma8(const FixedRgb& x) {
    const std::int64_t sum =
        150 * std::int64_t{x.g} + 77 * std::int64_t{x.r} + 28 * std::int64_t{x.b};
    return static_cast<double>(sum >> 8) / kFixedFull;
}

double dextrousCombine(double e, double s) {
    if (s < e) {
        if (e > 0.0) {
            const double v = s / (2.0 * e);
            if (v <= 1.0) return v;
        }
        return 1.0;
    }
    if (s > 0.0) return std::min(1.0 - e / (2.0 * s), 1.0);
    return 1.0;
}

bool isColourModelMode(std::int32_t mode) {
    switch (mode) {
        case 15:
        case 16:
        case 22:
        case 23:
        case 46:
        case 47:
        case 53:
        case 59:
        case 60:
        case 61:
            return true;
        default:
            return false;
    }
}

FixedRgb blendColourModel(const FixedRgb& effect, const FixedRgb& source, std::int32_t mode) {
    if (mode == 46 || mode == 47) return waxWane(effect, source, mode == 47);
    if (mode == 53) return frontal(effect, source);
    if (!isColourModelMode(mode)) return effect;

    const Hsl e = rgbToHsl(unitColour(effect));
    const Hsl s = rgbToHsl(unitColour(source));
    switch (mode) {
        case 15:  // color: the effect's hue and saturation at the source's luma
            return rebuild(e.h, e.s, luma8(source), brightnessAtHalf(e.h, e.s));
        case 16:  // luminance: the source's hue and saturation at the effect's luma
            return rebuild(s.h, s.s, luma8(effect), brightnessAtHalf(s.h, s.s));
        case 22:  // saturation: keeps the source's brightness
            return rebuild(s.h, e.s, brightnessOfHsl(s), brightnessAtHalf(s.h, e.s));
        case 23:  // hue: keeps the source's brightness
            return rebuild(e.h, s.s, brightnessOfHsl(s), brightnessAtHalf(e.h, s.s));
        case 59:
            return rebuild(e.h, e.s, dextrousCombine(brightnessOfHsl(e), luma8(source)),
                           brightnessAtHalf(e.h, e.s));
        case 60:
        case 61: {
            const double p = brightnessOfHsl(e) * brightnessOfHsl(s);
            const double target = p * (2.0 - p);
            const Hsl& keep = mode == 60 ? e : s;
            return rebuild(keep.h, keep.s, target, brightnessAtHalf(keep.h, keep.s));
        }
        default:
            return effect;
    }
}

}  // namespace mirel::render
