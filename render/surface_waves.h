// The wave sums of the Complex surface: all the waves of a few heights evaluated
// together, four or eight at a time, with the same bits as one at a time.
#pragma once

#include "render/render_context.h"

namespace mirel::render {

// The points evaluated together: a normal's three heights, or the coarse heights of
// several rays searching side by side (their waves then fill whole groups of lanes, and
// more groups are in flight at once); more are taken in turns.
constexpr int kMaxHeightPoints = 8;

// For each of `count` points the weighted sum of its wave
// levels, levels clamped to 1..kWaveLevels; a level of weight 0 adds nothing.
// The height above the waves is point.y minus this sum and the ring ripples.
void waveSums(const RenderContext& context, const double* levelWeight, const Vec3d* points,
              int count, int levels, double* sums);
// The same, carrying on from sums already taken: a point whose firstLevels[n]
// is f > 0 comes in with the sum of its levels below f in sums[n], and only its
// levels from f on are evaluated; the result has the bits of a whole sum. A
// null firstLevels starts every point from level 0.
void waveSums(const RenderContext& context, const double* levelWeight, const Vec3d* points,
              int count, int levels, double* sums, const int* firstLevels);
// The same with a weight row of its own for each point: points of different samples
// evaluated together, each with its footprint's weights.
void waveSums(const RenderContext& context, const double* const* levelWeights, const Vec3d* points,
              int count, int levels, double* sums, const int* firstLevels);

}  // namespace mirel::render
