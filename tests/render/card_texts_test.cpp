#include "card_texts.hpp"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace zaro::ZaroSessionPreviewCard {
namespace {

using Kind = ZaroSessionLap::Kind;

ZaroSessionLap lap(std::optional<std::int64_t> number, double timeSec, std::vector<double> sectors = {},
                   Kind kind = Kind::lap)
{
    return ZaroSessionLap{.kind = kind, .number = number, .timeSec = timeSec, .sectors = std::move(sectors)};
}

TEST(CardStatTexts, FormatsEverySessionFigureForItsTile)
{
    ZaroSession session;
    session.startedAt = "2024-06-01T09:00:00Z";
    session.endedAt = "2024-06-01T09:21:05Z";
    session.lapCount = 12;
    session.bestLapSec = 83.456;
    session.pointCount = 48213;
    session.distanceM = 15250;
    session.maxSpeedMps = 10;

    const StatTexts texts = statTexts(session);
    EXPECT_EQ(texts.bestLap, "1:23.456");
    EXPECT_EQ(texts.laps, "12");
    EXPECT_EQ(texts.duration, "21:05");
    EXPECT_EQ(texts.distance, "15.25 km");
    EXPECT_EQ(texts.maxSpeed, "36.0 km/h");
    EXPECT_EQ(texts.samples, "48213");
}

TEST(CardStatTexts, ShowsTheDashForAbsentOrUnreadableFigures)
{
    ZaroSession session;
    session.lapCount = -3;
    session.distanceM = 999.4;

    const StatTexts texts = statTexts(session);
    EXPECT_EQ(texts.bestLap, "\u2014");
    EXPECT_EQ(texts.laps, "-3");
    EXPECT_EQ(texts.duration, "\u2014");
    EXPECT_EQ(texts.distance, "999 m");
    EXPECT_EQ(texts.maxSpeed, "\u2014");
    EXPECT_EQ(texts.samples, "0");
}

TEST(CardLapNames, NumberTheLapOrSayLapAlone)
{
    EXPECT_EQ(lapName(lap(7, 60)), "Lap 7");
    EXPECT_EQ(lapName(lap(0, 60)), "Lap 0");
    EXPECT_EQ(lapName(lap(-2, 60)), "Lap -2");
    EXPECT_EQ(lapName(lap(std::nullopt, 60)), "Lap");
}

TEST(CardSectorTexts, KeepOnlySectorsAboveZeroJoinedByADot)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        std::vector<double> sectors;
        std::string text;
    };
    const Case cases[] = {
        {{}, ""},
        {{0, 0, 0}, ""},
        {{31.2, 0, 29.8}, "31.200  \u00B7  29.800"},
        {{-1, 31.2, nan, 61.5}, "31.200  \u00B7  1:01.500"},
        {{nan}, ""},
        {{inf, 0.001}, "\u2014  \u00B7  0.001"},
        {{28.1, 29.2, 30.3}, "28.100  \u00B7  29.200  \u00B7  30.300"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sectorText(lap(1, 90, c.sectors)), c.text) << testing::PrintToString(c.sectors);
    }
}

TEST(CardSectorTexts, StopAfterTheSectorThatReachesTheByteLimit)
{
    const ZaroSessionLap l = lap(1, 90, {28.1, 29.2, 30.3, 31.4});
    // "28.100" is 6 bytes, each further sector adds 6 bytes of separator and 6 of time.
    EXPECT_EQ(sectorText(l, 0), "");
    EXPECT_EQ(sectorText(l, 1), "28.100");
    EXPECT_EQ(sectorText(l, 6), "28.100");
    EXPECT_EQ(sectorText(l, 7), "28.100  \u00B7  29.200");
    EXPECT_EQ(sectorText(l, 18), "28.100  \u00B7  29.200");
    EXPECT_EQ(sectorText(l, 19), "28.100  \u00B7  29.200  \u00B7  30.300");
}

TEST(CardLapRows, ListCompletedLapsInStoredOrderUpToTheLimit)
{
    ZaroSession session;
    session.laps = {
        lap(1, 95.5, {}, Kind::incomplete),
        lap(2, 83.456, {41.2, 42.256}),
        lap(std::nullopt, 84.0),
        lap(4, 70.0, {}, Kind::incomplete),
        lap(5, 59.9996, {0, 30}),
        lap(6, 85.0),
    };
    const std::vector<LapRowTexts> expected = {
        {"Lap 2", "1:23.456", "41.200  \u00B7  42.256"},
        {"Lap", "1:24.000", ""},
        {"Lap 5", "60.000", "30.000"},
    };
    const auto rows = lapRowTexts(session, 3);
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].name, expected[i].name) << i;
        EXPECT_EQ(rows[i].time, expected[i].time) << i;
        EXPECT_EQ(rows[i].sectors, expected[i].sectors) << i;
    }
    EXPECT_EQ(lapRowTexts(session, 0).size(), 0U);
    EXPECT_EQ(lapRowTexts(session, 100).size(), 4U);
}

TEST(CardLapRows, AreNoneWhenEveryLapIsIncomplete)
{
    ZaroSession session;
    session.laps = {lap(1, 60, {}, Kind::incomplete), lap(2, 61, {}, Kind::incomplete)};
    EXPECT_EQ(lapRowTexts(session, 8).size(), 0U);
}

}  // namespace
}  // namespace zaro::ZaroSessionPreviewCard
