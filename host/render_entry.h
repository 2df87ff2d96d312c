// The render entries of the host output, the preview and the export: loads the
// source once per run, saves and restores the run-time state around a render,
// runs the render jobs and composes every finished tile into the host's
// output, the preview buffer or an export image. Also the images a run keeps
// (source, thumbnail, dot preview).
#pragma once

#include <cstdint>
#include <functional>

#include "image/tiled_image.h"

namespace mirel {

struct FilterContext;

constexpr std::int32_t kDotPreviewSide = 100;
// Bytes per row of the render's scratch buffer.
constexpr std::int64_t kScratchRowBytes = 256;

// The images of a run: thumbnail and dot-preview image are made here; the
// source picture is made by the first render. False when memory runs out.
bool setUpRun(FilterContext& ctx);
// Frees the run's images, the preview buffer and the scratch buffer.
void releaseRun(FilterContext& ctx);

// The render entry: destination 0 renders the whole filter rectangle into the
// host's output (the final apply), destination 1 the preview rectangle at the
// current zoom and pan into the preview buffer. Every run-time field is put
// back afterwards except the current pass, which is then -1. Returns the
// result code (0, -128 on cancel, a host error, 999 when the source cannot be held).
// Destination 2 has an entry of its own, renderForExport.
std::int16_t renderForDestination(FilterContext& ctx, std::int32_t destination);

// Start's final apply: the whole picture into the host's output.
std::int16_t applyToHost(FilterContext& ctx);

// ---- Export --------------------------------------------------------------------

// Progress of an export render in thousandths (0 to 1000): called at most once
// a second while tiles finish, and with 1000 at the end. Returning false
// cancels the render.
using ExportProgress = std::function<bool(std::int32_t permille)>;

// The export render: the effect with the current settings, at full quality,
// into level 0 of `target`, a tile store of any size in the format of the
// export's depth (Rgba8, Rgba16 or RgbaFloat; float is rendered in high
// dynamic range). The result keeps its transparency: nothing is laid over the
// picture and no selection applies. At the picture's own size the render reads
// the source picture; at another size, a copy of it resampled to that size
// (the water is rendered at the export's resolution, not scaled). The zoom,
// pan, preview rectangle, destination and settings are put back afterwards;
// the current pass is then -1. The target's pyramid is not built: only level
// 0 is written. Returns 0, -128 when `progress` cancels, a host error while
// the picture is loaded, 999 when the picture or its resampled copy cannot be
// held, -108 when no render job can be started.
std::int16_t renderForExport(FilterContext& ctx, image::TiledImage& target,
                             const ExportProgress& progress);

}  // namespace mirel
