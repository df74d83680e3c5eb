// Harry's LapTimer exports: a title line, an upper-case header, one lap per lap index timed from the
// time into the lap its rows give.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "parser/parse_error.hpp"
#include "readers.hpp"
#include "round_trip.hpp"

namespace zaro::formats {
namespace {

const std::string header = "INDEX,LAPINDEX,DATE,TIME,TIME_LAP,LATITUDE,LONGITUDE,SPEED_KPH,SPEED_MPH,HEIGHT_M,"
                           "ACCELERATIONSOURCE[CALCULATED/MEASURED/UNDEFINED],LINEALG,LATERALG,LEAN\n";

// Twelve fixes a second apart heading north: the way out (index 0), laps 1 and 2 and the start of lap
// 3. Each lap's first row says how long ago the lap began: 0.4 s, 0.5 s, 0.3 s.
std::string excerpt(const std::string& head = header)
{
    struct Fix {
        int lap;
        const char* intoLap;
        double speed;
    };
    const Fix fixes[] = {{0, "00:00.000", 40}, {0, "00:01.000", 50}, {1, "00:00.400", 60}, {1, "00:01.400", 70},
                         {1, "00:02.400", 80}, {1, "00:03.400", 90}, {2, "00:00.500", 100}, {2, "00:01.500", 126},
                         {2, "00:02.500", 80}, {2, "00:03.500", 70}, {3, "00:00.300", 60}, {3, "00:01.300", 50}};
    std::string text = "Harry's GPS LapTimer\n" + head;
    for (int i = 0; i < 12; ++i) {
        const Fix& fix = fixes[i];
        text += std::to_string(i) + ',' + std::to_string(fix.lap) + ",14-AUG-16,13:05:" + (i < 10 ? "0" : "") + std::to_string(i)
            + ".000," + fix.intoLap + ',' + std::to_string(48.1 + 0.0002 * i) + ",11.5," + std::to_string(fix.speed)
            + ",0,520,1," + (i == 7 ? "-0.9" : "0.3") + ',' + (i == 4 ? "1.1" : "-0.2") + ",12.5\n";
    }
    return text;
}

std::vector<double> lapTimes(const ZaroSession& session)
{
    std::vector<double> times;
    for (const ZaroSessionLap& lap : session.laps) times.push_back(lap.kind == ZaroSessionLap::Kind::lap ? lap.timeSec : -lap.timeSec);
    return times;
}

TEST(Harrys, RecognisedByItsUpperCaseHeaderWithLapIndex)
{
    EXPECT_TRUE(recognisesHarrys(excerpt()));
    EXPECT_TRUE(recognisesHarrys("Harry's LapTimer\r\nLAPINDEX,DATE,TIME,LATITUDE[degrees],LONGITUDE[degrees],"
                                 "GPSFIX[NOFIX;2D;3D;UNKNOWN]\r\n"));
    EXPECT_FALSE(recognisesHarrys("Harry's GPS LapTimer\nLapIndex,Date,Time,Latitude,Longitude\n"));
    EXPECT_FALSE(recognisesHarrys("Harry's GPS LapTimer\nINDEX,DATE,TIME,LATITUDE,LONGITUDE\n"));
    EXPECT_FALSE(recognisesHarrys("Harry's GPS LapTimer\nLAPINDEX,DATE,TIME,SPEED_KPH\n"));
    EXPECT_FALSE(recognisesHarrys("Harry's GPS LapTimer\n"));
}

TEST(Harrys, LapsTimedFromTheirStarts)
{
    const ZaroSession session = readHarrys(excerpt(), "harrys.csv", 1);
    EXPECT_EQ(session.dataSource, "Harry's LapTimer");
    EXPECT_EQ(session.pointCount, 12);
    EXPECT_DOUBLE_EQ(session.polyline.front().lat, 48.1);
    EXPECT_DOUBLE_EQ(session.polyline.front().lon, 11.5);
    EXPECT_DOUBLE_EQ(*session.maxSpeedMps, 35.0);
    EXPECT_DOUBLE_EQ(*session.maxAbsGx, 0.9);
    EXPECT_DOUBLE_EQ(*session.maxAbsGy, 1.1);
    EXPECT_DOUBLE_EQ(*session.maxLeanDeg, 12.5);
    EXPECT_EQ(session.startedAt, "2016-08-14T13:05:00.000Z");
    EXPECT_EQ(session.endedAt, "2016-08-14T13:05:11.000Z");
    EXPECT_EQ(lapTimes(session), (std::vector<double>{-1.6, 3.9, 4.2, -1.3}));
    EXPECT_EQ(session.lapCount, 2);
    EXPECT_EQ(session.bestLapSec, 3.9);
}

TEST(Harrys, OlderHeaderWithUnitsAndTimeFromStart)
{
    std::string text = excerpt("INDEX,LAPINDEX,DATE,TIME,TIMEFROMSTART[s],LATITUDE[degrees],LONGITUDE[degrees],SPEED[mph],"
                               "HOP,HEIGHT[m],ACCELERATIONSOURCE[CALCULATED;MEASURED;UNDEFINED],LINEALG,LATERALG,LEAN\n");
    for (std::size_t at = 0; (at = text.find(",00:0", at)) != std::string::npos;) text.replace(at, 5, ",");
    const ZaroSession session = readHarrys(text, "harrys.csv", 1);
    EXPECT_EQ(lapTimes(session), (std::vector<double>{-1.6, 3.9, 4.2, -1.3}));
    EXPECT_DOUBLE_EQ(*session.maxSpeedMps, 126 * 0.44704);
}

TEST(Harrys, DamagedFilesEndInTheParsersErrors)
{
    EXPECT_THROW(readHarrys("Harry's GPS LapTimer\n", "f.csv", 1), ParseError);
    try {
        readHarrys("Harry's GPS LapTimer\nLAPINDEX,DATE,TIME,LATITUDE\n0,14-AUG-16,13:05:00.000,48.1\n", "f.csv", 1);
        ADD_FAILURE();
    } catch (const ParseError& error) {
        EXPECT_EQ(error.columns(), std::vector<std::string>{"LONGITUDE"});
    }
    const std::string garbage = "Harry's GPS LapTimer\n" + header + "x,y,z\n0,0,14-AUG-16,13:05:00.000,0:0,N/A,,\n\x01,\x02\n";
    try {
        readHarrys(garbage, "f.csv", 1);
        ADD_FAILURE();
    } catch (const ParseError& error) {
        EXPECT_EQ(error.kind(), ParseError::Kind::missingTelemetry);
    }
}

TEST(Harrys, RoundTrip)
{
    test::expectRoundTrip(SessionGenerator::Foreign::harrys, {.degrees = 1e-9, .speedMps = 1e-6, .seconds = 0.001});
}

}  // namespace
}  // namespace zaro::formats
