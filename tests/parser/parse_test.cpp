// Whole files through parse: shapes, errors and their order, statistics and the assembled record.
#include <cmath>

#include <gtest/gtest.h>

#include "zaro_session_parser.hpp"

using namespace zaro;
using zaro::ZaroSessionParser::parse;
using namespace std::string_literals;

namespace {

const std::string zaroExample =
    "Format,ZARO CSV\n"
    "Track,Home Circuit\n"
    "Date UTC,2024-06-01T10:15:00Z\n"
    "Lap 1,83.456\n"
    "\n"
    "Time,Latitude (deg),Longitude (deg),Speed (km/h),GForceX,GForceY,LeanAngle,Lap\n"
    "2024-06-01T10:15:30.250Z,52.0712,-1.0143,143.2,0.31,-1.12,38.5,1\n"
    "2024-06-01T10:15:30.290Z,52.0713,-1.0144,150.0,-0.5,0.8,-40,1\n";

ParseError errorOf(const std::string& data)
{
    try {
        parse(data, "x.csv");
    } catch (const ParseError& error) {
        return error;
    }
    ADD_FAILURE() << "parsed without error: " << data;
    return ParseError::empty();
}

}  // namespace

TEST(Parse, ReadsTheWorkedZaroExample)
{
    const ZaroSession session = parse(zaroExample, "Sunday practice.csv");
    EXPECT_EQ(session.fileName, "Sunday practice.csv");
    EXPECT_EQ(session.trackName, "Home Circuit");
    EXPECT_EQ(session.configuration, std::nullopt);
    EXPECT_EQ(session.sessionType, std::nullopt);
    EXPECT_EQ(session.dataSource, "ZARO Session");
    EXPECT_EQ(session.startedAt, "2024-06-01T10:15:00Z");
    EXPECT_EQ(session.endedAt, "2024-06-01T10:15:30.290Z");
    EXPECT_EQ(session.lapCount, 1);
    EXPECT_EQ(session.bestLapSec, 83.456);
    EXPECT_EQ(session.laps, (std::vector<ZaroSessionLap>{{ZaroSessionLap::Kind::lap, 1, 83.456, {}}}));
    EXPECT_EQ(session.pointCount, 2);
    EXPECT_EQ(session.polyline, (std::vector<ZaroSessionPoint>{{52.0712, -1.0143}, {52.0713, -1.0144}}));
    EXPECT_EQ(session.maxSpeedMps, 150.0 * (1 / 3.6));
    EXPECT_EQ(session.avgSpeedMps, (143.2 + 150.0) * (1 / 3.6) / 2);
    EXPECT_EQ(session.maxAbsGx, 0.5);
    EXPECT_EQ(session.maxAbsGy, 1.12);
    EXPECT_EQ(session.maxLeanDeg, 40);
    EXPECT_GT(session.distanceM, 13);
    EXPECT_LT(session.distanceM, 14);
}

TEST(Parse, TextAndBytesGiveEqualRecordsAndCrLfChangesNothing)
{
    std::string crlf;
    for (const char c : zaroExample) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    EXPECT_EQ(parse(zaroExample, "a.csv"), parse("\xEF\xBB\xBF" + crlf, "a.csv"));
}

TEST(Parse, ReportsErrorsInTheirOrder)
{
    const std::vector<std::pair<std::string, ParseError>> cases = {
        {"", ParseError::empty()},
        {"\n  \t\n\u3000\n", ParseError::empty()},
        {"Format,ZARO CSV\nTrack,X\n", ParseError::unsupportedFormat()},
        {"Time,lat_deg,lon_deg\n2024-06-01T10:15:00Z,1,2\n", ParseError::unsupportedFormat()},
        {"time,latitude,longitude\nx,1,2\n", ParseError::unsupportedFormat()},
        {"Format,ZARO CSV\ntime,latitude,longitude\nx,1,2\n",
         ParseError::missingColumns({"Time", "Latitude", "Longitude"})},
        {"Format,RaceBox CSV\nLap time,Latitude,Longitude\nx,1,2\n", ParseError::missingColumns({"Time"})},
        {"Format,format csv\nTime,Latitude,Longitude\nx,1,2\n", ParseError::unsupportedFormat()},
        {"Lap 1,80\nTime,Latitude,Longitude\nx,1,2\n", ParseError::unsupportedFormat()},
        {"Notes,nothing reads this\nTime,Latitude,Longitude\nx,1,2\n", ParseError::unsupportedFormat()},
        {"format,ZARO CSV\nTime,Latitude,Longitude\nx,1,2\n", ParseError::unsupportedFormat()},
        {"Format,ZARO  CSV\nTime,Latitude,Longitude\nx,1,2\n", ParseError::unsupportedFormat()},
        {"Format,ZARO CSV\nTime,Latitude,Longitude\n,1,2\n", ParseError::missingTelemetry()},
        {"Time,Latitude,Longitude\n2024,91,0\n2024,0,-180.5\n2024,nan,0\n", ParseError::missingTelemetry()},
        {"Time,Latitude,Longitude\n", ParseError::missingTelemetry()},
        {"T\0i\0m\0e\0,\0L\0a\0t\0i\0t\0u\0d\0e\0"s, ParseError::unsupportedFormat()},
    };
    for (const auto& [data, error] : cases) {
        const ParseError actual = errorOf(data);
        EXPECT_EQ(actual, error) << data << " gave " << actual.what();
    }
}

TEST(Parse, ErrorMessagesAreTheUsersSentences)
{
    EXPECT_STREQ(ParseError::empty().what(), "The ZARO Session file is empty.");
    EXPECT_STREQ(ParseError::tooLarge().what(), "The ZARO Session file is too large to preview.");
    EXPECT_STREQ(ParseError::missingTelemetry().what(), "The ZARO Session file has no GPS rows.");
    EXPECT_STREQ(ParseError::unsupportedFormat().what(), "Unsupported ZARO Session format. Expected ZARO or RaceBox CSV.");
    EXPECT_STREQ(ParseError::missingColumns({"Time", "Latitude", "Longitude"}).what(),
                 "The ZARO Session file is missing columns: Time, Latitude, Longitude.");
    EXPECT_NE(ParseError::missingColumns({"Time", "Latitude"}), ParseError::missingColumns({"Latitude", "Time"}));
}

TEST(Parse, AcceptsFormatsByValueIgnoringCaseAndPlainTracksWithoutPreamble)
{
    for (const std::string format : {"zaro csv", "  ZARO CSV ", "RaceBox CSV", "racebox csv"}) {
        EXPECT_EQ(parse("Format," + format + "\nTime,Latitude,Longitude\nt,1,2\n", "a").dataSource, "ZARO Session") << format;
    }
    EXPECT_EQ(parse("\n \t\nTime,Latitude,Longitude\nt,1,2\n", "a").dataSource, "ZARO track session");
    // A preamble line with the three words is itself the header row.
    EXPECT_EQ(errorOf("Notes,time latitude longitude\nTime,Latitude,Longitude\nt,1,2\n"), ParseError::unsupportedFormat());
}

TEST(Parse, ReadsMetadataByExactKeysWithTheLastLineWinning)
{
    const ZaroSession session = parse(
        "Format,ZARO CSV\nTrack,First\nTrack,Second,ignored\nTrack name,Other\nConfiguration,\n"
        "Session Type,\nSession type,Race\nData Source,Logger 9\nDate UTC,2024-01-01T00:00:00Z\n"
        "Date UTC,2024-06-01T10:00:00Z\nlonely\nlap 3,80.1\n"
        "Time,Latitude,Longitude\n2024-06-01T10:00:05Z,1,2\n2024-06-01T10:00:09Z,1,2\n",
        "a");
    EXPECT_EQ(session.trackName, "Second");
    EXPECT_EQ(session.configuration, std::nullopt);
    EXPECT_EQ(session.sessionType, std::nullopt);
    EXPECT_EQ(session.dataSource, "Logger 9");
    EXPECT_EQ(session.startedAt, "2024-06-01T10:00:00Z");
    EXPECT_EQ(session.endedAt, "2024-06-01T10:00:09Z");
    EXPECT_EQ(session.laps, std::vector<ZaroSessionLap>{});

    const ZaroSession other = parse(
        "Format,ZARO CSV\nTrack name,Other\nConfiguration,GP\nSession type,Race\nTrack,\n"
        "Time,Latitude,Longitude\nfirst,1,2\nlast,1,2\n",
        "a");
    EXPECT_EQ(other.trackName, "");
    EXPECT_EQ(other.configuration, "GP");
    EXPECT_EQ(other.sessionType, "Race");
    EXPECT_EQ(other.startedAt, "first");
    EXPECT_EQ(other.endedAt, "last");
    EXPECT_EQ(parse("Time,Latitude,Longitude\nt,1,2\n", "a").trackName, "Unknown track");
}

TEST(Parse, SkipsUnusableRowsAndCountsTheRest)
{
    const ZaroSession session = parse(
        "Time,Latitude,Longitude,Speed,GForceY\n"
        "t0,90,-180,10,-1.2\n"
        "\n"
        "t1,91,0,99,9\n"
        "t2,0,-180.5,99,9\n"
        ",0,0,99,9\n"
        "t3,abc,0,99,9\n"
        "t4,0,0,fast,0.8\n"
        "t5,\f1,0,99,9\n",
        "a");
    EXPECT_EQ(session.pointCount, 2);
    EXPECT_EQ(session.polyline, (std::vector<ZaroSessionPoint>{{90, -180}, {0, 0}}));
    EXPECT_EQ(session.maxSpeedMps, 10);
    EXPECT_EQ(session.avgSpeedMps, 10);
    EXPECT_EQ(session.maxAbsGy, 1.2);
    EXPECT_EQ(session.maxAbsGx, std::nullopt);
    EXPECT_EQ(session.maxLeanDeg, std::nullopt);
    EXPECT_EQ(session.endedAt, "t4");
}

TEST(Parse, MeasuresDistanceAndKeepsOnePointSessions)
{
    EXPECT_EQ(parse("Time,Latitude,Longitude\nt,0,0\nt,0,1\n", "a").distanceM, 111194.92664455874);
    const ZaroSession single = parse("Time,Latitude,Longitude\nt,5,6\n", "a");
    EXPECT_EQ(single.distanceM, 0);
    EXPECT_EQ(single.pointCount, 1);
    EXPECT_EQ(single.polyline, (std::vector<ZaroSessionPoint>{{5, 6}}));
    EXPECT_EQ(single.maxSpeedMps, std::nullopt);
    EXPECT_EQ(single.avgSpeedMps, std::nullopt);
}

TEST(Parse, TakesTrackCandidatesAtTheStrideAndAlwaysEndsWithTheLastRow)
{
    // Rows of exactly 16 bytes: a body of 15984 bytes has stride 1, of 32000 bytes stride 2.
    const auto body = [](int rows) {
        std::string text = "Time,Latitude,Longitude\n";
        for (int i = 0; i < rows; ++i) {
            char row[32];
            std::snprintf(row, sizeof row, "t,%05d,0.00000\n", i % 90);
            text += row;
        }
        return text;
    };
    // 999 candidates: the second point kept is row round(998 / 199) = 5.
    const ZaroSession strideOne = parse(body(999), "a");
    ASSERT_EQ(strideOne.polyline.size(), 200u);
    EXPECT_EQ(strideOne.polyline[1].lat, 5);
    // Rows 0, 2, ..., 1998 and the last row 1999: the second point kept is candidate 5, row 10.
    const ZaroSession strideTwo = parse(body(2000), "a");
    EXPECT_EQ(strideTwo.pointCount, 2000);
    ASSERT_EQ(strideTwo.polyline.size(), 200u);
    EXPECT_EQ(strideTwo.polyline[1].lat, 10);
    EXPECT_EQ(strideTwo.polyline.back(), (ZaroSessionPoint{1999 % 90, 0}));
}

TEST(Parse, InfersLapsFromTheLapColumnOnlyWithoutListedLaps)
{
    const std::string rows =
        "Time,Latitude,Longitude,Lap\n"
        "2024-06-01T10:00:00.000Z,1,1,0\n"
        "2024-06-01T10:00:01.000Z,1,1,0\n"
        "2024-06-01T10:00:02.000+00:00,1,1,1\n"
        "2024-06-01T12:00:03Z,1,1,1\n"
        "2024-06-01T10:00:04.000Z,1,1,2\n"
        "2024-06-01T10:00:05.000Z,1,1,x\n"
        "2024-06-01T10:00:06.000Z,1,1,\n";
    const ZaroSession inferred = parse(rows, "a");
    EXPECT_EQ(inferred.laps, (std::vector<ZaroSessionLap>{{ZaroSessionLap::Kind::incomplete, std::nullopt, 2.0, {}},
                                                          {ZaroSessionLap::Kind::lap, 1, 2.0, {}},
                                                          {ZaroSessionLap::Kind::lap, 2, 1.0, {}}}));
    EXPECT_EQ(inferred.lapCount, 2);
    EXPECT_EQ(inferred.bestLapSec, 1.0);

    const ZaroSession listed = parse("Format,ZARO CSV\nLap 1,90\n" + rows, "a");
    EXPECT_EQ(listed.laps, (std::vector<ZaroSessionLap>{{ZaroSessionLap::Kind::lap, 1, 90, {}}}));

    const ZaroSession localTimes = parse("Time,Latitude,Longitude,Lap\n2024-06-01T10:00:00,1,1,1\n2024-06-01T10:00:09,1,1,2\n", "a");
    EXPECT_EQ(localTimes.laps, std::vector<ZaroSessionLap>{});
}

TEST(Parse, ReadsRowsAfterAHeaderWithQuotesAndWideCharacters)
{
    const ZaroSession session = parse(
        "\"Time (s)\",\"Latitude (\u00B0)\",\"Longitude (\u00B0)\",\"Velocity (m/s)\"\n"
        "3.703358336E1,6.0E1,2.5E1,1.0\n"
        "\u00A04.0E1\u00A0,6.0E1,2.5E1,1.0\n",
        "walk.csv");
    EXPECT_EQ(session.pointCount, 2);
    EXPECT_EQ(session.startedAt, "3.703358336E1");
    EXPECT_EQ(session.endedAt, "4.0E1");
    EXPECT_EQ(session.maxSpeedMps, std::nullopt);
}

TEST(Parse, ReplacesInvalidUtf8InTexts)
{
    const ZaroSession session = parse("Format,ZARO CSV\nTrack,Caf\xE9\nTime,Latitude,Longitude\nt\xFF,1,2\n", "a");
    EXPECT_EQ(session.trackName, "Caf\uFFFD");
    EXPECT_EQ(session.startedAt, "t\uFFFD");
}

TEST(Parse, ParsesDataBeyondTheFileLimitWhenGivenDirectly)
{
    std::string data = "Time,Latitude,Longitude\n";
    const std::string row = "2024-06-01T10:00:00Z,52.1,-1.2\n";
    while (data.size() <= static_cast<std::size_t>(ZaroSessionParser::maxPreviewBytes)) data += row;
    const ZaroSession session = parse(data, "big.csv");
    EXPECT_GT(session.pointCount, 2000000);
    EXPECT_EQ(session.polyline.size(), 1u);
}

TEST(ZaroSession, ComparesFieldByFieldWithCanonicalTexts)
{
    ZaroSession a = parse(zaroExample, "Cafe\u0301.csv");
    ZaroSession b = parse(zaroExample, "Caf\u00E9.csv");
    EXPECT_EQ(a, b);
    b.polyline.back().lon += 1e-9;
    EXPECT_NE(a, b);
    b = a;
    b.laps.push_back({ZaroSessionLap::Kind::incomplete, std::nullopt, 1, {}});
    EXPECT_NE(a, b);
    a.maxSpeedMps = NAN;
    EXPECT_NE(a, a);
    EXPECT_NE((ZaroSessionLap{ZaroSessionLap::Kind::lap, std::nullopt, 1, {}}), (ZaroSessionLap{ZaroSessionLap::Kind::lap, 0, 1, {}}));
    EXPECT_EQ(ZaroSessionLap::kindFromRaw("lap"), ZaroSessionLap::Kind::lap);
    EXPECT_EQ(ZaroSessionLap::kindFromRaw("incomplete"), ZaroSessionLap::Kind::incomplete);
    for (const char* raw : {"Lap", "LAP", "complete", ""}) EXPECT_EQ(ZaroSessionLap::kindFromRaw(raw), std::nullopt);
    EXPECT_EQ(ZaroSessionLap::rawValue(ZaroSessionLap::Kind::incomplete), "incomplete");
}
