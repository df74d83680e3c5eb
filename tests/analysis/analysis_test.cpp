// Best sectors, the theoretical best, gaps to the best lap and clean-lap consistency of literal sessions.
#include "analysis/session_analysis.hpp"

#include <cmath>
#include <limits>
#include <string_view>

#include <gtest/gtest.h>

#include "support/samples.hpp"

namespace zaro {
namespace {

using support::incompleteLap;
using support::lap;
namespace analysis = ZaroSessionAnalysis;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

TEST(ZaroSessionAnalysis, FindsBestSectorsOnlyWhenEveryLapWithSectorsHasTheSameUsableOnes)
{
    const struct {
        std::string_view what;
        std::vector<ZaroSessionLap> laps;
        std::vector<double> best;
    } cases[] = {
        {"equal counts, the incomplete lap and a lap without sectors aside",
         {lap(1, 84, {28.0, 28.5, 27.5}), incompleteLap(60), lap(2, 85), lap(3, 83, {27.8, 28.6, 27.1})},
         {27.8, 28.5, 27.1}},
        {"ties", {lap(1, 56, {28, 28}), lap(2, 56, {28, 28})}, {28, 28}},
        {"mixed counts", {lap(1, 84, {28, 28, 28}), lap(2, 56, {28, 28})}, {}},
        {"a missing sector", {lap(1, 84, {28, 0, 28}), lap(2, 84, {28, 28, 28})}, {}},
        {"an unreadable sector", {lap(1, 84, {28, 28, 28}), lap(2, 84, {28, nan, 28})}, {}},
        {"one lap with sectors", {lap(1, 84, {28, 28, 28}), lap(2, 84)}, {}},
        {"one sector a lap", {lap(1, 84, {84}), lap(2, 85, {85})}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(analysis::bestSectors(c.laps), c.best) << c.what;
        const auto figures = analysis::analyse(support::sampleSession(c.laps));
        EXPECT_EQ(figures.theoreticalBestSec.has_value(), !c.best.empty()) << c.what;
    }
    // 31.413 + 27.285 + 32.566 is 91.26400000000001 in doubles.
    const auto laps = {lap(1, 93, {31.413, 28, 32.566}), lap(2, 94, {32, 27.285, 33})};
    EXPECT_EQ(analysis::analyse(support::sampleSession(laps)).theoreticalBestSec, 91.264);
}

TEST(ZaroSessionAnalysis, MeasuresConsistencyOverTheLapsWithinSevenPercentOfTheBest)
{
    const struct {
        std::string_view what;
        std::vector<ZaroSessionLap> laps;
        std::optional<double> best;
        std::int64_t clean;
        std::optional<double> mean, deviation;
    } cases[] = {
        {"laps up to 107 %, no unusable ones",
         {lap(1, 80), lap(2, 84), lap(3, 85.6), lap(4, 86), lap(5, nan), lap(6, 0), incompleteLap(81)},
         80, 3, 83.2, std::sqrt(8.32)},
        {"one clean lap", {lap(1, 80), lap(2, 90)}, 80, 1, 80, std::nullopt},
        {"a stated best slower than every lap", {lap(1, 80), lap(2, 82)}, 90, 2, 81, std::sqrt(2.0)},
        {"no best lap", {lap(1, 80)}, std::nullopt, 0, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        ZaroSession session = support::sampleSession(c.laps);
        session.bestLapSec = c.best;
        const auto figures = analysis::analyse(session);
        EXPECT_EQ(figures.cleanLapCount, c.clean) << c.what;
        // Within a few units in the last place of the expected figure, or both absent.
        const auto near = [](std::optional<double> a, std::optional<double> b) {
            return a.has_value() == b.has_value() && (!a || std::abs(*a - *b) <= 1e-12 * std::abs(*b));
        };
        EXPECT_TRUE(near(figures.meanCleanLapSec, c.mean)) << c.what;
        EXPECT_TRUE(near(figures.stdDevCleanLapSec, c.deviation)) << c.what;
    }
}

TEST(ZaroSessionAnalysis, GivesEachLapItsGapToTheBestLap)
{
    EXPECT_EQ(analysis::deltaToBest(lap(1, 84.5), 83.456), 1.044);  // not 1.043999999999997
    EXPECT_EQ(analysis::deltaToBest(lap(1, 83.5), 84), -0.5);
    EXPECT_EQ(analysis::deltaToBest(lap(1, 84.5), std::nullopt), std::nullopt);
}

}  // namespace
}  // namespace zaro
