// Header names, lap rows, lap inference, speed units and the track thinning.
#include <cmath>
#include <sstream>

#include <gtest/gtest.h>

#include "header.hpp"
#include "laps.hpp"
#include "rows.hpp"
#include "support/cases.hpp"

using namespace zaro;
using namespace zaro::ZaroSessionParser::detail;
using support::readCases;

using Kind = ZaroSessionLap::Kind;

TEST(NormalizeColumnName, StripsMarkerThenUnitAndResolvesAliases)
{
    for (const auto& c : readCases("parser/normalize_column_name.cases")) EXPECT_EQ(normalizeColumnName(c[0]), c[1]) << c.where;
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
        std::optional<ZaroSessionLap> expected;
        if (c.fields.at(1)) {
            expected = ZaroSessionLap{c[1] == "lap" ? Kind::lap : Kind::incomplete, std::nullopt, std::stod(c[3]), {}};
            if (c.fields.at(2)) expected->number = std::stoll(c[2]);
            std::istringstream words(c[4]);
            std::vector<double> sectors;
            for (double sector; words >> sector;) sectors.push_back(sector);
            expected->sectors = SectorList(std::move(sectors));
        }
        EXPECT_EQ(parseLapRow(c[0]), expected) << c.where;
    }
}

namespace {

InferredLaps infer(const std::vector<std::pair<std::int64_t, std::int64_t>>& lapAndMs)
{
    InferredLaps inferred;
    for (const auto& [lap, ms] : lapAndMs) inferred.update(lap, ms * 10);
    return inferred;
}

}  // namespace

TEST(BuildLaps, InfersOutLapLapsAndTheLastLapFromTheLapColumn)
{
    const auto rows = std::vector<std::pair<std::int64_t, std::int64_t>>{
        {0, 0}, {0, 1000}, {1, 2000}, {1, 3000}, {2, 4000}, {2, 5000}, {0, 6000}};
    EXPECT_EQ(buildLaps(infer(rows)),
              (std::vector<ZaroSessionLap>{{Kind::incomplete, std::nullopt, 2.0, {}}, {Kind::lap, 1, 2.0, {}}, {Kind::lap, 2, 2.0, {}}}));
    auto unfinished = rows;
    unfinished.pop_back();
    EXPECT_EQ(buildLaps(infer(unfinished)).back(), (ZaroSessionLap{Kind::incomplete, std::nullopt, 1.0, {}}));

    // Lap 1 runs until lap 3 starts when lap 2 never appears.
    EXPECT_EQ(buildLaps(infer({{1, 0}, {3, 5000}, {3, 6000}})),
              (std::vector<ZaroSessionLap>{{Kind::lap, 1, 5.0, {}}, {Kind::incomplete, std::nullopt, 1.0, {}}}));
    EXPECT_EQ(buildLaps(infer({{0, 0}, {0, 1000}})), std::vector<ZaroSessionLap>{});
    // A lap whose start is not before the next one's has no time and is left out.
    EXPECT_EQ(buildLaps(infer({{1, 5000}, {2, 5000}, {2, 5000}})), std::vector<ZaroSessionLap>{});
}

TEST(BuildLaps, RoundsToTheNearestMillisecondFromExactTicks)
{
    InferredLaps inferred;
    for (const auto& [lap, ticks] : {std::pair{1, 0}, {2, 834125}, {0, 834126}}) inferred.update(lap, ticks);  // 83412.5 ms
    EXPECT_EQ(buildLaps(inferred).front().timeSec, 83.413);
}

TEST(SummariseLaps, PrefersAStatedCountAndBestLapThatRead)
{
    const std::vector<ZaroSessionLap> listed = {
        {Kind::lap, 1, 84.0, {}}, {Kind::incomplete, std::nullopt, 30.0, {}}, {Kind::lap, 2, 83.0, {}}, {Kind::lap, 3, 83.0, {}}};
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
    EXPECT_EQ(speedConversion("Speed (km/h)", 100) * 100, 27.77777777777778);
    EXPECT_EQ(speedConversion("Speed (MPH)", 10), 1 / 2.2369362921);
    EXPECT_EQ(speedConversion("speed_kph", 10), 1 / 3.6);
    EXPECT_EQ(speedConversion("Speed (m/s)", 100), 1.0);
    EXPECT_EQ(speedConversion("Speed", 55.0), 1.0);
    EXPECT_EQ(speedConversion("Speed", 55.1) * 55.1, 15.305555555555557);
    EXPECT_EQ(speedConversion("", 100), 1 / 3.6);
    EXPECT_EQ(speedConversion("KPH", 1), 1 / 3.6);
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
    for (std::size_t i = 0; i < 200; ++i) EXPECT_EQ(thousand[i].lat, std::round(999.0 / 199.0 * static_cast<double>(i)));
    EXPECT_EQ(thousand[25].lat, 126);

    EXPECT_EQ(downsample(std::vector<ZaroSessionPoint>(500, {1, 2})), (std::vector<ZaroSessionPoint>{{1, 2}}));
    EXPECT_EQ(downsample({}), std::vector<ZaroSessionPoint>{});
    EXPECT_EQ(downsample(std::vector<ZaroSessionPoint>(150, {1, 1})), std::vector<ZaroSessionPoint>(150, {1, 1}));
}
