// The numeric pieces of water shading: the fast power, the highlight and glint
// curves, the microfacet sparkle with Smith masking and the contrast curve.
// Pure functions of plain numbers, so they can be checked on their own.
#pragma once

#include "render/render_context.h"

namespace mirel::render {

inline double dotProduct(const Vec3d& a, const Vec3d& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// Unit vector of `v`; a zero (or non-finite length) vector becomes zero.
Vec3d unitVector(const Vec3d& v);

// base^exponent from the high 32 bits of the double: the high word h of `base`
// becomes exponent * (h - 1072632447) + 1072632447 and the low word 0. Cheap and
// within a few percent. A base <= 0 or not a number gives 0; a high word that
// would fall below zero (the true power is far below any colour step) gives 0;
// one that would pass the largest finite double is held there.
double fastPow(double base, double exponent);

// The broad highlight curve: 0 up to 0.92, then a steep fifth-order rise.
double highlightCurve(double x);
// The sharper glint curve, same knee.
double glintCurve(double x);

// Smith's masking term for an anisotropic Beckmann surface: x is the cosine of
// the direction against the normal (callers hold it at 0.01 or more), sigma2 the
// slope variance along the direction's azimuth. Never negative; 0 for a
// direction along the normal, where the formula divides by zero.
double smithLambda(double x, double sigma2);

// The sparkle of waves too small to resolve: an anisotropic Beckmann
// distribution with Smith masking and a Schlick Fresnel term. light and normal
// are unit vectors, view points from the water to the eye; sx2 and sz2 are the
// slope variances of the two slope axes, x and up (at least 0.04 from the
// surface model; smaller values are held there so the distribution cannot blow
// up). 0 when the light is behind the normal or the half vector lies in the
// water plane of the facet.
double microfacetSparkle(const Vec3d& light, const Vec3d& view, const Vec3d& normal, double sx2,
                         double sz2);

// The tone of the sparkle: (0.38317 y)^(1/2.2) below 1.413, 1 - exp(-y) above
// (the two meet there).
double sparkleTone(double y);

// The contrast curve x^2 + k (x - x^2): k 1 leaves x alone, k 0 squares it.
inline double contrastCurve(double x, double k) {
    const double square = x * x;
    return square + k * (x - square);
}

}  // namespace mirel::render
