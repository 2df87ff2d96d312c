// Render set-up: turns the settings into the per-job render context, step by step,
// each step using only the results of the ones before it.
#include "render/render_context.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>

#include "image/reflection_source.h"
#include "image/sampling.h"
#include "platform/math/elementary.h"
#include "render/surface.h"

namespace mirel::render {
namespace {

constexpr double kPi = 3.14159265358979323846;
// Sliders far outside 0..100 still render; beyond this they only overflow.
constexpr float kSliderLimit = 100000.0f;
constexpr float kCentreLimit = 1000.0f;
// The noise octaves of the Simple model, at most (complexity 100 asks for 7).
constexpr float kMaxOctaves = 32.0f;
// The camera needs a forward focal length and an eye above the water.
constexpr double kMinFocal = 0.01;
constexpr double kMinEyeHeight = 0.01;
// Set-up step 13 samples the surface at 100 points, from this table entry on
// (the entries before it feed the ripple centres).
constexpr int kSlopeSampleCount = 100;
constexpr int kSlopeFirstEntry = 418;

// A slider the formulas can take: non-numbers become the default, the rest is
// held to a range where products of a few sliders stay finite.
float saneSlider(float value, float fallback) {
    if (!std::isfinite(value)) return fallback;
    return std::clamp(value, -kSliderLimit, kSliderLimit);
}

float saneCentre(float value, float fallback) {
    if (!std::isfinite(value)) return fallback;
    return std::clamp(value, -kCentreLimit, kCentreLimit);
}

// The settings as the engine reads them. A file or a script may carry anything;
// what a user could never have meant (NaN, infinity) falls back to the default.
SettingsRecord saneSettings(const SettingsRecord& in) {
    SettingsRecord s = in;
    s.horizon = saneSlider(s.horizon, kDefaultHorizon);
    s.offset = saneSlider(s.offset, kDefaultOffset);
    s.spin = saneSlider(s.spin, kDefaultSpin);
    s.perspective = saneSlider(s.perspective, kDefaultPerspective);
    s.altitude = saneSlider(s.altitude, kDefaultAltitude);
    s.waviness = saneSlider(s.waviness, kDefaultWaviness);
    s.complexity = saneSlider(s.complexity, kDefaultComplexity);
    s.brilliance = saneSlider(s.brilliance, kDefaultBrilliance);
    s.blur = saneSlider(s.blur, kDefaultBlur);
    s.size = saneSlider(s.size, kDefaultSize);
    s.height = saneSlider(s.height, kDefaultHeight);
    s.undulation = saneSlider(s.undulation, kDefaultUndulation);
    s.center.x = saneCentre(s.center.x, kDefaultCenter.x);
    s.center.y = saneCentre(s.center.y, kDefaultCenter.y);
    const Vec3f l = s.lightDirection;
    if (!std::isfinite(l.x) || !std::isfinite(l.y) || !std::isfinite(l.z)) {
        s.lightDirection = defaultLightDirection();
    } else {
        s.lightDirection = {std::clamp(l.x, -kCentreLimit, kCentreLimit),
                            std::clamp(l.y, -kCentreLimit, kCentreLimit),
                            std::clamp(l.z, -kCentreLimit, kCentreLimit)};
    }
    if (s.waterStyle != kWaterStyleComplex) s.waterStyle = kWaterStyleSimple;
    return s;
}

double randomEntry(const RenderContext& c, int index) {
    if (c.noise == nullptr) return 0.5;
    return c.noise->randomTable[static_cast<std::size_t>(index & (image::kNoiseTableSize - 1))];
}

Vec3d normalised(Vec3d v) {
    const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (!(length > 0.0)) return {};
    return {v.x / length, v.y / length, v.z / length};
}

// Where the ray from the eye meets the water plane; false when it does not point down.
bool hitWater(const RenderContext& c, const Vec3d& ray, Vec3d& hit) {
    if (!(ray.y < 0.0)) return false;
    const double t = -c.eyeHeight / ray.y;
    hit = {ray.x * t, c.eyeHeight + ray.y * t, ray.z * t};
    return std::isfinite(hit.x) && std::isfinite(hit.z);
}

void setDimensions(RenderContext& c, const image::TiledImage* source, const RenderInputs& in) {
    const float storeW = source != nullptr ? static_cast<float>(source->baseWidth) : 0.0f;
    const float storeH = source != nullptr ? static_cast<float>(source->baseHeight) : 0.0f;
    float hostW = static_cast<float>(in.hostWidth);
    float hostH = static_cast<float>(in.hostHeight);
    // Without a host rectangle the store's size stands in; nothing is ever below 1,
    // so the reciprocals and the aspect stay finite.
    if (!(hostW >= 1.0f)) hostW = storeW >= 1.0f ? storeW : 1.0f;
    if (!(hostH >= 1.0f)) hostH = storeH >= 1.0f ? storeH : 1.0f;
    c.storeWidth = storeW >= 1.0f ? storeW : hostW;
    c.storeHeight = storeH >= 1.0f ? storeH : hostH;
    c.hostWidth = hostW;
    c.hostHeight = hostH;
    c.hostAspect = hostH / hostW;
    c.invHostWidth = 1.0f / hostW;
    c.invHostHeight = 1.0f / hostH;
    if (c.destination == kDestinationExport) {
        c.imageWidth = c.storeWidth;
        c.imageHeight = c.storeHeight;
    } else {
        c.imageWidth = hostW;
        c.imageHeight = hostH;
    }
    c.aspect = c.imageHeight / c.imageWidth;
    c.invWidth = 1.0f / c.imageWidth;
    c.invHeight = 1.0f / c.imageHeight;
}

void setSpin(RenderContext& c) {
    const float s = (c.settings.spin / -90.0f) * 1.5707964f;
    const double cs = math::cos(s), sn = math::sin(s);
    c.spinRot[0][0] = cs;
    c.spinRot[0][1] = -sn;
    c.spinRot[1][0] = sn;
    c.spinRot[1][1] = cs;
    c.unspinRot[0][0] = cs;
    c.unspinRot[0][1] = sn;
    c.unspinRot[1][0] = -sn;
    c.unspinRot[1][1] = cs;
    // Distances of the two left corners from the horizon's direction through the
    // origin: half the picture's height across the spun horizon.
    const double half = 0.5 * c.aspect;
    const double d1 = std::fabs(-0.5 * sn - (-half) * cs);
    const double d2 = std::fabs(-0.5 * sn - half * cs);
    c.viewHeight = static_cast<float>(2.0 * std::max(d1, d2));
}

void setParameters(RenderContext& c) {
    const SettingsRecord& s = c.settings;
    c.perspScale = (s.perspective + 1.0f) * 0.01f * 0.125f * 1.5f;
    c.altitude5 = s.altitude * 0.01f * 5.0f;
    c.rippleScale = s.size * 0.01f * 6.0f * c.altitude5;
    c.rippleHeight = s.height * 0.01f * 0.2f;
    if (c.rippleScale > 0.0f) c.invRippleScale = 1.0f / c.rippleScale;
    c.horizonFrac = s.horizon * 0.99f * 0.01f;
    c.offsetLine = s.offset * 0.01f * (1.0f - c.horizonFrac) + c.horizonFrac;
    c.horizonY = (c.horizonFrac - 0.5f) * c.viewHeight;
    c.offsetY = (c.offsetLine - 0.5f) * c.viewHeight;
    for (int i = 0; i < kRippleCount; ++i) {
        c.rippleX[i] =
            static_cast<float>((randomEntry(c, 400 + 2 * i) - 0.5) * c.rippleScale * 0.18);
        c.rippleY[i] =
            static_cast<float>((randomEntry(c, 401 + 2 * i) - 0.5) * c.rippleScale * 0.18);
        c.rippleCopyX[i] = c.rippleX[i];
        c.rippleCopyY[i] = c.rippleY[i];
    }
    // Integer divisions of the pan, as the preview pane scrolls in whole rendered pixels.
    const float zoom = static_cast<float>(c.zoom);
    c.centrePixelX = image::saturatingTrunc(c.imageWidth / zoom * s.center.x -
                                            static_cast<float>(c.panX / c.zoom));
    c.centrePixelY = image::saturatingTrunc(c.imageHeight / zoom * s.center.y -
                                            static_cast<float>(c.panY / c.zoom));
}

// The line the water mirrors the picture about, the offset line, across the
// store's level 0: a source position is covered when its spun vertical
// coordinate lies below offsetY.
image::MirrorLine mirrorLineOf(const RenderContext& c) {
    const double cs = c.spinRot[0][0], sn = c.spinRot[1][0];
    // spunV = -(X / W - 0.5) sn + aspect (Y / H - 0.5) cs at pixel position (X, Y).
    const double a = -sn / c.storeWidth;
    const double b = c.aspect * cs / c.storeHeight;
    const double c0 = 0.5 * sn - 0.5 * c.aspect * cs;
    const double length = std::sqrt(a * a + b * b);
    image::MirrorLine line;
    if (!(length > 0.0) || !std::isfinite(length)) return line;
    line.nx = a / length;
    line.ny = b / length;
    line.offset = (c.offsetY - c0) / length;
    return line;
}

void setColoursAndSliders(RenderContext& c) {
    const SettingsRecord& s = c.settings;
    c.surfaceStyle = s.waterStyle == kWaterStyleComplex ? kSurfaceComplex : kSurfaceSimple;
    c.isSimple = c.surfaceStyle == kSurfaceSimple;
    constexpr float kChannelScale = 1.5259022e-5f;
    c.waterRgba[0] = s.waterColor.red * kChannelScale;
    c.waterRgba[1] = s.waterColor.green * kChannelScale;
    c.waterRgba[2] = s.waterColor.blue * kChannelScale;
    c.waterRgba[3] = 1.0f;
    c.glitterRgb[0] = s.glitterColor.red * kChannelScale;
    c.glitterRgb[1] = s.glitterColor.green * kChannelScale;
    c.glitterRgb[2] = s.glitterColor.blue * kChannelScale;
    for (int i = 0; i < 3; ++i) c.waterThird[i] = c.waterRgba[i] * 0.333;
    c.tintRed = 0.8;
    c.tintGreen = 0.9;
    c.tintBlue = 0.6;
    c.waviness4 = s.waviness * 0.01f * 4.0f;
    c.complexityHalf = s.complexity * 0.01f * 0.5f;
    c.brillianceFrac = s.brilliance * 0.01f;
    c.altitudeFrac = s.altitude * 0.01f;
    c.perspectiveFrac = s.perspective * 0.01f;
    c.complexityBand = s.complexity * 0.16f * 0.01f + 0.08f;
    const float cf = s.complexity * 0.01f;
    const double base = 0.01 - s.waviness * 0.01 * 0.01;
    for (int k = 0; k < kWaveLevels; ++k) {
        c.sharpness[k] = base + ((1.0 - cf) * 0.5 * (1.0 - cf) * k) / 5.0;
    }
    c.octaves = std::clamp(s.complexity * 0.06f + 1.01f, 0.0f, kMaxOctaves);
}

void setLight(RenderContext& c) {
    const Vec3f l = c.settings.lightDirection;
    float x = l.x, up = l.z, z = -l.y;
    const float r = std::sqrt(x * x + z * z);
    if (r > 0.0f) {
        const float reach = math::sin(r * 1.5707964f);
        x = x / r * reach;
        z = z / r * reach;
        // Rounding can push x^2 + z^2 a hair past 1 for a light at the horizon;
        // the square root must not turn that into a non-number.
        up = std::sqrt(std::max(0.0f, 1.0f - x * x - z * z));
    }
    Vec3d light{x, up, z};
    if (up < 0.01f) {
        light.y = 0.01;
        light = normalised(light);
    }
    c.lightDir = light;
}

void setCamera(RenderContext& c) {
    c.focal = std::max((1.0 - c.perspectiveFrac) + 0.2, kMinFocal);
    c.eyeHeight = std::max(c.altitudeFrac * 20.0 + 1.1, kMinEyeHeight);
    const Vec3d ray = viewRay(c, 0.0, (c.offsetLine - 0.5) * c.viewHeight - c.horizonY);
    const double limit = std::fabs(-(c.eyeHeight / ray.y) * ray.z);
    // An offset line on the horizon reaches the water at infinity: no far limit.
    c.farLimit = std::isnan(limit) ? std::numeric_limits<double>::infinity() : limit;
}

void setWorldRipples(RenderContext& c) {
    const SettingsRecord& s = c.settings;
    c.undulationFreq = s.undulation * 0.01f * 40.0f;
    c.rippleWorldScale = 0.0;
    c.invRippleWorldScale = 1.0;
    double cx = 0.0, cy = 0.0;
    spinPoint(c, s.center.x - 0.5, c.aspect * (s.center.y - 0.5), cx, cy);
    Vec3d first, second;
    if (!hitWater(c, viewRay(c, cx, cy - c.horizonY), first)) return;
    if (!hitWater(c, viewRay(c, cx + s.size * 0.01 * 2.0, cy - c.horizonY), second)) return;
    const double dx = first.x - second.x, dy = first.y - second.y, dz = first.z - second.z;
    const double scale = std::sqrt(dx * dx + dy * dy + dz * dz);
    c.centreHit = first;
    if (!(scale > 0.0) || !std::isfinite(scale)) return;
    c.rippleWorldScale = scale;
    c.invRippleWorldScale = 1.0 / scale;
    for (int i = 0; i < kRippleCount; ++i) {
        c.worldRippleX[i] = (randomEntry(c, 400 + 2 * i) - 0.5) * scale * 0.18;
        c.worldRippleY[i] = (randomEntry(c, 401 + 2 * i) - 0.5) * scale * 0.18;
    }
}

// The crest profile of a wave level before normalisation, at angle t.
double crestProfile(const RenderContext& c, float t, int level) {
    const float w = [&] {
        const float f = t / 6.2831855f + 0.5f;
        return f - std::floor(f) - 0.5f;
    }();
    const float e = 8.0f * w - 16.0f * w * std::fabs(w);
    return std::sqrt(std::max(0.0, static_cast<double>(e) * e + c.sharpness[level]));
}

void setWaveNormalisation(RenderContext& c) {
    constexpr int kGrid = 40;
    for (int k = 0; k < kWaveLevels; ++k) {
        // The bump is a product of one profile per angle, so 40 profiles serve
        // all 1600 grid points.
        double profile[kGrid];
        for (int i = 0; i < kGrid; ++i) {
            profile[i] = crestProfile(c, static_cast<float>(i * 2.0 * kPi / kGrid), k);
        }
        double high = -999999.0, low = 999999.0, sum = 0.0;
        for (int i = 0; i < kGrid; ++i) {
            for (int j = 0; j < kGrid; ++j) {
                const double r = (1.0 - profile[i] * profile[j]) * (1.0 - profile[i] * profile[j]);
                high = std::max(high, r);
                low = std::min(low, r);
                sum += r;
            }
        }
        const double range = high - low;
        // A flat level (crests so blunt that nothing varies) contributes nothing
        // instead of dividing by zero.
        const double scale = range > 0.0 && std::isfinite(range) ? 0.25 / range : 0.0;
        const double offset = -(scale * (sum / (kGrid * kGrid)));
        c.waveScale[k] = std::isfinite(scale) ? scale : 0.0;
        c.waveOffset[k] = std::isfinite(offset) ? offset : 0.0;
    }
    double sum = 0.0;
    for (int i = 0; i < 40; ++i) {
        const float f = static_cast<float>(i) * 6.2831855f / 40.0f;
        const float q = f - std::floor(f) - 0.5f;
        const float w = 8.0f * q - 16.0f * q * std::fabs(q) + 2.5f;
        sum += 0.05f * w * w * w;
    }
    c.simpleWaveMean = static_cast<float>(-(1.0 / 40.0) * sum);
}

void computeSlopeStats(RenderContext& c) {
    constexpr double kStep = 0.001;
    int entry = kSlopeFirstEntry;
    Vec3d points[kSlopeSampleCount];
    for (auto& p : points) {
        p = {randomEntry(c, entry) * 37.23, 0.0, randomEntry(c, entry + 1) * 23.45};
        entry += 2;
    }
    for (int k = 0; k < kWaveLevels; ++k) {
        double weight[kWaveLevels] = {};
        weight[k] = 1.0;
        double dx[kSlopeSampleCount], dz[kSlopeSampleCount];
        double meanX = 0.0, meanZ = 0.0;
        for (int n = 0; n < kSlopeSampleCount; ++n) {
            const Vec3d p = points[n];
            const double h0 = surfaceHeightLevels(c, weight, p, kWaveLevels, 0.0);
            const double hx =
                surfaceHeightLevels(c, weight, {p.x + kStep, p.y, p.z}, kWaveLevels, 0.0);
            const double hz =
                surfaceHeightLevels(c, weight, {p.x, p.y, p.z + kStep}, kWaveLevels, 0.0);
            dx[n] = (hx - h0) / kStep;
            dz[n] = (hz - h0) / kStep;
            meanX += dx[n];
            meanZ += dz[n];
        }
        meanX /= kSlopeSampleCount;
        meanZ /= kSlopeSampleCount;
        double varX = 0.0, varZ = 0.0;
        for (int n = 0; n < kSlopeSampleCount; ++n) {
            varX += (dx[n] - meanX) * (dx[n] - meanX);
            varZ += (dz[n] - meanZ) * (dz[n] - meanZ);
        }
        c.slopeStats[k][0] = std::isfinite(varX) ? varX * 0.01 : 0.0;
        c.slopeStats[k][1] = std::isfinite(varZ) ? varZ * 0.01 : 0.0;
    }
}

// The slope statistics are the costliest step of the set-up and come out the
// same for every job of a render; the last result is kept with everything it
// depends on and reused while that matches exactly.
struct SlopeCache {
    bool valid = false;
    image::NoiseTables noise;
    double sharpness[kWaveLevels] = {};
    double waveScale[kWaveLevels] = {};
    double waveOffset[kWaveLevels] = {};
    float waviness4 = 0.0f;
    float complexityBand = 0.0f;
    std::int32_t randomSeed = 0;
    double stats[kWaveLevels][2] = {};
};

std::mutex gSlopeCacheMutex;
SlopeCache gSlopeCache;

bool sameArrays(const double* a, const double* b) {
    return std::memcmp(a, b, sizeof(double) * kWaveLevels) == 0;
}

bool slopeCacheMatches(const SlopeCache& cache, const RenderContext& c) {
    return cache.valid && sameArrays(cache.sharpness, c.sharpness) &&
           sameArrays(cache.waveScale, c.waveScale) && sameArrays(cache.waveOffset, c.waveOffset) &&
           cache.waviness4 == c.waviness4 && cache.complexityBand == c.complexityBand &&
           cache.randomSeed == c.settings.randomSeed &&
           std::memcmp(&cache.noise, c.noise, sizeof(image::NoiseTables)) == 0;
}

void setSlopeStats(RenderContext& c) {
    if (c.noise == nullptr) return computeSlopeStats(c);
    const std::lock_guard<std::mutex> lock(gSlopeCacheMutex);
    SlopeCache& cache = gSlopeCache;
    if (!slopeCacheMatches(cache, c)) {
        computeSlopeStats(c);
        cache.valid = true;
        cache.noise = *c.noise;
        std::memcpy(cache.sharpness, c.sharpness, sizeof cache.sharpness);
        std::memcpy(cache.waveScale, c.waveScale, sizeof cache.waveScale);
        std::memcpy(cache.waveOffset, c.waveOffset, sizeof cache.waveOffset);
        cache.waviness4 = c.waviness4;
        cache.complexityBand = c.complexityBand;
        cache.randomSeed = c.settings.randomSeed;
        std::memcpy(cache.stats, c.slopeStats, sizeof cache.stats);
        return;
    }
    std::memcpy(c.slopeStats, cache.stats, sizeof c.slopeStats);
}

}  // namespace

Vec3d viewRay(const RenderContext& context, double h, double w) {
    return normalised({h, -w, context.focal});
}

void prepareRenderContext(image::TiledImage* source, const RenderInputs& inputs,
                          RenderContext& context, const image::JobRunner* run) {
    context = RenderContext{};
    RenderContext& c = context;
    // The cleared lookup parameters, then the two the set-up decides.
    c.lookup = LookupParams{};
    c.lookup.maxSamples = kClearedMaxSamples;
    c.lookup.noise = inputs.noise;

    c.source = source;
    c.noise = inputs.noise;
    c.destination = inputs.destination;
    c.highDynamicRange = inputs.highDynamicRange && inputs.destination != kDestinationPreview;
    c.overlays = inputs.overlays;
    if (inputs.settings != nullptr) {
        c.settings = saneSettings(*inputs.settings);
    } else {
        fullReset(c.settings);
    }
    c.cacheSeed = kFootprintCacheSeed;
    c.cacheValue = std::numeric_limits<double>::quiet_NaN();

    // Reads above the top of the picture are mirrored sideways and blurred.
    // Only the first job's set-up writes it, before any worker reads the
    // source; later set-ups run while workers read and must only read it.
    if (source != nullptr && source->edgeMode != image::kEdgeModeMirrorBlur)
        source->edgeMode = image::kEdgeModeMirrorBlur;
    // In this order: each step reads what the ones before it set (the spin needs
    // the aspect, the scaled sliders the view height, the camera the sliders and
    // the offset line, the ripples the camera, the slope statistics the normalised
    // waves).
    c.zoom = inputs.zoom >= 1 ? inputs.zoom : 1;
    c.panX = inputs.panX;
    c.panY = inputs.panY;
    setDimensions(c, source, inputs);
    setSpin(c);
    setParameters(c);
    // The reflection's picture for this mirror line. The first set-up of a
    // render makes it (with `run`, or on this thread, before any worker starts);
    // later ones find it made and only read it.
    if (source != nullptr) {
        const image::JobRunner onThisThread = [](std::int32_t, const image::BandRect& rect,
                                                 const image::BandBody& body) { body(rect); };
        c.reflection =
            &image::reflectionSource(*source, mirrorLineOf(c), run ? *run : onThisThread);
    }
    setColoursAndSliders(c);
    // Previews read fewer source samples along a footprint; the Simple model's
    // footprints are round.
    c.lookup.maxSamples =
        c.destination == kDestinationPreview ? kPreviewMaxSamples : kFinalMaxSamples;
    c.lookup.isotropic = c.surfaceStyle == kSurfaceSimple;
    setLight(c);
    setCamera(c);
    setWorldRipples(c);
    setWaveNormalisation(c);
    setSlopeStats(c);

    // The Simple model's ripple centre on the ground, the same for every sample.
    double ch = 0.0, cv = 0.0;
    spinPoint(c, c.settings.center.x - 0.5, c.aspect * (c.settings.center.y - 0.5), ch, cv);
    groundCoordinates(c, static_cast<float>(ch), static_cast<float>(cv), c.centreGroundX,
                      c.centreGroundY);
}

void prepareRenderContext(const jobs::TiledJob& job, const RenderInputs& inputs,
                          RenderContext& context) {
    prepareRenderContext(static_cast<image::TiledImage*>(job.imageStore), inputs, context);
    context.job = &job;
    context.cells = static_cast<CellRecord*>(job.grid.cells);
}

}  // namespace mirel::render
