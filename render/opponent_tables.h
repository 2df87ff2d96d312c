// The opponent-colour output modes (54 parietal to 57 limbic): colours go through a
// 16 x 16 x 16 lookup table into a Lab-like space, combine there and come back.
#pragma once

#include <array>
#include <cstdint>

#include "render/color_models.h"

namespace mirel::render {

constexpr int kOpponentGridSize = 16;
constexpr int kOpponentNodes = kOpponentGridSize * kOpponentGridSize * kOpponentGridSize;
constexpr std::int32_t kOpponentNeutral = 128;  // a and b bytes of a grey

// Both tables: three bytes per node, node index = x + 16 y + 256 z. The forward
// table is indexed by red, green, blue and holds L, a, b; the inverse table the
// other way round. Nodes are 32768 / 15 apart on every axis.
struct OpponentTables {
    std::array<std::uint8_t, 3 * kOpponentNodes> forward{};
    std::array<std::uint8_t, 3 * kOpponentNodes> inverse{};
};

// The tables, built on first use (thread-safe) and shared read-only afterwards.
const OpponentTables& opponentTables();

// The conversion the tables sample: channels in 0..1 to L, a, b bytes and back
// (results rounded and limited to 0..255; out-of-gamut colours are clipped in
// linear light).
std::array<std::uint8_t, 3> opponentFromRgb(double r, double g, double b);
std::array<std::uint8_t, 3> rgbFromOpponent(double l, double a, double b);

// The three bytes of node (x, y, z), each 0..15, of a table.
std::array<std::uint8_t, 3> tableNode(const std::array<std::uint8_t, 3 * kOpponentNodes>& table,
                                      int x, int y, int z);

// Tetrahedral interpolation in a table: the input's channels (fixed point,
// limited to 0..32768) are grid coordinates; the result is the interpolated
// bytes rescaled so that 255 gives 32768.
FixedRgb lookupTetrahedral(const std::array<std::uint8_t, 3 * kOpponentNodes>& table,
                           const FixedRgb& in);

// Modes 54 to 57 on r, g, b; any other mode number gives the effect.
FixedRgb blendOpponent(const FixedRgb& effect, const FixedRgb& source, std::int32_t mode);

}  // namespace mirel::render
