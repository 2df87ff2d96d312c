// Footprint lookups of the reflected picture (see footprint.h): the footprint
// set-up from neighbouring samples, the point lookup and the area lookup.
#include "image/footprint.h"

#include <cmath>

#include "image/sampling.h"
#include "platform/math/elementary.h"

namespace mirel::image {

namespace {

constexpr float kPi = 3.14159265f;
// Ratios above this are limited by maxSamples anyway; the bound keeps the
// rounding to an int defined.
constexpr float kMaxRatio = 1.0e6f;

// The pixel footprint of a sample as two derivative vectors, in level-0 pixels.
struct Derivatives {
    Vec2 d1, d2;
    bool none = false;  // both neighbours missing
    bool wide = false;  // a component wider than half the picture (normalised > 0.5)
};

float length2(const Vec2& a) {
    return a.x * a.x + a.y * a.y;
}
float crossAbs(const Vec2& a, const Vec2& b) {
    return std::fabs(a.x * b.y - a.y * b.x);
}

// Picks among B, A, D1, D2 by a score: B only when strictly largest, then A,
// then D1 over D2.
const Vec2& pickLargest(const Vec2* candidates, const float* score) {
    if (score[0] > score[1] && score[0] > score[2] && score[0] > score[3]) return candidates[0];
    if (score[1] > score[2] && score[1] > score[3]) return candidates[1];
    if (score[2] > score[3]) return candidates[2];
    return candidates[3];
}

Derivatives setUpFootprint(const TiledImage& image, const Footprint& footprint,
                           const LookupParams& params) {
    Derivatives d;
    const bool missing1 = footprint.neighbour1.x == kMissingNeighbour;
    const bool missing2 = footprint.neighbour2.x == kMissingNeighbour;
    if (missing1 && missing2) {
        d.none = true;
        return d;
    }
    d.d1 = {footprint.own.x - footprint.neighbour1.x, footprint.own.y - footprint.neighbour1.y};
    d.d2 = {footprint.own.x - footprint.neighbour2.x, footprint.own.y - footprint.neighbour2.y};
    if (missing1) d.d1 = d.d2;
    if (missing2) d.d2 = d.d1;

    if (params.spreadVectors.enabled) {
        // The footprint becomes the longest of the four vectors and the one most
        // across it, so unresolved detail widens it in its own direction.
        const Vec2 candidates[4] = {params.spreadVectors.b, params.spreadVectors.a, d.d1, d.d2};
        float score[4];
        for (int i = 0; i < 4; ++i) score[i] = length2(candidates[i]);
        const Vec2 major = pickLargest(candidates, score);
        for (int i = 0; i < 4; ++i) score[i] = crossAbs(candidates[i], major);
        const Vec2 second = pickLargest(candidates, score);
        d.d1 = second;
        d.d2 = major;
    }

    d.wide = std::fabs(d.d1.x) > 0.5f || std::fabs(d.d1.y) > 0.5f || std::fabs(d.d2.x) > 0.5f ||
             std::fabs(d.d2.y) > 0.5f;
    const float w = static_cast<float>(image.baseWidth);
    const float h = static_cast<float>(image.baseHeight);
    d.d1 = {d.d1.x * w, d.d1.y * h};
    d.d2 = {d.d2.x * w, d.d2.y * h};
    return d;
}

float maxAbs(const Vec2& a) {
    return std::fmax(std::fabs(a.x), std::fabs(a.y));
}

float moveTowardsCoarsest(float level, float lastLevel, float fraction) {
    return level + (lastLevel - level) * fraction;
}

const NoiseTables& seedZeroTables() {
    static const NoiseTables tables = [] {
        NoiseTables t;
        buildNoiseTables(t, 0);
        return t;
    }();
    return tables;
}

Rgba rgbaZero() {
    return {};
}

// One read of the area lookup at its own position, index along the axis and
// level L (0..lastLevel); normalised.
Rgba readOne(const TiledImage& image, float u, float v, float L, int index, float detail,
             const LookupParams& params, const NoiseTables& noise) {
    int k = static_cast<int>(L);
    float f = L - static_cast<float>(k);
    if (k == 0 && detail == -1.0f) {
        return readPixel(image, saturatingTrunc(u * image.nominalWidth[0] - 0.5f),
                         saturatingTrunc(v * image.nominalHeight[0] - 0.5f), 0);
    }
    float level = L;
    if (applyEdgeMode(image, u, v, level) & kEdgeLevelChanged) {
        level = clampLevel(level, image.lastLevel);
        k = static_cast<int>(level);
        f = level - static_cast<float>(k);
    }
    if (params.jitter) {
        // Dither between the two levels instead of blending them: positions,
        // not threads, seed the choice, so every run gives the same picture.
        const int hash = permHash3(noise,
                                   saturatingTrunc(static_cast<float>(image.baseWidth) * u +
                                                   37.0f * static_cast<float>(index)),
                                   saturatingTrunc(static_cast<float>(image.baseHeight) * v));
        int chosen = f > static_cast<float>(hash) / 255.0f ? k + 1 : k;
        if (chosen > image.lastLevel) chosen = image.lastLevel;
        return bilinearRead(image, chosen, u, v);
    }
    return normalisedRead(image, k, f, u, v);
}

}  // namespace

float clipSide(const ClipLine& line, float x, float y) {
    return (y - line.p.y) * line.direction.x - (x - line.p.x) * line.direction.y;
}

float fastLog2(float x) {
    if (!(x > 1.0f)) return 0.0f;
    if (std::isinf(x)) return 128.0f;
    int exponent = 0;
    const float mantissa = std::frexp(x, &exponent) * 2.0f - 1.0f;  // x = 2^(e-1) (1 + m)
    const float m5 = mantissa - 0.5f;
    // The mantissa part is summed first so that it is exactly 0 at m = 0.
    const float part = (mantissa + 0.1f) - 0.4f * m5 * m5;
    return static_cast<float>(exponent - 1) + part;
}

AxisReads axisReads(float ratio, int maxSamples) {
    AxisReads reads;
    if (!(ratio >= 1.25f)) return reads;  // also NaN
    if (ratio > kMaxRatio) ratio = kMaxRatio;
    if (ratio > 1.25f && ratio < 1.5f) {
        // Fade the second read in over 1.25..1.5 so the footprint grows smoothly.
        reads.count = 2;
        reads.fade = (ratio - 1.25f) * 4.0f;
    } else {
        reads.count = static_cast<int>(std::floor(ratio + 0.5f));
    }
    if (reads.count > maxSamples) reads.count = maxSamples;
    if (reads.count < 2) reads.count = 2;
    return reads;
}

AreaPlan planLookupArea(const TiledImage& image, float u, float v, const Footprint& footprint,
                        LookupParams& params, float detail) {
    AreaPlan plan;
    if (std::isnan(u) || std::isnan(v)) {
        plan.zero = true;
        return plan;
    }
    const float last = static_cast<float>(image.lastLevel);
    const Derivatives d = setUpFootprint(image, footprint, params);

    bool single = true;
    float level = 0.0f;
    float major = 1.0f, minor = 1.0f, t = 0.0f, l = 0.0f, m = 0.0f;
    if (d.none || params.pointMode == 1) {
        level = params.lookupLevel;
    } else if (params.isotropic) {
        const float r = std::fmax(maxAbs(d.d1), maxAbs(d.d2));
        level = r > 1.0f ? fastLog2(r) : 0.0f;
    } else {
        // The ellipse through the two derivative vectors, as the conic
        // t x^2 + m x y + l y^2 = 1; its half-axes follow from the eigenvalues.
        const float a = d.d1.x, b = d.d1.y, c = d.d2.x, e = d.d2.y;
        const float ea = b * b + e * e;
        const float ec = a * a + c * c;
        const float eb = -2.0f * (a * b + c * e);
        float f = ea * ec - eb * eb / 4.0f;
        if (!(f > 1e-6f)) f = 1e-6f;
        t = ea / f;
        l = ec / f;
        m = eb / f;
        const float g = std::sqrt((t - l) * (t - l) + m * m);
        const float hsum = t + l;
        const float shrink = 1.0f - std::fmax(std::isnan(detail) ? 0.0f : detail, 0.0f) / 2.0f;
        const float lo = hsum - g;
        const float hi = hsum + g;
        major = std::sqrt(2.0f / (lo > 1e-6f ? lo : 1e-6f)) * shrink;
        minor = std::sqrt(2.0f / (hi > 1e-6f ? hi : 1e-6f)) * shrink;
        if (!(minor > 0.5f)) minor = 0.5f;
        // Choose the level where the minor axis is one pixel; the major axis is
        // covered by several reads.
        level = math::log2(minor);
        params.lookupLevel = level;
        single = false;
    }
    applyEdgeMode(image, u, v, level);
    if (params.isotropic) level = moveTowardsCoarsest(level, last, params.isoBlurFraction);
    level = moveTowardsCoarsest(level, last, params.blurFraction);
    plan.level = clampLevel(level, image.lastLevel);
    plan.u = u;
    plan.v = v;

    const float ratio = major / minor;
    if (single || d.wide || (major <= 1.0f && minor <= 1.0f)) return plan;
    const AxisReads reads = axisReads(ratio, params.maxSamples);
    if (reads.count < 2) return plan;

    plan.count = reads.count;
    plan.fade = reads.fade;
    float theta = math::atan(m / (t - l)) / 2.0f;
    if (l < t) theta += kPi / 2.0f;
    const float spacing = reads.fade * major / static_cast<float>(reads.count - 1);
    plan.step = {math::cos(theta) * spacing / static_cast<float>(image.baseWidth),
                 math::sin(theta) * spacing / static_cast<float>(image.baseHeight)};
    if (!std::isfinite(plan.step.x) || !std::isfinite(plan.step.y)) {
        plan.count = 1;  // a degenerate ellipse: one read at the centre
        plan.step = {};
        return plan;
    }
    plan.firstKept = 0;
    plan.lastKept = plan.count - 1;

    if (params.clipLine.enabled) {
        const float half = static_cast<float>(plan.count - 1) / 2.0f;
        const float s0 = clipSide(params.clipLine, u - half * plan.step.x, v - half * plan.step.y);
        const float s1 = clipSide(params.clipLine, u + half * plan.step.x, v + half * plan.step.y);
        if ((s0 <= 0.0f) != (s1 <= 0.0f)) {
            const float ds = s1 - s0;
            float y = std::fabs(ds) < 1e-5f ? 0.5f : s0 / (s0 - s1);
            // An infinite line direction gives NaN here; the kept range must
            // still lie inside 0..count - 1.
            y = std::isnan(y) ? 0.5f : (y < 0.0f ? 0.0f : (y > 1.0f ? 1.0f : y));
            const float at = static_cast<float>(plan.count - 1) * y;
            plan.clipped = true;
            if (s0 <= 0.0f) {
                plan.lastKept = static_cast<int>(std::floor(at));
                plan.clipDirection = 1.0f;
            } else {
                plan.firstKept = static_cast<int>(std::ceil(at));
                plan.clipDirection = -1.0f;
            }
        }
    }
    return plan;
}

Rgba lookupPoint(const TiledImage& image, float u, float v, const Footprint& footprint,
                 const LookupParams& params) {
    if (!hasTiles(image)) return rgbaZero();
    float unusedLevel = 0.0f;
    applyEdgeMode(image, u, v, unusedLevel);
    const float last = static_cast<float>(image.lastLevel);
    const Derivatives d = setUpFootprint(image, footprint, params);
    float level = 0.0f;
    if (d.none || params.pointMode == 1) {
        level = params.lookupLevel;
    } else {
        const float m1 = maxAbs(d.d1);
        const float m2 = maxAbs(d.d2);
        const float s = (m2 - m1) / 2.0f + m1;
        level = s <= 1.0f ? 0.0f : std::fmin(fastLog2(s), last);
    }
    if (params.isotropic) level = moveTowardsCoarsest(level, last, params.isoBlurFraction);
    level = moveTowardsCoarsest(level, last, params.blurFraction);
    const int k = static_cast<int>(clampLevel(level, image.lastLevel));
    return readPixel(image, saturatingTrunc(u * image.levelWidthF[k]),
                     saturatingTrunc(v * image.levelHeightF[k]), k);
}

Rgba lookupArea(const TiledImage& image, float u, float v, const Footprint& footprint,
                LookupParams& params, float detail) {
    const AreaPlan plan = planLookupArea(image, u, v, footprint, params, detail);
    if (plan.zero || !hasTiles(image)) return rgbaZero();
    const NoiseTables& noise = params.noise ? *params.noise : seedZeroTables();
    if (plan.count < 2) return readOne(image, plan.u, plan.v, plan.level, 0, detail, params, noise);

    // Colour is averaged as root mean square so that a bright detail keeps its
    // weight against dark surroundings; alpha is a plain mean.
    double r2 = 0.0, g2 = 0.0, b2 = 0.0, alpha = 0.0;
    const float half = static_cast<float>(plan.count - 1) / 2.0f;
    for (int i = plan.firstKept; i <= plan.lastKept; ++i) {
        const float offset = static_cast<float>(i) - half;
        float ru = plan.u + offset * plan.step.x;
        float rv = plan.v + offset * plan.step.y;
        if (params.jitter && plan.clipped) {
            const int hash =
                permHash2(noise, saturatingTrunc(ru * 30000.0f + 79.0f * static_cast<float>(i)),
                          saturatingTrunc(rv * 40000.0f));
            const float shift = plan.clipDirection * static_cast<float>(hash) / 255.0f;
            ru += shift * plan.step.x;
            rv += shift * plan.step.y;
        }
        const Rgba p = readOne(image, ru, rv, plan.level, i, detail, params, noise);
        r2 += static_cast<double>(p.r) * p.r;
        g2 += static_cast<double>(p.g) * p.g;
        b2 += static_cast<double>(p.b) * p.b;
        alpha += p.a;
    }
    const double count = static_cast<double>(plan.lastKept - plan.firstKept + 1);
    return Rgba{static_cast<float>(std::sqrt(r2 / count)),
                static_cast<float>(std::sqrt(g2 / count)),
                static_cast<float>(std::sqrt(b2 / count)), static_cast<float>(alpha / count)};
}

}  // namespace mirel::image
