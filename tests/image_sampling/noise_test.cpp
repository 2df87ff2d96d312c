// The seeded noise tables and the gradient noise of the water surface.
#include "image/noise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace mirel::image {
namespace {

NoiseTables tablesFor(std::uint32_t seed) {
    NoiseTables t;
    buildNoiseTables(t, seed);
    return t;
}

TEST(NoiseTables, BaseTableIsFixedAndInRange) {
    EXPECT_EQ(kBaseTable[0], 1317);
    EXPECT_EQ(kBaseTable[1], 807);
    EXPECT_EQ(kBaseTable[2], 1939);
    EXPECT_EQ(kBaseTable[3], 1586);
    for (auto v : kBaseTable) EXPECT_LT(v, 2048);
}

TEST(NoiseTables, SeedZeroGivesReferencePermutationTwice) {
    const NoiseTables t = tablesFor(0);
    EXPECT_EQ(t.perm[0], 151);
    EXPECT_EQ(t.perm[1], 160);
    EXPECT_EQ(t.perm[255], 180);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(t.perm[i], kReferencePermutation[i]);
        EXPECT_EQ(t.perm[i + 256], t.perm[i]);
    }
}

TEST(NoiseTables, PermutationFollowsSeedMod256AndBytesSeedMod2048) {
    const NoiseTables s0 = tablesFor(0);
    const NoiseTables s256 = tablesFor(256);
    const NoiseTables s2048 = tablesFor(2048);
    const NoiseTables s1 = tablesFor(1);
    EXPECT_EQ(s0.perm, s256.perm);
    EXPECT_NE(s0.byteTable, s256.byteTable);
    EXPECT_EQ(s0.byteTable, s2048.byteTable);
    EXPECT_EQ(s0.randomTable, s2048.randomTable);
    EXPECT_NE(s0.perm, s1.perm);
    EXPECT_EQ(s1.perm[0], kReferencePermutation[1]);
    // Seeds near the top of the 32-bit range wrap like any other.
    const NoiseTables top = tablesFor(0xFFFFFFFFu);
    EXPECT_EQ(top.perm[1], kReferencePermutation[0]);
    EXPECT_EQ(top.byteTable, tablesFor(2047).byteTable);
}

TEST(NoiseTables, SameSeedSameTablesAndRandomFromBytes) {
    const NoiseTables a = tablesFor(123456789);
    const NoiseTables b = tablesFor(123456789);
    EXPECT_EQ(a.byteTable, b.byteTable);
    EXPECT_EQ(a.randomTable, b.randomTable);
    EXPECT_EQ(a.perm, b.perm);
    for (int k = 0; k < kNoiseTableSize; ++k) {
        EXPECT_FLOAT_EQ(a.randomTable[k], static_cast<float>(a.byteTable[k] / 255.0));
        EXPECT_GE(a.randomTable[k], 0.0f);
        EXPECT_LE(a.randomTable[k], 1.0f);
    }
    // The last entry is reset after its own turn and nothing moves into it later.
    EXPECT_EQ(a.byteTable[2047], kBaseTable[2047] & 255);
}

TEST(NoiseTables, GradientTable) {
    const NoiseTables t = tablesFor(5);
    const float gx[16] = {1, -1, 1, -1, 1, -1, 1, -1, 0, 0, 0, 0, 1, -1, 0, 0};
    const float gy[16] = {1, 1, -1, -1, 0, 0, 0, 0, 1, -1, 1, -1, 1, 1, 1, -1};
    for (int h = 0; h < 16; ++h) {
        EXPECT_EQ(t.gradX[h], gx[h]) << h;
        EXPECT_EQ(t.gradY[h], gy[h]) << h;
    }
}

TEST(Noise2, ZeroAtLatticePoints) {
    for (std::uint32_t seed : {0u, 77u, 4000000000u}) {
        const NoiseTables t = tablesFor(seed);
        for (int x = -300; x <= 300; x += 7) {
            for (int y = -20; y <= 20; ++y) {
                EXPECT_EQ(noise2(t, float(x), float(y)), 0.0f);
                EXPECT_EQ(warpNoise(t, float(x), float(y)), 0.0f);
            }
        }
    }
}

// Values worked out by hand from the three-level hash and the gradient table.
TEST(Noise2, MatchesWorkedValues) {
    const NoiseTables t0 = tablesFor(0);
    EXPECT_NEAR(noise2(t0, 0.5f, 0.5f), -0.25f, 1e-6f);
    EXPECT_NEAR(noise2(t0, 0.25f, 0.75f), -0.0776367f, 1e-6f);
    EXPECT_NEAR(warpNoise(t0, 0.25f, 0.75f), -0.1171875f, 1e-6f);
    EXPECT_NEAR(noise2(t0, 3.3f, -7.6f), -0.186528f, 2e-5f);
    EXPECT_NEAR(warpNoise(t0, 3.3f, -7.6f), -0.197184f, 2e-5f);
    const NoiseTables t77 = tablesFor(77);
    EXPECT_NEAR(noise2(t77, 12.125f, 5.875f), -0.150183f, 1e-5f);
    EXPECT_NEAR(warpNoise(t77, 12.125f, 5.875f), -0.188362f, 1e-5f);
    EXPECT_NEAR(noise2(t77, -0.5f, 0.3f), -0.253228f, 2e-5f);
}

TEST(Noise2, NegativeCellsWrapAt256) {
    const NoiseTables t = tablesFor(31);
    // floor(-0.5) = -1 is cell 255.
    for (float y : {0.1f, 0.5f, 3.75f}) {
        EXPECT_EQ(noise2(t, -0.5f, y), noise2(t, 255.5f, y));
        EXPECT_EQ(warpNoise(t, -0.5f, y), warpNoise(t, 255.5f, y));
        EXPECT_EQ(noise2(t, 1.25f + 256.0f, y), noise2(t, 1.25f, y));
    }
}

TEST(Noise2, FadesAgreeAtCellCentresAndDifferElsewhere) {
    const NoiseTables t = tablesFor(9);
    int differ = 0;
    for (int i = 0; i < 50; ++i) {
        const float x = float(i) * 1.37f;
        const float cx = std::floor(x) + 0.5f;
        EXPECT_NEAR(noise2(t, cx, 2.5f), warpNoise(t, cx, 2.5f), 1e-6f);
        if (std::fabs(noise2(t, x, 2.2f) - warpNoise(t, x, 2.2f)) > 1e-4f) ++differ;
    }
    EXPECT_GT(differ, 10);
}

TEST(Noise2, ContinuousAndBounded) {
    const NoiseTables t = tablesFor(2024);
    float lo = 0, hi = 0;
    for (int i = 0; i < 4000; ++i) {
        const float x = -40.0f + i * 0.0213f, y = 3.1f + i * 0.0071f;
        const float n = noise2(t, x, y);
        lo = std::fmin(lo, n);
        hi = std::fmax(hi, n);
        EXPECT_NEAR(noise2(t, x + 1e-3f, y), n, 0.01f);
    }
    EXPECT_GE(lo, -1.01f);
    EXPECT_LE(hi, 1.01f);
    EXPECT_LT(lo, -0.3f);
    EXPECT_GT(hi, 0.3f);
}

TEST(Noise2, NonFiniteAndHugeCoordinatesStayFinite) {
    const NoiseTables t = tablesFor(1);
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float x : {nan, inf, -inf, 1e30f, -1e30f, 3.0e9f, -2.2e9f, 0.3f}) {
        for (float y : {nan, inf, -inf, 1e30f, -4.0e9f, 0.7f}) {
            EXPECT_TRUE(std::isfinite(noise2(t, x, y)));
            EXPECT_TRUE(std::isfinite(warpNoise(t, x, y)));
        }
    }
    EXPECT_EQ(noise2(t, nan, 0.5f), 0.0f);
}

}  // namespace
}  // namespace mirel::image
