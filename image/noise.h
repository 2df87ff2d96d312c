// Seeded noise sources of the water: the random and byte tables, the hash
// permutation and the two gradient-noise functions the surface models call.
#pragma once

#include <array>
#include <cstdint>

namespace mirel::image {

inline constexpr int kNoiseTableSize = 2048;
inline constexpr int kPermSize = 256;

// Rebuilt from the seed before every render, then only read (by every worker
// thread at once, without locks) until the next render.
struct NoiseTables {
    std::array<float, kNoiseTableSize> randomTable{};       // 0..1
    std::array<std::uint8_t, kNoiseTableSize> byteTable{};  // 0..255
    std::array<std::uint8_t, 2 * kPermSize> perm{};         // seeded permutation, twice over
    std::array<float, 16> gradX{};
    std::array<float, 16> gradY{};
};

// The program's fixed table of 2048 values in 0..2047 that the byte and random
// tables are shuffled from.
extern const std::array<std::uint16_t, kNoiseTableSize> kBaseTable;
// The permutation of the published reference implementation of improved
// Perlin noise.
extern const std::array<std::uint8_t, kPermSize> kReferencePermutation;

// Rebuilds every table for a 32-bit seed. Deterministic: the same seed gives
// the same tables in every run. The permutation depends on seed mod 256, the
// byte and random tables on seed mod 2048.
void buildNoiseTables(NoiseTables& tables, std::uint32_t seed);

// Gradient noise with the quintic fade, about -1..1, zero at every lattice
// point. A non-finite coordinate gives 0.
float noise2(const NoiseTables& tables, float x, float y);

// The same lattice and hashing with the cubic fade.
float warpNoise(const NoiseTables& tables, float x, float y);

// Four points at once, lane for lane the same bits as noise2 and warpNoise:
// out[k] is the noise at (x[k], y[k]). The surface models batch their
// independent noise reads through these so that the arithmetic runs four wide.
void noise2x4(const NoiseTables& tables, const float* x, const float* y, float* out);
void warpNoiseX4(const NoiseTables& tables, const float* x, const float* y, float* out);

// The hash the dithered image lookups share with the noise:
// perm[perm[perm[a & 255] + (b & 255)]], in 0..255.
inline int permHash3(const NoiseTables& tables, int a, int b) {
    const auto& p = tables.perm;
    return p[p[p[a & 255] + (b & 255)]];
}

// perm[perm[a & 255] + (b & 255)], in 0..255.
inline int permHash2(const NoiseTables& tables, int a, int b) {
    const auto& p = tables.perm;
    return p[p[a & 255] + (b & 255)];
}

}  // namespace mirel::image
