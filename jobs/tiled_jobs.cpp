// The tiled job driver: one job per 64 x 64 tile, each on a thread of its own,
// up to one per processor in flight, collected one at a time on the calling thread.
#include "jobs/tiled_jobs.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

namespace mirel::jobs {
namespace {

bool multiplyChecked(std::size_t a, std::size_t b, std::size_t& out) {
    if (a != 0 && b > std::numeric_limits<std::size_t>::max() / a) return false;
    out = a * b;
    return true;
}

// The cell grid holds the tile's cells plus one ring of cells just outside it,
// so neighbour tests at the tile's edge need nothing from another job.
bool allocateGrid(TiledJob& job, const TiledJobsRequest& request) {
    if (request.cellBytes == 0) return true;
    const std::int32_t columns = job.tile.right - job.tile.left + 2;
    const std::int32_t rows = job.tile.bottom - job.tile.top + 2;
    std::size_t cells = 0, bytes = 0;
    if (!multiplyChecked(static_cast<std::size_t>(columns), static_cast<std::size_t>(rows),
                         cells) ||
        !multiplyChecked(cells, request.cellBytes, bytes)) {
        return false;
    }
    CellGrid& grid = job.grid;
    grid.columns = columns;
    grid.rows = rows;
    grid.bytes = bytes;

    const HostBufferService* host = request.hostBuffers;
    if (host && host->obtain && host->release) {
        void* token = nullptr;
        void* memory = host->obtain(bytes, token);
        if (!memory) return false;  // the service tries every source it has
        grid.cells = memory;
        grid.hostBuffer = token;
        return true;
    }
    os::GlobalHandle block = os::globalAlloc(bytes);  // zero-filled
    if (!block) return false;
    void* memory = os::globalLock(block);
    if (!memory) {
        os::globalFree(block);
        return false;
    }
    grid.cells = memory;
    grid.globalBlock = block;
    return true;
}

void releaseGrid(TiledJob& job, const TiledJobsRequest& request) {
    CellGrid& grid = job.grid;
    if (grid.hostBuffer && request.hostBuffers && request.hostBuffers->release) {
        request.hostBuffers->release(grid.hostBuffer);
    } else if (grid.globalBlock) {
        os::globalUnlock(grid.globalBlock);
        os::globalFree(grid.globalBlock);
    }
    grid = CellGrid{};
}

struct Slot {
    os::Event start;
    os::Event done;
    std::unique_ptr<TiledJob> job;
    os::Thread thread;
    bool prepareCalled = false;
};

// One run of the driver; lives for one call of runTiledJobs.
class Driver {
  public:
    Driver(const TiledJobsRequest& request, const SplitState& split)
        : request_(request), split_(split) {}

    // Starts job `index` in `slot`; false (nothing counted, slot idle) when the
    // job record cannot be allocated.
    bool startJob(Slot& slot, std::int32_t index) {
        std::unique_ptr<TiledJob> job(new (std::nothrow) TiledJob);
        if (!job) return false;
        job->kind = request_.kind;
        job->split = split_;
        job->split.index = index;
        job->tile = jobTileRect(split_, index);
        job->startEvent = &slot.start;
        job->doneEvent = &slot.done;
        job->imageStore = request_.imageStore;
        if (request_.parameters && request_.parameterBytes > 0) {
            std::memcpy(job->parameters.data(), request_.parameters,
                        std::min(request_.parameterBytes, kJobParameterBytes));
        }
        bool ready = allocateGrid(*job, request_);
        slot.prepareCalled = false;
        if (ready && request_.prepare) {
            slot.prepareCalled = true;
            ready = request_.prepare(*job);
        }
        job->ready = ready;
        ++result.started;

        slot.done.reset();
        slot.job = std::move(job);
        TiledJob* running = slot.job.get();
        if (!ready) {
            // Nothing to run: hand the job straight back so that it is collected
            // (uncomposed) like any other and the run still ends.
            slot.done.set();
            return true;
        }
        slot.start.set();  // before the thread exists; the worker's first wait returns at once
        running->status = kJobStarted;
        const TiledJobsRequest* request = &request_;
        const bool threaded = slot.thread.start(
            [running, request] {
                running->startEvent->wait(os::kInfinite);
                request->work(*running);
                running->doneEvent->set();  // last act: the driver may free the job now
            },
            kJobStackBytes);
        if (!threaded) {
            // Without a thread the job runs here rather than being lost; a slot
            // whose done event never came would hang the run.
            slot.start.reset();
            request_.work(*running);
            slot.done.set();
        }
        return true;
    }

    void collect(Slot& slot) {
        if (slot.thread.running()) slot.thread.join();
        TiledJob& job = *slot.job;
        if (request_.cancelRequested && request_.cancelRequested()) result.cancelled = true;
        if (job.ready && !result.cancelled && request_.collect) {
            request_.collect(job);
            ++result.collected;
        }
        if (slot.prepareCalled && request_.cleanup) request_.cleanup(job);
        slot.prepareCalled = false;
        releaseGrid(job, request_);
        slot.job.reset();

        if (result.started < split_.jobCount && !result.cancelled) startJob(slot, result.started);
        ++result.finished;
        reportProgress();
    }

    bool finishedAll() const {
        return result.finished >= split_.jobCount ||
               (result.cancelled && result.finished >= result.started);
    }

    void reportProgress() {
        if (!request_.progress) return;
        // Whole seconds, so reports come at most once a second.
        const std::uint32_t now = os::tickCount() / 1000u;
        if (now == lastProgressSecond_) return;
        if (request_.progress(result.finished, split_.jobCount)) lastProgressSecond_ = now;
    }

    TiledJobsResult result;

  private:
    const TiledJobsRequest& request_;
    SplitState split_;
    std::uint32_t lastProgressSecond_ = os::tickCount() / 1000u - 1u;
};

}  // namespace

SplitState splitRect(const JobRect& rect) {
    SplitState split;
    split.rect = rect;
    split.tileSize = kJobTileSize;
    // 64-bit differences: a rectangle spanning the whole int32 range must not wrap.
    const std::int64_t width = std::int64_t{rect.right} - rect.left;
    const std::int64_t height = std::int64_t{rect.bottom} - rect.top;
    if (width <= 0 || height <= 0) return split;
    const std::int64_t across = (width + kJobTileSize - 1) / kJobTileSize;
    const std::int64_t down = (height + kJobTileSize - 1) / kJobTileSize;
    if (width > std::numeric_limits<std::int32_t>::max() ||
        height > std::numeric_limits<std::int32_t>::max() ||
        across * down > std::numeric_limits<std::int32_t>::max()) {
        return split;
    }
    split.width = static_cast<std::int32_t>(width);
    split.height = static_cast<std::int32_t>(height);
    split.tilesPerRow = static_cast<std::int32_t>(across);
    split.jobCount = static_cast<std::int32_t>(across * down);
    return split;
}

JobRect jobTileRect(const SplitState& split, std::int32_t index) {
    JobRect tile;
    if (split.tilesPerRow <= 0) return tile;
    tile.top = split.tileSize * (index / split.tilesPerRow);
    tile.left = split.tileSize * (index % split.tilesPerRow);
    tile.bottom = std::min(tile.top + split.tileSize, split.height);
    tile.right = std::min(tile.left + split.tileSize, split.width);
    return tile;
}

JobRect imageTileRect(const TiledJob& job) {
    const JobRect& r = job.split.rect;
    return {job.tile.top + r.top, job.tile.left + r.left, job.tile.bottom + r.top,
            job.tile.right + r.left};
}

TiledJobsResult runTiledJobs(const TiledJobsRequest& request) {
    const SplitState split = splitRect(request.rect);
    TiledJobsResult empty;
    empty.jobCount = split.jobCount;
    if (split.jobCount == 0 || !request.work) return empty;

    int threads = request.threadLimit > 0 ? request.threadLimit : os::processorCount();
    threads = std::max(1, std::min({threads, split.jobCount, kMaxJobThreads}));

    std::unique_ptr<Slot[]> slots(new (std::nothrow) Slot[static_cast<std::size_t>(threads)]);
    if (!slots) {
        empty.stalled = true;
        return empty;
    }
    std::vector<os::Event*> doneEvents;
    doneEvents.reserve(static_cast<std::size_t>(threads));
    for (int i = 0; i < threads; ++i) doneEvents.push_back(&slots[i].done);

    Driver driver(request, split);
    driver.result.jobCount = split.jobCount;
    driver.result.threads = threads;
    for (int i = 0; i < threads; ++i) driver.startJob(slots[i], driver.result.started);

    while (!driver.finishedAll()) {
        const bool anyBusy = std::any_of(slots.get(), slots.get() + threads,
                                         [](const Slot& s) { return s.job != nullptr; });
        if (!anyBusy) {
            // Every slot is idle because job records could not be allocated:
            // try once more, and give up rather than wait for nothing.
            if (driver.result.cancelled || !driver.startJob(slots[0], driver.result.started)) {
                driver.result.stalled = true;
                break;
            }
        }
        const int index = os::waitForAny(doneEvents, os::kInfinite);
        if (index < 0 || index >= threads || !slots[index].job) continue;
        driver.collect(slots[index]);
    }
    return driver.result;
}

}  // namespace mirel::jobs
