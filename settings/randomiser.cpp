// Dice and Ecce: the draws in their fixed order and the colour rules.
#include "settings/randomiser.h"

#include <algorithm>
#include <cmath>

namespace mirel {

namespace {

struct Rgbd {
    double red, green, blue;
};

// The base of the Simple style's colour, (0.04, 0.05, 0.21) as hue, saturation
// and lightness.
constexpr Rgbd kSimpleBase{0.04, 0.05, 0.21};

struct Hsl {
    double h, s, l;
};

Hsl rgbToHsl(const Rgbd& c) {
    const double max = std::max({c.red, c.green, c.blue});
    const double min = std::min({c.red, c.green, c.blue});
    Hsl out{0.0, 0.0, (max + min) / 2.0};
    if (out.l <= 0.0 || max == min) return out;
    const double range = max - min;
    out.s = out.l <= 0.5 ? range / (max + min) : range / (2.0 - max - min);
    const double rd = (max - c.red) / range;
    const double gd = (max - c.green) / range;
    const double bd = (max - c.blue) / range;
    double h6;
    if (c.red == max)
        h6 = c.green == min ? 5.0 + bd : 1.0 - gd;
    else if (c.green == max)
        h6 = c.blue == min ? 1.0 + rd : 3.0 - bd;
    else
        h6 = c.red == min ? 3.0 + gd : 5.0 - rd;
    out.h = h6 / 6.0;
    return out;
}

// Sector and position in it of a hue; sectors past 5 wrap to 0 (keeping their
// fraction). Negative hues give a negative sector or a negative fraction, which
// the callers take as they come.
void hueSector(double hue, int& sector, double& fraction) {
    const double k = hue * 6.0;
    sector = int(k);  // toward zero
    fraction = k - sector;
    if (sector > 5) sector = 0;
}

Rgbd hslToRgb(double h, double s, double l) {
    const double q = l <= 0.5 ? l * (1.0 + s) : l + s - l * s;
    if (q <= 0.0) return {0.0, 0.0, 0.0};
    const double p = 2.0 * l - q;
    int i;
    double f;
    hueSector(h, i, f);
    const double t = (q - p) * f;
    const double up = p + t;
    const double down = q - t;
    switch (i) {
        case 0:
            return {q, up, p};
        case 1:
            return {down, q, p};
        case 2:
            return {p, q, up};
        case 3:
            return {p, down, q};
        case 4:
            return {up, p, q};
        default:
            return {q, p, down};
    }
}

Rgbd hsvToRgb(double hue, double saturation, double value) {
    int i;
    double f;
    hueSector(hue, i, f);
    Rgbd c;
    switch (i) {
        case 0:
            c = {1.0, f, 0.0};
            break;
        case 1:
            c = {1.0 - f, 1.0, 0.0};
            break;
        case 2:
            c = {0.0, 1.0, f};
            break;
        case 3:
            c = {0.0, 1.0 - f, 1.0};
            break;
        case 4:
            c = {f, 0.0, 1.0};
            break;
        default:
            c = {1.0, 0.0, 1.0 - f};
            break;
    }
    for (double* x : {&c.red, &c.green, &c.blue}) *x = 1.0 - (1.0 - *x) * saturation;
    const double max = std::max({c.red, c.green, c.blue});
    if (max <= 0.0) return {0.0, 0.0, 0.0};
    for (double* x : {&c.red, &c.green, &c.blue}) *x = *x / max * value;
    return c;
}

// A channel of 0..1 as 16 bits, truncated. Hues just below 0 can give a
// channel below 0 (and nothing guards above 1), so the result is held to the range.
std::uint16_t toChannel(double x) {
    const double scaled = x * 65535.0;
    if (!(scaled > 0.0)) return 0;
    if (scaled >= 65535.0) return 65535;
    return std::uint16_t(scaled);
}

Rgb16 toColor(const Rgbd& c) {
    return {toChannel(c.red), toChannel(c.green), toChannel(c.blue)};
}

}  // namespace

int drawUniform(RandomGenerator& random, int lo, int hi) {
    int mask = 1;
    while (mask < hi - lo) mask = mask * 2 + 1;
    for (;;) {
        // The draw taken as a signed 16-bit value, as the 0..32767 range always fits.
        const int v = lo + ((std::int16_t(random.next()) >> 4) & mask);
        if (v <= hi) return v;
    }
}

float drawUnit(RandomGenerator& random) {
    return float((random.next() % 1000) * 0.001);
}

void randomizeSettings(SettingsRecord& record, RandomGenerator& random) {
    record.waviness = float(drawUniform(random, 10, 70));
    record.complexity = float(drawUniform(random, 0, 60));
    record.brilliance = float(drawUniform(random, 30, 60));
    {
        const int a = drawUniform(random, 0, 70);
        const int b = drawUniform(random, 0, 70);
        record.blur = float(a * b / 100);
    }
    record.perspective = float(drawUniform(random, 20, 80));
    record.altitude = float(drawUniform(random, 1, 90));
    const bool complex = record.waterStyle == kWaterStyleComplex;
    if (complex) {
        record.complexity = float(drawUniform(random, 10, 90));
        record.brilliance = float(drawUniform(random, 20, 80));
        const int a = drawUniform(random, 0, 80);
        const int b = drawUniform(random, 0, 80);
        const int blur = a * b / 100;
        const int e = drawUniform(random, 0, 80);
        record.blur = float(e) * float(blur) / 100.0f;  // the one value that may keep a fraction
        record.altitude = float(drawUniform(random, 1, 50));
    }
    record.size = float(drawUniform(random, 20, 100));
    record.height = float(drawUniform(random, 0, 60));
    record.undulation = float(drawUniform(random, 3, 80));
    record.randomSeed = random.next() & kRandomSeedMask;

    if (complex) {
        const double hue = 0.55 + 0.35 * (double(drawUnit(random)) - 0.5);
        const double saturation = 0.2 + 0.5 * double(drawUnit(random));
        const double value = 0.1 + 0.2 * double(drawUnit(random));
        record.waterColor = toColor(hsvToRgb(hue, saturation, value));
        const double glitterHue = double(drawUnit(random)) / 12.0 + 1.0 / 12.0;
        const double glitterSaturation = 0.4 * double(drawUnit(random));
        const double glitterValue = 0.5 + 0.5 * double(drawUnit(random));
        record.glitterColor = toColor(hsvToRgb(glitterHue, glitterSaturation, glitterValue));
        return;
    }
    const Hsl base = rgbToHsl(kSimpleBase);
    const int r = drawUniform(random, 0, 100);
    const int w = drawUniform(random, 0, 100);
    const int a = drawUniform(random, 0, 100);
    const int d = drawUniform(random, 0, 100);
    const double hue = base.h + (r - 50) * 0.05;
    const double saturation = w * 0.01 * base.s;
    // Most draws of d give black water: dark water is the most natural.
    const double lightness = d <= 40 ? a * 0.02 * base.l : 0.0;
    record.waterColor = toColor(hslToRgb(hue, saturation, lightness));
}

void newRandomSeed(SettingsRecord& record, RandomGenerator& random) {
    record.randomSeed = random.next() & kRandomSeedMask;
}

}  // namespace mirel
