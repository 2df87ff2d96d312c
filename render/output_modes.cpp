// The output-mode engine and the modes' vocabulary. Channel arithmetic is fixed
// point with 32768 as 1.0; intermediates are 64-bit so that over-range light
// (inputs up to 65535) cannot overflow, which gives the same results as 32-bit
// arithmetic for every input in 0..32768.
#include "render/output_modes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "render/opponent_tables.h"

namespace mirel::render {
namespace {

using Wide = std::int64_t;

constexpr std::uint32_t modeCode(std::int32_t n) {
    return (std::uint32_t{'G'} << 24) | (std::uint32_t{'L'} << 16) |
           (std::uint32_t('0' + n / 10) << 8) | std::uint32_t('0' + n % 10);
}

constexpr OutputModeInfo mode(std::int32_t n, std::string_view name, std::string_view term) {
    return {n, name, modeCode(n), term};
}

// The terminology shows mode 26 as "harsh diff" and leaves out 60, 61 and 64 to 69.
constexpr std::array<OutputModeInfo, kOutputModeCount> kModes = {
    mode(1, "normal", "normal"),
    mode(2, "procedural +", "procedural +"),
    mode(3, "procedural -", "procedural -"),
    mode(4, "difference", "difference"),
    mode(5, "lighten", "lighten"),
    mode(6, "darken", "darken"),
    mode(7, "add", "add"),
    mode(8, "subtract", "subtract"),
    mode(9, "multiply", "multiply"),
    mode(10, "screen", "screen"),
    mode(11, "hard light", "hard light"),
    mode(12, "overlay", "overlay"),
    mode(13, "superlay", "superlay"),
    mode(14, "exclusion", "exclusion"),
    mode(15, "color", "color"),
    mode(16, "luminance", "luminance"),
    mode(17, "linear light", "linear light"),
    mode(18, "pin light", "pin light"),
    mode(19, "spin light", "spin light"),
    mode(20, "vivid a", "vivid a"),
    mode(21, "vivid b", "vivid b"),
    mode(22, "saturation", "saturation"),
    mode(23, "hue", "hue"),
    mode(24, "similarity", "similarity"),
    mode(25, "cross", "cross"),
    mode(26, "hard diff", "harsh diff"),
    mode(27, "soft light", "soft light"),
    mode(28, "bright", "bright"),
    mode(29, "dim", "dim"),
    mode(30, "dodge", "dodge"),
    mode(31, "burn", "burn"),
    mode(32, "ace", "ace"),
    mode(33, "king", "king"),
    mode(34, "queen", "queen"),
    mode(35, "jack", "jack"),
    mode(36, "and", "and"),
    mode(37, "or", "or"),
    mode(38, "xor", "xor"),
    mode(39, "multibright", "multibright"),
    mode(40, "hot", "hot"),
    mode(41, "cold", "cold"),
    mode(42, "wet", "wet"),
    mode(43, "dry", "dry"),
    mode(44, "up", "up"),
    mode(45, "down", "down"),
    mode(46, "wax", "wax"),
    mode(47, "wane", "wane"),
    mode(48, "north", "north"),
    mode(49, "south", "south"),
    mode(50, "east", "east"),
    mode(51, "west", "west"),
    mode(52, "hard mix", "hard mix"),
    mode(53, "frontal", "frontal"),
    mode(54, "parietal", "parietal"),
    mode(55, "temporal", "temporal"),
    mode(56, "occipital", "occipital"),
    mode(57, "limbic", "limbic"),
    mode(58, "dextrous", "dextrous"),
    mode(59, "sinister", "sinister"),
    mode(60, "anterior", ""),
    mode(61, "posterior", ""),
    mode(62, "screendim", "screendim"),
    mode(63, "starbright", "starbright"),
    mode(64, "glow", ""),
    mode(65, "reflect", ""),
    mode(66, "shimmer", ""),
    mode(67, "lustre", ""),
    mode(68, "negation", ""),
    mode(69, "contrast negate", ""),
};

constexpr std::array<std::int32_t, kTerminologyModeCount> kTerminologyModes = [] {
    std::array<std::int32_t, kTerminologyModeCount> list{};
    std::int32_t at = 0;
    for (const OutputModeInfo& m : kModes) {
        if (!m.terminologyName.empty()) list[at++] = m.number;
    }
    return list;
}();

constexpr bool modesInOrder() {
    for (std::int32_t i = 0; i < kOutputModeCount; ++i) {
        if (kModes[i].number != i + 1) return false;
    }
    return true;
}
static_assert(modesInOrder());
static_assert(kTerminologyModes[58] == 59 && kTerminologyModes[60] == 63);

constexpr Wide kOne = kFixedFull;
constexpr Wide kHalf = kFixedHalf;

std::int32_t saturate(Wide v) {
    return static_cast<std::int32_t>(std::clamp<Wide>(v, 0, kFixedMax));
}
Wide clampFull(Wide v) {
    return std::clamp<Wide>(v, 0, kOne);
}

// Saturating float-to-fixed conversion of a value already in the 32768 scale.
std::int32_t fixedFromScaled(double v) {
    if (!(v > 0.0)) return 0;
    if (v >= kFixedMax) return kFixedMax;
    return static_cast<std::int32_t>(v);
}

// hard(a, b): multiply below the middle of a, screen above it.
Wide hard(Wide a, Wide b) {
    if (a < kHalf) return (a * b) >> 14;
    return kOne - (((kOne - b) * (kOne - a)) >> 14);
}
Wide over(Wide a, Wide b) {
    return hard(b, a);
}
// pin(a, b): b kept between 2a - 1 and 2a.
Wide pin(Wide a, Wide b) {
    if (a < kHalf) return std::min(b, 2 * a);
    return std::max(b, 2 * a - kOne);
}
Wide spin(Wide a, Wide b) {
    return pin(b, a);
}

// Vivid light in 8 bits, widened back to 15.
Wide vividA(Wide e, Wide s) {
    // A value at or above full scale counts as 255; below, its top 8 bits.
    auto to8 = [](Wide v) { return v + 1 >= kOne ? Wide{255} : (v + 1) >> 7; };
    const Wide e8 = to8(e), s8 = to8(s);
    // 511 - 2 e8 and 2 e8 + 1 are odd, so neither divisor can be 0.
    const Wide r8 = e8 > 127 ? s8 * 256 / (511 - 2 * e8) : (s8 * 256 - 65280) / (2 * e8 + 1) + 255;
    if (r8 < 0) return 0;
    if (r8 < 255) return (r8 >> 1) | (r8 << 7);
    return kOne;
}

Wide softLight(Wide e, Wide s) {
    if (e < kHalf) return (e * s + (s * s / kOne) * (kHalf - e)) >> 14;
    // The upper half works in 8 bits on the inverted source.
    const Wide s8 = 255 - s / 128;
    const Wide e8 = e / 128;
    return (255 - (((e8 - 130) * (s8 * s8 / 256) + (258 - e8) * s8) >> 7)) * 128;
}

// Superlay's switch point. P = p * p carries 30 fraction bits; below this value
// (32768 * 16385) P >> 15 is at most one half (16384), and the result is
// 1 - 2 P Q; from it on, 2 (1 - P)(1 - Q).
constexpr Wide kSuperlaySquareAboveHalf = kOne * (kHalf + 1);
static_assert(kSuperlaySquareAboveHalf == 536903680);

Wide superlay(Wide e, Wide s) {
    const Wide p = kOne - ((e * s) >> 15);
    const Wide bigP = p * p;
    const Wide q = kOne - (((kOne - e) * s) >> 15) - e;
    const Wide bigQ = (q * q) >> 15;
    if (bigP < kSuperlaySquareAboveHalf) return kOne - (((bigP >> 15) * bigQ) >> 14);
    return ((kOne - bigQ) * (kOne - (bigP >> 15))) >> 14;
}

double unit(Wide v) {
    return static_cast<double>(v) / kFixedFull;
}

Wide lumaBits(const FixedRgb& x) {
    return (77 * Wide{x.r} + 150 * Wide{x.g} + 28 * Wide{x.b}) & ~Wide{0xFF};
}

// Modes that mix channels in integers: 28, 29 and 48 to 51.
FixedRgb blendMixed(const FixedRgb& e, const FixedRgb& s, std::int32_t mode) {
    const Wide er = e.r, eg = e.g, eb = e.b, sr = s.r, sg = s.g, sb = s.b;
    Wide r = er, g = eg, b = eb;
    switch (mode) {
        case 28:
            if (lumaBits(e) < lumaBits(s)) return s;
            return e;
        case 29:
            if (lumaBits(s) < lumaBits(e)) return s;
            return e;
        case 48:
            r = (eg * sr + er * (kOne - eg)) >> 15;
            g = (eb * sg + eg * (kOne - eb)) >> 15;
            b = (eb * (kOne - er) + er * sb) >> 15;
            break;
        case 49:
            r = (eb * sr + er * (kOne - eb)) >> 15;
            g = (eg * (kOne - er) + er * sg) >> 15;
            b = (eb * (kOne - eg) + eg * sb) >> 15;
            break;
        case 50:
            r = (sr * sg + (kOne - sg) * er) >> 15;
            g = (sg * sb + (kOne - sb) * eg) >> 15;
            b = (sr * sb + eb * (kOne - sr)) >> 15;
            break;
        case 51:
            r = ((kOne - sb) * er + sr * sb) >> 15;
            g = ((kOne - sr) * eg + sr * sg) >> 15;
            b = (sg * sb + eb * (kOne - sg)) >> 15;
            break;
        default:
            break;
    }
    return {saturate(r), saturate(g), saturate(b)};
}

// Modes 64 to 67 in floats on values in 0..1; 1.0 where the divisor vanishes.
float blendFloat(double e, double s, std::int32_t mode) {
    double out = 1.0;
    switch (mode) {
        case 64:  // glow
            if (1.0 - s > 0.0) out = std::min(e * e / (1.0 - s), 1.0);
            break;
        case 65:  // reflect
            if (1.0 - e > 0.0) out = std::min(s * s / (1.0 - e), 1.0);
            break;
        case 66:
        case 67: {  // shimmer and lustre: a softened glow and reflect
            const double a = mode == 66 ? e : s;
            const double d = 1.0 - (mode == 66 ? s : e);
            if (d > 0.0) {
                const double x = a * a * 0.5 / d;
                out = x > 0.5 ? 1.0 - 0.25 / x : x;
            }
            break;
        }
        default:
            out = e;
            break;
    }
    return static_cast<float>(out);
}

// Starbright: the effect brought to full brightness, its brightness moved into alpha.
image::Rgba starbright(const image::Rgba& effect) {
    auto clean = [](float v) { return v > 0.0f ? v : 0.0f; };  // also NaN to 0
    const float r = clean(effect.r), g = clean(effect.g), b = clean(effect.b);
    const float m = std::min(std::max({r, g, b}), 1.0f);
    if (!(m > 0.0f)) return {0.0f, 0.0f, 0.0f, 0.0f};
    return {r / m, g / m, b / m, m};
}

image::Rgba toRgba(const FixedRgb& c, float alpha) {
    constexpr float kScale = 1.0f / kFixedFull;
    return {c.r * kScale, c.g * kScale, c.b * kScale, alpha};
}

}  // namespace

std::span<const OutputModeInfo, kOutputModeCount> outputModes() {
    return kModes;
}

const OutputModeInfo* findOutputMode(std::int32_t mode) {
    if (mode < 1 || mode > kOutputModeCount) return nullptr;
    return &kModes[mode - 1];
}

std::string_view outputModeName(std::int32_t mode) {
    const OutputModeInfo* info = findOutputMode(mode);
    return info ? info->name : std::string_view{};
}

std::uint32_t outputModeScriptingId(std::int32_t mode) {
    const OutputModeInfo* info = findOutputMode(mode);
    return info ? info->scriptingId : 0;
}

std::int32_t outputModeFromScriptingId(std::uint32_t id) {
    if ((id >> 16) != ((std::uint32_t{'G'} << 8) | 'L')) return 0;
    const std::uint32_t tens = ((id >> 8) & 0xFF) - '0';
    const std::uint32_t ones = (id & 0xFF) - '0';
    if (tens > 9 || ones > 9) return 0;  // unsigned: characters below '0' wrap high
    const auto mode = static_cast<std::int32_t>(tens * 10 + ones);
    return findOutputMode(mode) ? mode : 0;
}

std::span<const std::int32_t, kTerminologyModeCount> terminologyOutputModes() {
    return kTerminologyModes;
}

std::int32_t toFixed(float v) {
    // Scaling by a power of two is exact, so the truncation matches trunc(v * 32768).
    return fixedFromScaled(static_cast<double>(v) * kFixedFull);
}

std::int32_t blendChannel(std::int32_t effect, std::int32_t source, std::int32_t mode) {
    const Wide e = std::clamp<Wide>(effect, 0, kFixedMax);
    const Wide s = std::clamp<Wide>(source, 0, kFixedMax);
    Wide out = e;
    switch (mode) {
        case 2: {  // procedural +
            const Wide k = s < kHalf ? s / 2 : kHalf - s / 2;
            out = (e * k + (kHalf - k) * s) >> 14;
            break;
        }
        case 3:
            out = std::min(e + ((e * s) >> 15), kOne);
            break;
        case 4:
        case 14:
            out = ((kOne - e) * s + (kOne - s) * e) >> 15;
            break;
        case 5:
            out = std::max(e, s);
            break;
        case 6:
            out = std::min(e, s);
            break;
        case 7:
            out = std::min(e + s, kOne);
            break;
        case 8:
            out = std::max(e - s, Wide{0});
            break;
        case 9:
            out = (e * s) >> 15;
            break;
        case 10:
            out = e + (((kOne - e) * s) >> 15);
            break;
        case 11:
            out = hard(e, s);
            break;
        case 12:
            out = over(e, s);
            break;
        case 13:
            out = superlay(e, s);
            break;
        case 17:
            out = clampFull(s + 2 * e - kOne);
            break;
        case 18:
            out = pin(e, s);
            break;
        case 19:
            out = spin(e, s);
            break;
        case 20:
            out = vividA(e, s);
            break;
        case 21:
            out = clampFull(2 * e - s);
            break;
        case 24:
            out = kOne - std::abs(e + s - kOne);
            break;
        case 25: {  // cross
            const Wide d =
                std::abs((e - kHalf) * (e - kHalf) / 8192 - (s - kHalf) * (s - kHalf) / 8192);
            out = clampFull(kOne - d);
            break;
        }
        case 26:
            out = std::abs(e - s);
            break;
        case 27:
            out = softLight(e, s);
            break;
        case 30:  // dodge; an effect at or above white gives white
            out = e >= kOne ? kOne : clampFull(s * kOne / (kOne - e));
            break;
        case 31:
            out = clampFull((s - kOne) * kOne / (e + 1) + kOne);
            break;
        case 32:
            out = ((kOne - e) * s + e * e) >> 15;
            break;
        case 33:
            out = (s * (e - s + kOne)) >> 15;
            break;
        case 34:
            out = (e * (s - e + kOne)) >> 15;
            break;
        case 35:
            out = ((kOne - s) * e + s * s) >> 15;
            break;
        case 36:
            out = e & s;
            break;
        case 37:
            out = e | s;
            break;
        case 38:
            out = e ^ s;
            break;
        case 39: {  // multibright
            const double p = static_cast<double>(e * s) / (1 << 30);
            return fixedFromScaled((2.0 - p) * p * kFixedFull);
        }
        case 40:
            out = pin(spin(e, s), spin(kOne - e, s));
            break;
        case 41:
            out = pin(pin(e, s), pin(e, kOne - s));
            break;
        case 42:
            out = pin(over(e, s), kOne - hard(e, kOne - s));
            break;
        case 43:
            out = pin(over(kOne - e, s), kOne - hard(kOne - e, kOne - s));
            break;
        case 44:
            out = pin(hard(e, s), over(e, s));
            break;
        case 45:
            out = pin(over(e, s), hard(e, s));
            break;
        case 52:
            out = e + s < kOne + 1 ? 0 : kOne;
            break;
        case 58:
            return fixedFromScaled(dextrousCombine(unit(e), unit(s)) * kFixedFull);
        case 62: {  // screendim
            const double b = 1.0 - static_cast<double>((kOne - s) * (kOne - e)) / (1 << 30);
            return fixedFromScaled(b * b * kFixedFull);
        }
        case 68:
            out = e + s < kOne + 1 ? e + s : 2 * kOne - e - s;
            break;
        case 69: {  // contrast negate
            Wide x = e > kHalf ? kOne - e : e;
            if (s <= kHalf) x = kOne - x;
            out = x;
            break;
        }
        default:
            break;
    }
    return saturate(out);
}

image::Rgba blendOutputMode(const image::Rgba& effect, const image::Rgba& source,
                            std::int32_t mode) {
    if (mode < 2 || mode > kOutputModeCount) return effect;
    if (mode == 63) return starbright(effect);

    const FixedRgb e{toFixed(effect.r), toFixed(effect.g), toFixed(effect.b)};
    const FixedRgb s{toFixed(source.r), toFixed(source.g), toFixed(source.b)};
    if (mode >= 64 && mode <= 67) {
        return {blendFloat(unit(e.r), unit(s.r), mode), blendFloat(unit(e.g), unit(s.g), mode),
                blendFloat(unit(e.b), unit(s.b), mode), effect.a};
    }
    if (isColourModelMode(mode)) return toRgba(blendColourModel(e, s, mode), effect.a);
    if (mode >= 54 && mode <= 57) return toRgba(blendOpponent(e, s, mode), effect.a);
    if (mode == 28 || mode == 29 || (mode >= 48 && mode <= 51)) {
        return toRgba(blendMixed(e, s, mode), effect.a);
    }
    return toRgba(
        {blendChannel(e.r, s.r, mode), blendChannel(e.g, s.g, mode), blendChannel(e.b, s.b, mode)},
        effect.a);
}

}  // namespace mirel::render
