// Header names, lap rows, lap inference, speed units and the track thinning.
#include <cmath>

#include <gtest/gtest.h>

#include "parser_internal.hpp"

using namespace zaro;
using namespace zaro::ZaroSessionParser::detail;

using Kind = ZaroSessionLap::Kind;

TEST(NormalizeColumnName, StripsMarkerThenUnitAndResolvesAliases)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Latitude (deg)", "Latitude"},
        {"  Time  ", "Time"},
        {"GForceX *acc", "GForceX"},
        {"Speed (km/h) *calc", "Speed"},
        {"Speed *calc (km/h)", "Speed *calc"},
        {"Speed*calc", "Speed*calc"},
        {"Speed *CALC", "Speed *CALC"},
        {"GyroX *gyro ", "GyroX"},
        {"Lean Angle (deg)", "LeanAngle"},
        {"LAT_DEG", "Latitude"},
        {"speed_kph", "Speed"},
        {"Lap #", "Lap"},
        {"Longitudinal Acceleration (g)", "GForceX"},
        {"lateral acceleration", "GForceY"},
        {"Time_ms", "Record"},
        {"A (x) (y)", "A (x)"},
        {"Speed (km(h)", "Speed"},
        {"Speed (km/h) x", "Speed (km/h) x"},
        {"latitude", "latitude"},
        {"(deg)", ""},
        {"Speed\u2003(km/h)", "Speed"},
    };
    for (const auto& [field, key] : cases) EXPECT_EQ(normalizeColumnName(field), key) << field;
}

TEST(MapColumns, TakesTheFirstColumnOfEachKeyAndTheRawSpeedHeader)
{
    const ColumnMap map = mapColumns("Time,Latitude (deg),Latitude,\"Longitude\",Speed (MPH),speed_kph,Lap");
    EXPECT_EQ(map[Column::time], 0);
    EXPECT_EQ(map[Column::latitude], 1);
    EXPECT_EQ(map[Column::longitude], 3);
    EXPECT_EQ(map[Column::speed], 4);
    EXPECT_EQ(map[Column::lap], 6);
    EXPECT_FALSE(map.has(Column::gForceX));
    EXPECT_EQ(map.speedColumn, "Speed (MPH)");
}

TEST(ParseLapRow, ReadsLapAndIncompleteRowsWithSectors)
{
    const std::vector<std::pair<std::string, std::optional<ZaroSessionLap>>> cases = {
        {"Lap 7,83.412", ZaroSessionLap{Kind::lap, 7, 83.412, {}}},
        {"Lap 3,84.512,Sectors,27.9,28.1,28.512", ZaroSessionLap{Kind::lap, 3, 84.512, {27.9, 28.1, 28.512}}},
        {"Lap 1, 16.000, sectors, 0,0,0,0,16.000", ZaroSessionLap{Kind::lap, 1, 16.0, {0, 0, 0, 0, 16.0}}},
        {"Incomplete Lap,41.2,Sectors,20.0,x,21.2", ZaroSessionLap{Kind::incomplete, std::nullopt, 41.2, {20.0, 21.2}}},
        {"INCOMPLETE LAP,41.2", ZaroSessionLap{Kind::incomplete, std::nullopt, 41.2, {}}},
        {"Lap 2,80,notes,Sectors", ZaroSessionLap{Kind::lap, 2, 80, {}}},
        {"Lap 2,80,27,Sectors,x,1", ZaroSessionLap{Kind::lap, 2, 80, {1}}},
        {"\"Lap 4\",\"80.5\"", ZaroSessionLap{Kind::lap, 4, 80.5, {}}},
        {"Lap 5Lap,80", ZaroSessionLap{Kind::lap, 5, 80, {}}},
        {"Lap -1,80", ZaroSessionLap{Kind::lap, -1, 80, {}}},
        {"lap 3,80.1", std::nullopt},
        {"Lap 3", std::nullopt},
        {"Lap x,80.1", std::nullopt},
        {"Lap ,80.1", std::nullopt},
        {"Lap 3,1:23.4", std::nullopt},
        {"Lap \u03013,80", std::nullopt},
        {"Incomplete lap", std::nullopt},
        {"Incomplete lap,abc", std::nullopt},
        {"Laps,3", std::nullopt},
    };
    for (const auto& [line, lap] : cases) EXPECT_EQ(parseLapRow(line), lap) << line;
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
    EXPECT_EQ(buildLaps(infer(rows)), (std::vector<ZaroSessionLap>{
                                          {Kind::incomplete, std::nullopt, 2.0, {}},
                                          {Kind::lap, 1, 2.0, {}},
                                          {Kind::lap, 2, 2.0, {}},
                                      }));
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
    inferred.update(1, 0);
    inferred.update(2, 834125);  // 83412.5 ms
    inferred.update(0, 834126);
    EXPECT_EQ(buildLaps(inferred).front().timeSec, 83.413);
}

TEST(SummariseLaps, PrefersStatedCountAndBestLap)
{
    const std::vector<ZaroSessionLap> listed = {
        {Kind::lap, 1, 84.0, {}}, {Kind::incomplete, std::nullopt, 30.0, {}}, {Kind::lap, 2, 83.0, {}}, {Kind::lap, 3, 83.0, {}}};
    Metadata metadata;
    LapSummary summary = summariseLaps(listed, {}, metadata);
    EXPECT_EQ(summary.lapCount, 3);
    EXPECT_EQ(summary.bestLapSec, 83.0);
    EXPECT_EQ(summary.laps, listed);

    metadata.laps = "12";
    metadata.bestLapTime = "1:23.4";
    summary = summariseLaps(listed, {}, metadata);
    EXPECT_EQ(summary.lapCount, 12);
    EXPECT_EQ(summary.bestLapSec, 83.0);

    metadata.laps = "abc";
    metadata.bestLapTime = "1451.28";
    summary = summariseLaps(listed, {}, metadata);
    EXPECT_EQ(summary.lapCount, 3);
    EXPECT_EQ(summary.bestLapSec, 1451.28);

    summary = summariseLaps({{Kind::incomplete, std::nullopt, 30.0, {}}}, {}, Metadata{});
    EXPECT_EQ(summary.lapCount, 0);
    EXPECT_EQ(summary.bestLapSec, std::nullopt);
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

TEST(GreatCircle, MeasuresOneDegreeOfLongitudeAtTheEquator)
{
    EXPECT_EQ(greatCircleMetres(0, 0, 0, 1), 111194.92664455874);
    EXPECT_EQ(greatCircleMetres(52, -1, 52, -1), 0);
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
    std::vector<ZaroSessionPoint> repeated(150, {1, 1});
    EXPECT_EQ(downsample(repeated), repeated);
}
