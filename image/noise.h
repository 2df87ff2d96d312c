// Seeded noise sources of the water: the random and byte tables, the hash
// permutation and the two gradient-noise functions the surface models call.
#pragma once

#include <array>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include "image/processor.h"
#if defined(MIREL_AVX2_PATHS)
// Eight-lane versions for processors with AVX2, chosen at run time.
#include <immintrin.h>
#define MIREL_WIDE_NOISE 1
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

// Eight points of noise2 at once, the same bits lane for lane; only where hasAvx2().
void noise2x8(const NoiseTables& tables, const float* x, const float* y, float* out);

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

#if defined(MIREL_WIDE_NOISE)

// floor4 and latticeCell4, eight wide.
[[gnu::always_inline]] inline MIREL_TARGET_AVX2 __m256 floor8(__m256 v) {
    const __m256 absolute = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), v);
    const __m256 small = _mm256_cmp_ps(absolute, _mm256_set1_ps(8388608.0f), _CMP_LT_OS);
    __m256 whole = _mm256_cvtepi32_ps(_mm256_cvttps_epi32(v));
    whole = _mm256_sub_ps(whole,
                          _mm256_and_ps(_mm256_cmp_ps(whole, v, _CMP_GT_OS), _mm256_set1_ps(1.0f)));
    return _mm256_or_ps(_mm256_and_ps(small, whole), _mm256_andnot_ps(small, v));
}

[[gnu::always_inline]] inline MIREL_TARGET_AVX2 __m256i latticeCell8(__m256 floored) {
    constexpr float kLimit = 1073741824.0f;  // 2^30
    const __m256 bounded =
        _mm256_max_ps(_mm256_min_ps(floored, _mm256_set1_ps(kLimit)), _mm256_set1_ps(-kLimit));
    return _mm256_and_si256(_mm256_cvttps_epi32(bounded), _mm256_set1_epi32(255));
}

// The quintic or cubic fade of gradientNoise4, eight wide.
template <bool Quintic>
[[gnu::always_inline]] inline MIREL_TARGET_AVX2 __m256 fade8(__m256 t) {
    const __m256 tt = _mm256_mul_ps(t, t);
    if constexpr (Quintic) {
        const __m256 inner = _mm256_add_ps(
            _mm256_mul_ps(
                t, _mm256_sub_ps(_mm256_mul_ps(t, _mm256_set1_ps(6.0f)), _mm256_set1_ps(15.0f))),
            _mm256_set1_ps(10.0f));
        return _mm256_mul_ps(_mm256_mul_ps(tt, t), inner);
    } else {
        return _mm256_mul_ps(
            tt, _mm256_sub_ps(_mm256_set1_ps(3.0f), _mm256_mul_ps(_mm256_set1_ps(2.0f), t)));
    }
}

// gradientNoise4, eight wide: the same operations on every lane.
template <bool Quintic>
[[gnu::always_inline]] inline MIREL_TARGET_AVX2 __m256 gradientNoise8(const NoiseTables& tables,
                                                                      __m256 x, __m256 y) {
    const __m256 finite = _mm256_cmp_ps(_mm256_sub_ps(x, x), _mm256_sub_ps(y, y), _CMP_ORD_Q);
    const __m256 fx0 = floor8(x);
    const __m256 fy0 = floor8(y);
    alignas(32) std::int32_t cx[8], cy[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(cx), latticeCell8(fx0));
    _mm256_store_si256(reinterpret_cast<__m256i*>(cy), latticeCell8(fy0));
    const __m256 zero = _mm256_setzero_ps();
    const __m256 fx = _mm256_add_ps(_mm256_sub_ps(x, fx0), zero);
    const __m256 fy = _mm256_add_ps(_mm256_sub_ps(y, fy0), zero);

    const auto& p = tables.perm;
    const float* pairs = tables.cornerGradient.data();
    __m128 low[8], high[8];
    for (int k = 0; k < 8; ++k) {
        low[k] = _mm_loadu_ps(pairs + 2 * (p[cx[k]] + cy[k]));
        high[k] = _mm_loadu_ps(pairs + 2 * (p[cx[k] + 1] + cy[k]));
    }
    auto transpose = [](const __m128* rows, __m256& x0, __m256& y0, __m256& x1, __m256& y1)
                         MIREL_TARGET_AVX2 {
                             __m128 part[2][4];
                             for (int h = 0; h < 2; ++h) {
                                 const __m128* r = rows + 4 * h;
                                 const __m128 t01 = _mm_unpacklo_ps(r[0], r[1]);
                                 const __m128 t23 = _mm_unpacklo_ps(r[2], r[3]);
                                 const __m128 u01 = _mm_unpackhi_ps(r[0], r[1]);
                                 const __m128 u23 = _mm_unpackhi_ps(r[2], r[3]);
                                 part[h][0] = _mm_movelh_ps(t01, t23);
                                 part[h][1] = _mm_movehl_ps(t23, t01);
                                 part[h][2] = _mm_movelh_ps(u01, u23);
                                 part[h][3] = _mm_movehl_ps(u23, u01);
                             }
                             x0 = _mm256_set_m128(part[1][0], part[0][0]);
                             y0 = _mm256_set_m128(part[1][1], part[0][1]);
                             x1 = _mm256_set_m128(part[1][2], part[0][2]);
                             y1 = _mm256_set_m128(part[1][3], part[0][3]);
                         };
    __m256 g00x, g00y, g01x, g01y, g10x, g10y, g11x, g11y;
    transpose(low, g00x, g00y, g01x, g01y);
    transpose(high, g10x, g10y, g11x, g11y);
    const __m256 one = _mm256_set1_ps(1.0f);
    const __m256 fx1 = _mm256_sub_ps(fx, one);
    const __m256 fy1 = _mm256_sub_ps(fy, one);
    const __m256 c00 = _mm256_add_ps(_mm256_mul_ps(fx, g00x), _mm256_mul_ps(fy, g00y));
    const __m256 c10 = _mm256_add_ps(_mm256_mul_ps(fx1, g10x), _mm256_mul_ps(fy, g10y));
    const __m256 c01 = _mm256_add_ps(_mm256_mul_ps(fx, g01x), _mm256_mul_ps(fy1, g01y));
    const __m256 c11 = _mm256_add_ps(_mm256_mul_ps(fx1, g11x), _mm256_mul_ps(fy1, g11y));

    const __m256 u = fade8<Quintic>(fx);
    const __m256 w = fade8<Quintic>(fy);
    const __m256 a = _mm256_add_ps(c00, _mm256_mul_ps(_mm256_sub_ps(c10, c00), u));
    const __m256 b = _mm256_add_ps(c01, _mm256_mul_ps(_mm256_sub_ps(c11, c01), u));
    const __m256 n = _mm256_add_ps(a, _mm256_mul_ps(_mm256_sub_ps(b, a), w));
    return _mm256_and_ps(finite, n);
}
#endif

}  // namespace simd
#endif

}  // namespace mirel::image
