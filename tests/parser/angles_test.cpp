// The step's sines, cosines and arcsines against the library's, over the angles logs give them.
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "parser/angles.hpp"

namespace zaro::ZaroSessionParser {
namespace {

// How many doubles apart two finite values of one sign are.
std::uint64_t ulpsApart(double a, double b)
{
    const auto x = std::bit_cast<std::int64_t>(a);
    const auto y = std::bit_cast<std::int64_t>(b);
    return x > y ? static_cast<std::uint64_t>(x - y) : static_cast<std::uint64_t>(y - x);
}

constexpr double degree = 3.141592653589793 / 180;

TEST(Angles, StayWithinAnUlpOfTheLibrary)
{
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> latitude(-90, 90);
    std::uniform_real_distribution<double> exponent(-14, -2);
    std::uniform_int_distribution<int> sign(0, 1);
    for (int i = 0; i < 300000; ++i) {
        const double lat = latitude(random) * degree;
        ASSERT_LE(ulpsApart(latitudeCosine(lat), std::cos(lat)), 1U) << lat;
        // Steps from a thousandth of a millimetre to hundreds of kilometres, across the series' bound.
        const double step = std::pow(10.0, exponent(random));
        const double x = sign(random) ? step : -step;
        ASSERT_LE(ulpsApart(smallSine(x), std::sin(x)), 1U) << x;
        ASSERT_LE(ulpsApart(smallArcsine(step), std::asin(step)), 1U) << step;
    }
    // The quarter turn's edges and the poles, where the cosine's reduction is most delicate.
    for (const double x : {0.0, 45 * degree, std::nextafter(45 * degree, 1.0), 89.99999 * degree, 0x1.921fbp+0,
                           std::nextafter(0x1.921fbp+0, 0.0), 90 * degree, -90 * degree}) {
        EXPECT_LE(ulpsApart(latitudeCosine(x), std::cos(x)), 1U) << x;
    }
    for (const double x : {smallAngle, std::nextafter(smallAngle, 1.0), 0.0, 1.0}) {
        EXPECT_LE(ulpsApart(smallSine(x), std::sin(x)), 1U) << x;
        EXPECT_LE(ulpsApart(smallArcsine(x), std::asin(x)), 1U) << x;
    }
    EXPECT_TRUE(std::isnan(latitudeCosine(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_TRUE(std::isnan(smallSine(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_TRUE(std::isnan(smallArcsine(std::numeric_limits<double>::quiet_NaN())));
}

}  // namespace
}  // namespace zaro::ZaroSessionParser
