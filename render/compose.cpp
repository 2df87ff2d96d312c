// Tile composition: effect and source through the output mode, the
// checkerboard of the preview, the selection, and the store.
#include "render/compose.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "render/cells.h"
#include "render/output_modes.h"
#include "render/render_job.h"

namespace mirel::render {
namespace {

float finiteOr(float value, float otherwise) {
    return std::isfinite(value) ? value : otherwise;
}

image::Rgba lerp(const image::Rgba& from, const image::Rgba& to, float t) {
    return {from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t,
            from.b + (to.b - from.b) * t, from.a + (to.a - from.a) * t};
}

image::Rgba overChecker(const image::Rgba& colour, std::int32_t column, std::int32_t row) {
    const float grey = checkerGrey(column, row);
    const float a = std::clamp(colour.a, 0.0f, 1.0f);
    return {grey + (colour.r - grey) * a, grey + (colour.g - grey) * a,
            grey + (colour.b - grey) * a, 1.0f};
}

}  // namespace

image::Rgba spreadBrightLight(const image::Rgba& colour) {
    float channel[3] = {colour.r, colour.g, colour.b};
    float excess = 0.0f;
    int bright = 0;
    for (float value : channel) {
        if (value > 1.0f) {
            excess += value - 1.0f;
            ++bright;
        }
    }
    const float spread = excess * 60.0f / 256.0f;
    if (bright == 1) {
        int other[2];
        int n = 0;
        for (int c = 0; c < 3; ++c)
            if (!(channel[c] > 1.0f)) other[n++] = c;
        float& first = channel[other[0]];
        float& second = channel[other[1]];
        first += spread * 0.5f;
        second += spread * 0.5f;
        if (first > 1.0f) second += first - 1.0f;
        if (second > 1.0f) first += second - 1.0f;
    } else if (bright == 2) {
        for (float& value : channel)
            if (!(value > 1.0f)) value += spread;
    }
    return {channel[0], channel[1], channel[2], colour.a};
}

image::Rgba prepareEffect(const image::Rgba& effect, const ComposeSettings& settings) {
    // A pixel that came out as NaN shows as black rather than poisoning the mode.
    image::Rgba e{finiteOr(effect.r, 0.0f), finiteOr(effect.g, 0.0f), finiteOr(effect.b, 0.0f),
                  finiteOr(effect.a, 0.0f)};
    if (!settings.highDynamicRange) e.a *= kAlphaLift;
    e.a = std::clamp(e.a, 0.0f, 1.0f);
    e.r = std::max(e.r, 0.0f);
    e.g = std::max(e.g, 0.0f);
    e.b = std::max(e.b, 0.0f);
    if (!settings.highDynamicRange) e = spreadOverRangeLight(e);
    // A colour that is grey already is its own grey; the weighted sum could
    // differ from it in the last bit.
    if (settings.greyTarget && !(e.r == e.g && e.g == e.b)) {
        const float grey = 0.3f * e.r + 0.59f * e.g + 0.11f * e.b;
        e.r = e.g = e.b = grey;
    }
    return e;
}

image::Rgba compositeOver(const image::Rgba& over, const image::Rgba& under) {
    const float a = over.a;
    const float alpha = under.a + (1.0f - under.a) * a;
    // Nothing over nothing stays the colour underneath (and transparent).
    const float t = alpha > 0.0f ? a / alpha : 0.0f;
    image::Rgba result = lerp(under, over, t);
    result.a = alpha;
    return result;
}

float checkerGrey(std::int32_t column, std::int32_t row) {
    return ((row ^ column) & kCheckerSquare) == 0 ? kCheckerLight : kCheckerDark;
}

image::Rgba composePixel(const ComposeSettings& settings, std::int32_t column, std::int32_t row,
                         const image::Rgba& effect, const image::Rgba& source, float mask) {
    const image::Rgba e = prepareEffect(effect, settings);
    image::Rgba result = e;
    if (!settings.highDynamicRange) {
        // The normal mode (and any number outside the menu) is the effect itself.
        const bool normal =
            settings.outputMode <= kOutputModeNormal || settings.outputMode > kOutputModeCount;
        if (!normal) result = blendOutputMode(e, source, settings.outputMode);
    }
    // A layer without transparency cannot take the result's alpha: what would
    // show through is the picture underneath. High-dynamic-range pictures too,
    // or a translucent edge pixel would be stored as if it were opaque.
    if (result.a < 1.0f && settings.destination == kDestinationHostOutput &&
        !settings.layerTakesTransparency) {
        result = compositeOver(result, source);
    }
    // The store truncates; a NaN from a float source must not reach it.
    result.r = finiteOr(result.r, 0.0f);
    result.g = finiteOr(result.g, 0.0f);
    result.b = finiteOr(result.b, 0.0f);
    result.a = std::clamp(finiteOr(result.a, 0.0f), 0.0f, 1.0f);
    const float limit = settings.highDynamicRange ? kHighDynamicRangeMax : 1.0f;
    result.r =
        std::clamp(result.r, settings.highDynamicRange ? -kHighDynamicRangeMax : 0.0f, limit);
    result.g =
        std::clamp(result.g, settings.highDynamicRange ? -kHighDynamicRangeMax : 0.0f, limit);
    result.b =
        std::clamp(result.b, settings.highDynamicRange ? -kHighDynamicRangeMax : 0.0f, limit);
    const bool preview = settings.destination == kDestinationPreview;
    if (preview) result = overChecker(result, column, row);

    const float m = std::isnan(mask) ? 1.0f : std::clamp(mask, 0.0f, 1.0f);
    if (m < 1.0f) {
        const image::Rgba under = preview ? overChecker(source, column, row) : source;
        result = lerp(under, result, m);
    }
    return result;
}

void ComposeTarget::readSourceRow(std::int32_t x, std::int32_t y, std::int32_t count,
                                  image::Rgba* pixels) {
    for (std::int32_t i = 0; i < count; ++i) pixels[i] = readSource(x + i, y);
}

void ComposeTarget::maskRow(std::int32_t x, std::int32_t y, std::int32_t count, float* values) {
    for (std::int32_t i = 0; i < count; ++i) values[i] = maskAt(x + i, y);
}

void ComposeTarget::writeResultRow(std::int32_t x, std::int32_t y, std::int32_t count,
                                   const image::Rgba* pixels) {
    for (std::int32_t i = 0; i < count; ++i) writeResult(x + i, y, pixels[i]);
}

// Flattened: the steps of composePixel inline into the walk over every pixel.
[[gnu::flatten]] void composeTile(const jobs::TiledJob& job, const ComposeSettings& settings,
                                  ComposeTarget& target) {
    // The cells are looked up once per tile: the walk below runs for every
    // pixel of the picture on the driver thread.
    const TileCells cells = jobCells(job);
    if (!cells.cells) return;  // the job has no cells
    const std::int32_t width = job.tile.right - job.tile.left;
    if (width <= 0) return;
    std::vector<image::Rgba> sources(static_cast<std::size_t>(width));
    std::vector<image::Rgba> results(static_cast<std::size_t>(width));
    std::vector<float> masks(static_cast<std::size_t>(width));
    for (std::int32_t row = job.tile.top; row < job.tile.bottom; ++row) {
        const std::int32_t y = row - job.tile.top;
        target.readSourceRow(0, y, width, sources.data());
        target.maskRow(0, y, width, masks.data());
        for (std::int32_t x = 0; x < width; ++x) {
            const std::int32_t column = job.tile.left + x;
            const CellRecord* cell = cellAt(cells, column, row);
            if (!cell) {
                // Past the job's cells: what was composed of this row is stored, no more.
                target.writeResultRow(0, y, x, results.data());
                return;
            }
            const float* colour = cell->pixelColour;
            const image::Rgba effect{colour[0], colour[1], colour[2], colour[3]};
            results[static_cast<std::size_t>(x)] =
                composePixel(settings, column, row, effect, sources[static_cast<std::size_t>(x)],
                             masks[static_cast<std::size_t>(x)]);
        }
        target.writeResultRow(0, y, width, results.data());
    }
}

}  // namespace mirel::render
