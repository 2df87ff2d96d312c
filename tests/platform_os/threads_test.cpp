// Events, "wait for any", thread stacks and the processor count.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>

#include <bit>
#else
#include <sched.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/os/os.h"

namespace mirel::os {
namespace {

TEST(Event, SetBeforeWaitIsKeptAndConsumedOnce) {
    Event event;
    event.set();
    event.set();  // auto-reset events do not count
    EXPECT_TRUE(event.wait(0));
    EXPECT_FALSE(event.wait(0));
    event.set();
    event.reset();
    EXPECT_FALSE(event.wait(10));
}

TEST(Event, WaitEndsWhenAnotherThreadSets) {
    Event event;
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        event.set();
    });
    EXPECT_TRUE(event.wait(kInfinite));
    setter.join();
}

TEST(WaitForAny, ReturnsLowestSetAndResetsOnlyIt) {
    Event events[5];
    Event* list[5] = {&events[0], &events[1], &events[2], &events[3], &events[4]};
    events[3].set();
    events[1].set();
    events[4].set();
    EXPECT_EQ(waitForAny(list, 0), 1);
    EXPECT_EQ(waitForAny(list, 0), 3);
    EXPECT_EQ(waitForAny(list, kInfinite), 4);
    EXPECT_EQ(waitForAny(list, 0), -1);
    // The others were untouched by the waits: set two, consume one directly.
    events[2].set();
    events[0].set();
    EXPECT_TRUE(events[2].wait(0));
    EXPECT_EQ(waitForAny(list, 0), 0);
}

TEST(WaitForAny, TimesOutWithMinusOneAndSkipsEmptySlots) {
    Event a, b;
    Event* list[3] = {&a, nullptr, &b};
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(waitForAny(list, 50), -1);
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(45));
    b.set();
    EXPECT_EQ(waitForAny(list, 50), 2);
    EXPECT_EQ(waitForAny(std::span<Event* const>(), kInfinite), -1);
}

// The worker pool's hand-over: per slot a start and a done event, a fresh
// thread per job, the driver collecting one finished slot at a time. Every job
// must be collected exactly once, however the threads interleave.
TEST(WaitForAny, DrivesAPoolWithoutLosingAJob) {
    constexpr int kSlots = 6;
    constexpr int kJobs = 300;
    Event start[kSlots], done[kSlots];
    Event* doneList[kSlots];
    Thread threads[kSlots];
    std::vector<std::atomic<int>> ran(kJobs);
    int jobOfSlot[kSlots];
    int started = 0, finished = 0;
    const auto startJob = [&](int slot) {
        const int job = started++;
        jobOfSlot[slot] = job;
        done[slot].reset();
        start[slot].set();
        ASSERT_TRUE(threads[slot].start(
            [&, slot, job] {
                ASSERT_TRUE(start[slot].wait(kInfinite));
                ran[job].fetch_add(1);
                done[slot].set();
            },
            200000));
    };
    for (int slot = 0; slot < kSlots; ++slot) {
        doneList[slot] = &done[slot];
        startJob(slot);
    }
    while (finished < started) {
        const int slot = waitForAny(doneList, 10000);
        ASSERT_GE(slot, 0) << "a finished job was never reported";
        threads[slot].join();
        EXPECT_EQ(ran[jobOfSlot[slot]].load(), 1);
        ++finished;
        if (started < kJobs) startJob(slot);
    }
    EXPECT_EQ(finished, kJobs);
    for (const auto& count : ran) EXPECT_EQ(count.load(), 1);
}

// Touches every byte of a large local array; volatile so nothing is elided.
void useStack(std::size_t bytes, std::atomic<bool>& ok) {
    volatile unsigned char buffer[150000];
    static_assert(sizeof buffer <= 150000);
    for (std::size_t i = 0; i < bytes && i < sizeof buffer; ++i)
        buffer[i] = static_cast<unsigned char>(i);
    bool same = true;
    for (std::size_t i = 0; i < bytes && i < sizeof buffer; i += 997)
        same = same && buffer[i] == static_cast<unsigned char>(i);
    ok = same;
}

TEST(Thread, GetsTheStackItAskedFor) {
    std::atomic<bool> ok{false};
    Thread thread;
    ASSERT_TRUE(thread.start([&] { useStack(150000, ok); }, 200000));
    EXPECT_TRUE(thread.running());
    thread.join();
    EXPECT_FALSE(thread.running());
    EXPECT_TRUE(ok.load());
}

TEST(Thread, TinyStackRequestsStillRunAndTheOwnerJoins) {
    std::atomic<int> runs{0};
    {
        Thread thread;
        ASSERT_TRUE(thread.start([&] { runs.fetch_add(1); }, 1));
        EXPECT_FALSE(thread.start([&] { runs.fetch_add(1); }, 1)) << "already running";
    }  // the destructor joins
    EXPECT_EQ(runs.load(), 1);
    Thread reused;
    ASSERT_TRUE(reused.start([&] { runs.fetch_add(1); }, 65536));
    reused.join();
    ASSERT_TRUE(reused.start([&] { runs.fetch_add(1); }, 65536));
    reused.join();
    EXPECT_EQ(runs.load(), 3);
}

TEST(Thread, RefusesImpossibleStacksAndEmptyBodies) {
    Thread thread;
    EXPECT_FALSE(thread.start([] {}, static_cast<std::size_t>(-1)));
    EXPECT_FALSE(thread.start(nullptr, 200000));
    EXPECT_FALSE(thread.running());
}

class ProcessorCount : public ::testing::Test {
  protected:
    void TearDown() override { mirel::os::unsetEnvironmentVariable("MIREL_THREADS"); }
};

TEST_F(ProcessorCount, FollowsAffinityAndTheOverride) {
    mirel::os::unsetEnvironmentVariable("MIREL_THREADS");
#if defined(_WIN32)
    DWORD_PTR process = 0, system = 0;
    ASSERT_TRUE(::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system));
    const int affinity = std::popcount(std::uint64_t(process));
#else
    cpu_set_t set;
    CPU_ZERO(&set);
    ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
    const int affinity = CPU_COUNT(&set);
#endif
    EXPECT_EQ(processorCount(), affinity);
    EXPECT_GE(processorCount(), 1);

    mirel::os::setEnvironmentVariable("MIREL_THREADS", "3");
    EXPECT_EQ(processorCount(), 3);
    mirel::os::setEnvironmentVariable("MIREL_THREADS", "1");
    EXPECT_EQ(processorCount(), 1);
    for (const char* ignored : {"0", "-2", "", "abc", "4x", "99999999999999999999"}) {
        mirel::os::setEnvironmentVariable("MIREL_THREADS", ignored);
        EXPECT_EQ(processorCount(), affinity) << "MIREL_THREADS=" << ignored;
    }
}

}  // namespace
}  // namespace mirel::os
