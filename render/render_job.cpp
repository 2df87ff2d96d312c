// Render jobs on the worker pool: set-up on the driver thread, both cell passes
// on the job's thread, and the caller's collect step back on the driver thread.
#include "render/render_job.h"

#include <memory>
#include <new>

namespace mirel::render {

bool prepareRenderJob(jobs::TiledJob& job, const RenderInputs& inputs) {
    // The context is a plain record of a few kilobytes; it lives on the heap
    // because a job's thread has a small stack.
    std::unique_ptr<RenderContext> context(new (std::nothrow) RenderContext());
    if (!context) return false;
    prepareRenderContext(job, inputs, *context);
    job.context = context.release();
    return true;
}

bool prepareRenderJob(jobs::TiledJob& job, const RenderContext& prepared) {
    std::unique_ptr<RenderContext> context(new (std::nothrow) RenderContext(prepared));
    if (!context) return false;
    context->job = &job;
    context->cells = static_cast<CellRecord*>(job.grid.cells);
    job.context = context.release();
    return true;
}

void releaseRenderJob(jobs::TiledJob& job) {
    std::unique_ptr<RenderContext> context(static_cast<RenderContext*>(job.context));
    job.context = nullptr;
}

TileCells jobCells(const jobs::TiledJob& job) {
    TileCells tile = tileCells(static_cast<CellRecord*>(job.grid.cells), job.tile.left,
                               job.tile.top, job.tile.right, job.tile.bottom);
    // A grid that does not match the tile (or is missing) is never touched.
    if (!job.grid.cells || job.grid.columns != tile.columns || job.grid.rows != tile.rows ||
        job.grid.bytes < static_cast<std::size_t>(tile.columns) *
                             static_cast<std::size_t>(tile.rows) * sizeof(CellRecord)) {
        tile.cells = nullptr;
    }
    return tile;
}

void renderTile(jobs::TiledJob& job) {
    auto* context = static_cast<RenderContext*>(job.context);
    const TileCells tile = jobCells(job);
    if (!context || !tile.cells) return;
    renderTileCells(*context, tile);
}

const float* pixelColourAt(const jobs::TiledJob& job, std::int32_t column, std::int32_t row) {
    if (column < job.tile.left || column >= job.tile.right || row < job.tile.top ||
        row >= job.tile.bottom) {
        return nullptr;
    }
    const CellRecord* cell = cellAt(jobCells(job), column, row);
    return cell ? cell->pixelColour : nullptr;
}

jobs::TiledJobsResult runRenderJobs(const RenderRequest& request) {
    if (!request.inputs.settings || !request.inputs.noise) return jobs::TiledJobsResult{};
    jobs::TiledJobsRequest tiled;
    tiled.kind = kJobRenderTile;
    tiled.rect = request.rect;
    tiled.imageStore = request.source;
    tiled.cellBytes = sizeof(CellRecord);
    tiled.zeroGrids = false;  // renderTileCells clears or writes every cell first
    tiled.hostBuffers = request.hostBuffers;
    tiled.threadLimit = request.threadLimit;
    // Every job's context starts the same: the render's terms are worked out once,
    // before any job, and copied into each job. Working them out makes a new mirror
    // line's reflection copy (a whole copy of the picture and its pyramid), here on
    // the workers rather than on one thread. Without memory for that record, each job
    // works them out itself.
    std::unique_ptr<RenderContext> prepared(new (std::nothrow) RenderContext());
    if (prepared) {
        const image::JobRunner pool = image::poolJobRunner(request.threadLimit);
        prepareRenderContext(request.source, request.inputs, *prepared, &pool);
    }
    tiled.prepare = [&request, &prepared](jobs::TiledJob& job) {
        return prepared ? prepareRenderJob(job, *prepared) : prepareRenderJob(job, request.inputs);
    };
    tiled.work = [](jobs::TiledJob& job) { renderTile(job); };
    tiled.collect = [&request](jobs::TiledJob& job) {
        if (request.collect && job.context) {
            request.collect(job, *static_cast<const RenderContext*>(job.context));
        }
    };
    tiled.cleanup = [](jobs::TiledJob& job) { releaseRenderJob(job); };
    tiled.cancelRequested = request.cancelRequested;
    tiled.progress = request.progress;
    return jobs::runTiledJobs(tiled);
}

}  // namespace mirel::render
