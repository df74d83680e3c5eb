// Racelogic VBOX .vbo files: sections, positions in minutes with west positive, UTC times of day,
// laps from a lap column or from the start line's crossings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "parser/parse_error.hpp"
#include "readers.hpp"
#include "round_trip.hpp"

namespace zaro::formats {
namespace {

const std::string preamble = "File created on 30/12/2023 @ 23:59:50\r\n\r\n[header]\r\nsatellites\r\ntime\r\nlatitude\r\n"
                             "longitude\r\nvelocity kmh\r\nLongitudinal acceleration\r\nLateral acceleration\r\n\r\n"
                             "[channel units]\r\ng\r\ng\r\n\r\n[comments]\r\n(c) 2001 2003 Racelogic\r\n"
                             "VBox II Version 4.5a\r\nSerial Number : 005201\r\nLog Rate (Hz) : 01.00\r\n\r\n";
// A short line across the west edge of a square the trace drives anticlockwise, one fix a second:
// it is crossed going north at 10:00:01.5, 10:00:05.5 and 10:00:09.5. The ¬ of a Latin-1 file has
// become U+FFFD.
const std::string laptiming = "[laptiming]\r\nStart   +00000.00600000 +03000.01000000 -00000.00600000 +03000.01000000 "
                              "\xEF\xBF\xBD Start / Finish\r\n\r\n";
const std::string columns = "[column names]\r\nsats time lat long velocity longacc latacc\r\n\r\n[data]\r\n";
const std::string rows = "008 100000.00 +03000.00000000 +00000.00000000 036.000 +0.10 -0.20\r\n"
                         "008 100001.00 +03000.00000000 +00000.00000000 036.000 +0.10 -0.20\r\n"
                         "008 100002.00 +03000.02000000 +00000.00000000 072.000 +0.30 -0.20\r\n"
                         "008 100003.00 +03000.02000000 -00000.02000000 036.000 +0.10 -1.20\r\n"
                         "008 100004.00 +03000.00000000 -00000.02000000 036.000 +0.10 -0.20\r\n"
                         "008 100005.00 +03000.00000000 +00000.00000000 036.000 -0.50 -0.20\r\n"
                         "008 100006.00 +03000.02000000 +00000.00000000 090.000 +0.10 -0.20\r\n"
                         "008 100007.00 +03000.02000000 -00000.02000000 036.000 +0.10 -0.20\r\n"
                         "008 100008.00 +03000.00000000 -00000.02000000 036.000 +0.10 -0.20\r\n"
                         "008 100009.00 +03000.00000000 +00000.00000000 036.000 +0.10 -0.20\r\n"
                         "008 100010.00 +03000.02000000 +00000.00000000 036.000 +0.10 -0.20\r\n";

std::vector<double> lapTimes(const ZaroSession& session)
{
    std::vector<double> times;
    for (const ZaroSessionLap& lap : session.laps) times.push_back(lap.kind == ZaroSessionLap::Kind::lap ? lap.timeSec : -lap.timeSec);
    return times;
}

TEST(Vbox, RecognisedByItsCreationLineOrItsSections)
{
    EXPECT_TRUE(recognisesVbox(preamble));
    EXPECT_TRUE(recognisesVbox("\n[header]\nsatellites\n[column names]\nsats time lat long\n"));
    EXPECT_TRUE(recognisesVbox("[HEADER]\r\n[data]\r\n"));
    EXPECT_FALSE(recognisesVbox("[header]\nsatellites\n"));
    EXPECT_FALSE(recognisesVbox("Format,ZARO CSV\n[header]\n[data]\n"));
    EXPECT_FALSE(recognisesVbox("sats time lat long velocity\n[data]\n"));
    EXPECT_FALSE(recognisesVbox(""));
}

TEST(Vbox, SquareLapsFromTheStartLine)
{
    const ZaroSession session = readVbox(preamble + laptiming + columns + rows, "square.vbo", 1);
    EXPECT_EQ(session.dataSource, "VBox II Version 4.5a");
    EXPECT_EQ(session.trackName, "Unknown track");
    EXPECT_EQ(session.pointCount, 11);
    ASSERT_FALSE(session.polyline.empty());
    EXPECT_DOUBLE_EQ(session.polyline.front().lat, 50.0);
    EXPECT_EQ(session.polyline.front().lon, 0.0);
    EXPECT_DOUBLE_EQ(session.polyline[3].lon, 0.02 / 60);  // "-00000.02" is east
    EXPECT_DOUBLE_EQ(*session.maxSpeedMps, 25.0);
    EXPECT_DOUBLE_EQ(*session.maxAbsGx, 0.5);
    EXPECT_DOUBLE_EQ(*session.maxAbsGy, 1.2);
    EXPECT_EQ(session.startedAt, "2023-12-30T10:00:00.000Z");
    EXPECT_EQ(session.endedAt, "2023-12-30T10:00:10.000Z");
    EXPECT_EQ(lapTimes(session), (std::vector<double>{-1.5, 4.0, 4.0, -0.5}));
    EXPECT_EQ(session.lapCount, 2);
    EXPECT_EQ(session.bestLapSec, 4.0);
}

TEST(Vbox, VariantsOfTimesAndLaps)
{
    // Without a creation line the times of day time the laps but date nothing.
    const std::string undated = preamble.substr(preamble.find("[header]"));
    ZaroSession session = readVbox(undated + laptiming + columns + rows, "f.vbo", 1);
    EXPECT_EQ(session.startedAt, "");
    EXPECT_EQ(session.bestLapSec, 4.0);

    // Past midnight the times of day start again: the day goes on.
    std::string overnight = rows;
    for (std::size_t at = 0; (at = overnight.find(" 1000", at)) != std::string::npos;) overnight.replace(at, 5, " 2359");
    overnight.replace(overnight.rfind(" 2359"), 5, " 0000");
    session = readVbox(preamble + columns + overnight, "f.vbo", 1);
    EXPECT_EQ(session.startedAt, "2023-12-30T23:59:00.000Z");
    EXPECT_EQ(session.endedAt, "2023-12-31T00:00:10.000Z");

    // A start line far from the trace, or none at all, gives no laps.
    std::string elsewhere = laptiming;
    elsewhere.replace(elsewhere.find("+03000.01"), 9, "+03100.01");
    elsewhere.replace(elsewhere.find("+03000.01"), 9, "+03100.01");
    EXPECT_TRUE(readVbox(preamble + elsewhere + columns + rows, "f.vbo", 1).laps.empty());
    EXPECT_TRUE(readVbox(preamble + columns + rows, "f.vbo", 1).laps.empty());

    // A lap column wins over the start line; velocity in knots where the header says so.
    std::string lapped = preamble + laptiming + "[column names]\nsats time lat long velocity lap\n[data]\n";
    lapped.replace(lapped.find("velocity kmh"), 12, "velocity knots");
    const char* laps[] = {"0", "0", "1", "1", "1", "1", "2", "2", "2", "2", "0"};
    for (int i = 0; i < 11; ++i) {
        const std::string second = (i < 10 ? "0" : "") + std::to_string(i);
        lapped += "008 1000" + second + ".00 +03000." + second + "000000 +00000.00000000 010.000 " + laps[i] + "\n";
    }
    session = readVbox(lapped, "f.vbo", 1);
    EXPECT_EQ(lapTimes(session).size(), 3U);
    EXPECT_EQ(session.bestLapSec, 4.0);
    EXPECT_NEAR(*session.maxSpeedMps, 10 * 1852.0 / 3600, 1e-9);
}

TEST(Vbox, DamagedFilesEndInTheParsersErrors)
{
    const auto kindOf = [](const std::string& text) {
        try {
            readVbox(text, "f.vbo", 1);
        } catch (const ParseError& error) {
            return std::pair{error.kind(), error.columns()};
        }
        return std::pair{ParseError::Kind::empty, std::vector<std::string>{"read"}};
    };
    using Kind = ParseError::Kind;
    using Columns = std::vector<std::string>;
    // Cut off within [header], without its column names, or with no positions among them.
    EXPECT_EQ(kindOf(preamble.substr(0, 60)), std::pair(Kind::missingColumns, Columns{"lat", "long"}));
    EXPECT_EQ(kindOf(preamble + laptiming + rows), std::pair(Kind::missingColumns, Columns{"lat", "long"}));
    EXPECT_EQ(kindOf(preamble + "[column names]\nsats time lat velocity\n[data]\n" + rows), std::pair(Kind::missingColumns, Columns{"long"}));
    // No [data] section, no rows, or rows of garbage.
    EXPECT_EQ(kindOf(preamble + "[column names]\nsats time lat long\n"), std::pair(Kind::missingTelemetry, Columns{}));
    EXPECT_EQ(kindOf(preamble + columns), std::pair(Kind::missingTelemetry, Columns{}));
    EXPECT_EQ(kindOf(preamble + columns + "008 x y z\n\x01\x02\n+ - + -\n008 100000.00 +00000.00 +00000.00 1\n"),
              std::pair(Kind::missingTelemetry, Columns{}));
}

TEST(Vbox, RoundTripWithLapsFromTheStartLine)
{
    // The plain track's laps begin at the first fix of each lap, the start line's at the crossing
    // between two fixes: they differ by less than the 0.2 s between fixes.
    test::expectRoundTrip(SessionGenerator::Foreign::vbox, {.degrees = 1e-9, .speedMps = 1e-6, .seconds = 0.2});
}

}  // namespace
}  // namespace zaro::formats
