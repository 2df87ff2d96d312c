// Filtered reads of a TiledImage at any position and scale: the 5 x 5 filtered
// read of one level, the trilinear read across two levels, resampling into
// another image, the edge modes and the bilinear read of the dithered lookups.
#pragma once

#include <cstdint>

#include "image/pyramid.h"
#include "image/tiled_image.h"

namespace mirel::image {

// applyEdgeMode flags.
constexpr int kEdgeLevelChanged = 1;
constexpr int kEdgeOutside = 4;

// Edge modes: 3 clamps into the picture; 2 mirrors sideways and blurs out above
// the top (the reflected source picture).
constexpr std::int32_t kEdgeModeClamp = 3;
constexpr std::int32_t kEdgeModeMirrorBlur = 2;

// A rectangle of pixels; right and bottom exclusive.
struct ImageRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// Filtered read of one level at pixel-centre coordinates (pixel n has its
// centre at n). Native scale (0..255, 0..32768 or as stored); the kernel has
// negative lobes, so results may leave the channel's range slightly and callers
// clamp. Any coordinate is accepted: NaN reads as 0, far positions read the
// edge pixels. An image without tiles reads zeros; the level is clamped.
Rgba filteredRead(const TiledImage& image, int level, float x, float y);

// Two filtered reads of levels k and k + 1 (k clamped into 0..lastLevel - 1) at
// normalised (u, v), blended by `fraction` (0..1). Native scale.
Rgba trilinearRead(const TiledImage& image, int level, float fraction, float u, float v);
// The same times invScale.
Rgba normalisedRead(const TiledImage& image, int level, float fraction, float u, float v);

// Fills `targetRect` of level 0 of `target` from the whole of `source`, at the
// source level log2(source width / target width) - bias, then rebuilds the
// target's pyramid. False (target unchanged) when either image has no tiles or a
// rectangle is empty.
bool resampleInto(const TiledImage& source, TiledImage& target, const ImageRect& sourceRect,
                  const ImageRect& targetRect, float bias);
bool resampleInto(const TiledImage& source, TiledImage& target, const ImageRect& sourceRect,
                  const ImageRect& targetRect, float bias, const JobRunner& run);

// Brings a position outside the picture back in by the image's edge mode; may
// also move `level` towards the coarsest (mode 2 above the top). Returns
// kEdgeOutside when the position was outside, plus kEdgeLevelChanged when the
// level moved; 0 inside (u in 0..1, v in 0..1 excluding v = 1).
int applyEdgeMode(const TiledImage& image, float& u, float& v, float& level);

// Bilinear read of level `level` at normalised (u, v), normalised; each of the
// four pixels passes through the edge mode on its own.
Rgba bilinearRead(const TiledImage& image, int level, float u, float v);

// Float to int for coordinates and indexes: truncation toward zero, with NaN
// giving 0 and values beyond +-2^30 held there, so that arithmetic around the
// result cannot overflow.
inline int saturatingTrunc(float value) {
    constexpr float kLimit = 1073741824.0f;  // 2^30
    if (value >= -kLimit && value <= kLimit) return static_cast<int>(value);
    return value > 0.0f ? (1 << 30) : (value < 0.0f ? -(1 << 30) : 0);
}

// A level clamped into 0..lastLevel; NaN gives 0.
inline float clampLevel(float level, int lastLevel) {
    if (!(level > 0.0f)) return 0.0f;
    const float last = static_cast<float>(lastLevel);
    return level > last ? last : level;
}

}  // namespace mirel::image
