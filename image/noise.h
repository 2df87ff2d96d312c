// Seeded noise sources of the water: the random and byte tables, the hash
// permutation and the two gradient-noise functions the surface models call.
#pragma once

#include <array>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    // The gradient the hash gives a corner, (gradX, gradY) of perm[perm[j]] & 15
    // for j = perm[cell x] + cell y (+ 1): one read per corner instead of three.
    // Derived by buildNoiseTables from the tables above.
    alignas(16) std::array<float, 2 * 2 * kPermSize> cornerGradient{};
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

#if defined(__SSE2__)
// The four-lane noise in registers, for the surface's inner loops (defined here
// so that it inlines into them).
namespace simd {

// floor without a library call: truncation corrected downwards below 2^23, the
// value itself from there on (those floats are whole numbers). Lanes holding
// infinity or NaN give unspecified values; callers mask them.
inline __m128 floor4(__m128 v) {
    const __m128 absolute = _mm_andnot_ps(_mm_set1_ps(-0.0f), v);
    const __m128 small = _mm_cmplt_ps(absolute, _mm_set1_ps(8388608.0f));
    __m128 whole = _mm_cvtepi32_ps(_mm_cvttps_epi32(v));
    whole = _mm_sub_ps(whole, _mm_and_ps(_mm_cmpgt_ps(whole, v), _mm_set1_ps(1.0f)));
    return _mm_or_ps(_mm_and_ps(small, whole), _mm_andnot_ps(small, v));
}

// Lattice cells (0..255) of four floored coordinates: bounded to +-2^30 first,
// as the scalar noise does. min/max return their second operand for NaN, so
// NaN lanes land in range too.
inline __m128i latticeCell4(__m128 floored) {
    constexpr float kLimit = 1073741824.0f;  // 2^30
    const __m128 bounded =
        _mm_max_ps(_mm_min_ps(floored, _mm_set1_ps(kLimit)), _mm_set1_ps(-kLimit));
    return _mm_and_si128(_mm_cvttps_epi32(bounded), _mm_set1_epi32(255));
}

// noise2 (Quintic) or warpNoise of four points, the same bits lane for lane.
template <bool Quintic>
[[gnu::always_inline]] inline __m128 gradientNoise4(const NoiseTables& tables, __m128 x, __m128 y) {
    // x - x is NaN exactly for infinity and NaN; such lanes give 0 at the end.
    const __m128 finite = _mm_cmpord_ps(_mm_sub_ps(x, x), _mm_sub_ps(y, y));
    const __m128 fx0 = floor4(x);
    const __m128 fy0 = floor4(y);
    alignas(16) std::int32_t cx[4], cy[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(cx), latticeCell4(fx0));
    _mm_store_si128(reinterpret_cast<__m128i*>(cy), latticeCell4(fy0));
    // Adding +0 turns the -0 of x = -0 into the +0 that x - floor(x) gives.
    const __m128 zero = _mm_setzero_ps();
    const __m128 fx = _mm_add_ps(_mm_sub_ps(x, fx0), zero);
    const __m128 fy = _mm_add_ps(_mm_sub_ps(y, fy0), zero);

    // The hashing stays scalar: two permutation reads per lane, then the (x, y)
    // gradients of two neighbouring corners in one read.
    const auto& p = tables.perm;
    const float* pairs = tables.cornerGradient.data();
    __m128 low[4], high[4];  // per lane: (x, y) of corners 00 and 01, and of 10 and 11
    for (int k = 0; k < 4; ++k) {
        low[k] = _mm_loadu_ps(pairs + 2 * (p[cx[k]] + cy[k]));
        high[k] = _mm_loadu_ps(pairs + 2 * (p[cx[k] + 1] + cy[k]));
    }
    // Transposed into one vector per corner and component.
    __m128 g00x, g00y, g01x, g01y, g10x, g10y, g11x, g11y;
    auto transpose = [](const __m128* rows, __m128& x0, __m128& y0, __m128& x1, __m128& y1) {
        const __m128 t01 = _mm_unpacklo_ps(rows[0], rows[1]);
        const __m128 t23 = _mm_unpacklo_ps(rows[2], rows[3]);
        const __m128 u01 = _mm_unpackhi_ps(rows[0], rows[1]);
        const __m128 u23 = _mm_unpackhi_ps(rows[2], rows[3]);
        x0 = _mm_movelh_ps(t01, t23);
        y0 = _mm_movehl_ps(t23, t01);
        x1 = _mm_movelh_ps(u01, u23);
        y1 = _mm_movehl_ps(u23, u01);
    };
    transpose(low, g00x, g00y, g01x, g01y);
    transpose(high, g10x, g10y, g11x, g11y);
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 fx1 = _mm_sub_ps(fx, one);
    const __m128 fy1 = _mm_sub_ps(fy, one);
    const __m128 c00 = _mm_add_ps(_mm_mul_ps(fx, g00x), _mm_mul_ps(fy, g00y));
    const __m128 c10 = _mm_add_ps(_mm_mul_ps(fx1, g10x), _mm_mul_ps(fy, g10y));
    const __m128 c01 = _mm_add_ps(_mm_mul_ps(fx, g01x), _mm_mul_ps(fy1, g01y));
    const __m128 c11 = _mm_add_ps(_mm_mul_ps(fx1, g11x), _mm_mul_ps(fy1, g11y));

    auto fade = [](__m128 t) {
        const __m128 tt = _mm_mul_ps(t, t);
        if constexpr (Quintic) {
            const __m128 inner = _mm_add_ps(
                _mm_mul_ps(t, _mm_sub_ps(_mm_mul_ps(t, _mm_set1_ps(6.0f)), _mm_set1_ps(15.0f))),
                _mm_set1_ps(10.0f));
            return _mm_mul_ps(_mm_mul_ps(tt, t), inner);
        } else {
            return _mm_mul_ps(tt, _mm_sub_ps(_mm_set1_ps(3.0f), _mm_mul_ps(_mm_set1_ps(2.0f), t)));
        }
    };
    const __m128 u = fade(fx);
    const __m128 w = fade(fy);
    const __m128 a = _mm_add_ps(c00, _mm_mul_ps(_mm_sub_ps(c10, c00), u));
    const __m128 b = _mm_add_ps(c01, _mm_mul_ps(_mm_sub_ps(c11, c01), u));
    const __m128 n = _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), w));
    return _mm_and_ps(finite, n);
}

}  // namespace simd
#endif

}  // namespace mirel::image
