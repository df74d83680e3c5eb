// Compiled for AVX2, and run only where the processor has it. Nothing here may be code that the rest
// of the program could share, as the linker could then keep this file's AVX2 copy for everyone: it
// calls no inline function but the formulas, on a lane type of its own, so their copies are its own
// too. A test checks that the object file defines nothing else.
#include "distance_four.hpp"

#include <immintrin.h>

#include "parser/angles.hpp"

namespace zaro::ZaroSessionParser::detail {

namespace {

// Four lanes of doubles, as the two of session_fold.cpp's Pair: every lane goes through the very
// operations a single value does, so it comes out the same to the bit (no fused multiply-adds: the
// file is built for AVX2 alone).
struct Quad {
    __m256d v;
};
Quad operator+(Quad a, Quad b) { return {_mm256_add_pd(a.v, b.v)}; }
Quad operator-(Quad a, Quad b) { return {_mm256_sub_pd(a.v, b.v)}; }
Quad operator*(Quad a, Quad b) { return {_mm256_mul_pd(a.v, b.v)}; }
Quad operator/(Quad a, Quad b) { return {_mm256_div_pd(a.v, b.v)}; }
Quad all(double x) { return {_mm256_set1_pd(x)}; }
Quad operator+(double a, Quad b) { return all(a) + b; }
Quad operator+(Quad a, double b) { return a + all(b); }
Quad operator-(double a, Quad b) { return all(a) - b; }
Quad operator*(double a, Quad b) { return all(a) * b; }
Quad operator*(Quad a, double b) { return a * all(b); }
Quad operator/(Quad a, double b) { return a / all(b); }
Quad load(const double* p) { return {_mm256_loadu_pd(p)}; }
Quad magnitude(Quad a) { return {_mm256_andnot_pd(_mm256_set1_pd(-0.0), a.v)}; }
// Whether a comparison holds in all four lanes (never for a NaN).
bool allAtMost(Quad a, double b) { return _mm256_movemask_pd(_mm256_cmp_pd(a.v, _mm256_set1_pd(b), _CMP_LE_OQ)) == 15; }
bool allBelow(Quad a, double b) { return _mm256_movemask_pd(_mm256_cmp_pd(a.v, _mm256_set1_pd(b), _CMP_LT_OQ)) == 15; }

}  // namespace

std::uint64_t latitudeCosinesFour(const double* lat, double* cosines, std::size_t blocks)
{
    std::uint64_t left = 0;
    for (std::size_t k = 0; k < blocks; ++k) {
        const std::size_t i = 4 * k;
        const Quad a = magnitude(load(lat + i) * pi / 180);
        if (!allBelow(a, nearPole)) {
            left |= std::uint64_t{1} << k;
            continue;
        }
        const __m256d within = _mm256_cmp_pd(a.v, _mm256_set1_pd(eighthTurn), _CMP_LE_OQ);
        const Quad near = quarterCosine(a, all(0.0));
        const Quad far = cosineBeyondEighthTurn(a);
        _mm256_storeu_pd(cosines + i, _mm256_blendv_pd(far.v, near.v, within));
    }
    return left;
}

std::uint64_t stepsBetweenFour(const double* lat, const double* lon, const double* cosines, double* steps,
                               std::size_t blocks)
{
    std::uint64_t left = 0;
    for (std::size_t k = 0; k < blocks; ++k) {
        const std::size_t i = 4 * k + 1;
        const Quad halfLat = (load(lat + i) - load(lat + i - 1)) * pi / 180 * 0.5;
        const Quad halfLon = (load(lon + i) - load(lon + i - 1)) * pi / 180 * 0.5;
        const Quad sinLat = sineSeries(halfLat);
        const Quad sinLon = sineSeries(halfLon);
        const Quad a = sinLat * sinLat + load(cosines + i - 1) * load(cosines + i) * (sinLon * sinLon);
        const Quad y{_mm256_min_pd(_mm256_set1_pd(1.0), _mm256_sqrt_pd(a.v))};
        if (!allAtMost(magnitude(halfLat), smallAngle) || !allAtMost(magnitude(halfLon), smallAngle)
            || !allAtMost(y, smallAngle)) {
            left |= std::uint64_t{1} << k;
            continue;
        }
        _mm256_storeu_pd(steps + i, (earthDiameterM * arcsineSeries(y)).v);
    }
    return left;
}

}  // namespace zaro::ZaroSessionParser::detail
