// The elementary functions of the filter, written out so that they give the same
// bits on every system: the C libraries of Linux and Windows differ in the last
// bits of sin, exp, pow and the like, and a render must not differ with them.
// Only +, -, *, / and sqrt (all exactly rounded everywhere) and exact operations
// (floor, ldexp, frexp, fmod) are used; results are within about two units in the
// last place of the true value. Float arguments are worked in double and rounded
// once to float.
#pragma once

namespace mirel::math {

double sin(double x);
double cos(double x);
double atan(double x);
// The angle of (x, y), in (-pi, pi], with the C library's rules for zeros,
// infinities and NaN.
double atan2(double y, double x);
double exp(double x);
double exp2(double x);
double log(double x);
double log2(double x);
double pow(double x, double y);
double cbrt(double x);
// sqrt(x^2 + y^2) without overflow or underflow on the way.
double hypot(double x, double y);

inline float sin(float x) {
    return float(sin(double(x)));
}
inline float cos(float x) {
    return float(cos(double(x)));
}
inline float atan(float x) {
    return float(atan(double(x)));
}
inline float exp2(float x) {
    return float(exp2(double(x)));
}
inline float log2(float x) {
    return float(log2(double(x)));
}

}  // namespace mirel::math
