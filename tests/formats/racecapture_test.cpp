// RaceCapture logs: channels at their own rates in sparse rows, positions carrying the latest speed
// and accelerations, laps where the lap count goes up, timed by the lap time in minutes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "parser/parse_error.hpp"
#include "readers.hpp"
#include "round_trip.hpp"

namespace zaro::formats {
namespace {

const std::string header = R"("Interval"|"ms"|0|0|1,"Utc"|"ms"|0|0|1,"AccelX"|"G"|-3.0|3.0|25,"AccelY"|"G"|-3.0|3.0|25,)"
                           R"("Latitude"|"Degrees"|-180.0|180.0|10,"Longitude"|"Degrees"|-180.0|180.0|10,)"
                           R"("Speed"|"MPH"|0.0|150.0|10,"LapCount"|""|0|0|1,"LapTime"|"Min"|0.0|0.0|1)" "\r\n";
// No fix yet, then a fix a second heading north; the accelerometer's rows between fixes carry their
// g to the next fix (0.8) or to none (2.5, after the last). The lap count goes up at 2 s, 6 s and 10 s.
const std::string rows = "402,0,0.01,0.02,,,,0,0.0000\r\n"
                         "1402,1609459200000,0.1,0.1,40.0,-105.0,30.0,0,0.0000\r\n"
                         "1902,1609459200500,0.8,-0.3,,,,,\r\n"
                         "2402,1609459201000,,,40.0002,-105.0,40.0,,\r\n"
                         "3402,1609459202000,0.1,0.1,40.0004,-105.0,50.0,1,0.0000\r\n"
                         "4402,1609459203000,0.1,0.1,40.0006,-105.0,,,\r\n"
                         "5402,1609459204000,0.1,0.1,40.0008,-105.0,60.0,,\r\n"
                         "6402,1609459205000,0.1,0.1,40.0010,-105.0,62.0,,\r\n"
                         "7402,1609459206000,0.1,0.1,40.0012,-105.0,64.0,2,0.0667\r\n"
                         "8402,1609459207000,0.1,0.1,40.0014,-105.0,66.0,,\r\n"
                         "9402,1609459208000,0.1,0.1,40.0016,-105.0,68.0,,\r\n"
                         "10402,1609459209000,0.1,0.1,40.0018,-105.0,70.0,,\r\n"
                         "11402,1609459210000,0.1,0.1,40.0020,-105.0,72.0,3,0.0700\r\n"
                         "12402,1609459211000,0.1,0.1,40.0022,-105.0,74.0,3,0.0700\r\n"
                         "12902,1609459211500,2.5,2.5,,,,,\r\n";

std::vector<double> lapTimes(const ZaroSession& session)
{
    std::vector<double> times;
    for (const ZaroSessionLap& lap : session.laps) times.push_back(lap.kind == ZaroSessionLap::Kind::lap ? lap.timeSec : -lap.timeSec);
    return times;
}

ParseError::Kind errorOf(const std::string& text)
{
    try {
        readRaceCapture(text, "f.log", 1);
    } catch (const ParseError& error) {
        return error.kind();
    }
    return ParseError::Kind::empty;
}

TEST(RaceCapture, RecognisedByItsHeaderCells)
{
    EXPECT_TRUE(recognisesRaceCapture(header));
    EXPECT_TRUE(recognisesRaceCapture("\n\"Battery\"|\"Volts\"|0.0|50.0,\"Latitude\"|\"Degrees\"|-180.0|180.0|10\n"));
    EXPECT_FALSE(recognisesRaceCapture("\"Interval\"|\"ms\"|0|0|1\n"));
    EXPECT_FALSE(recognisesRaceCapture("\"Time\",\"UTC Time\",\"Lap\",\"Latitude\",\"Longitude\"\n"));
    EXPECT_FALSE(recognisesRaceCapture("\"Latitude\"|\"Degrees\",\"Longitude\"|\"Degrees\"\n"));
    EXPECT_FALSE(recognisesRaceCapture(""));
}

TEST(RaceCapture, SparseRowsFoldIntoFixesAndLaps)
{
    const ZaroSession session = readRaceCapture(header + rows, "rc_12.log", 1);
    EXPECT_EQ(session.dataSource, "RaceCapture");
    EXPECT_EQ(session.pointCount, 12);
    EXPECT_DOUBLE_EQ(session.polyline.front().lat, 40.0);
    EXPECT_DOUBLE_EQ(session.polyline.front().lon, -105.0);
    EXPECT_DOUBLE_EQ(*session.maxSpeedMps, 74 * 0.44704);
    EXPECT_DOUBLE_EQ(*session.maxAbsGx, 0.8);
    EXPECT_DOUBLE_EQ(*session.maxAbsGy, 0.3);
    EXPECT_EQ(session.startedAt, "2021-01-01T00:00:00.000Z");
    EXPECT_EQ(session.endedAt, "2021-01-01T00:00:11.000Z");
    EXPECT_EQ(lapTimes(session), (std::vector<double>{-2.0, 4.002, 4.2, -1.0}));
    EXPECT_EQ(session.lapCount, 2);
    EXPECT_EQ(session.bestLapSec, 4.002);
}

TEST(RaceCapture, WithoutUtcTheUptimeTimesTheLaps)
{
    std::string text = header + rows;
    text.replace(text.find("\"Utc\""), 5, "\"Gps\"");
    std::string kph = text;
    kph.replace(kph.find("MPH"), 3, "KPH");
    const ZaroSession session = readRaceCapture(kph, "f.log", 1);
    EXPECT_EQ(session.startedAt, "");
    EXPECT_EQ(lapTimes(session), (std::vector<double>{-2.0, 4.002, 4.2, -1.0}));
    EXPECT_DOUBLE_EQ(*session.maxSpeedMps, 74 / 3.6);
}

TEST(RaceCapture, DamagedFilesEndInTheParsersErrors)
{
    std::string noLongitude = header + rows;
    noLongitude.replace(noLongitude.find("Longitude"), 9, "Heading");
    EXPECT_EQ(errorOf(noLongitude), ParseError::Kind::missingColumns);
    EXPECT_EQ(errorOf(header.substr(0, 20)), ParseError::Kind::missingColumns);
    EXPECT_EQ(errorOf(header), ParseError::Kind::missingTelemetry);
    EXPECT_EQ(errorOf(header + "402,0,,,,,,\r\nx,y,z,w,v,u\r\n,,,,,,,,,,,,,,\r\n\x01\x02\r\n"), ParseError::Kind::missingTelemetry);
}

TEST(RaceCapture, RoundTrip)
{
    // Positions to six decimals, lap times to a ten-thousandth of a minute.
    test::expectRoundTrip(SessionGenerator::Foreign::raceCapture, {.degrees = 5e-7, .speedMps = 1e-6, .seconds = 0.003});
}

}  // namespace
}  // namespace zaro::formats
