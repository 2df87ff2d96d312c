// The wave sums of the Complex surface, several waves at a time: four with
// SSE2, eight with AVX2 where the processor has it (see surface_waves.h).
#include "render/surface_waves.h"

#include <algorithm>

#include "image/noise.h"
#include "render/surface.h"

namespace mirel::render {

#if defined(__SSE2__)

namespace {

// The crest profile of four angles in double precision, as two pairs of lanes:
// the operations of the crest in waveLevel, four wide.
[[gnu::always_inline]] inline void crest4(__m128 t, __m128d sharpLow, __m128d sharpHigh,
                                          __m128d& low, __m128d& high) {
    const __m128 f = _mm_add_ps(_mm_div_ps(t, _mm_set1_ps(6.2831855f)), _mm_set1_ps(0.5f));
    const __m128 signBit = _mm_set1_ps(-0.0f);
    const __m128 small = _mm_cmplt_ps(_mm_andnot_ps(signBit, f), _mm_set1_ps(8388608.0f));
    __m128 whole = _mm_cvtepi32_ps(_mm_cvttps_epi32(f));
    whole = _mm_sub_ps(whole, _mm_and_ps(_mm_cmpgt_ps(whole, f), _mm_set1_ps(1.0f)));
    const __m128 frac =
        _mm_or_ps(_mm_and_ps(small, _mm_sub_ps(f, whole)), _mm_andnot_ps(small, _mm_sub_ps(f, f)));
    const __m128 w = _mm_sub_ps(frac, _mm_set1_ps(0.5f));
    const __m128 e =
        _mm_sub_ps(_mm_mul_ps(_mm_set1_ps(8.0f), w),
                   _mm_mul_ps(_mm_mul_ps(_mm_set1_ps(16.0f), w), _mm_andnot_ps(signBit, w)));
    const __m128d zero = _mm_setzero_pd();
    const __m128d eLow = _mm_cvtps_pd(e);
    const __m128d eHigh = _mm_cvtps_pd(_mm_movehl_ps(e, e));
    // max(x, 0) gives 0 for NaN, as std::max(0.0, x) does.
    low = _mm_sqrt_pd(_mm_max_pd(_mm_add_pd(_mm_mul_pd(eLow, eLow), sharpLow), zero));
    high = _mm_sqrt_pd(_mm_max_pd(_mm_add_pd(_mm_mul_pd(eHigh, eHigh), sharpHigh), zero));
}

// One wave pair per weighted level and point: the a stream in lane 0, the b
// stream in lane 1 (lanes 2 and 3 unused).
struct WavePairs {
    // Room for the spare pairs that round the last group up to four.
    static constexpr int kMax = kMaxHeightPoints * kWaveLevels + 3;
    __m128 p[kMax];
    __m128 q[kMax];
    int level[kMax];
    __m128d value[kMax];
    int count = 0;
};

void evaluatePairs(const RenderContext& c, WavePairs& pairs) {
    if (pairs.count % 2 != 0) {
        // The spare half of the last group computes a harmless wave nobody reads.
        pairs.p[pairs.count] = _mm_setzero_ps();
        pairs.q[pairs.count] = _mm_setzero_ps();
        pairs.level[pairs.count] = pairs.level[pairs.count - 1];
    }
    const __m128d one = _mm_set1_pd(1.0);
    for (int k = 0; k < pairs.count; k += 2) {
        __m128 p = _mm_movelh_ps(pairs.p[k], pairs.p[k + 1]);
        __m128 q = _mm_movelh_ps(pairs.q[k], pairs.q[k + 1]);
        if (c.noise != nullptr) {
            const __m128 d = image::simd::gradientNoise4<false>(*c.noise, p, q);
            p = _mm_add_ps(p, d);
            q = _mm_add_ps(q, d);
        }
        const int low = pairs.level[k], high = pairs.level[k + 1];
        const __m128d sharpLow = _mm_set1_pd(c.sharpness[low]);
        const __m128d sharpHigh = _mm_set1_pd(c.sharpness[high]);
        __m128d pLow, pHigh, qLow, qHigh;
        crest4(p, sharpLow, sharpHigh, pLow, pHigh);
        crest4(q, sharpLow, sharpHigh, qLow, qHigh);
        const __m128d valleyLow = _mm_sub_pd(one, _mm_mul_pd(pLow, qLow));
        const __m128d valleyHigh = _mm_sub_pd(one, _mm_mul_pd(pHigh, qHigh));
        pairs.value[k] =
            _mm_add_pd(_mm_mul_pd(_mm_mul_pd(valleyLow, valleyLow), _mm_set1_pd(c.waveScale[low])),
                       _mm_set1_pd(c.waveOffset[low]));
        pairs.value[k + 1] = _mm_add_pd(
            _mm_mul_pd(_mm_mul_pd(valleyHigh, valleyHigh), _mm_set1_pd(c.waveScale[high])),
            _mm_set1_pd(c.waveOffset[high]));
    }
}

#if defined(MIREL_WIDE_NOISE)

// crest4 and the wave values, eight lanes (four pairs) at a time, for
// processors with AVX2: the same operations on every lane, so the same bits.
[[gnu::always_inline]] inline MIREL_TARGET_AVX2 void crest8(__m256 t, __m256d sharpLow,
                                                            __m256d sharpHigh, __m256d& low,
                                                            __m256d& high) {
    const __m256 f =
        _mm256_add_ps(_mm256_div_ps(t, _mm256_set1_ps(6.2831855f)), _mm256_set1_ps(0.5f));
    const __m256 signBit = _mm256_set1_ps(-0.0f);
    const __m256 small =
        _mm256_cmp_ps(_mm256_andnot_ps(signBit, f), _mm256_set1_ps(8388608.0f), _CMP_LT_OS);
    __m256 whole = _mm256_cvtepi32_ps(_mm256_cvttps_epi32(f));
    whole = _mm256_sub_ps(whole,
                          _mm256_and_ps(_mm256_cmp_ps(whole, f, _CMP_GT_OS), _mm256_set1_ps(1.0f)));
    const __m256 frac = _mm256_or_ps(_mm256_and_ps(small, _mm256_sub_ps(f, whole)),
                                     _mm256_andnot_ps(small, _mm256_sub_ps(f, f)));
    const __m256 w = _mm256_sub_ps(frac, _mm256_set1_ps(0.5f));
    const __m256 e = _mm256_sub_ps(
        _mm256_mul_ps(_mm256_set1_ps(8.0f), w),
        _mm256_mul_ps(_mm256_mul_ps(_mm256_set1_ps(16.0f), w), _mm256_andnot_ps(signBit, w)));
    const __m256d zero = _mm256_setzero_pd();
    const __m256d eLow = _mm256_cvtps_pd(_mm256_castps256_ps128(e));
    const __m256d eHigh = _mm256_cvtps_pd(_mm256_extractf128_ps(e, 1));
    low = _mm256_sqrt_pd(_mm256_max_pd(_mm256_add_pd(_mm256_mul_pd(eLow, eLow), sharpLow), zero));
    high =
        _mm256_sqrt_pd(_mm256_max_pd(_mm256_add_pd(_mm256_mul_pd(eHigh, eHigh), sharpHigh), zero));
}

// A level's constant for the two lanes of each of two pairs.
[[gnu::always_inline]] inline MIREL_TARGET_AVX2 __m256d perPair(const double* table,
                                                                const int* level) {
    const double a = table[level[0]], b = table[level[1]];
    return _mm256_set_pd(b, b, a, a);
}

MIREL_TARGET_AVX2 void evaluatePairsWide(const RenderContext& c, WavePairs& pairs) {
    for (int k = pairs.count; k % 4 != 0; ++k) {
        // Spare pairs of the last group compute a harmless wave nobody reads.
        pairs.p[k] = _mm_setzero_ps();
        pairs.q[k] = _mm_setzero_ps();
        pairs.level[k] = pairs.level[k - 1];
    }
    const __m256d one = _mm256_set1_pd(1.0);
    for (int k = 0; k < pairs.count; k += 4) {
        __m256 p = _mm256_set_m128(_mm_movelh_ps(pairs.p[k + 2], pairs.p[k + 3]),
                                   _mm_movelh_ps(pairs.p[k], pairs.p[k + 1]));
        __m256 q = _mm256_set_m128(_mm_movelh_ps(pairs.q[k + 2], pairs.q[k + 3]),
                                   _mm_movelh_ps(pairs.q[k], pairs.q[k + 1]));
        if (c.noise != nullptr) {
            const __m256 d = image::simd::gradientNoise8<false>(*c.noise, p, q);
            p = _mm256_add_ps(p, d);
            q = _mm256_add_ps(q, d);
        }
        const int* l = pairs.level + k;
        __m256d pLow, pHigh, qLow, qHigh;
        const __m256d sharpLow = perPair(c.sharpness, l), sharpHigh = perPair(c.sharpness, l + 2);
        crest8(p, sharpLow, sharpHigh, pLow, pHigh);
        crest8(q, sharpLow, sharpHigh, qLow, qHigh);
        const __m256d valleyLow = _mm256_sub_pd(one, _mm256_mul_pd(pLow, qLow));
        const __m256d valleyHigh = _mm256_sub_pd(one, _mm256_mul_pd(pHigh, qHigh));
        const __m256d low = _mm256_add_pd(
            _mm256_mul_pd(_mm256_mul_pd(valleyLow, valleyLow), perPair(c.waveScale, l)),
            perPair(c.waveOffset, l));
        const __m256d high = _mm256_add_pd(
            _mm256_mul_pd(_mm256_mul_pd(valleyHigh, valleyHigh), perPair(c.waveScale, l + 2)),
            perPair(c.waveOffset, l + 2));
        pairs.value[k] = _mm256_castpd256_pd128(low);
        pairs.value[k + 1] = _mm256_extractf128_pd(low, 1);
        pairs.value[k + 2] = _mm256_castpd256_pd128(high);
        pairs.value[k + 3] = _mm256_extractf128_pd(high, 1);
    }
}

#endif

}  // namespace

void waveSums(const RenderContext& c, const double* const* levelWeights, const Vec3d* points,
              int count, int levels, double* sums, const int* firstLevels) {
    // The pair buffer holds the waves of kMaxHeightPoints points; more go in turns.
    for (; count > kMaxHeightPoints; count -= kMaxHeightPoints) {
        waveSums(c, levelWeights, points, kMaxHeightPoints, levels, sums, firstLevels);
        levelWeights += kMaxHeightPoints;
        points += kMaxHeightPoints;
        sums += kMaxHeightPoints;
        if (firstLevels) firstLevels += kMaxHeightPoints;
    }
    levels = std::clamp(levels, 1, kWaveLevels);
    const double seedShift = static_cast<double>(c.settings.randomSeed) * 0.17 * 0.8;
    // (a + shift, b - shift): subtracting is adding the negation, bit for bit.
    const __m128d shift = _mm_set_pd(-seedShift, seedShift);
    // rotateStreams on the x pair (ax, bx) and the z pair (az, bz): the same
    // products and sums (a sum taken in either order, a difference as the sum
    // with the negated product).
    const __m128d xFromX = _mm_set_pd(-1.45, 1.6), xFromZ = _mm_set_pd(1.35, -1.2);
    const __m128d zFromZ = _mm_set_pd(-1.45, 1.6), zFromX = _mm_set_pd(-1.35, 1.2);
    WavePairs pairs;
    for (int n = 0; n < count; ++n) {
        const Vec3d& point = points[n];
        __m128d x = _mm_set_pd(0.73 * point.x, 0.75 * point.x);
        __m128d z = _mm_set1_pd(point.z);
        double g = 0.16;
        const int first = firstLevels ? firstLevels[n] : 0;
        for (int i = 0; i < levels; ++i) {
            // A level without weight adds nothing (the slope statistics look at
            // one level at a time).
            if (i >= first && levelWeights[n][i] != 0.0) {
                const __m128d scale = _mm_set1_pd(g);
                const int k = pairs.count++;
                pairs.p[k] = _mm_cvtpd_ps(_mm_mul_pd(_mm_add_pd(x, shift), scale));
                pairs.q[k] = _mm_cvtpd_ps(_mm_mul_pd(_mm_add_pd(z, shift), scale));
                pairs.level[k] = i;
            }
            const __m128d nx = _mm_add_pd(_mm_mul_pd(x, xFromX), _mm_mul_pd(z, xFromZ));
            const __m128d nz = _mm_add_pd(_mm_mul_pd(z, zFromZ), _mm_mul_pd(x, zFromX));
            x = nx;
            z = nz;
            g *= 1.9;
        }
    }
#if defined(MIREL_WIDE_NOISE)
    if (image::hasAvx2()) {
        evaluatePairsWide(c, pairs);
    } else {
        evaluatePairs(c, pairs);
    }
#else
    evaluatePairs(c, pairs);
#endif
    int k = 0;
    for (int n = 0; n < count; ++n) {
        const int first = firstLevels ? firstLevels[n] : 0;
        double a = c.waviness4, sum = first > 0 ? sums[n] : 0.0;
        for (int i = 0; i < levels; ++i) {
            if (i >= first && levelWeights[n][i] != 0.0) {
                const __m128d v = pairs.value[k++];
                const double u = _mm_cvtsd_f64(v);
                const double w = _mm_cvtsd_f64(_mm_unpackhi_pd(v, v));
                sum += (u + w) * a * levelWeights[n][i];
            }
            a *= c.complexityBand;
        }
        sums[n] = sum;
    }
}

#else

namespace {

// Each finer level turns and stretches the two coordinate streams.
void rotateStreams(double& ax, double& az, double& bx, double& bz) {
    const double nax = 1.6 * ax - 1.2 * az, naz = 1.6 * az + 1.2 * ax;
    const double nbx = 1.35 * bz - 1.45 * bx, nbz = -1.35 * bx - 1.45 * bz;
    ax = nax;
    az = naz;
    bx = nbx;
    bz = nbz;
}

}  // namespace

void waveSums(const RenderContext& c, const double* const* levelWeights, const Vec3d* points,
              int count, int levels, double* sums, const int* firstLevels) {
    levels = std::clamp(levels, 1, kWaveLevels);
    const double seedShift = static_cast<double>(c.settings.randomSeed) * 0.17 * 0.8;
    for (int n = 0; n < count; ++n) {
        const Vec3d& point = points[n];
        double ax = 0.75 * point.x, az = point.z;
        double bx = 0.73 * point.x, bz = point.z;
        const int first = firstLevels ? firstLevels[n] : 0;
        double g = 0.16, a = c.waviness4, sum = first > 0 ? sums[n] : 0.0;
        for (int i = 0; i < levels; ++i) {
            if (i >= first && levelWeights[n][i] != 0.0) {
                const double u = waveLevel(c, static_cast<float>((ax + seedShift) * g),
                                           static_cast<float>((az + seedShift) * g), i);
                const double w = waveLevel(c, static_cast<float>((bx - seedShift) * g),
                                           static_cast<float>((bz - seedShift) * g), i);
                sum += (u + w) * a * levelWeights[n][i];
            }
            rotateStreams(ax, az, bx, bz);
            g *= 1.9;
            a *= c.complexityBand;
        }
        sums[n] = sum;
    }
}

#endif

void waveSums(const RenderContext& c, const double* levelWeight, const Vec3d* points, int count,
              int levels, double* sums, const int* firstLevels) {
    // One weight row for every point, kMaxHeightPoints at a time.
    const double* shared[kMaxHeightPoints];
    for (const double*& row : shared) row = levelWeight;
    for (; count > 0; count -= kMaxHeightPoints) {
        const int n = count < kMaxHeightPoints ? count : kMaxHeightPoints;
        waveSums(c, shared, points, n, levels, sums, firstLevels);
        points += n;
        sums += n;
        if (firstLevels) firstLevels += n;
    }
}

void waveSums(const RenderContext& c, const double* levelWeight, const Vec3d* points, int count,
              int levels, double* sums) {
    waveSums(c, levelWeight, points, count, levels, sums, nullptr);
}

}  // namespace mirel::render
