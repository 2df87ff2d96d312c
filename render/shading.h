// Water shading of one sample (the Simple mix; the Complex mix with Fresnel,
// crest tint, highlight, glint, sparkle and contrast) and the preview's guide
// lines and centre cross.
#pragma once

#include <cstdint>

#include "image/tiled_image.h"
#include "render/render_context.h"
#include "render/surface.h"

namespace mirel::render {

// Opacity of the preview's centre cross.
constexpr float kCrossAlpha = 0.75f;
// Half lengths of the cross: white arms reach 5 pixels from the centre, the
// black border 6, and the border is 1 pixel thick on each side of the arm.
constexpr int kCrossWhiteReach = 5;
constexpr int kCrossBlackReach = 6;

// Turns the colour read from the source picture at the sample's source position
// into the colour of the water, by the sample's kind. Dry samples and kinds
// the shading does not know are left alone. Unless the context's target is
// high dynamic range, water colours end clamped to 0..1.
void shadeSample(image::Rgba& colour, const CellRecord& cell, const RenderContext& context);

// Composites colour `k` at opacity `alpha` over `colour`:
// A' = A + (1 - A) alpha, rgb' = rgb + (k - rgb) alpha / (alpha + A - alpha A).
void compositeOver(image::Rgba& colour, float kr, float kg, float kb, float alpha);

// The preview overlays over the finished colour of the pixel in rendered column
// `column` and row `row`: the dashed horizon (magenta) and offset (green) lines
// where the pixel's corner cell lies within a pixel of them, then the cross at
// the ripple centre. Only for preview renders that draw overlays; anything else is
// left alone.
// `cell` may be null (no corner cell): then only the cross is drawn.
void drawOverlays(image::Rgba& colour, std::int32_t column, std::int32_t row,
                  const CellRecord* cell, const RenderContext& context);

}  // namespace mirel::render
