// Render jobs on the worker pool: each 64 x 64 tile gets its own RenderContext
// and cell grid, runs both cell passes on its thread, and is handed to the
// caller's collect step with its finished pixel colours.
#pragma once

#include <cstdint>
#include <functional>

#include "image/tiled_image.h"
#include "jobs/tiled_jobs.h"
#include "render/cells.h"
#include "render/render_context.h"

namespace mirel::render {

// The job kind of render tiles on the tiled job driver.
constexpr std::int32_t kJobRenderTile = 2;

// One render over a rectangle of rendered pixels.
struct RenderRequest {
    RenderInputs inputs;                  // settings and noise are required
    image::TiledImage* source = nullptr;  // the store to render from (its edge mode is set)
    jobs::JobRect rect;                   // the rendered rectangle; jobs see tiles relative to it
    int threadLimit = 0;                  // 0: one thread per processor
    const jobs::HostBufferService* hostBuffers = nullptr;

    // A finished tile, on the calling thread, while nothing is cancelled; the
    // pixel colours are in the job's cells (pixelColourAt).
    std::function<void(const jobs::TiledJob& job, const RenderContext& context)> collect;
    std::function<bool()> cancelRequested;
    std::function<bool(std::int32_t finished, std::int32_t jobCount)> progress;
};

// Splits the rectangle into tiles and renders them on the worker pool. Returns
// when every started tile has been collected. A request without settings or
// noise tables renders nothing and reports no jobs.
jobs::TiledJobsResult runRenderJobs(const RenderRequest& request);

// The set-up of one render job: allocates its RenderContext and builds it.
// False when the context cannot be allocated (the job is then not rendered).
bool prepareRenderJob(jobs::TiledJob& job, const RenderInputs& inputs);
// The work of a render job on its own thread: both cell passes over its tile.
void renderTile(jobs::TiledJob& job);
// The same from a context prepared for another job of the same render: a copy
// of it, made this job's.
bool prepareRenderJob(jobs::TiledJob& job, const RenderContext& prepared);
// Frees what prepareRenderJob made.
void releaseRenderJob(jobs::TiledJob& job);

// The job's cells over its tile (rendered positions relative to the rectangle).
TileCells jobCells(const jobs::TiledJob& job);

// The finished colour of the pixel at rendered (column, row) of the job's tile,
// or null outside it.
const float* pixelColourAt(const jobs::TiledJob& job, std::int32_t column, std::int32_t row);

}  // namespace mirel::render
