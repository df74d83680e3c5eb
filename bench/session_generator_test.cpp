#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstddef>
#include <numeric>
#include <string>
#include <vector>

#include "session_generator.hpp"
#include "zaro_session_parser.hpp"

namespace zaro {
namespace {

using SessionGenerator::Options;
using SessionGenerator::Shape;

Options threeLaps(Shape shape)
{
    Options options;
    options.shape = shape;
    options.maxBytes = 1'000'000;
    options.timedLaps = 3;
    options.sampleHz = 5;
    return options;
}

std::vector<std::string> firstLines(const std::string& text, std::size_t count)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (lines.size() < count && start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The data rows: every line after the header row.
std::int64_t rowCount(const std::string& file)
{
    const std::size_t header = file.find('\n', file.find(",Latitude"));
    return std::count(file.begin() + static_cast<std::ptrdiff_t>(header) + 1, file.end(), '\n');
}

std::string threeDecimals(double seconds)
{
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.3f", seconds);
    return text.data();
}

std::vector<ZaroSessionLap::Kind> kindsOf(const ZaroSession& session)
{
    std::vector<ZaroSessionLap::Kind> kinds;
    for (const ZaroSessionLap& lap : session.laps) {
        kinds.push_back(lap.kind);
    }
    return kinds;
}

TEST(SessionGenerator, GivesTheSameBytesForTheSameOptionsAndOtherBytesForAnotherSeed)
{
    Options options = threeLaps(Shape::zaroCsv);
    const std::string first = SessionGenerator::generate(options);
    EXPECT_EQ(SessionGenerator::generate(options), first);
    options.seed = 2;
    EXPECT_NE(SessionGenerator::generate(options), first);
}

TEST(SessionGenerator, FillsTheByteBudgetWithoutGoingOver)
{
    for (const Shape shape : {Shape::zaroCsv, Shape::raceBoxCsv, Shape::plainTrack}) {
        Options options;
        options.shape = shape;
        options.maxBytes = 200'000;
        const std::size_t size = SessionGenerator::generate(options).size();
        EXPECT_LE(size, 200'000U);
        EXPECT_GE(size, 200'000U - 400U);
    }
}

TEST(SessionGenerator, WritesTheZaroPreambleLapRowsAndHeader)
{
    Options options = threeLaps(Shape::zaroCsv);
    options.startUnixMs = 1'717'320'600'000;
    const std::string file = SessionGenerator::generate(options);
    const std::vector<std::string> lines = firstLines(file, 12);
    ASSERT_EQ(lines.size(), 12U);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 6),
              (std::vector<std::string>{"Format,ZARO CSV", "Track,Harrowby Park", "Configuration,National", "Session Type,Practice",
                                        "Data Source,ZARO Lap Timer 2.4", "Date UTC,2024-06-02T09:30:00Z"}));
    EXPECT_EQ(lines[10], "");
    EXPECT_EQ(lines[11], "Time,Latitude (deg),Longitude (deg),Speed (km/h),GForceX,GForceY,LeanAngle,Lap");

    const ZaroSession session = ZaroSessionParser::parse(file, "zaro.csv");
    ASSERT_EQ(session.laps.size(), 4U);
    for (std::size_t i = 0; i < 3; ++i) {
        const ZaroSessionLap& lap = session.laps[i];
        ASSERT_EQ(lap.sectors.size(), 3U);
        EXPECT_EQ(lines[6 + i], "Lap " + std::to_string(i + 1) + "," + threeDecimals(lap.timeSec) + ",Sectors," + threeDecimals(lap.sectors[0]) +
                                    "," + threeDecimals(lap.sectors[1]) + "," + threeDecimals(lap.sectors[2]));
    }
    EXPECT_EQ(lines[9], "Incomplete lap," + threeDecimals(session.laps[3].timeSec));
}

TEST(SessionGenerator, WritesTheRaceBoxPreambleWithLapsAndBestLapTime)
{
    Options options = threeLaps(Shape::raceBoxCsv);
    options.configuration = "";
    const std::string file = SessionGenerator::generate(options);
    const std::vector<std::string> lines = firstLines(file, 13);
    ASSERT_EQ(lines.size(), 13U);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 7),
              (std::vector<std::string>{"Format,RaceBox CSV", "Data Source,ZARO Lap Timer 2.4", "Date UTC,2024-06-01T10:15:00+00:00",
                                        "Session Type,Practice", "Track,Harrowby Park", "Configuration,", "Laps,3"}));
    EXPECT_EQ(lines[11], "");
    EXPECT_EQ(lines[12], "Record,Time,Latitude,Longitude,Altitude,Speed,GForceX,GForceY,GForceZ,Lap,GyroX,GyroY,GyroZ");

    // The lap rows and the best time agree with the laps the parser reads from them.
    const ZaroSession session = ZaroSessionParser::parse(file, "racebox.csv");
    ASSERT_EQ(session.laps.size(), 3U);
    double fastest = session.laps.front().timeSec;
    for (std::size_t i = 0; i < 3; ++i) {
        const ZaroSessionLap& lap = session.laps[i];
        ASSERT_EQ(lap.sectors.size(), 4U);
        EXPECT_EQ(lines[8 + i], "Lap " + std::to_string(i + 1) + ", " + threeDecimals(lap.timeSec) + ", sectors, " + threeDecimals(lap.sectors[0]) +
                                    "," + threeDecimals(lap.sectors[1]) + ",0," + threeDecimals(lap.sectors[3]));
        fastest = std::min(fastest, lap.timeSec);
    }
    EXPECT_EQ(lines[7], "Best Lap Time," + threeDecimals(fastest));
    EXPECT_EQ(session.configuration, std::nullopt);
}

// Each shape read back by the parser: the laps it lists or implies, and figures that stay within
// what a rider on this circuit can do.
TEST(SessionGenerator, ParsesBackIntoThreeTimedLapsForEveryShape)
{
    using Kind = ZaroSessionLap::Kind;
    struct Case {
        Shape shape;
        std::vector<Kind> kinds;
        std::size_t sectorsPerLap;
    };
    const std::vector<Case> cases{
        {Shape::zaroCsv, {Kind::lap, Kind::lap, Kind::lap, Kind::incomplete}, 3},
        {Shape::raceBoxCsv, {Kind::lap, Kind::lap, Kind::lap}, 4},
        {Shape::plainTrack, {Kind::incomplete, Kind::lap, Kind::lap, Kind::lap}, 0},
    };
    for (const Case& c : cases) {
        const std::string file = SessionGenerator::generate(threeLaps(c.shape));
        const ZaroSession session = ZaroSessionParser::parse(file, "generated.csv");
        SCOPED_TRACE(file.substr(0, file.find('\n')));

        EXPECT_EQ(kindsOf(session), c.kinds);
        EXPECT_EQ(session.lapCount, 3);
        EXPECT_EQ(session.pointCount, rowCount(file));
        for (const ZaroSessionLap& lap : session.laps) {
            if (lap.kind != Kind::lap) {
                continue;
            }
            EXPECT_GT(lap.timeSec, 85.0);
            EXPECT_LT(lap.timeSec, 100.0);
            ASSERT_EQ(lap.sectors.size(), c.sectorsPerLap);
            EXPECT_NEAR(std::accumulate(lap.sectors.begin(), lap.sectors.end(), 0.0), c.sectorsPerLap == 0 ? 0.0 : lap.timeSec, 1e-9);
        }
        ASSERT_TRUE(session.maxSpeedMps.has_value());
        EXPECT_GT(*session.maxSpeedMps * 3.6, 200.0);
        EXPECT_LT(*session.maxSpeedMps * 3.6, 225.0);
        // Five laps' worth of a circuit of about 3.9 km: out-lap, three laps, in-lap.
        EXPECT_GT(session.distanceM, 14'000.0);
        EXPECT_LT(session.distanceM, 16'000.0);
    }
}

}  // namespace
}  // namespace zaro
