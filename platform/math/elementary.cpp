// The elementary functions, from argument reduction and polynomials of our own.
// Each reduces its argument exactly (or with a known, tiny error) to a small
// interval around zero and sums a series there with Horner's rule; the series
// are cut where the next term falls below the last bit. Constants that must
// carry more than 53 bits are split into a high part whose products with small
// integers are exact and a low part.
#include "platform/math/elementary.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace mirel::math {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// ln 2 in 42 + 53 bits: k * kLn2Hi is exact for |k| < 2^11.
constexpr double kLn2Hi = 0x1.62e42fefa3800p-1;
constexpr double kLn2Lo = 0x1.ef35793c76730p-45;
constexpr double kLog2e = 0x1.71547652b82fep+0;
// pi/2 in three parts of 33, 33 and 53 bits: k times either of the first two is
// exact for |k| < 2^20.
constexpr double kPio2Part1 = 0x1.921fb54400000p+0;
constexpr double kPio2Part2 = 0x1.0b4611a600000p-34;
constexpr double kPio2Part3 = 0x1.3198a2e037073p-69;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
constexpr double kPiHi = 0x1.921fb54442d18p+1, kPiLo = 0x1.1a62633145c07p-53;
constexpr double kPio2Hi = 0x1.921fb54442d18p+0, kPio2Lo = 0x1.1a62633145c07p-54;
constexpr double kPio4 = 0x1.921fb54442d18p-1;
constexpr double kThreePio4 = 0x1.2d97c7f3321d2p+1;
constexpr double kSqrtHalf = 0x1.6a09e667f3bcdp-1;
// Beyond this the reduction by multiples of pi/2 would lose its exactness; such
// arguments are first taken modulo 2 pi (exactly, though 2 pi is rounded).
constexpr double kLargestReduced = 0x1p19;
constexpr double kTwoPi = 0x1.921fb54442d18p+2;

// atan(j / 8) for j = 0..8, high and low parts.
constexpr double kAtanHi[9] = {0.0,
                               0x1.fd5ba9aac2f6ep-4,
                               0x1.f5b75f92c80ddp-3,
                               0x1.6f61941e4def1p-2,
                               0x1.dac670561bb4fp-2,
                               0x1.1e00babdefeb4p-1,
                               0x1.4978fa3269ee1p-1,
                               0x1.700a7c5784634p-1,
                               0x1.921fb54442d18p-1};
constexpr double kAtanLo[9] = {0.0,
                               -0x1.cd37686760c17p-59,
                               0x1.8ab6e3cf7afbdp-57,
                               -0x1.c63aae6f6e918p-56,
                               0x1.a2b7f222f65e2p-56,
                               -0x1.928df287a668fp-58,
                               0x1.2419a87f2a458p-56,
                               -0x1.8c34d25aadef6p-56,
                               0x1.1a62633145c07p-55};

// 2^n for -1022 <= n <= 1023, from its bits.
double twoTo(int n) {
    return std::bit_cast<double>(std::uint64_t(n + 1023) << 52);
}

// value * 2^k, with every step an exactly rounded multiplication.
double scaled(double value, int k) {
    while (k > 1023) {
        value *= twoTo(1023);
        k -= 1023;
        if (k > 1023 && std::isinf(value)) return value;
    }
    while (k < -1022) {
        value *= twoTo(-1022);
        k += 1022;
        if (value == 0.0) return value;
    }
    return value * twoTo(k);
}

// x = m * 2^e with 0.5 <= m < 1, for finite non-zero x.
double split(double x, int& e) {
    std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
    int adjust = 0;
    if (((bits >> 52) & 0x7ff) == 0) {  // subnormal: make it normal first
        x *= 0x1p54;
        bits = std::bit_cast<std::uint64_t>(x);
        adjust = -54;
    }
    e = int((bits >> 52) & 0x7ff) - 1022 + adjust;
    constexpr std::uint64_t kExponentBits = std::uint64_t(0x7ff) << 52;
    return std::bit_cast<double>((bits & ~kExponentBits) | (std::uint64_t(1022) << 52));
}

// e^r for |r| <= ln 2 / 2: the Taylor series to r^13 (the next term is below 2^-57).
double expSmall(double r) {
    constexpr double c[14] = {1.0,
                              1.0,
                              1.0 / 2,
                              1.0 / 6,
                              1.0 / 24,
                              1.0 / 120,
                              1.0 / 720,
                              1.0 / 5040,
                              1.0 / 40320,
                              1.0 / 362880,
                              1.0 / 3628800,
                              1.0 / 39916800,
                              1.0 / 479001600,
                              1.0 / 6227020800.0};
    double sum = c[13];
    for (int i = 12; i >= 0; --i) sum = sum * r + c[i];
    return sum;
}

// log(m) for sqrt(1/2) <= m < sqrt(2): with f = m - 1 and s = f / (2 + f),
// log(m) = 2 atanh(s) = f - (f^2/2 - s (f^2/2 + R)), R = sum 2 s^2n / (2n + 1).
double logNearOne(double m) {
    const double f = m - 1.0;  // exact: m is within a factor 2 of 1
    const double s = f / (2.0 + f);
    const double z = s * s;
    constexpr double c[11] = {2.0 / 3,  2.0 / 5,  2.0 / 7,  2.0 / 9,  2.0 / 11, 2.0 / 13,
                              2.0 / 15, 2.0 / 17, 2.0 / 19, 2.0 / 21, 2.0 / 23};
    double r = c[10];
    for (int i = 9; i >= 0; --i) r = r * z + c[i];
    r *= z;
    const double halfSquare = 0.5 * f * f;
    return f - (halfSquare - s * (halfSquare + r));
}

// m in [sqrt(1/2), sqrt(2)) and e with x = m * 2^e, for finite x > 0.
double normalise(double x, int& e) {
    double m = split(x, e);
    if (m < kSqrtHalf) {
        m *= 2.0;
        --e;
    }
    return m;
}

// sin(r) and cos(r) for |r| <= pi/4 (plus the reduction's tiny excess): the
// Taylor series to r^17 and r^18.
double sinSmall(double r) {
    const double z = r * r;
    constexpr double c[8] = {-1.0 / 6,
                             1.0 / 120,
                             -1.0 / 5040,
                             1.0 / 362880,
                             -1.0 / 39916800,
                             1.0 / 6227020800.0,
                             -1.0 / 1307674368000.0,
                             1.0 / 355687428096000.0};
    double sum = c[7];
    for (int i = 6; i >= 0; --i) sum = sum * z + c[i];
    return r + r * z * sum;
}

double cosSmall(double r) {
    const double z = r * r;
    constexpr double c[9] = {-1.0 / 2,
                             1.0 / 24,
                             -1.0 / 720,
                             1.0 / 40320,
                             -1.0 / 3628800,
                             1.0 / 479001600,
                             -1.0 / 87178291200.0,
                             1.0 / 20922789888000.0,
                             -1.0 / 6402373705728000.0};
    double sum = c[8];
    for (int i = 7; i >= 0; --i) sum = sum * z + c[i];
    return 1.0 + z * sum;
}

// x - k pi/2 with k the nearest whole number, and k modulo 4; for finite x.
double reduceQuarterTurns(double x, int& quadrant) {
    if (std::fabs(x) > kLargestReduced) x = std::fmod(x, kTwoPi);
    const double k = std::floor(x * kTwoOverPi + 0.5);
    quadrant = int(std::int64_t(k) & 3);
    return ((x - k * kPio2Part1) - k * kPio2Part2) - k * kPio2Part3;
}

// atan(a) for 0 <= a <= 1: atan(a) = atan(c) + atan((a - c) / (1 + a c)) with c
// the nearest eighth, then the series of atan to t^17 for |t| <= 1/16.
double atanUnit(double a) {
    const int j = int(std::floor(a * 8.0 + 0.5));
    const double nearest = j / 8.0;
    const double t = (a - nearest) / (1.0 + a * nearest);
    const double z = t * t;
    // t - t^3/3 + t^5/5 - ... + t^17/17
    constexpr double c[8] = {-1.0 / 3,  1.0 / 5,  -1.0 / 7,  1.0 / 9,
                             -1.0 / 11, 1.0 / 13, -1.0 / 15, 1.0 / 17};
    double series = c[7];
    for (int i = 6; i >= 0; --i) series = series * z + c[i];
    return kAtanHi[j] + (kAtanLo[j] + (t + t * z * series));
}

// a * b = hi + lo exactly (Dekker's product, without a fused multiply-add,
// which not every processor the filter runs on has).
void exactProduct(double a, double b, double& hi, double& lo) {
    constexpr double kSplitter = 134217729.0;  // 2^27 + 1
    const auto halves = [](double v, double& high, double& low) {
        const double t = kSplitter * v;
        high = t - (t - v);
        low = v - high;
    };
    double aHi, aLo, bHi, bLo;
    halves(a, aHi, aLo);
    halves(b, bHi, bLo);
    hi = a * b;
    lo = ((aHi * bHi - hi) + aHi * bLo + aLo * bHi) + aLo * bLo;
}

// log(x) as hi + lo, for finite x > 0: the sum of e ln 2 and log(m) is kept
// unrounded, so that pow multiplies a logarithm good to far more than 53 bits
// where the exponent is large.
void logTwoParts(double x, double& hi, double& lo) {
    int e = 0;
    const double m = normalise(x, e);
    const double a = e * kLn2Hi;  // exact
    const double b = logNearOne(m);
    hi = a + b;
    lo = ((a - hi) + b) + e * kLn2Lo;  // |a| >= |b| whenever a is not 0
}

bool isWhole(double y) {
    return std::floor(y) == y;
}

bool isOddWhole(double y) {
    return isWhole(y) && std::fabs(y) < 0x1p53 && (std::int64_t(y) & 1) != 0;
}

}  // namespace

double exp(double x) {
    if (std::isnan(x)) return x;
    if (x > 709.782712893384) return kInfinity;
    if (x < -745.2) return 0.0;
    const double k = std::floor(x * kLog2e + 0.5);
    const double r = (x - k * kLn2Hi) - k * kLn2Lo;
    return scaled(expSmall(r), int(k));
}

double exp2(double x) {
    if (std::isnan(x)) return x;
    if (x >= 1024.0) return kInfinity;
    if (x < -1075.0) return 0.0;
    const double k = std::floor(x + 0.5);
    const double f = x - k;  // exact
    return scaled(expSmall(f * kLn2Hi + f * kLn2Lo), int(k));
}

double log(double x) {
    if (std::isnan(x)) return x;
    if (x < 0.0) return kNaN;
    if (x == 0.0) return -kInfinity;
    if (std::isinf(x)) return x;
    int e = 0;
    const double m = normalise(x, e);
    const double lm = logNearOne(m);
    return e * kLn2Hi + (lm + e * kLn2Lo);
}

double log2(double x) {
    if (std::isnan(x)) return x;
    if (x < 0.0) return kNaN;
    if (x == 0.0) return -kInfinity;
    if (std::isinf(x)) return x;
    int e = 0;
    const double m = normalise(x, e);
    // A power of two gives its exponent exactly.
    return double(e) + logNearOne(m) * kLog2e;
}

double pow(double x, double y) {
    if (y == 0.0 || x == 1.0) return 1.0;
    if (std::isnan(x) || std::isnan(y)) return kNaN;
    const bool odd = isOddWhole(y);
    if (std::isinf(y)) {
        const double a = std::fabs(x);
        if (a == 1.0) return 1.0;
        return (a < 1.0) == (y > 0.0) ? 0.0 : kInfinity;
    }
    if (x == 0.0) {
        if (y > 0.0) return odd ? x : 0.0;
        return odd ? std::copysign(kInfinity, x) : kInfinity;
    }
    if (std::isinf(x)) {
        const double magnitude = y > 0.0 ? kInfinity : 0.0;
        return x < 0.0 && odd ? -magnitude : magnitude;
    }
    double base = x;
    double sign = 1.0;
    if (x < 0.0) {
        if (!isWhole(y)) return kNaN;
        base = -x;
        if (odd) sign = -1.0;
    }
    // Small whole powers as products, so that they stay exact where products are.
    if (isWhole(y) && std::fabs(y) <= 8.0) {
        int n = int(std::fabs(y));
        double result = 1.0, factor = base;
        while (n > 0) {
            if (n & 1) result *= factor;
            factor *= factor;
            n >>= 1;
        }
        return sign * (y < 0.0 ? 1.0 / result : result);
    }
    double logHi, logLo;
    logTwoParts(base, logHi, logLo);
    double zHi, zLo;
    exactProduct(y, logHi, zHi, zLo);
    zLo += y * logLo;
    if (!(std::fabs(zHi) < 700.0)) return sign * exp(zHi + zLo);  // overflow, underflow or near
    const double e = exp(zHi);
    return sign * (e + e * zLo);
}

double sin(double x) {
    if (!std::isfinite(x)) return kNaN;
    if (std::fabs(x) <= kPio4) return sinSmall(x);
    int quadrant = 0;
    const double r = reduceQuarterTurns(x, quadrant);
    switch (quadrant) {
        case 0:
            return sinSmall(r);
        case 1:
            return cosSmall(r);
        case 2:
            return -sinSmall(r);
        default:
            return -cosSmall(r);
    }
}

double cos(double x) {
    if (!std::isfinite(x)) return kNaN;
    if (std::fabs(x) <= kPio4) return cosSmall(x);
    int quadrant = 0;
    const double r = reduceQuarterTurns(x, quadrant);
    switch (quadrant) {
        case 0:
            return cosSmall(r);
        case 1:
            return -sinSmall(r);
        case 2:
            return -cosSmall(r);
        default:
            return sinSmall(r);
    }
}

double atan(double x) {
    if (std::isnan(x)) return x;
    const double a = std::fabs(x);
    double result;
    if (a <= 1.0) {
        result = atanUnit(a);
    } else {
        // atan(a) = pi/2 - atan(1/a); an infinite a gives pi/2.
        result = (kPio2Hi - atanUnit(1.0 / a)) + kPio2Lo;
    }
    return std::copysign(result, x);
}

double atan2(double y, double x) {
    if (std::isnan(x) || std::isnan(y)) return kNaN;
    if (y == 0.0) {
        if (x > 0.0 || (x == 0.0 && !std::signbit(x))) return y;
        return std::copysign(kPiHi, y);
    }
    if (x == 0.0) return std::copysign(kPio2Hi, y);
    if (std::isinf(x)) {
        if (std::isinf(y)) return std::copysign(x > 0.0 ? kPio4 : kThreePio4, y);
        return x > 0.0 ? std::copysign(0.0, y) : std::copysign(kPiHi, y);
    }
    if (std::isinf(y)) return std::copysign(kPio2Hi, y);
    const double a = atan(std::fabs(y / x));
    if (x > 0.0) return std::copysign(a, y);
    return std::copysign((kPiHi - a) + kPiLo, y);
}

double cbrt(double x) {
    if (x == 0.0 || !std::isfinite(x)) return x;
    const double a = std::fabs(x);
    int e = 0;
    double m = split(a, e);  // a = m 2^e, m in [0.5, 1)
    // A whole number of thirds in the exponent: m takes the rest, m in [0.5, 4).
    const int rest = ((e % 3) + 3) % 3;
    m = scaled(m, rest);
    e -= rest;
    double y = exp(log(m) / 3.0);
    // One Newton step on y^3 - m, the cube kept in two parts so that the
    // correction is not lost in the rounding of y^3 (which is within a few
    // units of m, so their difference is exact).
    double squareHi, squareLo, cubeHi, cubeLo;
    exactProduct(y, y, squareHi, squareLo);
    exactProduct(squareHi, y, cubeHi, cubeLo);
    cubeLo += squareLo * y;
    y -= ((cubeHi - m) + cubeLo) / (3.0 * squareHi);
    return std::copysign(scaled(y, e / 3), x);
}

double hypot(double x, double y) {
    if (std::isinf(x) || std::isinf(y)) return kInfinity;
    if (std::isnan(x) || std::isnan(y)) return kNaN;
    double a = std::fabs(x), b = std::fabs(y);
    if (a < b) std::swap(a, b);
    if (a == 0.0) return 0.0;
    const double r = b / a;
    return a * std::sqrt(1.0 + r * r);
}

}  // namespace mirel::math
