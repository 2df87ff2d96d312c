// Tile-job memory: the host's buffer suite when it is usable, global memory
// otherwise, each released the way it was obtained.
#include "host/host_buffers.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/host_exchange/exchange_test_support.h"

namespace mirel::testing {
namespace {

using hostkit::FilterHost;
using hostkit::HostOptions;

bool allZero(const HostBuffer& buffer) {
    return std::all_of(buffer.data, buffer.data + buffer.size,
                       [](std::uint8_t b) { return b == 0; });
}

// Obtains and releases one buffer on a host with `options`; says where it came from.
enum class Source { Suite, Global, None };
Source obtainOnHost(const HostOptions& options) {
    const std::size_t bytes = 4096;
    host_app::Picture picture = patternPicture(4, 4, 3, 8);
    FilterHost host(identityFilter(), picture, options);
    const auto activeHost = host.activate();
    HostBuffer buffer;
    if (!obtainHostBuffer(host.record(), bytes, buffer)) return Source::None;
    EXPECT_EQ(buffer.size, bytes);
    EXPECT_TRUE(allZero(buffer));
    std::fill(buffer.data, buffer.data + buffer.size, std::uint8_t(0xAB));  // all of it is ours
    const Source source = buffer.bufferId ? Source::Suite : Source::Global;
    EXPECT_EQ(host.liveBuffers(), source == Source::Suite ? 1 : 0);
    releaseHostBuffer(host.record(), buffer);
    EXPECT_EQ(buffer.data, nullptr);
    EXPECT_EQ(host.liveBuffers(), 0);
    return source;
}

TEST(HostBuffers, TheSuiteIsUsedOnlyAtVersionTwoWithSixProcedures) {
    EXPECT_EQ(obtainOnHost({}), Source::Suite);

    HostOptions oldVersion;
    oldVersion.bufferProcsVersion = 1;
    EXPECT_EQ(obtainOnHost(oldVersion), Source::Global);

    HostOptions newerVersion;
    newerVersion.bufferProcsVersion = 3;
    EXPECT_EQ(obtainOnHost(newerVersion), Source::Global);

    HostOptions fiveProcedures;
    fiveProcedures.bufferProcsCount = 5;
    EXPECT_EQ(obtainOnHost(fiveProcedures), Source::Global);

    HostOptions sixProcedures;
    sixProcedures.bufferProcsCount = 6;
    EXPECT_EQ(obtainOnHost(sixProcedures), Source::Suite);

    HostOptions noSuite;
    noSuite.offerBufferProcs = false;
    EXPECT_EQ(obtainOnHost(noSuite), Source::Global);
}

TEST(HostBuffers, RefusalsAndFailedLocksFallBackToGlobalMemory) {
    HostOptions refusing;
    refusing.refuseBuffers = true;
    EXPECT_EQ(obtainOnHost(refusing), Source::Global);

    // The suite's buffer whose lock failed is given back, not leaked.
    HostOptions failingLocks;
    failingLocks.failBufferLocks = true;
    EXPECT_EQ(obtainOnHost(failingLocks), Source::Global);
}

TEST(HostBuffers, AMissingProcedureMakesTheSuiteUnusable) {
    pi::BufferProcs procs{};
    procs.bufferProcsVersion = 2;
    procs.numBufferProcs = 8;
    EXPECT_FALSE(bufferSuiteUsable(&procs));
    EXPECT_FALSE(bufferSuiteUsable(nullptr));
    host_app::Picture picture = patternPicture(2, 2, 1, 8);
    FilterHost host(identityFilter(), picture);
    EXPECT_TRUE(bufferSuiteUsable(host.record().bufferProcs));
    pi::BufferProcs withoutSpace = *host.record().bufferProcs;
    withoutSpace.spaceProc = nullptr;
    EXPECT_FALSE(bufferSuiteUsable(&withoutSpace));
}

}  // namespace
}  // namespace mirel::testing
