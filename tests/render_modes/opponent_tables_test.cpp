// Tests of the opponent-colour tables and modes: the known nodes, the
// tetrahedral lookup, the round trip through both tables and the four modes.
#include "render/opponent_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>

#include "render/output_modes.h"

namespace mirel::render {
namespace {

using Bytes = std::array<std::uint8_t, 3>;

// The value of byte v once a lookup has rescaled it (255 -> 32768).
std::int32_t rescaled(int v) {
    return (v * 32768 + 127) / 255;
}

// The grid coordinate of node i, exactly: the lookup's position v * 15 / 32768
// lands on i for v = ceil(i * 32768 / 15).
std::int32_t nodeValue(int i) {
    return (i * 32768 + 14) / 15;
}

TEST(OpponentTables, KnownNodes) {
    const OpponentTables& t = opponentTables();
    EXPECT_EQ(tableNode(t.forward, 0, 0, 0), (Bytes{0, 128, 128}));
    EXPECT_EQ(tableNode(t.forward, 15, 15, 15), (Bytes{255, 128, 128}));
    EXPECT_EQ(tableNode(t.forward, 15, 0, 0), (Bytes{144, 208, 208}));
    EXPECT_EQ(tableNode(t.forward, 0, 15, 0), (Bytes{214, 51, 207}));
    EXPECT_EQ(tableNode(t.forward, 0, 0, 15), (Bytes{104, 158, 33}));
    EXPECT_EQ(tableNode(t.forward, 8, 8, 8), (Bytes{163, 128, 128}));
    EXPECT_EQ(tableNode(t.inverse, 15, 8, 8), (Bytes{255, 249, 237}));
    // The table is indexed red + 16 green + 256 blue.
    EXPECT_EQ(t.forward[3 * 15], 144);
    EXPECT_EQ(t.forward[3 * 16 * 15 + 1], 51);
    EXPECT_EQ(t.forward[3 * 256 * 15 + 2], 33);
}

TEST(OpponentTables, GreysAreNeutralAndLightnessRises) {
    const OpponentTables& t = opponentTables();
    int previous = -1;
    for (int i = 0; i < kOpponentGridSize; ++i) {
        const Bytes node = tableNode(t.forward, i, i, i);
        EXPECT_EQ(node[1], 128) << i;
        EXPECT_EQ(node[2], 128) << i;
        EXPECT_GT(node[0], previous) << i;
        previous = node[0];
    }
    // Greys come back as greys of about the same value. The neutral byte 128 lies
    // between nodes 7 and 8 of the inverse table, so a trace of tint remains
    // (largest near black and white, where the nodes around it are clipped).
    for (std::int32_t v = 0; v <= 32768; v += 256) {
        const FixedRgb back = lookupTetrahedral(t.inverse, lookupTetrahedral(t.forward, {v, v, v}));
        const std::int32_t tint =
            std::max({back.r, back.g, back.b}) - std::min({back.r, back.g, back.b});
        const bool middle = v >= 4096 && v <= 28672;
        ASSERT_LE(tint, middle ? 400 : 2048) << v;
        ASSERT_NEAR(back.g, v, 2000) << v;
    }
}

TEST(OpponentLookup, NodesAndEdgesInterpolate) {
    const OpponentTables& t = opponentTables();
    // On a node the lookup gives the node's bytes, rescaled.
    for (int x : {0, 3, 8, 15}) {
        for (int y : {0, 7, 15}) {
            for (int z : {0, 11, 15}) {
                const FixedRgb got =
                    lookupTetrahedral(t.forward, {nodeValue(x), nodeValue(y), nodeValue(z)});
                const Bytes want = tableNode(t.forward, x, y, z);
                ASSERT_NEAR(got.r, rescaled(want[0]), 1) << x << y << z;
                ASSERT_NEAR(got.g, rescaled(want[1]), 1) << x << y << z;
                ASSERT_NEAR(got.b, rescaled(want[2]), 1) << x << y << z;
            }
        }
    }
    // Halfway along one axis: the mean of the two nodes.
    const std::int32_t mid = (nodeValue(4) + nodeValue(5)) / 2;
    const FixedRgb half = lookupTetrahedral(t.forward, {mid, nodeValue(9), nodeValue(2)});
    const Bytes a = tableNode(t.forward, 4, 9, 2), b = tableNode(t.forward, 5, 9, 2);
    EXPECT_NEAR(half.r, (rescaled(a[0]) + rescaled(b[0])) / 2.0, 2);
    EXPECT_NEAR(half.g, (rescaled(a[1]) + rescaled(b[1])) / 2.0, 2);
    // Outside 0..32768 the input is held at the edge.
    const FixedRgb over = lookupTetrahedral(t.forward, {65535, 65535, 65535});
    EXPECT_EQ(over.r, 32768);
    const FixedRgb under = lookupTetrahedral(t.forward, {-5, 0, 0});
    EXPECT_EQ(under.r, 0);
    EXPECT_EQ(under.g, rescaled(128));
}

// Interpolation inside one tetrahedron is linear, so a straight path through
// the cube gives values between those of its ends.
TEST(OpponentLookup, StaysWithinItsTetrahedron) {
    const OpponentTables& t = opponentTables();
    for (std::int32_t v = 0; v <= 32768; v += 73) {
        const FixedRgb c = lookupTetrahedral(t.forward, {v, v / 2, 32768 - v});
        for (std::int32_t ch : {c.r, c.g, c.b}) {
            ASSERT_GE(ch, 0);
            ASSERT_LE(ch, 32768);
        }
    }
}

// Two 16-node tables cannot follow the curve near black or the gamut's edge
// exactly; inside the cube the round trip stays close.
TEST(OpponentTables, RoundTripRecoversTheColour) {
    const OpponentTables& t = opponentTables();
    int worst = 0, count = 0, close = 0;
    for (std::int32_t r = 4096; r <= 28672; r += 2048) {
        for (std::int32_t g = 4096; g <= 28672; g += 2048) {
            for (std::int32_t b = 4096; b <= 28672; b += 2048) {
                const FixedRgb back =
                    lookupTetrahedral(t.inverse, lookupTetrahedral(t.forward, {r, g, b}));
                const int error =
                    std::max({std::abs(back.r - r), std::abs(back.g - g), std::abs(back.b - b)});
                worst = std::max(worst, error);
                ++count;
                if (error <= 32768 * 3 / 100) ++close;
            }
        }
    }
    EXPECT_LT(worst, 32768 * 8 / 100);
    EXPECT_GE(close * 100, count * 95);
}

TEST(OpponentModes, IdentitiesOfTheCombinations) {
    const OpponentTables& t = opponentTables();
    auto roundTrip = [&](const FixedRgb& c) {
        return lookupTetrahedral(t.inverse, lookupTetrahedral(t.forward, c));
    };
    const FixedRgb colours[] = {{30000, 12000, 4000}, {8000, 16384, 25000}, {16384, 16384, 16384}};
    for (const FixedRgb& c : colours) {
        const FixedRgb same = roundTrip(c);
        // Pin light and spin light of a colour by itself change nothing.
        for (std::int32_t mode : {56, 57}) {
            const FixedRgb out = blendOpponent(c, c, mode);
            EXPECT_EQ(out.r, same.r) << mode;
            EXPECT_EQ(out.g, same.g) << mode;
            EXPECT_EQ(out.b, same.b) << mode;
        }
        // Multiplying by white and screening with black keep the source (within
        // the rounding of the neutral byte 128, a hair above the middle).
        const FixedRgb parietal = blendOpponent({32768, 32768, 32768}, c, 54);
        const FixedRgb temporal = blendOpponent({0, 0, 0}, c, 55);
        for (const FixedRgb& out : {parietal, temporal}) {
            EXPECT_NEAR(out.r, same.r, 400);
            EXPECT_NEAR(out.g, same.g, 400);
            EXPECT_NEAR(out.b, same.b, 400);
        }
    }
    // Multiplying lightness darkens; screening brightens.
    const FixedRgb grey{20000, 20000, 20000};
    EXPECT_LT(blendOpponent(grey, grey, 54).g, 20000);
    EXPECT_GT(blendOpponent(grey, grey, 55).g, 20000);
    // Outside 54..57 the effect comes back untouched.
    EXPECT_EQ(blendOpponent(grey, {1, 2, 3}, 53).r, 20000);
}

TEST(OpponentModes, ThroughTheEngine) {
    const image::Rgba e{0.9f, 0.2f, 0.1f, 0.75f}, s{0.2f, 0.6f, 0.8f, 1.0f};
    for (std::int32_t mode = 54; mode <= 57; ++mode) {
        const image::Rgba out = blendOutputMode(e, s, mode);
        const FixedRgb want = blendOpponent({toFixed(e.r), toFixed(e.g), toFixed(e.b)},
                                            {toFixed(s.r), toFixed(s.g), toFixed(s.b)}, mode);
        EXPECT_FLOAT_EQ(out.r, want.r / 32768.0f) << mode;
        EXPECT_FLOAT_EQ(out.b, want.b / 32768.0f) << mode;
        EXPECT_EQ(out.a, 0.75f);
    }
}

}  // namespace
}  // namespace mirel::render
