// Header names, lap rows, lap inference, speed units and the track thinning.
#include <algorithm>
#include <cmath>
#include <sstream>

#include <gtest/gtest.h>

#include "header.hpp"
#include "laps.hpp"
#include "rows.hpp"
#include "support/cases.hpp"
#include "support/samples.hpp"

using namespace zaro;
using namespace zaro::ZaroSessionParser;
using namespace zaro::ZaroSessionParser::detail;
using support::readCases;

using Kind = ZaroSessionLap::Kind;

TEST(NormalizeColumnName, StripsMarkerThenUnitAndResolvesAliases)
{
    for (const auto& c : readCases("parser/normalize_column_name.cases")) {
        EXPECT_EQ(normalizeColumnName(c[0]), c[1]) << c.where;
    }
}

TEST(MapColumns, TakesTheFirstColumnOfEachKeyAndTheRawSpeedHeader)
{
    const ColumnMap map = mapColumns("Time,Latitude (deg),Latitude,\"Longitude\",Speed (MPH),speed_kph,Lap");
    EXPECT_EQ(map.positions, (decltype(map.positions){0, 1, 3, 4, std::nullopt, std::nullopt, std::nullopt, 6}));
    EXPECT_EQ(map.speedColumn, "Speed (MPH)");
}

TEST(ParseLapRow, ReadsLapAndIncompleteRowsWithSectors)
{
    for (const auto& c : readCases("parser/lap_rows.cases")) {
        const std::optional<ZaroSessionLap> lap = parseLapRow(c[0]);
        EXPECT_EQ(lap ? std::optional(support::lapText(*lap)) : std::nullopt, c.fields.at(1)) << c.where;
    }
}

TEST(BuildLaps, InfersOutLapLapsAndTheLastLapFromTheLapColumnToTheMillisecond)
{
    for (const auto& c : readCases("parser/lap_inference.cases")) {
        std::string rows = c[0];
        std::replace(rows.begin(), rows.end(), ',', ' ');
        std::istringstream given(rows);
        InferredLaps inferred;
        std::int64_t lap = 0;
        for (double ms = 0; given >> lap >> ms;) inferred.update(lap, std::llround(ms * 10));
        EXPECT_EQ(support::lapText(buildLaps(inferred)), c[1]) << c.where;
    }
}

TEST(SummariseLaps, PrefersAStatedCountAndBestLapThatRead)
{
    const std::vector<ZaroSessionLap> listed = {{Kind::lap, 1, 84.0, {}}, {Kind::incomplete, std::nullopt, 30.0, {}},
                                                {Kind::lap, 2, 83.0, {}}, {Kind::lap, 3, 83.0, {}}};
    const std::tuple<std::optional<std::string>, std::optional<std::string>, std::int64_t, double> cases[] = {
        {std::nullopt, std::nullopt, 3, 83.0}, {"12", "1:23.4", 12, 83.0}, {"abc", "1451.28", 3, 1451.28}};
    for (const auto& [laps, best, count, bestLap] : cases) {
        Metadata metadata;
        metadata.laps = laps;
        metadata.bestLapTime = best;
        const LapSummary summary = summariseLaps(listed, {}, metadata);
        EXPECT_EQ(std::tie(summary.lapCount, summary.bestLapSec, summary.laps), std::tie(count, bestLap, listed));
    }
    const LapSummary none = summariseLaps({listed[1]}, {}, Metadata{});
    EXPECT_EQ(std::tie(none.lapCount, none.bestLapSec), std::tuple(0, std::nullopt));
}

TEST(SpeedConversion, FollowsTheHeaderUnitThenTheFiftyFiveRule)
{
    for (const auto& c : readCases("parser/speed_conversion.cases")) {
        EXPECT_EQ(speedConversion(c[0], std::stod(c[1])), 1 / std::stod(c[2])) << c.where;
    }
}

TEST(Downsample, PicksEvenlySpacedPointsAndDropsEqualNeighbours)
{
    const auto line = [](std::size_t n) {
        std::vector<ZaroSessionPoint> points;
        for (std::size_t i = 0; i < n; ++i) points.push_back({static_cast<double>(i), 0});
        return points;
    };
    EXPECT_EQ(downsample(line(200)), line(200));
    std::vector<ZaroSessionPoint> twoHundredOne = line(201);
    const auto thinned = downsample(twoHundredOne);
    twoHundredOne.erase(twoHundredOne.begin() + 100);
    EXPECT_EQ(thinned, twoHundredOne);
    const auto thousand = downsample(line(1000));
    ASSERT_EQ(thousand.size(), 200u);
    for (std::size_t i = 0; i < 200; ++i) EXPECT_EQ(thousand[i].lat, std::round(999.0 / 199.0 * double(i))) << i;
    EXPECT_EQ(thousand[25].lat, 126);
    EXPECT_EQ(downsample(std::vector<ZaroSessionPoint>(500, {1, 2})), (std::vector<ZaroSessionPoint>{{1, 2}}));
    EXPECT_EQ(downsample({}), std::vector<ZaroSessionPoint>{});
    EXPECT_EQ(downsample(std::vector<ZaroSessionPoint>(150, {1, 1})), std::vector<ZaroSessionPoint>(150, {1, 1}));
}
