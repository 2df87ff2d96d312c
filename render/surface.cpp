// The two surface models: Simple displaces the mirrored picture by noise and ring
// ripples in perspective; Complex traces the view ray onto a 3-D wave field.
#include "render/surface.h"

#include <algorithm>
#include <cmath>

#include "image/noise.h"
#include "platform/math/elementary.h"
#include "render/surface_waves.h"

namespace mirel::render {
namespace {

constexpr float kRotCos = 0.7771459f;
constexpr float kRotSin = 0.6293203f;
// fbm never runs more octaves than this, whatever it is asked for.
constexpr int kOctaveLimit = 64;
// A reflected ray that leaves the water towards the eye has no screen point in
// front of the camera; it is held just in front so the source stays finite.
constexpr double kMinReflectedZ = 1e-6;
// Longest spread vector (normalised units) and its square.
constexpr double kMaxSpread = 0.45;
constexpr double kMaxSpreadSquared = 0.2025;
// (1 + 0.09 * sqrt(2))^2 is 1.2708: no ring reaches beyond this (in ring radii, squared).
constexpr double kRippleReachSquared = 1.28;
// The hit search goes on past its first five steps while the point is farther
// from the surface than this share of the eye height, for at most this many steps.
constexpr double kHitTolerance = 0.01;
constexpr int kMaxExtraHitSteps = 24;

Vec3d normalised(Vec3d v) {
    const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (!(length > 0.0)) return {};
    return {v.x / length, v.y / length, v.z / length};
}

double dot(const Vec3d& a, const Vec3d& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3d reflect(const Vec3d& d, const Vec3d& n) {
    const double k = 2.0 * dot(d, n);
    return {d.x - k * n.x, d.y - k * n.y, d.z - k * n.z};
}

bool finite(const Vec3d& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// t - floor(t) without a library call per wave (the hot loop runs it four times
// per level). Floats from 2^23 up are whole numbers; infinity and NaN give NaN.
float fracf(float t) {
    if (!(std::fabs(t) < 8388608.0f)) return t - t;
    float whole = static_cast<float>(static_cast<std::int32_t>(t));
    if (whole > t) whole -= 1.0f;
    return t - whole;
}

double fracd(double t) {
    if (!(std::fabs(t) < 4503599627370496.0)) return t - t;
    double whole = static_cast<double>(static_cast<std::int64_t>(t));
    if (whole > t) whole -= 1.0;
    return t - whole;
}

float clamp01(float x) {
    if (!(x > 0.0f)) return 0.0f;  // NaN too
    return x < 1.0f ? x : 1.0f;
}

// Spun position of a reflected ray's screen point, with the offset line as mirror.
void reflectedSource(const RenderContext& c, Vec3d r, double& h, double& v) {
    if (r.y < 0.0) r.y = -r.y;
    const double z = r.z > kMinReflectedZ ? r.z : kMinReflectedZ;
    h = r.x * c.focal / z;
    v = c.horizonY + (-r.y * c.focal / z) + 2.0 * (c.offsetY - c.horizonY);
}

void unspinDouble(const RenderContext& c, double h, double v, double& u, double& w) {
    const double cs = c.spinRot[0][0], sn = c.spinRot[1][0];
    u = h * cs - v * sn + 0.5;
    w = (h * sn + v * cs) / c.aspect + 0.5;
}

void setRayFields(CellRecord& cell, const Vec3d& value) {
    cell.rayDir = value;
    cell.negRay = value;
    cell.hitPoint = value;
    cell.hitNormal = value;
    cell.eyeToHit = value;
}

// Simple model; returns the spun source position in (h2, v2).
void simpleModel(const RenderContext& c, float h, float v, CellRecord& cell, double& h2,
                 double& v2) {
    const SettingsRecord& s = c.settings;
    if (v <= c.offsetY) {
        cell.kind = kKindSimpleDry;
        cell.waterWeight = 1.0f;
        h2 = h;
        v2 = v;
        return;
    }
    const float m = v + 0.0001f - c.horizonY;
    float gx = 0.0f, gy = 0.0f;
    groundCoordinates(c, h, v, gx, gy);

    float nx = 0.0f, ny = 0.0f;
    if (c.noise != nullptr) fbm(*c.noise, gx, gy, c.octaves, nx, ny);
    nx *= s.waviness * 0.01f;
    ny *= s.waviness * 0.01f;

    float rx = 0.0f, ry = 0.0f;
    if (c.rippleScale > 0.0f) {
        for (int i = 0; i < kRippleCount; ++i) {
            const float dy = (gy - (c.rippleY[i] + c.centreGroundY)) * c.invRippleScale;
            const float dx = (gx - (c.rippleX[i] + c.centreGroundX)) * c.invRippleScale;
            const float r2 = dx * dx + dy * dy;
            if (r2 < 1.0f) {
                const float r = std::sqrt(r2);
                const float angle = r * 3.1415927f * c.undulationFreq;
                const float fall = (1.0f - r) * 0.7f;
                const float amp = fall * fall * 2.0408163f;
                rx += math::sin(angle) * amp * c.rippleHeight;
                ry += math::cos(angle) * amp * c.rippleHeight;
            }
        }
    }

    const float k = m / c.aspect;
    h2 = h + (rx + nx) * k;
    const float dv = (ry + ny) * k;
    // The reflection mirrors about the offset line and never crosses it.
    float mirrored = 2.0f * c.offsetY - v + dv;
    if (mirrored > c.offsetY) mirrored = c.offsetY - (mirrored - c.offsetY);
    v2 = mirrored;

    const float t = clamp01((v - c.horizonY) / c.aspect / (1.01f - c.horizonFrac));
    const float base = (0.5f - 0.5f * t) * (0.5f - 0.5f * t) + s.brilliance * 0.01f;
    const float f1 = base >= 0.5f ? 1.0f - (base - 0.5f) * 2.0f : 1.0f;
    const float f2 = base < 0.5f ? base * 2.0f : 1.0f;
    cell.waterWeight =
        clamp01((5.0f * dv / c.aspect - 2.0f * k * c.perspScale) * f1 * c.aspect + f2);
    cell.blurRadius =
        (v - c.offsetY) * (s.blur * 0.01f / c.aspect) / std::max(1.0f - c.horizonFrac, 0.01f);
    cell.kind = kKindSimpleWater;
}

// No water: the source is the ray's own screen point, which is the sample itself.
// Taken as it is rather than back from the ray, it keeps its exact position: a
// sample on the picture's edge stays inside the picture instead of rounding to
// just outside it.
void complexNoWater(double h, double v, CellRecord& cell, double& h2, double& v2) {
    h2 = h;
    v2 = v;
    cell.kind = kKindComplexDry;
    cell.waterWeight = 1.0f;
    cell.hasSpread = 0;
    setRayFields(cell, {-1.0, -1.0, -1.0});
    cell.blurRadius = 0.0f;
}

void surfaceHeights(const RenderContext& c, const double* levelWeight, const Vec3d* points,
                    int count, int levels, double rippleHeight, double* heights);
double worldRipplesWith(const RenderContext& c, double x, double z, double rippleHeight);
void normalHeights(const RenderContext& c, const double* levelWeight, const Vec3d* around,
                   double hitCoarseSum, double* heights);

// One ray's false-position search for the point where it meets the waves, a step at a
// time, so that the rays of several samples can take their steps side by side.
//
// False position between the eye (above the waves) and three times the distance to the
// flat water; a far end still above the waves is no hit. Five steps of false position
// settle most rays. One end can stay put while the other creeps towards it, and then the
// point after five steps lies off the surface. At a low eye, where the rays graze the
// waves, the points of a whole row stop at about the same share of the way, and where
// they cross a crest of the largest waves, which runs straight across the view, the water
// changes at once along a straight line. Such rays go on, halving the height kept at an
// end that stays put twice in a row (the Illinois rule), until the point lies on the
// surface.
struct HitSearch {
    Vec3d ray;
    double eyeHeight = 0.0;
    SampleFootprint fp;
    double ta = 0.0, ha = 0.0, tb = 0.0, hb = 0.0, hm = 0.0;
    double t = 0.0;       // where along the ray `hit` lies
    int kept = 0;         // +1: the near end was moved last, -1: the far end
    int step = -1;        // the step whose height is wanted; -1: the far end's
    Vec3d hit;            // where the next coarse height is wanted; at the end, the hit
    double hitSum = 0.0;  // the coarse wave sum at `hit`, carried on to its full height
    bool searching = true;
    bool missed = false;  // the far end lies above the waves

    Vec3d along(double distance) const {
        return Vec3d{ray.x * distance, eyeHeight + ray.y * distance, ray.z * distance};
    }
};

void startSearch(const RenderContext& c, const Vec3d& ray, const SampleFootprint& fp,
                 HitSearch& s) {
    s = HitSearch{};
    s.ray = ray;
    s.eyeHeight = c.eyeHeight;
    s.fp = fp;
    const double flat = -c.eyeHeight / ray.y;
    s.ta = 0.0;
    s.ha = c.eyeHeight;
    s.tb = 3.0 * flat;
    s.hit = s.along(s.tb);
}

// The search's next step from the coarse wave sum at `hit`.
void takeCoarseSum(const RenderContext& c, HitSearch& s, double sum) {
    s.hitSum = sum;
    const double height = s.hit.y - (worldRipplesWith(c, s.hit.x, s.hit.z, c.rippleHeight) + sum);
    if (s.step < 0) {
        s.hb = height;
        if (!(s.hb <= 0.0)) {
            s.searching = false;
            s.missed = true;
            return;
        }
    } else {
        const int i = s.step;
        s.hm = height;
        if (s.hm > 0.0) {
            if (i >= 5 && s.kept == 1) s.hb *= 0.5;
            s.ta = s.t;
            s.ha = s.hm;
            s.kept = 1;
        } else {
            if (i >= 5 && s.kept == -1) s.ha *= 0.5;
            s.tb = s.t;
            s.hb = s.hm;
            s.kept = -1;
        }
    }
    ++s.step;
    const double tolerance = kHitTolerance * c.eyeHeight;
    if (s.step >= 5 + kMaxExtraHitSteps || (s.step >= 5 && !(std::fabs(s.hm) > tolerance))) {
        s.searching = false;
        return;
    }
    const double denominator = s.ha - s.hb;
    s.t = denominator > 0.0 ? s.ta + (s.tb - s.ta) * s.ha / denominator : s.tb;
    s.hit = s.along(s.t);
}

// The Complex model up to its search: the ray, and false when it points above the
// horizon (the sample then shows itself).
bool startComplex(const RenderContext& c, double h, double v, CellRecord& cell, double& h2,
                  double& v2, Vec3d& ray) {
    ray = viewRay(c, h, v - c.horizonY);
    cell.rayDir = ray;
    cell.negRay = {-ray.x, -ray.y, -ray.z};
    cell.kind = kKindComplexPending;
    cell.hasSpread = 0;
    if (ray.y < 0.0) return true;
    complexNoWater(h, v, cell, h2, v2);
    return false;
}

// Whether the search found the water: a hit point, and nearer than the far limit.
bool hitsWater(const RenderContext& c, const HitSearch& search) {
    return !search.missed && finite(search.hit) && !(search.hit.z > c.farLimit);
}

// The Complex model after its search; returns the spun source position in (h2, v2). With
// `untilWater`, it stops once the ray is known to meet the water, with only the kind set,
// and returns true.
bool finishComplex(RenderContext& c, double h, double v, CellRecord& cell, double& h2, double& v2,
                   const HitSearch& search, bool untilWater) {
    const Vec3d& ray = search.ray;
    const Vec3d& hit = search.hit;
    const SampleFootprint& fp = search.fp;
    const Vec3d eye{0.0, c.eyeHeight, 0.0};
    if (!hitsWater(c, search)) {
        complexNoWater(h, v, cell, h2, v2);
        return false;
    }
    if (untilWater) {
        cell.kind = kKindComplexWater;
        return true;
    }
    const double hitSum = search.hitSum;

    const double step = fp.size;
    const Vec3d around[3] = {hit, {hit.x + step, hit.y, hit.z}, {hit.x, hit.y, hit.z + step}};
    double heights[3];
    normalHeights(c, fp.levelWeight, around, hitSum, heights);
    const double h0 = heights[0], hx = heights[1], hz = heights[2];
    const Vec3d normal = normalised({hx - h0, step, hz - h0});

    const Vec3d reflected = reflect(ray, normal);
    reflectedSource(c, reflected, h2, v2);

    cell.kind = kKindComplexWater;
    cell.waterWeight = 1.0f;
    cell.hitPoint = hit;
    cell.hitNormal = normal;
    cell.eyeToHit = {hit.x - eye.x, hit.y - eye.y, hit.z - eye.z};
    cell.blurRadius = static_cast<float>(c.settings.blur * 0.01 * (v / c.aspect) * 2.0);
    cell.slopeSpread[0] = fp.slopeVariance[0];
    cell.slopeSpread[1] = fp.slopeVariance[1];

    // Spread: how far the source moves when the normal tilts by the slopes the
    // footprint does not resolve.
    double u0 = 0.0, w0 = 0.0;
    unspinDouble(c, h2, v2, u0, w0);
    double spread[2][2] = {};
    for (int axis = 0; axis < 2; ++axis) {
        const double dx = axis == 0 ? 0.01 : 0.0;
        const double dz = axis == 0 ? 0.0 : 0.01;
        const Vec3d t = normalised({-dx, 1.0, -dz});
        const Vec3d tilted =
            normalised({t.x + t.y * normal.x, t.y * normal.y, t.z + t.y * normal.z});
        double th = 0.0, tv = 0.0, tu = 0.0, tw = 0.0;
        reflectedSource(c, reflect(ray, tilted), th, tv);
        unspinDouble(c, th, tv, tu, tw);
        const double scale = fp.slopeDeviation[axis] * 100.0;
        spread[axis][0] = (tu - u0) * scale;
        spread[axis][1] = (tw - w0) * scale;
    }
    const double lenU = spread[0][0] * spread[0][0] + spread[0][1] * spread[0][1];
    const double lenV = spread[1][0] * spread[1][0] + spread[1][1] * spread[1][1];
    const double longest = std::max(lenU, lenV);
    if (!std::isfinite(longest)) return false;  // no spread for a degenerate reflection
    if (longest > kMaxSpreadSquared) {
        const double shrink = kMaxSpread / std::sqrt(longest);
        for (auto& vec : spread) {
            vec[0] *= shrink;
            vec[1] *= shrink;
        }
    }
    cell.hasSpread = 1;
    cell.spreadU[0] = static_cast<float>(spread[0][0]);
    cell.spreadU[1] = static_cast<float>(spread[0][1]);
    cell.spreadV[0] = static_cast<float>(spread[1][0]);
    cell.spreadV[1] = static_cast<float>(spread[1][1]);
    return false;
}

// The Complex model for one sample, its search a step at a time.
bool complexModel(RenderContext& c, double h, double v, CellRecord& cell, double& h2, double& v2,
                  bool untilWater) {
    Vec3d ray;
    if (!startComplex(c, h, v, cell, h2, v2, ray)) return false;
    HitSearch search;
    startSearch(c, ray, sampleFootprint(c, h, v, cell.seed), search);
    while (search.searching) {
        double sum = 0.0;
        waveSums(c, search.fp.levelWeight, &search.hit, 1, kCoarseWaveLevels, &sum);
        takeCoarseSum(c, search, sum);
    }
    return finishComplex(c, h, v, cell, h2, v2, search, untilWater);
}

double worldRipplesWith(const RenderContext& c, double x, double z, double rippleHeight) {
    if (!(c.rippleWorldScale > 0.0)) return 0.0;
    // Every ring lies within 1 + 0.09 * sqrt(2) ring radii of the centre's hit
    // point; farther away no ring can reach (most of the water).
    const double cx = (x - c.centreHit.x) * c.invRippleWorldScale;
    const double cz = (z - c.centreHit.z) * c.invRippleWorldScale;
    if (cx * cx + cz * cz > kRippleReachSquared) return 0.0;
    double sum = 0.0;
    for (int i = 0; i < kRippleCount; ++i) {
        const double dz = (z - (c.worldRippleY[i] + c.centreHit.z)) * c.invRippleWorldScale;
        const double dx = (x - (c.centreHit.x + c.worldRippleX[i])) * c.invRippleWorldScale;
        const double r2 = dx * dx + dz * dz;
        if (r2 < 1.0) {
            const double r = std::sqrt(r2);
            const double l = r * 3.1415927 / (2.0 * 3.14159265358979323846) * c.undulationFreq;
            const double q = fracd(l) - 0.5;
            const double w = 8.0 * q - 16.0 * q * std::fabs(q) + 2.5;
            const double fall = (1.0 - r) * 0.7;
            sum += (0.05 * w * w * w + c.simpleWaveMean) * fall * fall * 0.8 * rippleHeight;
        }
    }
    return sum;
}

// Heights of up to kMaxHeightPoints points with the same level weights.
void surfaceHeights(const RenderContext& c, const double* levelWeight, const Vec3d* points,
                    int count, int levels, double rippleHeight, double* heights) {
    double sums[kMaxHeightPoints];
    waveSums(c, levelWeight, points, count, levels, sums);
    for (int n = 0; n < count; ++n) {
        const Vec3d& point = points[n];
        heights[n] = point.y - (worldRipplesWith(c, point.x, point.z, rippleHeight) + sums[n]);
    }
}

// The heights at every level of the hit point and its two neighbours, as
// surfaceHeights gives them; the hit point's sum carries on from its coarse
// levels, which are the first levels of the whole sum.
void normalHeights(const RenderContext& c, const double* levelWeight, const Vec3d* around,
                   double hitCoarseSum, double* heights) {
    static_assert(kCoarseWaveLevels <= kWaveLevels);
    double sums[3] = {hitCoarseSum, 0.0, 0.0};
    const int firstLevels[3] = {kCoarseWaveLevels, 0, 0};
    waveSums(c, levelWeight, around, 3, kWaveLevels, sums, firstLevels);
    for (int n = 0; n < 3; ++n) {
        const Vec3d& point = around[n];
        heights[n] = point.y - (worldRipplesWith(c, point.x, point.z, c.rippleHeight) + sums[n]);
    }
}

}  // namespace

std::int32_t sampleSeed(std::int32_t column, std::int32_t row) {
    const std::uint32_t a = static_cast<std::uint32_t>(column) * 7607u;
    const std::uint32_t b = static_cast<std::uint32_t>(row) * 661u;
    return static_cast<std::int32_t>(a ^ b);
}

void imagePosition(const RenderContext& c, double column, double row, double& x, double& y) {
    x = (c.zoom * column + c.panX + 1.0) / c.storeWidth;
    y = (c.zoom * row + c.panY + 1.0) / c.storeHeight;
}

void groundCoordinates(const RenderContext& c, float h, float v, float& gx, float& gy) {
    const float depth = (v + 0.0001f - c.horizonY) / c.aspect;
    gx = c.perspScale * 2.0f * c.altitude5 * h * 2.0f / depth;
    gy = c.altitude5 / depth;
}

void fbm(const image::NoiseTables& noise, float a, float b, float octaves, float& sx, float& sy) {
    // The read positions do not depend on the noise, so they are laid out first
    // and read four at a time; the sums then run in the usual order.
    constexpr int kMaxReads = 2 * kOctaveLimit + 2;
    alignas(16) float xs[kMaxReads + 2], ys[kMaxReads + 2], values[kMaxReads + 2];
    int reads = 0;
    for (int i = 1; i < kOctaveLimit && static_cast<float>(i) < octaves; ++i) {
        xs[reads] = a * kRotCos - b * kRotSin;
        ys[reads++] = a * kRotSin + b * kRotCos;
        a += 25.0764f;
        b += 723.453f;
        xs[reads] = a * kRotCos - b * kRotSin;
        ys[reads++] = a * kRotSin + b * kRotCos;
        b += 65.81998f;
        a += 44.8452f;
        a *= 1.7134f;
        b *= 1.7134f;
    }
    const int octaveReads = reads;
    float fr = 0.0f;
    if (std::isfinite(octaves) && octaves < static_cast<float>(kOctaveLimit)) {
        fr = octaves - std::trunc(octaves);
        if (fr > 0.0f) {
            xs[reads] = a;
            ys[reads++] = b;
            xs[reads] = a + 13.0764f;
            ys[reads++] = b + 623.453f;
        }
    }
    for (int k = reads; k % 4 != 0; ++k) xs[k] = ys[k] = 0.0f;
    // Eight at a time where the processor can, the rest four at a time.
    const int padded = (reads + 3) / 4 * 4;
    int k = 0;
    if (image::hasAvx2())
        for (; k + 8 <= padded; k += 8) image::noise2x8(noise, xs + k, ys + k, values + k);
    for (; k < padded; k += 4) image::noise2x4(noise, xs + k, ys + k, values + k);

    sx = 0.0f;
    sy = 0.0f;
    for (int k = 0; k < octaveReads; k += 2) {
        sx += values[k];
        sy += values[k + 1];
    }
    if (reads > octaveReads) {
        sx += values[octaveReads] * fr;
        sy += values[octaveReads + 1] * fr;
    }
}

double waveLevel(const RenderContext& c, float p, float q, int level) {
    level = std::clamp(level, 0, kWaveLevels - 1);
    if (c.noise != nullptr) {
        const float d = image::warpNoise(*c.noise, p, q);
        p += d;
        q += d;
    }
    const double sharp = c.sharpness[level];
    auto crest = [sharp](float t) {
        const float w = fracf(t / 6.2831855f + 0.5f) - 0.5f;
        const float e = 8.0f * w - 16.0f * w * std::fabs(w);
        // Sharpness below zero (waviness above 100) would take the root of a
        // negative number at the crest; the crest is then simply pointed.
        return std::sqrt(std::max(0.0, static_cast<double>(e) * e + sharp));
    };
    const double valley = 1.0 - crest(p) * crest(q);
    const double r = valley * valley;
    return r * c.waveScale[level] + c.waveOffset[level];
}

double worldRipples(const RenderContext& context, double x, double z) {
    return worldRipplesWith(context, x, z, context.rippleHeight);
}

double surfaceHeightLevels(const RenderContext& c, const double* levelWeight, const Vec3d& point,
                           int levels, double rippleHeight) {
    double height = 0.0;
    surfaceHeights(c, levelWeight, &point, 1, levels, rippleHeight, &height);
    return height;
}

double surfaceHeight(const RenderContext& c, const double* levelWeight, const Vec3d& point) {
    return surfaceHeightLevels(c, levelWeight, point, kWaveLevels, c.rippleHeight);
}

double surfaceHeightCoarse(const RenderContext& c, const double* levelWeight, const Vec3d& point) {
    return surfaceHeightLevels(c, levelWeight, point, kCoarseWaveLevels, c.rippleHeight);
}

double erfcApprox(double x) {
    const double a = std::fabs(x);
    const double value = 2.0 * math::exp(-a * a) / (2.319 * a + std::sqrt(1.52 * a * a + 4.0));
    return x > 0.0 ? value : 2.0 - value;
}

SampleFootprint footprintOfSize(const RenderContext& c, double size) {
    SampleFootprint fp;
    // A footprint that cannot be measured (a ray along the horizon) resolves nothing.
    fp.size = size >= 0.0 && std::isfinite(size) ? size : 1e30;
    double scale = 0.16, varX = 0.0, varZ = 0.0;
    for (int i = 0; i < kWaveLevels; ++i) {
        const double weight = erfcApprox((scale * fp.size - 1.25) * 0.5) * 0.5 * 0.8 + 0.2;
        fp.levelWeight[i] = weight;
        varX += (1.0 - weight) * (1.0 - weight) * c.slopeStats[i][0];
        varZ += (1.0 - weight) * (1.0 - weight) * c.slopeStats[i][1];
        scale *= 2.47;
    }
    fp.slopeVariance[0] = varX > kMinSlopeSpread ? varX : kMinSlopeSpread;
    fp.slopeVariance[1] = varZ > kMinSlopeSpread ? varZ : kMinSlopeSpread;
    fp.slopeDeviation[0] = std::sqrt(varX > 1e-8 ? varX : 1e-8);
    fp.slopeDeviation[1] = std::sqrt(varZ > 1e-8 ? varZ : 1e-8);
    return fp;
}

namespace {

// How far the water under the sample lies from the water one pixel row further.
double measuredFootprintSize(const RenderContext& c, double h, double v) {
    const Vec3d d0 = viewRay(c, h, v - c.horizonY);
    const Vec3d d1 = viewRay(c, h, v - c.horizonY + c.invWidth);
    const double z0 = -(c.eyeHeight / d0.y) * d0.z;
    const double z1 = -(c.eyeHeight / d1.y) * d1.z;
    const double size = std::fabs(z0 - z1);
    return !(size >= 0.0) || !std::isfinite(size) ? 1e30 : size;
}

}  // namespace

SampleFootprint sampleFootprint(const RenderContext& c, double h, double v, std::int32_t seed) {
    double size = 0.0;
    if (seed == c.cacheSeed && c.cacheValue == c.cacheValue) {
        size = c.cacheValue;
    } else {
        size = measuredFootprintSize(c, h, v);
        c.cacheSeed = seed;
        c.cacheValue = size;
    }
    return footprintOfSize(c, size);
}

namespace {

// The spun position (h, v) of the sample at rendered (column, row).
void spunPosition(const RenderContext& c, double column, double row, double& h, double& v) {
    double x = 0.0, y = 0.0;
    imagePosition(c, column, row, x, y);
    spinPoint(c, x - 0.5, c.aspect * (y - 0.5), h, v);
}

// A sample's start: its spun position in (h, v) and every field the models may leave.
void beginSample(double column, double row, RenderContext& c, CellRecord& cell, std::int32_t seed,
                 double& h, double& v) {
    ++c.stats.surfaceEvaluations;
    spunPosition(c, column, row, h, v);

    cell.seed = seed;
    cell.kind = kKindUnevaluated;
    cell.regionTag = 0;
    cell.outside = 0;
    cell.flatFlag = 0;
    cell.hasSpread = 0;
    cell.blurRadius = 0.0f;
    cell.waterWeight = 1.0f;
    cell.spunH = h;
    cell.spunV = v;
    cell.slopeSpread[0] = kMinSlopeSpread;
    cell.slopeSpread[1] = kMinSlopeSpread;
    cell.spreadU[0] = cell.spreadU[1] = 0.0f;
    cell.spreadV[0] = cell.spreadV[1] = 0.0f;
}

// A sample's end: its source position, (h2, v2) unspun, and whether it lies outside.
void endSample(const RenderContext& c, CellRecord& cell, double h2, double v2) {
    unspinPoint(c, h2, v2, cell.sourceU, cell.sourceV);
    const bool inside = cell.sourceU >= 0.0f && cell.sourceU <= 1.0f && cell.sourceV >= 0.0f &&
                        cell.sourceV <= 1.0f;
    cell.outside = inside ? 0 : 1;
}

// Up to kSampleBatch searches to their ends, side by side: every step takes the coarse
// sums of all rays still searching at once.
void searchSideBySide(const RenderContext& c, HitSearch* searches, int n) {
    for (;;) {
        const double* weights[kSampleBatch];
        Vec3d points[kSampleBatch];
        double sums[kSampleBatch];
        int which[kSampleBatch];
        int m = 0;
        for (int k = 0; k < n; ++k) {
            if (!searches[k].searching) continue;
            weights[m] = searches[k].fp.levelWeight;
            points[m] = searches[k].hit;
            which[m++] = k;
        }
        if (m == 0) return;
        waveSums(c, weights, points, m, kCoarseWaveLevels, sums, nullptr);
        for (int j = 0; j < m; ++j) takeCoarseSum(c, searches[which[j]], sums[j]);
    }
}

// evaluateSample, or evaluateSampleUnlessWater with `untilWater`.
bool evaluate(double column, double row, RenderContext& c, CellRecord& cell, std::int32_t seed,
              bool untilWater) {
    double h = 0.0, v = 0.0;
    beginSample(column, row, c, cell, seed, h, v);
    double h2 = h, v2 = v;
    if (c.isSimple) {
        simpleModel(c, static_cast<float>(h), static_cast<float>(v), cell, h2, v2);
    } else if (complexModel(c, h, v, cell, h2, v2, untilWater)) {
        return true;
    }
    endSample(c, cell, h2, v2);
    return false;
}

}  // namespace

void evaluateSample(double column, double row, RenderContext& c, CellRecord& cell,
                    std::int32_t seed) {
    evaluate(column, row, c, cell, seed, false);
}

bool evaluateSampleUnlessWater(double column, double row, RenderContext& c, CellRecord& cell,
                               std::int32_t seed) {
    return evaluate(column, row, c, cell, seed, true);
}

void evaluateSamples(const SampleRequest* requests, int count, RenderContext& c) {
    if (c.isSimple) {
        for (int k = 0; k < count; ++k) {
            const SampleRequest& r = requests[k];
            evaluate(r.column, r.row, c, *r.cell, r.seed, false);
        }
        return;
    }
    for (; count > 0; requests += kSampleBatch, count -= kSampleBatch) {
        const int n = count < kSampleBatch ? count : kSampleBatch;
        HitSearch searches[kSampleBatch];
        double h[kSampleBatch] = {}, v[kSampleBatch] = {}, h2[kSampleBatch] = {},
               v2[kSampleBatch] = {};
        bool searched[kSampleBatch] = {};
        // In the requests' order: the footprint cache sees the samples as one at a time would.
        for (int k = 0; k < n; ++k) {
            const SampleRequest& r = requests[k];
            beginSample(r.column, r.row, c, *r.cell, r.seed, h[k], v[k]);
            h2[k] = h[k];
            v2[k] = v[k];
            Vec3d ray;
            searched[k] = startComplex(c, h[k], v[k], *r.cell, h2[k], v2[k], ray);
            if (searched[k]) {
                startSearch(c, ray, sampleFootprint(c, h[k], v[k], r.cell->seed), searches[k]);
            } else {
                searches[k].searching = false;
            }
        }
        searchSideBySide(c, searches, n);
        for (int k = 0; k < n; ++k) {
            CellRecord& cell = *requests[k].cell;
            if (searched[k]) finishComplex(c, h[k], v[k], cell, h2[k], v2[k], searches[k], false);
            endSample(c, cell, h2[k], v2[k]);
        }
    }
}

void checkSamplesOnWater(const SampleRequest* requests, int count, const RenderContext& c,
                         WaterCheck* checks) {
    for (; count > 0; requests += kSampleBatch, checks += kSampleBatch, count -= kSampleBatch) {
        const int n = count < kSampleBatch ? count : kSampleBatch;
        HitSearch searches[kSampleBatch];
        bool searched[kSampleBatch] = {};
        for (int k = 0; k < n; ++k) {
            checks[k] = WaterCheck{};
            searches[k].searching = false;
            if (c.isSimple) continue;
            double h = 0.0, v = 0.0, h2 = 0.0, v2 = 0.0;
            spunPosition(c, requests[k].column, requests[k].row, h, v);
            CellRecord scratch{};
            Vec3d ray;
            if (!startComplex(c, h, v, scratch, h2, v2, ray)) continue;
            checks[k].size = measuredFootprintSize(c, h, v);
            startSearch(c, ray, footprintOfSize(c, checks[k].size), searches[k]);
            searched[k] = true;
        }
        searchSideBySide(c, searches, n);
        for (int k = 0; k < n; ++k) checks[k].water = searched[k] && hitsWater(c, searches[k]);
    }
}

bool takeWaterCheck(RenderContext& c, const WaterCheck& check, std::int32_t seed) {
    // With the seed in the cache, one at a time would have used the cached size instead.
    if (!check.water || (seed == c.cacheSeed && c.cacheValue == c.cacheValue)) return false;
    ++c.stats.surfaceEvaluations;
    c.cacheSeed = seed;
    c.cacheValue = check.size;
    return true;
}

}  // namespace mirel::render
