// The tiled job driver: cuts a rectangle into 64 x 64 tiles, runs the jobs on
// up to one worker thread per processor and collects finished jobs on the
// calling thread.
// It sits below the image store and the render engine, which both run on it; what
// a job does is the caller's, passed in as functions.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/os/os.h"

namespace mirel::jobs {

constexpr std::int32_t kJobTileSize = 64;
constexpr int kMaxJobThreads = 100;
constexpr std::size_t kJobStackBytes = 200000;
constexpr std::size_t kJobParameterBytes = 96;

// Job status.
constexpr std::int32_t kJobSettingUp = -1;
constexpr std::int32_t kJobStarted = 0;
constexpr std::int32_t kJobSignalFailed = -2;

// A rectangle in the host's order; bottom and right are exclusive.
struct JobRect {
    std::int32_t top = 0, left = 0, bottom = 0, right = 0;
};

// How a rectangle is cut; copied into every job.
struct SplitState {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t tilesPerRow = 0;  // ceil(width / 64)
    std::int32_t jobCount = 0;     // tilesPerRow x ceil(height / 64)
    std::int32_t index = 0;        // of the job holding this copy
    JobRect rect;
    std::int32_t tileSize = kJobTileSize;
};

// Computes the split of `rect` (an empty or inverted rectangle gives no jobs).
SplitState splitRect(const JobRect& rect);

// The tile of job `index`, relative to the rectangle (rows and columns from 0).
JobRect jobTileRect(const SplitState& split, std::int32_t index);

// Cell grid memory of a job: (tile rows + 2) x (tile columns + 2) cells,
// zero-filled when the job's work starts (unless the request's work fills the
// cells itself, see zeroGrids), from the host's buffer service when
// there is one, else from global memory. A run obtains a few blocks and lends
// them to job after job; hostBuffer and globalBlock name the block lent.
struct CellGrid {
    void* cells = nullptr;
    std::size_t bytes = 0;
    std::int32_t columns = 0;    // tile columns + 2
    std::int32_t rows = 0;       // tile rows + 2
    void* hostBuffer = nullptr;  // the service's token when it came from the host
    os::GlobalHandle globalBlock = nullptr;
};

// One tile's job, made by the driver and handed to the caller's hooks.
struct TiledJob {
    std::int32_t kind = 0;  // the request's kind
    std::int32_t status = kJobSettingUp;
    SplitState split;
    JobRect tile;                // relative to split.rect
    void* imageStore = nullptr;  // borrowed: the image the job works on
    std::array<std::uint8_t, kJobParameterBytes> parameters{};
    void* context = nullptr;  // the job's own state, made and freed by the caller's hooks
    CellGrid grid;
    bool ready = false;  // context and grid in place; false: collected without composing
};

// The job's tile in image coordinates (shifted by the rectangle's top-left corner).
JobRect imageTileRect(const TiledJob& job);

// Where the jobs' cell grids come from when not from global memory (the host's
// buffers). obtain returns `bytes` of zeroed memory and sets `token`, or returns
// null; release gives back what obtain gave, by its token.
struct HostBufferService {
    std::function<void*(std::size_t bytes, void*& token)> obtain;
    std::function<void(void* token)> release;
};

// One call of runTiledJobs. Only `work` is required; every hook except `work`
// runs on the calling thread.
struct TiledJobsRequest {
    std::int32_t kind = 0;  // the caller's job kind, copied into every job
    JobRect rect;
    const void* parameters = nullptr;  // up to 96 bytes copied into every job
    std::size_t parameterBytes = 0;
    void* imageStore = nullptr;
    std::size_t cellBytes = 0;  // bytes per cell of a job's grid; 0: jobs have no grid
    // False when the work writes every cell of its grid before reading it: a block that
    // an earlier job used is then handed on as that job left it, not zeroed again.
    bool zeroGrids = true;
    const HostBufferService* hostBuffers = nullptr;
    int threadLimit = 0;  // 0: the processor count

    // Per-job set-up after the job record and grid exist; false when the job's
    // state cannot be allocated (the job is then collected without composing).
    std::function<bool(TiledJob&)> prepare;
    // The job body, on a worker thread.
    std::function<void(TiledJob&)> work;
    // A finished, ready job while nothing is cancelled (a render hands its tile
    // to the host here).
    std::function<void(TiledJob&)> collect;
    // Frees what prepare made; called for every job that prepare was called for.
    std::function<void(TiledJob&)> cleanup;
    // Asked after every finished job; true when the user has cancelled.
    std::function<bool()> cancelRequested;
    // Called at most once a second; returns true when it reported (restarts the clock).
    std::function<bool(std::int32_t finished, std::int32_t jobCount)> progress;
};

struct TiledJobsResult {
    std::int32_t jobCount = 0;
    std::int32_t started = 0;
    std::int32_t finished = 0;
    std::int32_t collected = 0;  // jobs handed to collect
    std::int32_t threads = 0;    // worker threads asked for
    bool cancelled = false;
    bool stalled = false;  // no job could be started at all; the run gave up
};

// Splits the rectangle and runs the jobs; returns when every started job has
// been collected. Cancel stops new jobs; started ones finish and are collected
// without being composed.
TiledJobsResult runTiledJobs(const TiledJobsRequest& request);

}  // namespace mirel::jobs
