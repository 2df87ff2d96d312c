// The opponent-colour tables and modes. The tables sample a Lab-like conversion:
// a 1.79 gamma, a wide-gamut RGB-to-XYZ matrix with white at (1, 1, 1), CIE's
// L*, a*, b* of that, and bytes with L* scaled to 0..255 and a*, b* offset by 128.
#include "render/opponent_tables.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/math/elementary.h"

namespace mirel::render {
namespace {

// The conversion's constants. The matrix rows each sum to 1, so white is the
// reference white and every grey has a = b = 128 exactly.
constexpr double kGamma = 1.78764;
constexpr double kToXyz[3][3] = {
    {0.47415, 0.35928, 0.16657},
    {0.24231, 0.63937, 0.11832},
    {0.01194, 0.10484, 0.88322},
};
constexpr double kLScale = 2.55;     // L* 0..100 to a byte
constexpr double kAScale = 1.01912;  // bytes per unit of a*
constexpr double kBScale = 1.01821;  // bytes per unit of b*

constexpr double kLabEpsilon = 6.0 / 29.0;

double labF(double t) {
    if (t > kLabEpsilon * kLabEpsilon * kLabEpsilon) return math::cbrt(t);
    return t / (3.0 * kLabEpsilon * kLabEpsilon) + 4.0 / 29.0;
}

double labFInverse(double t) {
    if (t > kLabEpsilon) return t * t * t;
    return 3.0 * kLabEpsilon * kLabEpsilon * (t - 4.0 / 29.0);
}

std::uint8_t toByte(double v) {
    if (!(v > 0.0)) return 0;
    if (v >= 255.0) return 255;
    return static_cast<std::uint8_t>(std::lround(v));
}

struct Matrix3 {
    double m[3][3];
};

Matrix3 inverted(const double (&a)[3][3]) {
    Matrix3 out{};
    const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                       a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                       a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            // Cofactor of (c, r), i.e. the adjugate's (r, c).
            const int r0 = (c + 1) % 3, r1 = (c + 2) % 3;
            const int c0 = (r + 1) % 3, c1 = (r + 2) % 3;
            out.m[r][c] = (a[r0][c0] * a[r1][c1] - a[r0][c1] * a[r1][c0]) / det;
        }
    }
    return out;
}

OpponentTables buildTables() {
    OpponentTables t;
    constexpr double kNodeStep = 1.0 / (kOpponentGridSize - 1);
    for (int z = 0; z < kOpponentGridSize; ++z) {
        for (int y = 0; y < kOpponentGridSize; ++y) {
            for (int x = 0; x < kOpponentGridSize; ++x) {
                const int at =
                    3 * (x + kOpponentGridSize * y + kOpponentGridSize * kOpponentGridSize * z);
                const auto lab = opponentFromRgb(x * kNodeStep, y * kNodeStep, z * kNodeStep);
                const auto rgb = rgbFromOpponent(x * 255.0 * kNodeStep, y * 255.0 * kNodeStep,
                                                 z * 255.0 * kNodeStep);
                for (int c = 0; c < 3; ++c) {
                    t.forward[at + c] = lab[c];
                    t.inverse[at + c] = rgb[c];
                }
            }
        }
    }
    return t;
}

std::int32_t clampFull(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, 0, kFixedFull));
}

// Overlay chosen by the source's value.
std::int32_t overlayBySource(std::int64_t s, std::int64_t e) {
    if (s > kFixedHalf - 1)
        return clampFull(kFixedFull - (((kFixedFull - s) * (kFixedFull - e)) >> 14));
    return clampFull((s * e) >> 14);
}

// Pin light of `base` by `light`.
std::int32_t pinBy(std::int64_t light, std::int64_t base) {
    if (light > kFixedHalf - 1) return clampFull(std::max(base, 2 * light - kFixedFull));
    return clampFull(std::min(base, 2 * light));
}

}  // namespace

std::array<std::uint8_t, 3> opponentFromRgb(double r, double g, double b) {
    const double lin[3] = {math::pow(std::clamp(r, 0.0, 1.0), kGamma),
                           math::pow(std::clamp(g, 0.0, 1.0), kGamma),
                           math::pow(std::clamp(b, 0.0, 1.0), kGamma)};
    double f[3];
    for (int i = 0; i < 3; ++i) {
        f[i] = labF(kToXyz[i][0] * lin[0] + kToXyz[i][1] * lin[1] + kToXyz[i][2] * lin[2]);
    }
    const double lStar = 116.0 * f[1] - 16.0;
    const double aStar = 500.0 * (f[0] - f[1]);
    const double bStar = 200.0 * (f[1] - f[2]);
    return {toByte(lStar * kLScale), toByte(aStar * kAScale + kOpponentNeutral),
            toByte(bStar * kBScale + kOpponentNeutral)};
}

std::array<std::uint8_t, 3> rgbFromOpponent(double l, double a, double b) {
    static const Matrix3 kFromXyz = inverted(kToXyz);
    const double fy = (l / kLScale + 16.0) / 116.0;
    const double fx = fy + (a - kOpponentNeutral) / kAScale / 500.0;
    const double fz = fy - (b - kOpponentNeutral) / kBScale / 200.0;
    const double xyz[3] = {labFInverse(fx), labFInverse(fy), labFInverse(fz)};
    std::array<std::uint8_t, 3> out{};
    for (int i = 0; i < 3; ++i) {
        const double lin =
            kFromXyz.m[i][0] * xyz[0] + kFromXyz.m[i][1] * xyz[1] + kFromXyz.m[i][2] * xyz[2];
        out[i] = toByte(255.0 * math::pow(std::clamp(lin, 0.0, 1.0), 1.0 / kGamma));
    }
    return out;
}

const OpponentTables& opponentTables() {
    static const OpponentTables tables = buildTables();
    return tables;
}

std::array<std::uint8_t, 3> tableNode(const std::array<std::uint8_t, 3 * kOpponentNodes>& table,
                                      int x, int y, int z) {
    const int at = 3 * (x + kOpponentGridSize * y + kOpponentGridSize * kOpponentGridSize * z);
    return {table[at], table[at + 1], table[at + 2]};
}

FixedRgb lookupTetrahedral(const std::array<std::uint8_t, 3 * kOpponentNodes>& table,
                           const FixedRgb& in) {
    constexpr int kLastCell = kOpponentGridSize - 2;
    constexpr int kStride[3] = {3, 3 * kOpponentGridSize,
                                3 * kOpponentGridSize * kOpponentGridSize};
    const std::int32_t channel[3] = {in.r, in.g, in.b};
    int base = 0;
    std::int32_t frac[3];
    for (int k = 0; k < 3; ++k) {
        // Grid position in 1/32768 of a cell: value * 15 stays below 2^19.
        const std::int32_t pos = std::clamp(channel[k], 0, kFixedFull) * (kOpponentGridSize - 1);
        int cell = pos >> 15;
        frac[k] = pos & (kFixedFull - 1);
        if (cell > kLastCell) {  // the far edge belongs to the last cell
            cell = kLastCell;
            frac[k] = kFixedFull;
        }
        base += cell * kStride[k];
    }
    // Walk from the cell's low corner along the axes in order of falling fraction.
    // Three compare-and-swaps; ties keep red before green before blue.
    int order[3] = {0, 1, 2};
    if (frac[order[1]] > frac[order[0]]) std::swap(order[0], order[1]);
    if (frac[order[2]] > frac[order[1]]) std::swap(order[1], order[2]);
    if (frac[order[1]] > frac[order[0]]) std::swap(order[0], order[1]);
    const int n0 = base;
    const int n1 = n0 + kStride[order[0]];
    const int n2 = n1 + kStride[order[1]];
    const int n3 = n2 + kStride[order[2]];
    const std::int32_t w0 = kFixedFull - frac[order[0]];
    const std::int32_t w1 = frac[order[0]] - frac[order[1]];
    const std::int32_t w2 = frac[order[1]] - frac[order[2]];
    const std::int32_t w3 = frac[order[2]];
    std::int32_t out[3];
    for (int c = 0; c < 3; ++c) {
        // The weights sum to 32768, so sum / 255 is the byte value rescaled to 255 -> 32768.
        const std::int32_t sum =
            w0 * table[n0 + c] + w1 * table[n1 + c] + w2 * table[n2 + c] + w3 * table[n3 + c];
        out[c] = (sum + 127) / 255;
    }
    return {out[0], out[1], out[2]};
}

FixedRgb blendOpponent(const FixedRgb& effect, const FixedRgb& source, std::int32_t mode) {
    if (mode < 54 || mode > 57) return effect;
    const OpponentTables& tables = opponentTables();
    // Channels r, g, b of these hold L, a, b.
    const FixedRgb e = lookupTetrahedral(tables.forward, effect);
    const FixedRgb s = lookupTetrahedral(tables.forward, source);
    FixedRgb mixed;
    switch (mode) {
        case 54:  // parietal: multiplied lightness, overlaid opponents
            mixed.r = clampFull((std::int64_t{s.r} * e.r) >> 15);
            mixed.g = overlayBySource(s.g, e.g);
            mixed.b = overlayBySource(s.b, e.b);
            break;
        case 55:  // temporal: screened lightness, overlaid opponents
            mixed.r = clampFull(kFixedFull -
                                ((std::int64_t{kFixedFull - s.r} * (kFixedFull - e.r)) >> 15));
            mixed.g = overlayBySource(s.g, e.g);
            mixed.b = overlayBySource(s.b, e.b);
            break;
        case 56:  // occipital: pin light of the source by the effect
            mixed.r = pinBy(e.r, s.r);
            mixed.g = pinBy(e.g, s.g);
            mixed.b = e.b;
            break;
        default:  // 57 limbic: pin light of the effect by the source
            mixed.r = pinBy(s.r, e.r);
            mixed.g = pinBy(s.g, e.g);
            mixed.b = e.b;
            break;
    }
    return lookupTetrahedral(tables.inverse, mixed);
}

}  // namespace mirel::render
