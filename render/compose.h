// Tile composition: every finished pixel of a render job is combined with the
// untouched picture through the output mode and the selection, and stored to
// the render's destination (the host's output, the preview or the export).
#pragma once

#include <cstdint>

#include "image/tiled_image.h"
#include "jobs/tiled_jobs.h"
#include "render/render_context.h"

namespace mirel::render {

// The preview's checkerboard under transparency: 8 x 8 squares of these greys.
constexpr float kCheckerLight = 1.0f;
constexpr float kCheckerDark = 0.8f;
constexpr std::int32_t kCheckerSquare = 8;
// Rendered alpha falls just short of 1 where samples are blended at edges; the
// lift makes water pixels fully opaque again.
constexpr float kAlphaLift = 1.007f;
// Largest channel value of a high-dynamic-range result.
constexpr float kHighDynamicRangeMax = 65535.0f;

// What a render's composition needs to know of its target.
struct ComposeSettings {
    std::int32_t outputMode = 1;
    std::int32_t destination = kDestinationHostOutput;
    bool highDynamicRange = false;  // 32-bit host picture or deep export: no output mode
    bool greyTarget = false;        // the destination has fewer than three colour planes
    // The host's layer keeps a transparency plane the result's alpha goes to;
    // without one a translucent result is laid over the picture instead.
    bool layerTakesTransparency = false;
};

// The pixel access of one destination while a tile is composed. Positions are
// relative to the tile's top-left pixel.
class ComposeTarget {
  public:
    virtual ~ComposeTarget() = default;
    // The untouched picture's pixel, channels 0..1 (floats as the host keeps them).
    virtual image::Rgba readSource(std::int32_t x, std::int32_t y) = 0;
    // The selection at the pixel, 0..1; 1 where there is no selection mask.
    virtual float maskAt(std::int32_t x, std::int32_t y) = 0;
    virtual void writeResult(std::int32_t x, std::int32_t y, const image::Rgba& rgba) = 0;

    // The same for `count` pixels of row `y` from column `x` on. The tile is composed a row
    // at a time; a target that can move whole rows faster overrides these.
    virtual void readSourceRow(std::int32_t x, std::int32_t y, std::int32_t count,
                               image::Rgba* pixels);
    virtual void maskRow(std::int32_t x, std::int32_t y, std::int32_t count, float* values);
    virtual void writeResultRow(std::int32_t x, std::int32_t y, std::int32_t count,
                                const image::Rgba* pixels);
};

// Steps before the mode: the alpha lift, alpha into 0..1, negative channels to
// 0, the spread of over-range light into the other channels (all skipped for a
// high-dynamic-range target except the clamps), and the grey conversion.
image::Rgba prepareEffect(const image::Rgba& effect, const ComposeSettings& settings);

// Spreads light above 1 into the channels that are not above 1, as bright
// light bleeds in a photograph; the bright channels keep their value.
image::Rgba spreadBrightLight(const image::Rgba& colour);
inline image::Rgba spreadOverRangeLight(const image::Rgba& colour) {
    // Nearly every pixel of an ordinary picture has nothing to spread.
    if (!(colour.r > 1.0f) && !(colour.g > 1.0f) && !(colour.b > 1.0f)) return colour;
    return spreadBrightLight(colour);
}

// `over` laid over `under`, alpha-aware (the alpha of both counts).
image::Rgba compositeOver(const image::Rgba& over, const image::Rgba& under);

// The checkerboard grey at a rendered pixel.
float checkerGrey(std::int32_t column, std::int32_t row);

// One pixel from its rendered effect, the source pixel and the selection
// value (1 outside any mask): the value stored to the destination. `column`
// and `row` are the rendered position (the checkerboard's phase).
image::Rgba composePixel(const ComposeSettings& settings, std::int32_t column, std::int32_t row,
                         const image::Rgba& effect, const image::Rgba& source, float mask);

// Every pixel of a finished job's tile, row by row, with the job's pixel
// colours as the effect. A job without colours composes nothing.
void composeTile(const jobs::TiledJob& job, const ComposeSettings& settings, ComposeTarget& target);

}  // namespace mirel::render
