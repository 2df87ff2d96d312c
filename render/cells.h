// The cell grid of a render job: one CellRecord per pixel corner of the tile plus
// a one-cell border, the corner pass, and the per-pixel evaluation that turns the
// corners into smoothed, shaded pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/tiled_image.h"
#include "render/render_context.h"
#include "render/surface.h"

namespace mirel::render {

// What a corner outside the grid compares as, so that a missing neighbour
// always makes the pixel an edge pixel.
constexpr std::int32_t kKindOutsideGrid = -10003;
constexpr std::int32_t kRegionOutsideGrid = -10002;

// Pixel quality levels, chosen once per job.
constexpr int kQualitySingle = 2;    // one area sample per pixel (Simple preview)
constexpr int kQualityAdaptive = 3;  // corners, centre check, edge blend, supersampling
constexpr int kQualityJittered = 5;  // one dithered area sample per pixel (Complex preview)

// The quality a job renders at: one sample per pixel in the dialog's preview
// (dithered in the Complex style), adaptive for the host and for exports.
int qualityFor(const RenderContext& context);

// Supersampling patterns of a pixel that the edge blend cannot settle.
enum class SamplePattern {
    Single,    // one sample at the centre
    Across17,  // 17 samples across at the vertical centre, sixteenths apart
    Down17,    // 17 samples down at the horizontal centre
    Grid5x5,   // quarter-pixel steps from edge to edge
    Grid2x2,   // +-0.25 from the centre, on request
};

// The cells of one tile: (tile rows + 2) x (tile columns + 2) records, row by
// row. Grid column g holds the corner at rendered column g + columnStart - 1,
// so pixel (a, b) has its corners at (a - 1, b - 1) .. (a, b) and its colour
// goes into the cell of (a, b). Rendered positions are relative to the rendered
// rectangle.
struct TileCells {
    CellRecord* cells = nullptr;
    std::int32_t columns = 0;  // tile columns + 2
    std::int32_t rows = 0;     // tile rows + 2
    std::int32_t columnStart = 0, rowStart = 0;
    std::int32_t columnEnd = 0, rowEnd = 0;  // exclusive
};

// Cells for the tile [columnStart, columnEnd) x [rowStart, rowEnd) laid over
// `cells`; the grid must hold (rows + 2) x (columns + 2) records.
TileCells tileCells(CellRecord* cells, std::int32_t columnStart, std::int32_t rowStart,
                    std::int32_t columnEnd, std::int32_t rowEnd);

// The cell of the corner at rendered (column, row), or null outside the grid.
CellRecord* cellAt(const TileCells& tile, std::int32_t column, std::int32_t row);

// Comparison key of a corner: regionTag * 0.707192 + kind + outside * 3.1415925.
float cornerKey(std::int32_t kind, std::int32_t regionTag, std::int32_t outside);

// Pass 1: the surface at every corner of the tile, including the row above and
// the column left of it.
void evaluateCorners(RenderContext& context, const TileCells& tile);

// Pass 2 for one pixel: its shaded, smoothed RGBA (the cell grid must have been
// through pass 1). Overlays are not drawn here.
image::Rgba evaluatePixel(RenderContext& context, const TileCells& tile, std::int32_t a,
                          std::int32_t b, int quality);

// Supersamples pixel (a, b) with the given pattern, whatever its corners say.
image::Rgba supersamplePixel(RenderContext& context, const TileCells& tile, std::int32_t a,
                             std::int32_t b, SamplePattern pattern);

// Pass 2 over the tile: evaluatePixel, non-finite components replaced by 0, the
// preview overlays, and the result stored in each pixel's pixelColour.
void evaluatePixels(RenderContext& context, const TileCells& tile, int quality);

// Both passes at the job's quality. Every cell of the grid is written before it is read
// (the last row and column, past the tile's corners, are cleared), so a grid may come
// with whatever an earlier tile left in it.
void renderTileCells(RenderContext& context, const TileCells& tile);

}  // namespace mirel::render
