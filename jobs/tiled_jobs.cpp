// The tiled job driver: one job per 64 x 64 tile, run by worker threads that
// last the whole run, collected one at a time on the calling thread.
#include "jobs/tiled_jobs.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace mirel::jobs {
namespace {

bool multiplyChecked(std::size_t a, std::size_t b, std::size_t& out) {
    if (a != 0 && b > std::numeric_limits<std::size_t>::max() / a) return false;
    out = a * b;
    return true;
}

constexpr int kSpareJobs = 8;

// A block of cell memory that serves job after job of one run: obtained once
// (zero-filled), handed to each job as its grid, and zeroed again by the worker
// before the next job's work when an earlier job has used it.
struct GridBlock {
    void* memory = nullptr;
    std::size_t capacity = 0;
    void* hostBuffer = nullptr;  // the host service's token when it came from there
    os::GlobalHandle globalBlock = nullptr;
    bool used = false;
};

// Bytes of the grid of a tile of `columns` x `rows` pixels; false when the
// product does not fit.
bool gridBytes(std::int32_t columns, std::int32_t rows, std::size_t cellBytes, std::size_t& bytes) {
    std::size_t cells = 0;
    return multiplyChecked(static_cast<std::size_t>(columns) + 2,
                           static_cast<std::size_t>(rows) + 2, cells) &&
           multiplyChecked(cells, cellBytes, bytes);
}

bool obtainBlock(GridBlock& block, std::size_t bytes, const TiledJobsRequest& request) {
    block = GridBlock{};
    const HostBufferService* host = request.hostBuffers;
    if (host && host->obtain && host->release) {
        void* token = nullptr;
        void* memory = host->obtain(bytes, token);
        if (!memory) return false;  // the service tries every source it has
        block.memory = memory;
        block.hostBuffer = token;
    } else {
        os::GlobalHandle handle = os::globalAlloc(bytes);  // zero-filled
        if (!handle) return false;
        void* memory = os::globalLock(handle);
        if (!memory) {
            os::globalFree(handle);
            return false;
        }
        block.memory = memory;
        block.globalBlock = handle;
    }
    block.capacity = bytes;
    return true;
}

void releaseBlock(GridBlock& block, const TiledJobsRequest& request) {
    if (block.hostBuffer && request.hostBuffers && request.hostBuffers->release) {
        request.hostBuffers->release(block.hostBuffer);
    } else if (block.globalBlock) {
        os::globalUnlock(block.globalBlock);
        os::globalFree(block.globalBlock);
    }
    block = GridBlock{};
}

// A job between its start and its collection, with the grid block it borrows.
struct InFlight {
    TiledJob job;
    GridBlock grid;
    bool prepareCalled = false;
};

// One run of the driver; lives for one call of runTiledJobs. Worker threads
// last the whole run and take ready jobs from a queue; the calling thread
// prepares jobs, and collects finished ones while the workers go on. Up to
// two jobs per worker are in flight (at most kSpareJobs more than workers, as
// each holds a grid), so a worker finds its next job waiting while the last
// one is being collected.
class Driver {
  public:
    Driver(const TiledJobsRequest& request, const SplitState& split, int threads)
        : request_(request),
          split_(split),
          capacity_(std::min(split.jobCount, threads + std::min(threads, kSpareJobs))) {
        // Every grid block is made big enough for the largest tile of the split,
        // so any block serves any job; when that size cannot be counted, each
        // block is made for its first job only.
        if (request_.cellBytes != 0 && !gridBytes(std::min(split_.tileSize, split_.width),
                                                  std::min(split_.tileSize, split_.height),
                                                  request_.cellBytes, largestGridBytes_)) {
            largestGridBytes_ = 0;
        }
    }

    ~Driver() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        workReady_.notify_all();
        for (auto& worker : workers_) worker->join();
        for (GridBlock& block : freeBlocks_) releaseBlock(block, request_);
    }

    // Starts up to `threads` workers; returns how many run (0: jobs run on
    // the calling thread).
    int startWorkers(int threads) {
        workers_.reserve(static_cast<std::size_t>(threads));
        for (int i = 0; i < threads; ++i) {
            std::unique_ptr<os::Thread> thread(new (std::nothrow) os::Thread);
            if (!thread || !thread->start([this] { workerLoop(); }, kJobStackBytes)) break;
            workers_.push_back(std::move(thread));
        }
        return static_cast<int>(workers_.size());
    }

    // Starts jobs until the flight is full; stops at the first job whose
    // record cannot be allocated.
    void fill() {
        while (inFlight_ < capacity_ && result.started < split_.jobCount && !result.cancelled) {
            if (!startJob(result.started)) return;
        }
    }

    // Starts job `index`; false (nothing counted) when its record cannot be allocated.
    bool startJob(std::int32_t index) {
        std::unique_ptr<InFlight> flight(new (std::nothrow) InFlight);
        if (!flight) return false;
        TiledJob& job = flight->job;
        job.kind = request_.kind;
        job.split = split_;
        job.split.index = index;
        job.tile = jobTileRect(split_, index);
        job.imageStore = request_.imageStore;
        if (request_.parameters && request_.parameterBytes > 0) {
            std::memcpy(job.parameters.data(), request_.parameters,
                        std::min(request_.parameterBytes, kJobParameterBytes));
        }
        bool ready = lendGrid(*flight);
        if (ready && request_.prepare) {
            flight->prepareCalled = true;
            ready = request_.prepare(job);
        }
        job.ready = ready;
        ++result.started;
        ++inFlight_;
        InFlight* running = flight.release();
        if (!ready) {
            // Nothing to run: straight to collection (uncomposed), so the run still ends.
            std::lock_guard<std::mutex> lock(mutex_);
            done_.push_back(running);
            return true;
        }
        job.status = kJobStarted;
        if (workers_.empty()) {
            // Without a worker the job runs here rather than being lost.
            runJob(*running);
            std::lock_guard<std::mutex> lock(mutex_);
            done_.push_back(running);
            return true;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(running);
        }
        workReady_.notify_one();
        return true;
    }

    // Waits for a finished job and collects it on this thread.
    void collectNext() {
        InFlight* finished = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            jobDone_.wait(lock, [this] { return !done_.empty(); });
            finished = done_.front();
            done_.pop_front();
        }
        std::unique_ptr<InFlight> flight(finished);
        TiledJob& job = flight->job;
        if (request_.cancelRequested && request_.cancelRequested()) result.cancelled = true;
        if (job.ready && !result.cancelled && request_.collect) {
            request_.collect(job);
            ++result.collected;
        }
        if (flight->prepareCalled && request_.cleanup) request_.cleanup(job);
        returnGrid(*flight);
        --inFlight_;
        ++result.finished;
        reportProgress();
    }

    bool finishedAll() const {
        return result.finished >= split_.jobCount ||
               (result.cancelled && result.finished >= result.started);
    }

    bool anyInFlight() const { return inFlight_ > 0; }

    TiledJobsResult result;

  private:
    void workerLoop() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            workReady_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return;
            InFlight* flight = queue_.front();
            queue_.pop_front();
            lock.unlock();
            runJob(*flight);
            lock.lock();
            done_.push_back(flight);
            jobDone_.notify_one();
        }
    }

    void runJob(InFlight& flight) {
        // A block an earlier job used is zeroed here, on the worker, so that
        // the calling thread never waits for it.
        if (flight.grid.used && request_.zeroGrids)
            std::memset(flight.job.grid.cells, 0, flight.job.grid.bytes);
        request_.work(flight.job);
    }

    // Lends the job a grid block from the run's free blocks, or a new one.
    bool lendGrid(InFlight& flight) {
        if (request_.cellBytes == 0) return true;
        TiledJob& job = flight.job;
        const std::int32_t columns = job.tile.right - job.tile.left;
        const std::int32_t rows = job.tile.bottom - job.tile.top;
        std::size_t bytes = 0;
        if (!gridBytes(columns, rows, request_.cellBytes, bytes)) return false;
        auto fits = std::find_if(freeBlocks_.begin(), freeBlocks_.end(),
                                 [bytes](const GridBlock& b) { return b.capacity >= bytes; });
        if (fits != freeBlocks_.end()) {
            flight.grid = *fits;
            freeBlocks_.erase(fits);
        } else if (!obtainBlock(flight.grid, std::max(bytes, largestGridBytes_), request_) &&
                   !(largestGridBytes_ > bytes && obtainBlock(flight.grid, bytes, request_))) {
            return false;
        }
        CellGrid& grid = job.grid;
        grid.cells = flight.grid.memory;
        grid.bytes = bytes;
        grid.columns = columns + 2;
        grid.rows = rows + 2;
        grid.hostBuffer = flight.grid.hostBuffer;
        grid.globalBlock = flight.grid.globalBlock;
        return true;
    }

    void returnGrid(InFlight& flight) {
        flight.job.grid = CellGrid{};
        if (!flight.grid.memory) return;
        // A job that never ran left its block as it found it.
        if (flight.job.ready) flight.grid.used = true;
        freeBlocks_.push_back(flight.grid);
        flight.grid = GridBlock{};
    }

    void reportProgress() {
        if (!request_.progress) return;
        // Whole seconds, so reports come at most once a second.
        const std::uint32_t now = os::tickCount() / 1000u;
        if (now == lastProgressSecond_) return;
        if (request_.progress(result.finished, split_.jobCount)) lastProgressSecond_ = now;
    }

    const TiledJobsRequest& request_;
    SplitState split_;
    const std::int32_t capacity_;
    std::size_t largestGridBytes_ = 0;
    std::int32_t inFlight_ = 0;  // started and not yet collected
    std::vector<GridBlock> freeBlocks_;
    std::vector<std::unique_ptr<os::Thread>> workers_;

    std::mutex mutex_;                   // guards the two lists and stopping_
    std::condition_variable workReady_;  // a job was queued, or the run is ending
    std::condition_variable jobDone_;    // a job was finished
    std::deque<InFlight*> queue_;        // ready jobs no worker has taken yet
    std::deque<InFlight*> done_;         // jobs waiting to be collected
    bool stopping_ = false;

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

    Driver driver(request, split, threads);
    driver.result.jobCount = split.jobCount;
    driver.result.threads = threads;
    driver.startWorkers(threads);
    driver.fill();
    while (!driver.finishedAll()) {
        if (!driver.anyInFlight()) {
            // Nothing in flight because job records could not be allocated:
            // try once more, and give up rather than wait for nothing.
            if (driver.result.cancelled || !driver.startJob(driver.result.started)) {
                driver.result.stalled = true;
                break;
            }
        }
        driver.collectNext();
        driver.fill();
    }
    return driver.result;
}

}  // namespace mirel::jobs
