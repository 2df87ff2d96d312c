// Render jobs on the worker pool: each 64 x 64 tile gets its own RenderContext
// and cell grid, runs both cell passes on its thread, and is handed to the
// caller's collect step with its finished pixel colours.
#pragma once

#include <cstdint>
#include <functional>

#include "image/tiled_image.h"
#include "render/cells.h"
#include "render/render_context.h"
#include "render/worker_pool.h"

namespace mirel::render {

// One render over a rectangle of rendered pixels.
struct RenderRequest {
    RenderInputs inputs;                  // settings and noise are required
    image::TiledImage* source = nullptr;  // the store to render from (its edge mode is set)
    JobRect rect;                         // the rendered rectangle; jobs see tiles relative to it
    int threadLimit = 0;                  // 0: one thread per processor
    const HostBufferService* hostBuffers = nullptr;

    // A finished tile, on the calling thread, while nothing is cancelled; the
    // pixel colours are in the job's cells (pixelColourAt).
    std::function<void(const RenderJob& job, const RenderContext& context)> collect;
    std::function<bool()> cancelRequested;
    std::function<bool(std::int32_t finished, std::int32_t jobCount)> progress;
};

// Splits the rectangle into tiles and renders them on the worker pool. Returns
// when every started tile has been collected. A request without settings or
// noise tables renders nothing and reports no jobs.
TiledJobsResult runRenderJobs(const RenderRequest& request);

// The set-up of one render job: allocates its RenderContext and builds it.
// False when the context cannot be allocated (the job is then not rendered).
bool prepareRenderJob(RenderJob& job, const RenderInputs& inputs);
// The work of a render job on its own thread: both cell passes over its tile.
void renderTile(RenderJob& job);
// Frees what prepareRenderJob made.
void releaseRenderJob(RenderJob& job);

// The job's cells over its tile (rendered positions relative to the rectangle).
TileCells jobCells(const RenderJob& job);

// The finished colour of the pixel at rendered (column, row) of the job's tile,
// or null outside it.
const float* pixelColourAt(const RenderJob& job, std::int32_t column, std::int32_t row);

}  // namespace mirel::render
