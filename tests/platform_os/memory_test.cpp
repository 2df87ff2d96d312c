// Global memory blocks, the clock and the debug output.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>

#include "platform/os/win32/wide_text.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <cstring>
#include <ctime>
#include <limits>
#include <vector>

#include "platform/os/os.h"
#include "tests/support/scratch.h"

namespace mirel::os {
namespace {

bool allZero(const void* data, std::size_t bytes) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < bytes; ++i)
        if (p[i] != 0) return false;
    return true;
}

TEST(GlobalMemory, BlocksStartZeroedAndLocksNest) {
    constexpr std::size_t kGrid = 66 * 66 * 256;  // one job's cell grid
    GlobalHandle handle = globalAlloc(kGrid);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(globalSize(handle), kGrid);
    void* first = globalLock(handle);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(allZero(first, kGrid));
    EXPECT_EQ(globalLock(handle), first) << "a locked block does not move";
    globalUnlock(handle);
    EXPECT_FALSE(globalResize(handle, 2 * kGrid)) << "still locked once";
    EXPECT_EQ(globalSize(handle), kGrid);
    globalUnlock(handle);
    globalUnlock(handle);  // one too many is harmless
    EXPECT_TRUE(globalResize(handle, 2 * kGrid));
    globalFree(handle);
}

TEST(GlobalMemory, GrowthIsZeroedEvenAfterAShrink) {
    GlobalHandle handle = globalAlloc(1000);
    ASSERT_NE(handle, nullptr);
    auto* bytes = static_cast<std::uint8_t*>(globalLock(handle));
    std::memset(bytes, 0xAB, 1000);
    globalUnlock(handle);

    ASSERT_TRUE(globalResize(handle, 100));
    ASSERT_TRUE(globalResize(handle, 5000));
    bytes = static_cast<std::uint8_t*>(globalLock(handle));
    for (int i = 0; i < 100; ++i) ASSERT_EQ(bytes[i], 0xAB) << "kept bytes survive";
    EXPECT_TRUE(allZero(bytes + 100, 4900)) << "bytes cut by the shrink come back as zero";
    globalUnlock(handle);
    globalFree(handle);
}

TEST(GlobalMemory, RefusesImpossibleSizesAndNullHandles) {
    constexpr std::size_t kHuge = std::numeric_limits<std::size_t>::max();
    EXPECT_EQ(globalAlloc(kHuge), nullptr);
    EXPECT_EQ(globalAlloc(kHuge / 2 + 1), nullptr);

    GlobalHandle handle = globalAlloc(64);
    ASSERT_NE(handle, nullptr);
    std::memset(globalLock(handle), 5, 64);
    globalUnlock(handle);
    EXPECT_FALSE(globalResize(handle, kHuge));
    EXPECT_FALSE(globalResize(handle, kHuge - 4096));
    EXPECT_EQ(globalSize(handle), 64u) << "a refused resize leaves the block as it was";
    const auto* bytes = static_cast<const std::uint8_t*>(globalLock(handle));
    EXPECT_EQ(bytes[63], 5);
    globalUnlock(handle);
    globalFree(handle);

    EXPECT_EQ(globalLock(nullptr), nullptr);
    EXPECT_EQ(globalSize(nullptr), 0u);
    EXPECT_FALSE(globalResize(nullptr, 10));
    globalUnlock(nullptr);
    globalFree(nullptr);

    GlobalHandle empty = globalAlloc(0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(globalSize(empty), 0u);
    EXPECT_NE(globalLock(empty), nullptr);
    globalUnlock(empty);
    ASSERT_TRUE(globalResize(empty, 16));
    EXPECT_TRUE(allZero(globalLock(empty), 16));
    globalUnlock(empty);
    globalFree(empty);
}

TEST(Clock, TickFollowsTheMonotonicClockAndDateIsUtc) {
#if defined(_WIN32)
    const std::uint32_t expected = ::GetTickCount();
#else
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto expected = static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000 +
                                                     now.tv_nsec / 1000000);
#endif
    const std::uint32_t tick = tickCount();
    EXPECT_LT(static_cast<std::uint32_t>(tick - expected), 1000u);  // wrap-safe difference

    const std::time_t before = std::time(nullptr);
    const UtcDate date = utcNow();
    std::tm parts{};
#if defined(_WIN32)
    gmtime_s(&parts, &before);
#else
    gmtime_r(&before, &parts);
#endif
    EXPECT_EQ(date.year, parts.tm_year + 1900);
    EXPECT_GE(date.month, 1);
    EXPECT_LE(date.month, 12);
    EXPECT_EQ(date.month, parts.tm_mon + 1);
    EXPECT_GE(date.day, 1);
    EXPECT_LE(date.day, 31);
    EXPECT_LE(date.hour, 23);
    EXPECT_LE(date.second, 60);
}

// Sends stderr to a file while `body` runs and returns what arrived.
template <typename Body>
std::string captureStderr(const std::string& path, Body body) {
#if defined(_WIN32)
    HANDLE file = ::CreateFileW(win32::wideText(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, CREATE_ALWAYS, 0, nullptr);
    HANDLE saved = ::GetStdHandle(STD_ERROR_HANDLE);
    ::SetStdHandle(STD_ERROR_HANDLE, file);
    body();
    ::SetStdHandle(STD_ERROR_HANDLE, saved);
    ::CloseHandle(file);
#else
    const int file = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    const int saved = dup(STDERR_FILENO);
    dup2(file, STDERR_FILENO);
    body();
    dup2(saved, STDERR_FILENO);
    close(saved);
    close(file);
#endif
    std::vector<std::uint8_t> bytes;
    readFile(path, bytes);
    return std::string(bytes.begin(), bytes.end());
}

TEST(DebugOutput, WritesOnlyWhenAskedFor) {
    const std::string path = testing::scratchFolder() + "stderr";
    mirel::os::unsetEnvironmentVariable("MIREL_DEBUG");
    EXPECT_EQ(captureStderr(path, [] { debugOutput(">>> PluginMain 64bit\n"); }), "");
    mirel::os::setEnvironmentVariable("MIREL_DEBUG", "1");
    EXPECT_EQ(captureStderr(path,
                            [] {
                                debugOutput(">>> PluginMain 64bit\n");
                                debugOutput(nullptr);
                            }),
              ">>> PluginMain 64bit\n");
    mirel::os::unsetEnvironmentVariable("MIREL_DEBUG");
}

}  // namespace
}  // namespace mirel::os
