// Footprint lookups of the reflected picture: a nearest-pixel point lookup whose
// level follows the blur, and an elliptical area lookup with reads along the
// major axis, root-mean-square colour averaging, a clip line and dithering.
#pragma once

#include <cstdint>

#include "image/noise.h"
#include "image/tiled_image.h"

namespace mirel::image {

struct Vec2 {
    float x = 0.0f, y = 0.0f;
};

// A neighbour whose first coordinate is exactly this is missing.
constexpr float kMissingNeighbour = -1.0f;

// The area lookup's detail that asks for unfiltered level-0 reads.
constexpr float kFullSizeDetail = -1.0f;

// The source positions of a sample and of its two adjacent samples, normalised
// like (u, v).
struct Footprint {
    Vec2 own;
    Vec2 neighbour1{kMissingNeighbour, 0.0f};
    Vec2 neighbour2{kMissingNeighbour, 0.0f};
};

// Detail the sample does not resolve (normalised units), merged into the pixel
// footprint when enabled.
struct SpreadVectors {
    bool enabled = false;
    Vec2 a, b;
};

// Reads on the far side of this line are dropped: a line through `p` with
// direction `direction`; `q` is a second point on it, kept for the caller.
struct ClipLine {
    bool enabled = false;
    Vec2 direction;
    Vec2 p, q;
};

// Filled per sample by the render engine.
struct LookupParams {
    float lookupLevel = 0.0f;      // point mode's level; the ellipse case writes its level here
    std::int32_t pointMode = 0;    // 1: one lookup at lookupLevel
    float blurFraction = 0.0f;     // 0..1 of the way to the coarsest level
    float isoBlurFraction = 0.0f;  // applied first, with `isotropic`
    SpreadVectors spreadVectors;
    std::int32_t maxSamples = 8;  // most reads along the major axis
    bool isotropic = false;
    ClipLine clipLine;
    bool jitter = false;
    // The seeded permutation for the dithered reads; null uses seed 0's.
    const NoiseTables* noise = nullptr;
};

// (y - P.y) a - (x - P.x) b: which side of the clip line (x, y) lies on.
float clipSide(const ClipLine& line, float x, float y);

// log2 of x > 1 from the float's exponent and a parabola through the mantissa:
// exact at powers of two, 0.6 at 1.5. 0 for x <= 1 or NaN; 128 for infinity.
float fastLog2(float x);

// How many reads the area lookup takes along the major axis for a footprint of
// major / minor ratio `ratio`, and how far (fade, 0..1 of the major axis) they
// spread. count 1 is a single read.
struct AxisReads {
    int count = 1;
    float fade = 1.0f;
};
AxisReads axisReads(float ratio, int maxSamples);

// Everything the area lookup decided before reading: useful on its own to check
// the footprint logic.
struct AreaPlan {
    bool zero = false;         // position not a number: the result is 0
    float u = 0.0f, v = 0.0f;  // centre after the edge mode
    float level = 0.0f;        // 0..lastLevel
    int count = 1;             // reads along the axis (1: single read)
    float fade = 1.0f;
    Vec2 step;                        // between reads, normalised
    int firstKept = 0, lastKept = 0;  // reads kept by the clip line
    bool clipped = false;
    float clipDirection =
        0.0f;  // +1 dithered reads move towards the last read, -1 towards the first
};

AreaPlan planLookupArea(const TiledImage& image, float u, float v, const Footprint& footprint,
                        LookupParams& params, float detail);

// Nearest pixel of the level that the footprint size and blur ask for; normalised.
Rgba lookupPoint(const TiledImage& image, float u, float v, const Footprint& footprint,
                 const LookupParams& params);

// Area lookup; normalised. detail -1 asks for unfiltered level-0 reads, s >= 0
// shrinks the footprint by 1 - s / 2. NaN positions give all zeros; any other
// input (infinite, huge) gives a finite result from inside the picture.
Rgba lookupArea(const TiledImage& image, float u, float v, const Footprint& footprint,
                LookupParams& params, float detail);

}  // namespace mirel::image
