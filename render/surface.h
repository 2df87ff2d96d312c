// The water surface: for one sample point of the rendered picture, whether it shows
// water and where its reflection comes from, by the Simple or the Complex model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "render/render_context.h"

namespace mirel::render {

// Sample kinds.
constexpr std::int32_t kKindUnevaluated = -7;
constexpr std::int32_t kKindSimpleWater = 2;
constexpr std::int32_t kKindSimpleDry = 3;
constexpr std::int32_t kKindComplexWater = 4;
constexpr std::int32_t kKindComplexDry = 7;
constexpr std::int32_t kKindComplexPending = 8;  // only while the Complex model runs

// Least unresolved slope variance (the roughness of the sparkle).
constexpr double kMinSlopeSpread = 0.04;

// One cell of a job's grid: the surface sample at one pixel corner, and the
// finished colour of the pixel whose bottom-right corner it is. 256 bytes, so that
// a zero-filled grid is a grid of valid, unevaluated cells.
struct CellRecord {
    std::int32_t kind;
    std::int32_t regionTag;  // second comparison key; the surface sets it to 0
    std::int32_t outside;    // 1 when the source position is outside 0..1
    std::uint8_t flatFlag;   // set when the kind is 0 or 1 (nothing to sample)
    std::uint8_t reserved0[3];
    float sourceU, sourceV;  // normalised source position
    std::int32_t reserved1;
    float waterWeight;  // Simple: share of the reflected picture; 1 when dry
    Vec3d hitPoint;     // Complex: where the view ray meets the waves
    Vec3d hitNormal;
    Vec3d rayDir;  // unit view ray
    Vec3d eyeToHit;
    Vec3d negRay;
    double slopeSpread[2];  // unresolved slope variances (x, z), each >= 0.04
    double spunH, spunV;    // spun centred coordinates of the sample
    std::int32_t seed;
    std::uint8_t hasSpread;
    std::uint8_t reserved2[3];
    float spreadU[2];  // source-space footprint of the unresolved waves
    float spreadV[2];
    std::int32_t sampleLevel;  // -1 initially; the source sampler's pyramid level
    std::int32_t levelFlag;
    float blurRadius;
    float pixelColour[4];  // finished RGBA
    // The shaded area sample of this corner as the mean of the corners of a Complex
    // water pixel takes it; up to four pixels share a corner, and it is read once.
    float cornerColour[4];
    std::int32_t cornerColourTaken;  // 1 once cornerColour holds the sample
};
static_assert(sizeof(CellRecord) == 256);
static_assert(std::is_trivially_copyable_v<CellRecord>);
static_assert(std::is_standard_layout_v<CellRecord>);

// The footprint of one Complex sample on the water: the distance one pixel
// step covers, the weights of the wave levels (fine levels the pixel cannot
// resolve fade towards 0.2) and the slope variance they leave unresolved.
struct SampleFootprint {
    double size = 0.0;
    double levelWeight[kWaveLevels] = {1.0, 1.0, 1.0, 1.0, 1.0};
    double slopeVariance[2] = {kMinSlopeSpread, kMinSlopeSpread};  // >= 0.04
    double slopeDeviation[2] = {};                                 // sqrt, >= 1e-4
};

// Seed of the sample for rendered column j and row i: (j x 7607) XOR (i x 661)
// in 32-bit arithmetic that wraps.
std::int32_t sampleSeed(std::int32_t column, std::int32_t row);

// Fills `cell` for the sample at rendered position (column, row); the pixel with
// index a covers columns a - 1 to a. Writes only the cell, the footprint cache and
// the statistics of `context`.
void evaluateSample(double column, double row, RenderContext& context, CellRecord& cell,
                    std::int32_t seed);

// evaluateSample for a caller that needs to know no more than whether the sample lies on
// Complex water: true as soon as it does, with the cell's kind set and the work that
// follows from the hit point (its normal, the reflection, the spread) left out. Otherwise
// false, with the very cell evaluateSample fills. The footprint cache and the statistics
// change as evaluateSample changes them, so a later evaluateSample of the same sample
// gives what it would have given.
bool evaluateSampleUnlessWater(double column, double row, RenderContext& context, CellRecord& cell,
                               std::int32_t seed);

// Where evaluateSamples takes a sample, into which cell, with which seed.
struct SampleRequest {
    double column = 0.0, row = 0.0;
    CellRecord* cell = nullptr;
    std::int32_t seed = 0;
};
inline constexpr int kSampleBatch = 16;

// evaluateSample of every request, the same cells bit for bit. The Complex rays of up to
// kSampleBatch samples search for the water side by side: each ray's steps depend on one
// another, those of different rays do not, so the processor works on several at once.
void evaluateSamples(const SampleRequest* requests, int count, RenderContext& context);

// What evaluateSampleUnlessWater would answer for a sample with another seed in the
// footprint cache: whether it lies on Complex water, and the footprint size it measured.
struct WaterCheck {
    bool water = false;
    double size = 0.0;
};

// The checks of several samples (their cells are not used), taken side by side and
// leaving the context as it is, for a caller that wants them ahead of the samples' turns.
void checkSamplesOnWater(const SampleRequest* requests, int count, const RenderContext& context,
                         WaterCheck* checks);

// In the sample's turn: true when the check ahead gives what evaluateSampleUnlessWater
// would give now, which then leaves the statistics and the footprint cache as that call
// would; false when the sample is to be evaluated in its turn (not on water, or its seed
// in the cache, whose size would then stand instead of the one measured).
bool takeWaterCheck(RenderContext& context, const WaterCheck& check, std::int32_t seed);

// Two sums of equal-amplitude gradient-noise octaves (the Simple model's waves);
// octaves is bounded by the context's set-up.
void fbm(const image::NoiseTables& noise, float a, float b, float octaves, float& sx, float& sy);

// One Complex wave level at (p, q): range 0.25, mean 0 over a period.
double waveLevel(const RenderContext& context, float p, float q, int level);

// The ring ripples on the water plane around the ripple centre's hit point.
double worldRipples(const RenderContext& context, double x, double z);

// Signed height of `point` above the waves: five levels, and four for the hit
// search. `levelWeight` has kWaveLevels entries.
double surfaceHeight(const RenderContext& context, const double* levelWeight, const Vec3d& point);
double surfaceHeightCoarse(const RenderContext& context, const double* levelWeight,
                           const Vec3d& point);

// The same with an explicit level count (1..kWaveLevels) and ripple height.
double surfaceHeightLevels(const RenderContext& context, const double* levelWeight,
                           const Vec3d& point, int levels, double rippleHeight);

// Footprint of the sample at spun (h, v); `size` from the cache when `seed` is its key.
SampleFootprint sampleFootprint(const RenderContext& context, double h, double v,
                                std::int32_t seed);
// Level weights and unresolved slopes for a footprint of the given size.
SampleFootprint footprintOfSize(const RenderContext& context, double size);

// The erfc approximation the level weights use: 2 exp(-x^2) / (2.319 x +
// sqrt(1.52 x^2 + 4)) for x > 0, and 2 minus that of -x otherwise.
double erfcApprox(double x);

// The Simple model's perspective ground coordinates of spun (h, v).
void groundCoordinates(const RenderContext& context, float h, float v, float& gx, float& gy);

// Normalised image position (0..1) of rendered position (column, row).
void imagePosition(const RenderContext& context, double column, double row, double& x, double& y);

}  // namespace mirel::render
