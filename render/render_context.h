// The render context: every number a render job derives from the settings before
// its first pixel, built once per job and then only read by the per-pixel routines.
#pragma once

#include <cstdint>

#include "image/footprint.h"
#include "image/noise.h"
#include "image/pyramid.h"
#include "image/tiled_image.h"
#include "jobs/tiled_jobs.h"
#include "settings/parameter_block.h"
#include "settings/settings_record.h"

namespace mirel::render {

using image::LookupParams;

struct CellRecord;  // render/surface.h

constexpr int kRippleCount = 9;
constexpr int kWaveLevels = 5;
constexpr int kCoarseWaveLevels = 4;

constexpr std::int32_t kSurfaceSimple = 1;
constexpr std::int32_t kSurfaceComplex = 2;

// The key of the footprint cache before its first use (no sample has it as its
// seed in practice, and the empty cache holds NaN so that it never matches anyway).
constexpr std::int32_t kFootprintCacheSeed = 82593538;

// Maximum source reads along a footprint's major axis, preview and final.
constexpr std::int32_t kPreviewMaxSamples = 10;
constexpr std::int32_t kFinalMaxSamples = 50;
constexpr std::int32_t kClearedMaxSamples = 20;

// A point or direction in the water's frame: x across, y up, z away from the eye.
struct Vec3d {
    double x = 0.0, y = 0.0, z = 0.0;
};

// Per-job counters of the pixel paths and lookups; they never change the picture.
struct RenderStats {
    std::int64_t surfaceEvaluations = 0;  // evaluateSample calls
    std::int64_t areaSamples = 0;         // lookupArea calls of one-per-pixel samples
    std::int64_t pointSamples = 0;        // lookupArea calls of pattern and edge samples
    std::int64_t singleSample = 0;        // pixels by path
    std::int64_t across17 = 0;
    std::int64_t down17 = 0;
    std::int64_t grid5x5 = 0;
    std::int64_t grid2x2 = 0;
    std::int64_t edgeBlendsTried = 0;
    std::int64_t edgeBlendsFailed = 0;
};

// What a render needs besides its job: the settings, the noise tables rebuilt
// from the seed for this render, and the run-time fields of the preview.
struct RenderInputs {
    const SettingsRecord* settings = nullptr;   // required
    const image::NoiseTables* noise = nullptr;  // required
    std::int32_t zoom = 1;                      // below 1 counts as 1
    std::int32_t panX = 0;
    std::int32_t panY = 0;
    std::int32_t destination = kDestinationHostOutput;  // a kDestination* of the parameter block
    // The filter rectangle as the host gave it (right - left, bottom - top).
    std::int32_t hostWidth = 0;
    std::int32_t hostHeight = 0;
    // Shading leaves colours unclamped (32-bit host modes, high dynamic range exports).
    bool highDynamicRange = false;
    // A preview render draws its guide lines and centre cross; the render a settings
    // thumbnail is made from does not.
    bool overlays = true;
};

struct RenderContext {
    // Lookup parameters the samples pass to the source lookups; the pixel
    // evaluation fills the per-sample fields of a copy.
    LookupParams lookup;

    // What the job renders from and counts into, the settings, and the sizes of
    // the picture, the host's rectangle and the store.
    const jobs::TiledJob* job = nullptr;
    image::TiledImage* source = nullptr;  // the image store the job renders from
    // What the water reflects: the store with the part the water covers
    // replaced by the mirror image of the visible part (the store itself when
    // nothing is covered).
    const image::TiledImage* reflection = nullptr;
    CellRecord* cells = nullptr;  // the job's cell grid
    const image::NoiseTables* noise = nullptr;
    RenderStats stats;
    // The settings this context was built from, with non-numbers replaced by
    // defaults (the per-pixel routines read sliders such as blur from here).
    SettingsRecord settings;
    std::int32_t destination = kDestinationHostOutput;  // a kDestination* of the parameter block
    bool highDynamicRange = false;
    bool overlays = true;  // drawn in preview renders only
    float imageWidth = 1.0f, imageHeight = 1.0f;
    float aspect = 1.0f, invWidth = 1.0f, invHeight = 1.0f;
    float hostWidth = 1.0f, hostHeight = 1.0f;
    float hostAspect = 1.0f, invHostWidth = 1.0f, invHostHeight = 1.0f;
    // Level-0 size of the store, the divisor of the sample positions.
    float storeWidth = 1.0f, storeHeight = 1.0f;

    // Preview zoom and pan.
    std::int32_t zoom = 1;
    std::int32_t panX = 0;
    std::int32_t panY = 0;

    // Spin of the picture about its centre: spinRot = [[c, -s], [s, c]],
    // unspinRot = [[c, s], [-s, c]]; viewHeight is the picture's height across
    // the spun horizon.
    double spinRot[2][2] = {{1.0, 0.0}, {0.0, 1.0}};
    double unspinRot[2][2] = {{1.0, 0.0}, {0.0, 1.0}};
    float viewHeight = 1.0f;

    // Sliders scaled to the view: perspective, altitude, ripple size and height,
    // the horizon and offset lines, the ripples' random offsets, and the centre
    // point in rendered pixels.
    float perspScale = 0.0f;
    float altitude5 = 0.0f;
    float rippleScale = 0.0f;
    float rippleHeight = 0.0f;
    float invRippleScale = 0.0f;  // left 0 when rippleScale is not positive
    float horizonFrac = 0.0f;
    float offsetLine = 0.0f;
    float horizonY = 0.0f;
    float offsetY = 0.0f;
    float rippleX[kRippleCount] = {};
    float rippleY[kRippleCount] = {};
    float rippleCopyX[kRippleCount] = {};
    float rippleCopyY[kRippleCount] = {};
    std::int32_t centrePixelX = 0;
    std::int32_t centrePixelY = 0;

    // Surface model: Simple or Complex water.
    std::int32_t surfaceStyle = kSurfaceSimple;
    bool isSimple = true;

    // Water, glitter and tint colours, 0..1.
    float waterRgba[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    double glitterRgb[3] = {};
    double waterThird[3] = {};
    double tintRed = 0.8, tintGreen = 0.9, tintBlue = 0.6;

    // Sliders scaled for the per-pixel routines.
    float waviness4 = 0.0f;
    float complexityHalf = 0.0f;
    float brillianceFrac = 0.0f;
    float altitudeFrac = 0.0f;
    float perspectiveFrac = 0.0f;
    float complexityBand = 0.0f;

    // Crest sharpness of each wave level.
    double sharpness[kWaveLevels] = {};

    // Unit vector towards the light.
    Vec3d lightDir;

    // Camera: the eye at (0, eyeHeight, 0) looking along +z.
    double focal = 1.0;
    double eyeHeight = 1.0;

    // Distance at which the ray through the offset line meets the water.
    double farLimit = 0.0;

    // Ripples on the water plane.
    float undulationFreq = 0.0f;
    Vec3d centreHit;
    double rippleWorldScale = 0.0;
    double invRippleWorldScale = 1.0;
    double worldRippleX[kRippleCount] = {};
    double worldRippleY[kRippleCount] = {};

    // One-entry footprint cache of the Complex model, keyed by sample seed.
    mutable std::int32_t cacheSeed = kFootprintCacheSeed;
    mutable double cacheValue = 0.0;

    // Wave normalisation.
    double waveScale[kWaveLevels] = {};
    double waveOffset[kWaveLevels] = {};
    float simpleWaveMean = 0.0f;

    // Slope variances (x, z) of each Complex wave level alone.
    double slopeStats[kWaveLevels][2] = {};

    // Derived once for the Simple model: ground coordinates of the ripple centre.
    float centreGroundX = 0.0f;
    float centreGroundY = 0.0f;
    // Octave count of the Simple model's noise, bounded.
    float octaves = 1.0f;
};

// Builds `context` for `job` (called on the driver thread before the job's
// thread starts). Sets the source image's edge mode to the mirrored, blurred
// one. Cannot fail: missing settings render the defaults, missing tables a
// surface without noise. Any settings are accepted; non-numbers and values that
// would break a formula are replaced or bounded (see render_context.cpp).
void prepareRenderContext(const jobs::TiledJob& job, const RenderInputs& inputs,
                          RenderContext& context);

// The same without a job (thumbnails, tests): `source` is the store to render from.
// A reflection copy the source lacks for this render's mirror line is made with
// `run` when given (on the worker pool, say), else on this thread.
void prepareRenderContext(image::TiledImage* source, const RenderInputs& inputs,
                          RenderContext& context, const image::JobRunner* run = nullptr);

// The unit view ray through the spun point (h, w), w measured down from the
// horizon line; a zero vector stays zero.
Vec3d viewRay(const RenderContext& context, double h, double w);

// Spun coordinates of a centred picture point, and back to a normalised source
// position (u, v in 0..1 across the picture).
// (Inline: both run for every sample of the render.)
inline void spinPoint(const RenderContext& c, double px, double py, double& h, double& v) {
    h = px * c.unspinRot[0][0] + py * c.unspinRot[0][1];
    v = px * c.unspinRot[1][0] + py * c.unspinRot[1][1];
}
inline void unspinPoint(const RenderContext& c, double h, double v, float& u, float& sourceV) {
    const double cs = c.spinRot[0][0], sn = c.spinRot[1][0];
    u = static_cast<float>(h * cs - v * sn + 0.5);
    sourceV = static_cast<float>((h * sn + v * cs) / c.aspect + 0.5);
}

}  // namespace mirel::render
