// The sines, cosines and arcsines of a great-circle step, without a library call for the common case.
// Consecutive fixes of a log lie metres apart, so the half-differences whose sines a step takes, and
// the arcsine of its half-chord, are tiny angles, for which a few terms of their series are exact to
// the last bit; a latitude's cosine is a short polynomial once its angle is within a quarter turn.
// Each stays within an ulp of the library's value and is a pure function of its argument, so the
// pieces a file is read in still add up to the same distance.
#pragma once

#include <cmath>

namespace zaro::ZaroSessionParser {

inline constexpr double pi = 3.141592653589793;
/// The diameter of the sphere that steps are measured on, in metres.
inline constexpr double earthDiameterM = 12742000.0;

/// The largest angle, in radians, that `smallSine` and `smallArcsine` take their series for: about
/// 12 km on the Earth's surface, far more than a logger moves between two fixes.
inline constexpr double smallAngle = 0x1p-10;

namespace detail {

// The formulas below are templates so that the distance can run them on two steps at once: `T` is a
// double or a pair of them, and either way every lane goes through the same operations in the same
// order, so it comes out the same to the bit.

/// sin(x) by its Taylor series up to x^7, for |x| <= smallAngle.
template <typename T>
inline T sineSeries(T x)
{
    const T x2 = x * x;
    return x + x * x2 * (-1.0 / 6 + x2 * (1.0 / 120 - x2 * (1.0 / 5040)));
}

/// asin(y) by its series up to y^7, for 0 <= y <= smallAngle.
template <typename T>
inline T arcsineSeries(T y)
{
    const T y2 = y * y;
    return y + y * y2 * (1.0 / 6 + y2 * (3.0 / 40 + y2 * (15.0 / 336)));
}

// sin(x + tail) and cos(x + tail) for |x| <= pi/4, |tail| tiny next to x: the polynomials of fdlibm's
// kernels (Sun Microsystems, 1993), whose error stays below an ulp.
template <typename T>
inline T quarterSine(T x, T tail)
{
    constexpr double s1 = -1.66666666666666324348e-01;
    constexpr double s2 = 8.33333333332248946124e-03;
    constexpr double s3 = -1.98412698298579493134e-04;
    constexpr double s4 = 2.75573137070700676789e-06;
    constexpr double s5 = -2.50507602534068634195e-08;
    constexpr double s6 = 1.58969099521155010221e-10;
    const T z = x * x;
    const T v = z * x;
    const T r = s2 + z * (s3 + z * (s4 + z * (s5 + z * s6)));
    return x - ((z * (0.5 * tail - v * r) - tail) - v * s1);
}

template <typename T>
inline T quarterCosine(T x, T tail)
{
    constexpr double c1 = 4.16666666666666019037e-02;
    constexpr double c2 = -1.38888888888741095749e-03;
    constexpr double c3 = 2.48015872894767294178e-05;
    constexpr double c4 = -2.75573143513906633035e-07;
    constexpr double c5 = 2.08757232129817482790e-09;
    constexpr double c6 = -1.13596475577881948265e-11;
    const T z = x * x;
    const T w = z * z;
    const T r = z * (c1 + z * (c2 + z * c3)) + w * w * (c4 + z * (c5 + z * c6));
    const T hz = 0.5 * z;
    const T one = 1.0 - hz;
    return one + (((1.0 - one) - hz) + (z * r - x * tail));
}

/// The first double whose high 32 bits are those of the quarter turn: from there on, subtracting the
/// turn's head leaves too few bits for its tail to make up.
inline constexpr double nearPole = 0x1.921fbp+0;
inline constexpr double eighthTurn = 7.85398163397448278999e-01;

/// cos(a) for eighthTurn < a < nearPole: sin(pi/2 - a), with pi/2 - a to twice a double's precision.
template <typename T>
inline T cosineBeyondEighthTurn(T a)
{
    // A quarter turn in two parts, the first with its low bits zero so that subtracting it is exact.
    constexpr double quarterHead = 1.57079632673412561417e+00;
    constexpr double quarterTail = 6.07710050650619224932e-11;
    const T rest = quarterHead - a;
    const T head = rest + quarterTail;
    const T tail = (rest - head) + quarterTail;
    return quarterSine(head, tail);
}

}  // namespace detail

/// sin(x); by its Taylor series up to x^7 when |x| <= smallAngle, whose next term is below 2^-70 of x.
inline double smallSine(double x)
{
    if (!(std::fabs(x) <= smallAngle)) return std::sin(x);
    return detail::sineSeries(x);
}

/// asin(y) for 0 <= y <= 1; by its series up to y^7 when y <= smallAngle, whose next term is below
/// 2^-75 of y.
inline double smallArcsine(double y)
{
    if (!(y <= smallAngle)) return std::asin(y);
    return detail::arcsineSeries(y);
}

/// cos(x) for a latitude in radians; by polynomial within a quarter turn either way, but for a hair's
/// breadth at the poles (where the turn's last bits would count) and beyond, which the library takes.
inline double latitudeCosine(double x)
{
    const double a = std::fabs(x);
    if (a <= detail::eighthTurn) return detail::quarterCosine(a, 0.0);
    if (!(a < detail::nearPole)) return std::cos(x);
    return detail::cosineBeyondEighthTurn(a);
}

}  // namespace zaro::ZaroSessionParser
