// The filtered reads of a TiledImage: 5 x 5 windowed sinc per level, trilinear
// blends across levels, resampling, edge modes and the bilinear read.
#include "image/sampling.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "image/processor.h"
#include "platform/math/elementary.h"
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(MIREL_AVX2_PATHS)
#include <immintrin.h>
#endif

namespace mirel::image {

namespace {

constexpr int kTaps = kWeightTaps;
// The 5 x 5 block can be read straight from one tile when its first column and
// row lie at most this far into the tile.
constexpr int kLastInTileStart = kTileSize - kTaps;  // 507

// Where a filtered read lands: the base pixel, the sub-pixel phases and whether
// the whole 5 x 5 block lies inside one tile.
struct Window {
    int bx = 0, by = 0;
    int px = 0, py = 0;
    bool inTile = false;
};

// Splits a pixel-edge coordinate (centre + 0.5) into its base pixel and phase.
// floor, not trunc: for a coordinate left of the picture trunc would give a
// negative phase and index before the weight table. NaN reads at 0, and far
// positions are held at +-2^30 so bx +- 2 cannot overflow.
void splitCoordinate(float a, int& base, int& phase) {
    constexpr float kLimit = 1073741824.0f;
    if (!(a >= -kLimit && a <= kLimit)) a = a > 0.0f ? kLimit : (a < 0.0f ? -kLimit : 0.0f);
    // floor by hand: std::floor is a library call on plain x86-64 and this runs
    // twice per read.
    int b = static_cast<int>(a);
    if (static_cast<float>(b) > a) --b;
    base = b;
    const float fraction = a - static_cast<float>(b);  // exact, 0 <= fraction < 1
    phase = static_cast<int>(fraction * static_cast<float>(kWeightPhases));
    if (phase > kWeightPhases - 1) phase = kWeightPhases - 1;
}

Window locate(const TiledImage& image, int level, float x, float y) {
    Window w;
    splitCoordinate(x + 0.5f, w.bx, w.px);
    splitCoordinate(y + 0.5f, w.by, w.py);
    w.inTile = w.bx >= 2 && w.bx <= image.lastX[level] - 2 && w.by >= 2 &&
               w.by <= image.lastY[level] - 2 && ((w.bx - 2) & kTileMask) <= kLastInTileStart &&
               ((w.by - 2) & kTileMask) <= kLastInTileStart;
    return w;
}

// The block's pixels for the slow path: every read clamped into the level, so
// the edge pixels repeat.
template <class Pixel>
void gatherClamped(const TiledImage& image, int level, const Window& w, Pixel* block) {
    const int lastX = image.lastX[level];
    const int lastY = image.lastY[level];
    for (int r = 0; r < kTaps; ++r) {
        const int y = clampCoord(w.by - 2 + r, lastY);
        for (int c = 0; c < kTaps; ++c) {
            const int x = clampCoord(w.bx - 2 + c, lastX);
            std::memcpy(&block[r * kTaps + c], pixelAddress(image, x, y, level), sizeof(Pixel));
        }
    }
}

// ---- Rgba8: fixed point scaled to 2048 per axis ----------------------------------

constexpr float kRgba8Unscale = 1.0f / 4194304.0f;  // 2^-22

// A read's four channels on their way through the filter and the blend of two levels. In
// an SSE register (r, g, b, a from the lowest lane) they stay in one register from the
// filter to the caller: an Rgba returned by value travels in two halves that have to be
// stored and loaded again, which stalls every read.
#if defined(__SSE2__)
using Lanes = __m128;
inline Lanes lanesOf(const Rgba& p) {
    return _mm_setr_ps(p.r, p.g, p.b, p.a);
}
inline Rgba rgbaOf(Lanes v) {
    alignas(16) float f[4];
    _mm_store_ps(f, v);
    return Rgba{f[0], f[1], f[2], f[3]};
}
inline Lanes zeroLanes() {
    return _mm_setzero_ps();
}
// from + (to - from) * t and v * s, channel by channel: the same single-precision
// operations as the scalar forms below.
inline Lanes lerpLanes(Lanes from, Lanes to, float t) {
    return _mm_add_ps(from, _mm_mul_ps(_mm_sub_ps(to, from), _mm_set1_ps(t)));
}
inline Lanes scaleLanes(Lanes v, float s) {
    return _mm_mul_ps(v, _mm_set1_ps(s));
}
#else
using Lanes = Rgba;
inline Lanes lanesOf(const Rgba& p) {
    return p;
}
inline Rgba rgbaOf(const Lanes& v) {
    return v;
}
inline Lanes zeroLanes() {
    return Rgba{};
}
inline Lanes lerpLanes(const Lanes& from, const Lanes& to, float t) {
    return Rgba{from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t,
                from.b + (to.b - from.b) * t, from.a + (to.a - from.a) * t};
}
inline Lanes scaleLanes(const Lanes& v, float s) {
    return Rgba{v.r * s, v.g * s, v.b * s, v.a * s};
}
#endif

#if defined(__SSE2__)

// One 16-bit pair of weights for pmaddwd: `first` in the low half.
inline __m128i weightPair(std::int32_t first, std::int32_t second) {
    return _mm_set1_epi32(static_cast<int>(packWeightPair(first, second)));
}

// Low 32 bits of lane-wise products; exact here because every product fits.
inline __m128i mulLo32(__m128i a, __m128i b) {
    const __m128i even = _mm_mul_epu32(a, b);
    const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                              _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

// One row of five pixels weighted by the horizontal taps, per channel.
inline __m128i weightedRow(const std::uint32_t* p, __m128i w01, __m128i w23, __m128i w4) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i last = _mm_cvtsi32_si128(static_cast<int>(p[4]));
    // Interleave the bytes of neighbouring pixels so that pmaddwd forms
    // pixel(c) * w(c) + pixel(c + 1) * w(c + 1) per channel.
    const __m128i p01 = _mm_unpacklo_epi8(v, _mm_srli_si128(v, 4));
    const __m128i p23 = _mm_unpacklo_epi8(_mm_srli_si128(v, 8), _mm_srli_si128(v, 12));
    const __m128i p4 = _mm_unpacklo_epi8(last, zero);
    __m128i row = _mm_madd_epi16(_mm_unpacklo_epi8(p01, zero), w01);
    row = _mm_add_epi32(row, _mm_madd_epi16(_mm_unpacklo_epi8(p23, zero), w23));
    return _mm_add_epi32(row, _mm_madd_epi16(_mm_unpacklo_epi8(p4, zero), w4));
}

// Lanes hold the packed word's bytes 0..3: alpha, blue, green, red.
Lanes filterRgba8(const std::uint32_t* first, std::ptrdiff_t stride, const std::int32_t* wx,
                  const std::int32_t* wy) {
    // Column bx - 2 + c takes tap 4 - c.
    const __m128i w01 = weightPair(wx[4], wx[3]);
    const __m128i w23 = weightPair(wx[2], wx[1]);
    const __m128i w4 = weightPair(wx[0], 0);
    __m128i total = _mm_setzero_si128();
    for (int r = 0; r < kTaps; ++r) {
        const __m128i row = weightedRow(first + r * stride, w01, w23, w4);
        total = _mm_add_epi32(total, mulLo32(row, _mm_set1_epi32(wy[4 - r])));
    }
    // Reversed into red, green, blue, alpha.
    total = _mm_shuffle_epi32(total, _MM_SHUFFLE(0, 1, 2, 3));
    return _mm_mul_ps(_mm_cvtepi32_ps(total), _mm_set1_ps(kRgba8Unscale));
}

#if defined(MIREL_AVX2_PATHS)

// filterRgba8 two rows at a time, one in each half of the AVX2 registers. The sums are
// whole numbers, so adding the halves at the end gives the very total of the row by row
// loop.
[[gnu::always_inline]] inline MIREL_TARGET_AVX2 __m256i weightedRowPair(const std::uint32_t* p,
                                                                        std::ptrdiff_t stride,
                                                                        __m256i w01, __m256i w23,
                                                                        __m256i w4,
                                                                        __m256i rowWeights) {
    const std::uint32_t* q = p + stride;
    const __m256i zero = _mm256_setzero_si256();
    const __m256i v = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(q)), 1);
    const __m256i last =
        _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_cvtsi32_si128(static_cast<int>(p[4]))),
                                _mm_cvtsi32_si128(static_cast<int>(q[4])), 1);
    const __m256i p01 = _mm256_unpacklo_epi8(v, _mm256_srli_si256(v, 4));
    const __m256i p23 = _mm256_unpacklo_epi8(_mm256_srli_si256(v, 8), _mm256_srli_si256(v, 12));
    const __m256i p4 = _mm256_unpacklo_epi8(last, zero);
    __m256i row = _mm256_madd_epi16(_mm256_unpacklo_epi8(p01, zero), w01);
    row = _mm256_add_epi32(row, _mm256_madd_epi16(_mm256_unpacklo_epi8(p23, zero), w23));
    row = _mm256_add_epi32(row, _mm256_madd_epi16(_mm256_unpacklo_epi8(p4, zero), w4));
    return _mm256_mullo_epi32(row, rowWeights);
}

// The weights come packed from the tables (pairs2048 of the column phase, rows2048 of the
// row phase, and the row phase's tap 0).
inline MIREL_TARGET_AVX2 Lanes filterRgba8Wide(const std::uint32_t* first, std::ptrdiff_t stride,
                                               const std::uint32_t* xPairs,
                                               const std::int32_t* yRows, std::int32_t y0) {
    const __m256i w01x2 = _mm256_set1_epi32(static_cast<int>(xPairs[0]));
    const __m256i w23x2 = _mm256_set1_epi32(static_cast<int>(xPairs[1]));
    const __m256i w4x2 = _mm256_set1_epi32(static_cast<int>(xPairs[2]));
    const __m256i pairs = _mm256_add_epi32(
        weightedRowPair(first, stride, w01x2, w23x2, w4x2,
                        _mm256_load_si256(reinterpret_cast<const __m256i*>(yRows))),
        weightedRowPair(first + 2 * stride, stride, w01x2, w23x2, w4x2,
                        _mm256_load_si256(reinterpret_cast<const __m256i*>(yRows + 8))));
    // Row 4 alone.
    const __m128i row = weightedRow(first + 4 * stride, _mm256_castsi256_si128(w01x2),
                                    _mm256_castsi256_si128(w23x2), _mm256_castsi256_si128(w4x2));
    __m128i total = _mm_mullo_epi32(row, _mm_set1_epi32(y0));
    total = _mm_add_epi32(total, _mm256_castsi256_si128(pairs));
    total = _mm_add_epi32(total, _mm256_extracti128_si256(pairs, 1));
    total = _mm_shuffle_epi32(total, _MM_SHUFFLE(0, 1, 2, 3));
    return _mm_mul_ps(_mm_cvtepi32_ps(total), _mm_set1_ps(kRgba8Unscale));
}

#endif

#else

Lanes filterRgba8(const std::uint32_t* first, std::ptrdiff_t stride, const std::int32_t* wx,
                  const std::int32_t* wy) {
    std::int32_t total[4] = {};
    for (int r = 0; r < kTaps; ++r) {
        const std::uint32_t* p = first + r * stride;
        std::int32_t row[4] = {};
        for (int c = 0; c < kTaps; ++c) {
            const std::int32_t w = wx[4 - c];
            for (int ch = 0; ch < 4; ++ch)
                row[ch] += w * static_cast<std::int32_t>((p[c] >> (8 * ch)) & 255u);
        }
        for (int ch = 0; ch < 4; ++ch) total[ch] += wy[4 - r] * row[ch];
    }
    return Rgba{total[3] * kRgba8Unscale, total[2] * kRgba8Unscale, total[1] * kRgba8Unscale,
                total[0] * kRgba8Unscale};
}

#endif

// ---- Rgba16: fixed point scaled to 32768 per axis --------------------------------

// 64-bit sums: stored words may exceed the 32768 full scale (up to 65535), and
// 65535 x 32768 summed over five taps does not fit 32 bits.
Rgba filterRgba16(const Rgba16Pixel* first, std::ptrdiff_t stride, const std::int32_t* wx,
                  const std::int32_t* wy) {
    std::int64_t total[4] = {};
    for (int r = 0; r < kTaps; ++r) {
        const Rgba16Pixel* p = first + r * stride;
        std::int64_t row[4] = {};
        for (int c = 0; c < kTaps; ++c) {
            const std::int64_t w = wx[4 - c];
            row[0] += w * p[c].r;
            row[1] += w * p[c].g;
            row[2] += w * p[c].b;
            row[3] += w * p[c].a;
        }
        // Each row is brought back to the pixel scale before the vertical pass,
        // truncating toward zero.
        for (int ch = 0; ch < 4; ++ch) total[ch] += wy[4 - r] * (row[ch] / kFixedOne);
    }
    constexpr float kUnscale = 1.0f / static_cast<float>(kFixedOne);
    return Rgba{static_cast<float>(total[0]) * kUnscale, static_cast<float>(total[1]) * kUnscale,
                static_cast<float>(total[2]) * kUnscale, static_cast<float>(total[3]) * kUnscale};
}

// ---- RgbaFloat ----------------------------------------------------------------------

Rgba filterRgbaFloat(const Rgba* first, std::ptrdiff_t stride, const float* wx, const float* wy) {
    Rgba total;
    for (int r = 0; r < kTaps; ++r) {
        const Rgba* p = first + r * stride;
        Rgba row;
        for (int c = 0; c < kTaps; ++c) {
            const float w = wx[4 - c];
            row.r += w * p[c].r;
            row.g += w * p[c].g;
            row.b += w * p[c].b;
            row.a += w * p[c].a;
        }
        const float w = wy[4 - r];
        total.r += w * row.r;
        total.g += w * row.g;
        total.b += w * row.b;
        total.a += w * row.a;
    }
    return total;
}

template <class Pixel>
const Pixel* blockStart(const TiledImage& image, int level, const Window& w) {
    return reinterpret_cast<const Pixel*>(pixelAddress(image, w.bx - 2, w.by - 2, level));
}

float clamp01(float x) {
    return !(x > 0.0f) ? 0.0f : (x > 1.0f ? 1.0f : x);
}

float clampRange(float x, float hi) {
    return !(x > 0.0f) ? 0.0f : (x > hi ? hi : x);
}

}  // namespace

namespace {

// The filtered read and the blend of two levels, built twice where the processor may have
// AVX2: with the two-row filter (Wide) and without. Everything is flattened into the
// entry points below, which are chosen once per read.
template <bool Wide>
inline Lanes filteredLanesT(const TiledImage& image, int level, float x, float y) {
    if (!hasTiles(image)) return zeroLanes();
    if (level < 0) level = 0;
    if (level > image.lastLevel) level = image.lastLevel;
    const Window w = locate(image, level, x, y);
    const WeightTables& tables = image.weightTables;

    switch (image.format) {
        case SampleFormat::Rgba8: {
            const std::int32_t* wx = tables.fixed2048[w.px];
            const std::int32_t* wy = tables.fixed2048[w.py];
            std::uint32_t block[kTaps * kTaps];
            const std::uint32_t* first = block;
            std::ptrdiff_t stride = kTaps;
            if (w.inTile) {
                first = blockStart<std::uint32_t>(image, level, w);
                stride = image.tileStride[level];
            } else {
                gatherClamped(image, level, w, block);
            }
#if defined(MIREL_AVX2_PATHS)
            if constexpr (Wide) {
                return filterRgba8Wide(first, stride, tables.pairs2048[w.px],
                                       tables.rows2048[w.py][0], wy[0]);
            }
#endif
            return filterRgba8(first, stride, wx, wy);
        }
        case SampleFormat::Rgba16: {
            const std::int32_t* wx = tables.fixed32768[w.px];
            const std::int32_t* wy = tables.fixed32768[w.py];
            if (w.inTile)
                return lanesOf(filterRgba16(blockStart<Rgba16Pixel>(image, level, w),
                                            image.tileStride[level], wx, wy));
            Rgba16Pixel block[kTaps * kTaps];
            gatherClamped(image, level, w, block);
            return lanesOf(filterRgba16(block, kTaps, wx, wy));
        }
        case SampleFormat::RgbaFloat: {
            static_assert(sizeof(Rgba) == 16);
            const float* wx = tables.weights[w.px];
            const float* wy = tables.weights[w.py];
            if (w.inTile)
                return lanesOf(filterRgbaFloat(blockStart<Rgba>(image, level, w),
                                               image.tileStride[level], wx, wy));
            Rgba block[kTaps * kTaps];
            gatherClamped(image, level, w, block);
            return lanesOf(filterRgbaFloat(block, kTaps, wx, wy));
        }
    }
    return zeroLanes();
}

template <bool Wide>
inline Lanes trilinearLanesT(const TiledImage& image, int level, float fraction, float u, float v) {
    if (!hasTiles(image)) return zeroLanes();
    int k = level < 0 ? 0 : level;
    if (k > image.lastLevel - 1) k = image.lastLevel - 1;
    const Lanes fine = filteredLanesT<Wide>(image, k, u * image.nominalWidth[k] - 0.5f,
                                            v * image.nominalHeight[k] - 0.5f);
    // A blend outside 0..1 would extrapolate past the coarser level.
    fraction = clamp01(fraction);
    if (fraction == 0.0f) return fine;
    const Lanes coarse = filteredLanesT<Wide>(image, k + 1, u * image.nominalWidth[k + 1] - 0.5f,
                                              v * image.nominalHeight[k + 1] - 0.5f);
    return lerpLanes(fine, coarse, fraction);
}

#if defined(MIREL_AVX2_PATHS)
// Never inlined into the dispatchers below: they are built for any processor, and
// clang's flatten would otherwise pull AVX2 code into them (its backend then fails).
[[gnu::flatten, gnu::noinline]] MIREL_TARGET_AVX2 Lanes filteredLanesWide(const TiledImage& image,
                                                                          int level, float x,
                                                                          float y) {
    return filteredLanesT<true>(image, level, x, y);
}
[[gnu::flatten, gnu::noinline]] MIREL_TARGET_AVX2 Lanes trilinearLanesWide(const TiledImage& image,
                                                                           int level,
                                                                           float fraction, float u,
                                                                           float v) {
    return trilinearLanesT<true>(image, level, fraction, u, v);
}
#endif

[[gnu::flatten]] Lanes filteredLanes(const TiledImage& image, int level, float x, float y) {
#if defined(MIREL_AVX2_PATHS)
    if (hasAvx2()) return filteredLanesWide(image, level, x, y);
#endif
    return filteredLanesT<false>(image, level, x, y);
}

[[gnu::flatten]] Lanes trilinearLanes(const TiledImage& image, int level, float fraction, float u,
                                      float v) {
#if defined(MIREL_AVX2_PATHS)
    if (hasAvx2()) return trilinearLanesWide(image, level, fraction, u, v);
#endif
    return trilinearLanesT<false>(image, level, fraction, u, v);
}

}  // namespace

Rgba filteredRead(const TiledImage& image, int level, float x, float y) {
    return rgbaOf(filteredLanes(image, level, x, y));
}

Rgba trilinearRead(const TiledImage& image, int level, float fraction, float u, float v) {
    return rgbaOf(trilinearLanes(image, level, fraction, u, v));
}

Rgba normalisedRead(const TiledImage& image, int level, float fraction, float u, float v) {
    return rgbaOf(scaleLanes(trilinearLanes(image, level, fraction, u, v), image.invScale));
}

bool resampleInto(const TiledImage& source, TiledImage& target, const ImageRect& sourceRect,
                  const ImageRect& targetRect, float bias, const JobRunner& run) {
    if (&source == &target || !hasTiles(source) || !hasTiles(target)) return false;
    const std::int64_t sourceWidth = std::int64_t{sourceRect.right} - sourceRect.left;
    const std::int64_t width = std::int64_t{targetRect.right} - targetRect.left;
    const std::int64_t height = std::int64_t{targetRect.bottom} - targetRect.top;
    if (sourceWidth <= 0 || width <= 0 || height <= 0) return false;

    const float wanted = static_cast<float>(math::log2(static_cast<double>(sourceWidth) /
                                                       static_cast<double>(width))) -
                         bias;
    const float level = clampLevel(wanted, source.lastLevel);
    const int k = static_cast<int>(level);
    const float f = level - static_cast<float>(k);
    const float colourMax = target.format == SampleFormat::RgbaFloat ? 65535.0f : 1.0f;

    // Only the part of the rectangle inside level 0 is visited; writes outside
    // would be dropped anyway.
    const std::int64_t firstRow = std::max<std::int64_t>(0, -std::int64_t{targetRect.top});
    const std::int64_t endRow =
        std::min<std::int64_t>(height, target.baseHeight - std::int64_t{targetRect.top});
    const std::int64_t firstCol = std::max<std::int64_t>(0, -std::int64_t{targetRect.left});
    const std::int64_t endCol =
        std::min<std::int64_t>(width, target.baseWidth - std::int64_t{targetRect.left});
    const double invWidth = 1.0 / static_cast<double>(width);
    const double invHeight = 1.0 / static_cast<double>(height);
    for (std::int64_t i = firstRow; i < endRow; ++i) {
        const float v = static_cast<float>((static_cast<double>(i) + 0.5) * invHeight);
        for (std::int64_t j = firstCol; j < endCol; ++j) {
            const float u = static_cast<float>((static_cast<double>(j) + 0.5) * invWidth);
            Rgba p = rgbaOf(scaleLanes(trilinearLanes(source, k, f, u, v), source.invScale));
            p.r = clampRange(p.r, colourMax);
            p.g = clampRange(p.g, colourMax);
            p.b = clampRange(p.b, colourMax);
            p.a = clamp01(p.a);
            writePixel(target, static_cast<int>(targetRect.left + j),
                       static_cast<int>(targetRect.top + i), 0, p);
        }
    }
    buildPyramid(target, run);
    return true;
}

bool resampleInto(const TiledImage& source, TiledImage& target, const ImageRect& sourceRect,
                  const ImageRect& targetRect, float bias) {
    return resampleInto(source, target, sourceRect, targetRect, bias, poolJobRunner());
}

int applyEdgeMode(const TiledImage& image, float& u, float& v, float& level) {
    if (!(u < 0.0f || u > 1.0f || v < 0.0f || v >= 1.0f)) return 0;
    if (image.edgeMode != kEdgeModeMirrorBlur) {
        u = clamp01(u);
        v = clamp01(v);
        return kEdgeOutside;
    }
    float d = 0.0f;
    if (v < 0.0f) {
        d = -v < 1.0f ? -v : 1.0f;
        v = 0.0f;
    } else if (v > 1.0f) {
        v = 1.0f;
    }
    if (u < 0.0f) u = -u;
    if (u > 1.0f) u = 2.0f - u;
    u = clamp01(u);
    if (!(d > 0.0f)) return kEdgeOutside;
    // Above the top the reflection blurs out: halfway to the coarsest level at a
    // distance of a third of the picture height.
    level += (static_cast<float>(image.lastLevel) - level) * (1.0f - math::exp2(-3.0f * d));
    return kEdgeOutside | kEdgeLevelChanged;
}

Rgba bilinearRead(const TiledImage& image, int level, float u, float v) {
    if (!hasTiles(image)) return {};
    if (level < 0) level = 0;
    if (level > image.lastLevel) level = image.lastLevel;
    const float nw = image.nominalWidth[level];
    const float nh = image.nominalHeight[level];
    const float du = image.invLevelWidth[level];
    const float dv = image.invLevelHeight[level];

    Rgba corner[4];
    float firstX = 0.0f, firstY = 0.0f;
    for (int n = 0; n < 4; ++n) {
        float cu = u + ((n & 1) ? du : 0.0f);
        float cv = v + ((n & 2) ? dv : 0.0f);
        float unusedLevel = static_cast<float>(level);
        applyEdgeMode(image, cu, cv, unusedLevel);
        const float px = cu * nw - 0.5f;
        const float py = cv * nh - 0.5f;
        if (n == 0) {
            firstX = px;
            firstY = py;
        }
        corner[n] = readPixel(image, saturatingTrunc(px), saturatingTrunc(py), level);
    }
    const float fx = clamp01(firstX - static_cast<float>(saturatingTrunc(firstX)));
    const float fy = clamp01(firstY - static_cast<float>(saturatingTrunc(firstY)));
    auto lerp = [](const Rgba& a, const Rgba& b, float t) {
        return Rgba{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t,
                    a.a + (b.a - a.a) * t};
    };
    return lerp(lerp(corner[0], corner[1], fx), lerp(corner[2], corner[3], fx), fy);
}

}  // namespace mirel::image
