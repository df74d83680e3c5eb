// The step's sines, cosines and arcsines against the library's, over the angles logs give them.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "parser/angles.hpp"
#include "parser/session_fold.hpp"

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

TEST(Angles, CosinesAndStepsWorkedOutInBatchesAreThoseOfEachFixToTheBit)
{
    // Fixes metres apart round a circuit, with what sends a step or a cosine to the library mixed in:
    // jumps of hundreds of kilometres, latitudes at the poles and about the eighth turn, repeats, signed zeros.
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> jitter(-2e-5, 2e-5);
    std::uniform_int_distribution<int> kind(0, 60);
    std::vector<double> lat;
    std::vector<double> lon;
    double la = 52.07;
    double lo = -1.01;
    for (int i = 0; i < 200000; ++i) {
        switch (kind(random)) {
        case 0: la = -la; break;
        case 1: lo += 3; break;
        case 2: la = 90; break;
        case 3: la = std::nextafter(45.0, 0.0); break;
        case 4: la = 45 + jitter(random); break;
        case 5: la = 0.0; break;
        case 6: la = -0.0; break;
        case 7: la = 89.99999; break;
        case 8: break;  // the fix again
        default:
            la = std::clamp(la + jitter(random), -90.0, 90.0);
            lo += jitter(random);
        }
        lat.push_back(la);
        lon.push_back(lo);
    }
    // Every width of vector this machine runs, each on batches of every length from one fix on.
    for (int width = 0; width <= static_cast<int>(widestVectors()); ++width) {
        const auto vectors = static_cast<Vectors>(width);
        for (const std::size_t count : {lat.size(), std::size_t{1}, std::size_t{2}, std::size_t{5}, std::size_t{258}}) {
            std::vector<double> cosines(count);
            std::vector<double> steps(count);
            detail::latitudeCosines(lat.data(), cosines.data(), count, vectors);
            detail::stepsBetween(lat.data(), lon.data(), cosines.data(), steps.data(), count, vectors);
            for (std::size_t i = 0; i < count; ++i) {
                const Fix fix = Fix::at(lat[i], lon[i]);
                ASSERT_EQ(std::bit_cast<std::uint64_t>(cosines[i]), std::bit_cast<std::uint64_t>(fix.cosLat)) << lat[i] << " " << width;
                if (i == 0) continue;
                const double step = greatCircleMetres(Fix::at(lat[i - 1], lon[i - 1]), fix);
                ASSERT_EQ(std::bit_cast<std::uint64_t>(steps[i]), std::bit_cast<std::uint64_t>(step)) << i << " " << width;
            }
        }
    }
}

}  // namespace
}  // namespace zaro::ZaroSessionParser
