// Tests of the tiled job driver: the split, threads per run, hand-over to the
// calling thread, cancel, failed set-up and the cell grids.
#include "jobs/tiled_jobs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "platform/os/os.h"

namespace mirel::jobs {
namespace {

TEST(TiledJobs, SplitsIntoTilesOfSixtyFour) {
    const SplitState split = splitRect({0, 0, 1, 65});
    EXPECT_EQ(split.jobCount, 2);
    const JobRect first = jobTileRect(split, 0), second = jobTileRect(split, 1);
    EXPECT_EQ(first.right - first.left, 64);
    EXPECT_EQ(second.left, 64);
    EXPECT_EQ(second.right - second.left, 1);
    EXPECT_EQ(second.bottom - second.top, 1);

    EXPECT_EQ(splitRect({10, 10, 10, 50}).jobCount, 0);
    EXPECT_EQ(splitRect({0, 0, -5, 5}).jobCount, 0);
    EXPECT_EQ(splitRect({-0x7fffffff, 0, 0x7fffffff, 1}).jobCount, 0);  // too tall to count
    EXPECT_EQ(splitRect({0, 0, 129, 128}).jobCount, 6);
}

TEST(TiledJobs, EveryPixelOfTheRectangleIsWorkedOnce) {
    std::vector<std::atomic<int>> hits(130 * 200);
    TiledJobsRequest request;
    request.rect = {7, 3, 7 + 130, 3 + 200};
    request.threadLimit = 3;
    request.work = [&](TiledJob& job) {
        const JobRect t = imageTileRect(job);
        for (int y = t.top; y < t.bottom; ++y)
            for (int x = t.left; x < t.right; ++x) hits[(y - 7) * 200 + (x - 3)]++;
    };
    std::vector<int> collected;
    request.collect = [&](TiledJob& job) { collected.push_back(job.split.index); };
    const TiledJobsResult result = runTiledJobs(request);
    EXPECT_EQ(result.jobCount, 4 * 3);
    EXPECT_EQ(result.finished, 12);
    EXPECT_EQ(result.collected, 12);
    EXPECT_EQ(result.threads, 3);
    for (auto& h : hits) ASSERT_EQ(h.load(), 1);
    EXPECT_EQ(std::set<int>(collected.begin(), collected.end()).size(), 12u);
}

TEST(TiledJobs, ThreadsFollowProcessorsAndJobs) {
    // Three jobs with eight processors: three slots, each job on a thread of its own.
    const auto caller = std::this_thread::get_id();
    std::atomic<int> onWorkers{0}, inFlight{0}, peak{0};
    TiledJobsRequest request;
    request.rect = {0, 0, 10, 64 * 3};
    mirel::os::setEnvironmentVariable("MIREL_THREADS",
                                      "8");  // the processor count, as the system reports it
    request.work = [&](TiledJob&) {
        const int now = ++inFlight;
        int seen = peak.load();
        while (now > seen && !peak.compare_exchange_weak(seen, now)) {
        }
        if (std::this_thread::get_id() != caller) ++onWorkers;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        --inFlight;
    };
    bool collectOnCaller = true;
    request.collect = [&](TiledJob&) { collectOnCaller &= std::this_thread::get_id() == caller; };
    TiledJobsResult result = runTiledJobs(request);
    EXPECT_EQ(result.threads, 3);
    EXPECT_EQ(onWorkers.load(), 3);
    EXPECT_TRUE(collectOnCaller);
    mirel::os::setEnvironmentVariable("MIREL_THREADS", "2");
    request.rect = {0, 0, 64, 64 * 5};
    EXPECT_EQ(runTiledJobs(request).threads, 2);
    mirel::os::unsetEnvironmentVariable("MIREL_THREADS");

    // One processor: one job after another, still each on a worker thread.
    onWorkers = 0;
    peak = 0;
    request.threadLimit = 1;
    result = runTiledJobs(request);
    EXPECT_EQ(result.threads, 1);
    EXPECT_EQ(result.finished, 5);
    EXPECT_EQ(peak.load(), 1);
    EXPECT_EQ(onWorkers.load(), 5);

    // Never more than 100 threads.
    request.rect = {0, 0, 64, 64 * 150};
    request.threadLimit = 500;
    request.work = [](TiledJob&) {};
    result = runTiledJobs(request);
    EXPECT_EQ(result.threads, 100);
    EXPECT_EQ(result.finished, 150);
}

TEST(TiledJobs, JobsCarryTheirParametersKindAndImage) {
    std::uint8_t parameters[120];
    for (int i = 0; i < 120; ++i) parameters[i] = static_cast<std::uint8_t>(i + 1);
    int image = 0;
    constexpr std::int32_t kKind = -1000;  // any number the caller chooses
    TiledJobsRequest request;
    request.kind = kKind;
    request.rect = {0, 0, 64, 128};
    request.parameters = parameters;
    request.parameterBytes = sizeof parameters;  // only 96 are carried
    request.imageStore = &image;
    std::atomic<int> good{0};
    request.work = [&](TiledJob& job) {
        bool ok = job.kind == kKind && job.imageStore == &image && job.status == kJobStarted;
        for (std::size_t i = 0; i < kJobParameterBytes; ++i) ok &= job.parameters[i] == i + 1;
        good += ok;
    };
    EXPECT_EQ(runTiledJobs(request).finished, 2);
    EXPECT_EQ(good.load(), 2);
}

TEST(TiledJobs, CancelStartsNoNewJobAndCollectsTheStartedOnes) {
    std::atomic<int> worked{0};
    int asked = 0, composed = 0, cleaned = 0, prepared = 0;
    TiledJobsRequest request;
    request.rect = {0, 0, 64, 64 * 40};
    request.threadLimit = 4;
    request.prepare = [&](TiledJob&) { return ++prepared, true; };
    request.work = [&](TiledJob&) { ++worked; };
    request.collect = [&](TiledJob&) { ++composed; };
    request.cleanup = [&](TiledJob&) { ++cleaned; };
    request.cancelRequested = [&] { return ++asked >= 3; };
    const TiledJobsResult result = runTiledJobs(request);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(composed, 2);
    EXPECT_EQ(result.finished, result.started);
    // Two jobs per worker in flight, plus one per job collected before the cancel.
    EXPECT_LE(result.started, 2 * 4 + 2);
    EXPECT_EQ(worked.load(), result.started);
    EXPECT_EQ(cleaned, prepared);
}

TEST(TiledJobs, JobsWhoseStateCannotBeMadeAreCollectedUncomposed) {
    std::atomic<int> worked{0};
    int composed = 0, cleaned = 0;
    TiledJobsRequest request;
    request.rect = {0, 0, 64, 64 * 9};
    request.threadLimit = 2;
    request.prepare = [](TiledJob& job) { return job.split.index % 3 != 1; };
    request.work = [&](TiledJob&) { ++worked; };
    request.collect = [&](TiledJob& job) {
        EXPECT_TRUE(job.ready);
        ++composed;
    };
    request.cleanup = [&](TiledJob&) { ++cleaned; };
    TiledJobsResult result = runTiledJobs(request);
    EXPECT_EQ(result.finished, 9);
    EXPECT_EQ(composed, 6);
    EXPECT_EQ(worked.load(), 6);
    EXPECT_EQ(cleaned, 9);

    // A cell grid whose size does not even fit in memory's address range: no
    // job runs, and the run still ends.
    composed = 0;
    worked = 0;
    request.prepare = nullptr;
    request.cleanup = nullptr;
    for (std::size_t cellBytes : {~std::size_t{0} / 1000, ~std::size_t{0} / 2}) {
        request.cellBytes = cellBytes;
        result = runTiledJobs(request);
        EXPECT_EQ(result.finished, 9);
        EXPECT_EQ(composed, 0);
        EXPECT_EQ(worked.load(), 0);
    }
}

TEST(TiledJobs, CellGridsAreZeroedAndFramedByOneCell) {
    TiledJobsRequest request;
    request.rect = {0, 0, 70, 64};  // tiles of 64 x 64 and 6 x 64
    request.cellBytes = 256;
    std::atomic<int> good{0};
    request.work = [&](TiledJob& job) {
        const CellGrid& g = job.grid;
        bool ok = g.columns == job.tile.right - job.tile.left + 2 &&
                  g.rows == job.tile.bottom - job.tile.top + 2 &&
                  g.bytes == static_cast<std::size_t>(g.columns) * g.rows * 256 &&
                  g.cells != nullptr;
        const auto* bytes = static_cast<const std::uint8_t*>(g.cells);
        for (std::size_t i = 0; ok && i < g.bytes; ++i) ok = bytes[i] == 0;
        std::memset(g.cells, 0xff, g.bytes);
        good += ok;
    };
    EXPECT_EQ(runTiledJobs(request).finished, 2);
    EXPECT_EQ(good.load(), 2);

    // The grids come from the host's service when it offers one (its memory
    // arrives zeroed); a few blocks serve job after job, zeroed again between
    // jobs, and each is given back by its token at the end of the run.
    std::vector<std::vector<std::uint8_t>> store;
    int released = 0;
    HostBufferService host;
    host.obtain = [&](std::size_t bytes, void*& token) -> void* {
        store.emplace_back(bytes, 0);
        token = reinterpret_cast<void*>(store.size());
        return store.back().data();
    };
    std::set<std::size_t> releasedTokens;
    host.release = [&](void* token) {
        const auto number = reinterpret_cast<std::size_t>(token);
        EXPECT_TRUE(number >= 1 && number <= store.size() && releasedTokens.insert(number).second);
        ++released;
    };
    store.reserve(16);
    request.hostBuffers = &host;
    request.rect = {0, 0, 64, 64 * 4};
    request.threadLimit = 1;
    good = 0;
    EXPECT_EQ(runTiledJobs(request).finished, 4);
    EXPECT_EQ(good.load(), 4);
    EXPECT_LE(store.size(), 2u);
    EXPECT_EQ(released, int(store.size()));

    // Tiles of every size share blocks: the edge tiles' grids are framed too.
    request.rect = {0, 0, 130, 130};
    request.threadLimit = 2;
    store.clear();
    releasedTokens.clear();
    released = 0;
    good = 0;
    EXPECT_EQ(runTiledJobs(request).finished, 9);
    EXPECT_EQ(good.load(), 9);
    EXPECT_LE(store.size(), 4u);
    EXPECT_EQ(released, int(store.size()));
}

TEST(TiledJobs, ProgressComesAtMostOnceASecond) {
    std::vector<std::int32_t> reports;
    TiledJobsRequest request;
    request.rect = {0, 0, 64, 64 * 30};
    request.threadLimit = 2;
    request.work = [](TiledJob&) { std::this_thread::sleep_for(std::chrono::milliseconds(50)); };
    request.progress = [&](std::int32_t finished, std::int32_t jobCount) {
        EXPECT_EQ(jobCount, 30);
        reports.push_back(finished);
        return true;
    };
    const auto begin = std::chrono::steady_clock::now();
    runTiledJobs(request);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front(), 1);  // the first finished job may report
    EXPECT_LE(static_cast<double>(reports.size()), seconds + 2.0);
}

}  // namespace
}  // namespace mirel::jobs
