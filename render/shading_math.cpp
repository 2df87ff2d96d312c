// The numeric pieces of water shading. Every function here returns a finite
// number for finite input and guards the divisions the formulas contain.
#include "render/shading_math.h"

#include <bit>
#include <cmath>
#include <cstdint>

#include "platform/math/elementary.h"
#include "render/surface.h"

namespace mirel::render {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSqrtPi = 1.77245385091;
// The high word of 1.0 shifted by the bias that makes the power's error even.
constexpr double kFastPowMagic = 1072632447.0;
// The high word of the largest finite double.
constexpr double kLargestHighWord = 2146435071.0;  // 0x7FEFFFFF
constexpr double kCurveKnee = 0.92;

}  // namespace

Vec3d unitVector(const Vec3d& v) {
    const double length = std::sqrt(dotProduct(v, v));
    if (!(length > 0.0) || !std::isfinite(length)) return Vec3d{};
    return Vec3d{v.x / length, v.y / length, v.z / length};
}

double fastPow(double base, double exponent) {
    if (!(base > 0.0) || !std::isfinite(base)) return 0.0;
    const auto bits = std::bit_cast<std::uint64_t>(base);
    const auto high = static_cast<std::int32_t>(bits >> 32);
    double word = exponent * (static_cast<double>(high) - kFastPowMagic) + kFastPowMagic;
    // A negative high word would set the sign bit and turn a tiny power into a
    // huge negative number; the true value is below anything a colour can show.
    if (!(word >= 0.0)) return 0.0;
    if (word > kLargestHighWord) word = kLargestHighWord;
    const auto outHigh = static_cast<std::uint64_t>(static_cast<std::uint32_t>(word));
    return std::bit_cast<double>(outHigh << 32);
}

double highlightCurve(double x) {
    if (!(x > kCurveKnee)) return 0.0;
    const double y = x - kCurveKnee;
    return y * (0.110237 + y * (4.73301 + y * (133.759 + y * (2798.76 + y * 46240.4))));
}

double glintCurve(double x) {
    if (!(x > kCurveKnee)) return 0.0;
    const double y = x - kCurveKnee;
    return y * (0.43816 + y * (14.0497 + y * (295.247 + y * (4573.13 + y * 55672.8))));
}

double smithLambda(double x, double sigma2) {
    const double across = (1.0 - x * x) * 2.0 * sigma2;
    // Along the normal (x = 1) no facet hides another: the limit is 0.
    if (!(across > 0.0)) return 0.0;
    const double a = x / std::sqrt(across);
    if (!(a > 0.0) || !std::isfinite(a)) return 0.0;
    const double lambda = (math::exp(-a * a) - erfcApprox(a) * a * kSqrtPi) / (a * 2.0 * kSqrtPi);
    return lambda > 0.0 && std::isfinite(lambda) ? lambda : 0.0;
}

double sparkleTone(double y) {
    if (!(y > 0.0)) return 0.0;
    if (y < 1.413) return math::pow(0.38317 * y, 1.0 / 2.2);
    return 1.0 - math::exp(-y);
}

double microfacetSparkle(const Vec3d& light, const Vec3d& view, const Vec3d& normal, double sx2,
                         double sz2) {
    // The surface model never hands out less than 0.04; hold smaller values
    // there so that the distribution's normalisation cannot divide by zero.
    constexpr double kMinVariance = 0.04;
    if (!(sx2 >= kMinVariance)) sx2 = kMinVariance;
    if (!(sz2 >= kMinVariance)) sz2 = kMinVariance;
    if (!std::isfinite(sx2) || !std::isfinite(sz2)) return 0.0;

    const double nl = dotProduct(normal, light);
    if (!(nl >= 0.0)) return 0.0;
    const Vec3d half = unitVector(Vec3d{light.x + view.x, light.y + view.y, light.z + view.z});
    const double e = dotProduct(half, normal);
    // A half vector lying in the facet's plane has infinite slope: no facet
    // of the distribution points that way.
    if (!(std::fabs(e) > 1e-6)) return 0.0;
    // The slopes are read in a frame with up as the third axis, whose axes
    // (1, 0, 0) and (0, 0, 1) are x and up: q is the half vector's up component
    // over e. Taking the water's z axis instead makes the sparkle, at its gain of
    // 1000, a saturated white field over much of a backlit picture.
    const double p = half.x / e;
    const double q = half.y / e;
    const double distribution =
        math::exp(-0.5 * (p * p / sx2 + q * q / sz2)) / (2.0 * kPi * std::sqrt(sx2 * sz2));

    // The slope variance seen along a direction's azimuth in the water plane,
    // blended between the two axes.
    auto azimuthVariance = [&](const Vec3d& d) {
        const double phi = math::atan2(d.z, d.x);
        const double w = 1.0 / (phi * phi + 1.0);
        return (1.0 - w) * sz2 + w * sx2;
    };
    const double nv = dotProduct(normal, view);
    const double cosL = nl > 0.01 ? nl : 0.01;
    const double cosV = nv > 0.01 ? nv : 0.01;
    const double masking =
        smithLambda(cosL, azimuthVariance(light)) + 1.0 + smithLambda(cosV, azimuthVariance(view));
    const double oneMinus = 1.0 - dotProduct(half, view);
    const double fresnel = 0.02 + 0.98 * math::pow(oneMinus > 0.0 ? oneMinus : 0.0, 5.0);
    const double e2 = e * e;
    const double s = fresnel * distribution / (masking * cosV * e2 * e2 * 4.0);
    return std::isfinite(s) && s > 0.0 ? s : 0.0;
}

}  // namespace mirel::render
