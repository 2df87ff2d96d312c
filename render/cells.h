// The cell grid of a render job: one CellRecord per pixel corner of the tile plus
// a one-cell border, the corner pass, and the per-pixel evaluation that turns the
// corners into smoothed, shaded pixels.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mirel::render {

// Surface kinds written by the surface models.
constexpr std::int32_t kKindUnevaluated = -7;
constexpr std::int32_t kKindSimpleWater = 2;
constexpr std::int32_t kKindSimpleDry = 3;
constexpr std::int32_t kKindComplexWater = 4;
constexpr std::int32_t kKindComplexNoWater = 7;
constexpr std::int32_t kKindComplexProvisional = 8;
// What a corner outside the grid compares as, so that a missing neighbour
// always makes the pixel an edge pixel.
constexpr std::int32_t kKindOutsideGrid = -10003;
constexpr std::int32_t kRegionOutsideGrid = -10002;

// One surface sample: written by the surface model for a corner (or for any
// other sample position while a pixel is smoothed), then, for the pixel whose
// bottom-right corner it is, given the pixel's finished colour. 256 bytes with
// a fixed layout: the grid is a flat block of them, zero-filled when allocated.
struct CellRecord {
    std::int32_t kind;       // kKind*; -7 before evaluation
    std::int32_t regionTag;  // second comparison key; the surface models set 0
    std::int32_t outside;    // 1 when the source position lies outside 0..1
    std::uint8_t flatFlag;   // the sample had nothing to read (kind 0 or 1)
    std::uint8_t reserved0[3];
    float sourceU;  // normalised source-picture position to show
    float sourceV;
    std::uint32_t reserved1;
    float waterWeight;  // Simple style: share of the reflected picture, 0..1
    // Complex style, in world order (x, up, z).
    double hitPoint[3];
    double hitNormal[3];
    double rayDir[3];
    double eyeToHit[3];
    double negRay[3];
    double slopeSpread[2];  // unresolved slope variances along x and z, at least 0.04
    double spunH;           // the sample's spun centred coordinates
    double spunV;
    std::int32_t seed;
    std::uint8_t hasSpread;
    std::uint8_t reserved2[3];
    float spreadU[2];  // source-space footprint of the unresolved waves
    float spreadV[2];
    std::int32_t sampleLevel;  // -1 until the source lookup chose a level
    std::int32_t levelFlag;
    float blurRadius;      // blur of the source read, a fraction of the pyramid
    float pixelColour[4];  // finished RGBA of the pixel whose bottom-right corner this is
    std::uint8_t reserved3[20];
};

static_assert(sizeof(CellRecord) == 256);
static_assert(offsetof(CellRecord, sourceU) == 16);
static_assert(offsetof(CellRecord, waterWeight) == 28);
static_assert(offsetof(CellRecord, hitPoint) == 32);
static_assert(offsetof(CellRecord, slopeSpread) == 152);
static_assert(offsetof(CellRecord, seed) == 184);
static_assert(offsetof(CellRecord, spreadU) == 192);
static_assert(offsetof(CellRecord, blurRadius) == 216);
static_assert(offsetof(CellRecord, pixelColour) == 220);

// The seed of the sample taken for column j and row i of the rendered rectangle.
inline std::int32_t sampleSeed(std::int32_t column, std::int32_t row) {
    const auto j = static_cast<std::uint32_t>(column);
    const auto i = static_cast<std::uint32_t>(row);
    return static_cast<std::int32_t>((j * 7607u) ^ (i * 661u));
}

}  // namespace mirel::render
