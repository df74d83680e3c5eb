// Whole files through parse: shapes, errors and their order, statistics and the assembled record.
#include <gtest/gtest.h>

#include "parser/zaro_session_parser.hpp"
#include "support/cases.hpp"
#include "support/failure.hpp"
#include "support/samples.hpp"

namespace zaro {
namespace {

using Kind = ZaroSessionLap::Kind;
using ZaroSessionParser::parse;

// The error that parsing `data` fails with, or the source it is read as.
std::string outcomeOf(const std::string& data)
{
    std::string source;
    return support::failureOf([&] { source = parse(data, "x.csv").dataSource; }, "") + source;
}

TEST(Parse, ReadsTheWorkedZaroExampleWhateverItsLineEndsAndByteOrderMark)
{
    const ZaroSession expected{.fileName = "Sunday practice.csv", .trackName = "Home Circuit", .configuration = {},
                               .sessionType = {}, .dataSource = "ZARO Session", .startedAt = "2024-06-01T10:15:00Z",
                               .endedAt = "2024-06-01T10:15:30.290Z", .lapCount = 1, .bestLapSec = 83.456,
                               .laps = {{Kind::lap, 1, 83.456, {}}}, .pointCount = 2,
                               .polyline = {{52.0712, -1.0143}, {52.0713, -1.0144}}, .distanceM = 13.052185434936733,
                               .maxSpeedMps = 150.0 * (1 / 3.6), .avgSpeedMps = (143.2 + 150.0) * (1 / 3.6) / 2,
                               .maxAbsGx = 0.5, .maxAbsGy = 1.12, .maxLeanDeg = 40};
    EXPECT_EQ(parse(support::zaroExample, "Sunday practice.csv"), expected);
    std::string crlf;
    for (const char c : support::zaroExample) crlf += c == '\n' ? "\r\n" : std::string(1, c);
    EXPECT_EQ(parse("\xEF\xBB\xBF" + crlf, "Sunday practice.csv"), expected);
}

TEST(Parse, ReportsErrorsInTheirOrderWithTheUsersSentencesAndTakesFormatsByValueIgnoringCase)
{
    for (const auto& c : support::readCases("parser/parse_outcomes.cases")) {
        EXPECT_EQ(outcomeOf(c[0]), c[1].starts_with("read as ") ? c[1].substr(8) : c[1]) << c.where;
    }
    EXPECT_STREQ(ParseError::tooLarge().what(), "The ZARO Session file is too large to preview.");
    EXPECT_NE(ParseError::missingColumns({"Time", "Latitude"}), ParseError::missingColumns({"Latitude", "Time"}));
}

TEST(Parse, ReadsMetadataByExactKeysWithTheLastLineWinning)
{
    const ZaroSession session = parse(
        "Format,ZARO CSV\nTrack,First\nTrack,Second,ignored\nTrack name,Other\nConfiguration,\nSession Type,\n"
        "Session type,Race\nData Source,Logger 9\nDate UTC,2024-01-01T00:00:00Z\nDate UTC,2024-06-01T10:00:00Z\n"
        "lonely\nlap 3,80.1\nTime,Latitude,Longitude\n2024-06-01T10:00:05Z,1,2\n2024-06-01T10:00:09Z,1,2\n", "a");
    EXPECT_EQ(std::tie(session.trackName, session.configuration, session.sessionType, session.dataSource),
              std::tuple("Second", std::nullopt, std::nullopt, "Logger 9"));
    EXPECT_EQ(std::tie(session.startedAt, session.endedAt, session.laps),
              std::tuple("2024-06-01T10:00:00Z", "2024-06-01T10:00:09Z", std::vector<ZaroSessionLap>{}));
    const ZaroSession other = parse("Format,ZARO CSV\nTrack name,Other\nConfiguration,GP\nSession type,Race\nTrack,\n"
                                    "Time,Latitude,Longitude\nfirst,1,2\nlast,1,2\n", "a");
    EXPECT_EQ(std::tie(other.trackName, other.configuration, other.sessionType, other.startedAt, other.endedAt),
              std::tuple("", "GP", "Race", "first", "last"));
    EXPECT_EQ(parse("Time,Latitude,Longitude\nt,1,2\n", "a").trackName, "Unknown track");
}

TEST(Parse, CountsOnlyRowsWithAPositionInRangeAndATime)
{
    const ZaroSession s = parse("Time,Latitude,Longitude,Speed,GForceY\nt0,90,-180,10,-1.2\n\nt1,91,0,99,9\n"
                                "t2,0,-180.5,99,9\n,0,0,99,9\nt3,abc,0,99,9\nt4,0,0,fast,0.8\nt5,\f1,0,99,9\n", "a");
    EXPECT_EQ(std::tie(s.pointCount, s.polyline, s.endedAt),
              std::tuple(2, std::vector<ZaroSessionPoint>{{90, -180}, {0, 0}}, "t4"));
    EXPECT_EQ(std::tie(s.maxSpeedMps, s.avgSpeedMps, s.maxAbsGy, s.maxAbsGx, s.maxLeanDeg),
              std::tuple(10, 10, 1.2, std::nullopt, std::nullopt));
    const ZaroSession single = parse("Time,Latitude,Longitude\nt,5,6\n", "a");
    EXPECT_EQ(std::tie(single.distanceM, single.pointCount, single.polyline, single.maxSpeedMps),
              std::tuple(0, 1, std::vector<ZaroSessionPoint>{{5, 6}}, std::nullopt));
    EXPECT_EQ(parse(support::plainTrack, "a").distanceM, 111194.92664455874);
}

TEST(Parse, TakesTrackCandidatesAtTheStrideAndAlwaysEndsWithTheLastRow)
{
    // Rows of exactly 16 bytes: a body of 15984 bytes has stride 1, of 32000 bytes stride 2.
    const auto body = [](int rows) {
        std::string text = "Time,Latitude,Longitude\n";
        for (int i = 0; i < rows; ++i) text += "t," + std::to_string(100000 + i % 90).substr(1) + ",0.00000\n";
        return text;
    };
    // 999 candidates: the second point kept is row round(998 / 199) = 5.
    const ZaroSession one = parse(body(999), "a");
    EXPECT_EQ(std::tuple(one.polyline.size(), one.polyline[1].lat), std::tuple(200, 5));
    // Rows 0, 2, ..., 1998 and the last row 1999: the second point kept is candidate 5, row 10.
    const ZaroSession two = parse(body(2000), "a");
    EXPECT_EQ(std::tuple(two.pointCount, two.polyline.size(), two.polyline[1], two.polyline.back()),
              std::tuple(2000, 200, ZaroSessionPoint{10, 0}, ZaroSessionPoint{1999 % 90, 0}));
}

TEST(Parse, InfersLapsFromTheLapColumnOnlyWithoutListedLaps)
{
    const std::string rows =
        "Time,Latitude,Longitude,Lap\n2024-06-01T10:00:00.000Z,1,1,0\n2024-06-01T10:00:01.000Z,1,1,0\n"
        "2024-06-01T10:00:02.000+00:00,1,1,1\n2024-06-01T12:00:03Z,1,1,1\n2024-06-01T10:00:04.000Z,1,1,2\n"
        "2024-06-01T10:00:05.000Z,1,1,x\n2024-06-01T10:00:06.000Z,1,1,\n";
    const ZaroSession inferred = parse(rows, "a");
    EXPECT_EQ(std::tie(inferred.laps, inferred.lapCount, inferred.bestLapSec),
              std::tuple(std::vector<ZaroSessionLap>{{Kind::incomplete, std::nullopt, 2.0, {}}, {Kind::lap, 1, 2.0, {}},
                                                     {Kind::lap, 2, 1.0, {}}}, 2, 1.0));
    const std::vector<ZaroSessionLap> listed = {{Kind::lap, 1, 90, {}}};
    EXPECT_EQ(parse("Format,ZARO CSV\nLap 1,90\n" + rows, "a").laps, listed);
    // Times without a zone are no instants, so they infer nothing.
    EXPECT_EQ(parse("Time,Latitude,Longitude,Lap\n2024-06-01T10:00:00,1,1,1\n2024-06-01T10:00:09,1,1,2\n", "a").laps,
              std::vector<ZaroSessionLap>{});
}

TEST(Parse, ReadsQuotedHeadersWideBlanksAndInvalidUtf8)
{
    const ZaroSession session = parse("\"Time (s)\",\"Latitude (\u00B0)\",\"Longitude (\u00B0)\",\"Velocity (m/s)\"\n"
                                      "3.703358336E1,6.0E1,2.5E1,1.0\n\u00A04.0E1\u00A0,6.0E1,2.5E1,1.0\n", "walk.csv");
    EXPECT_EQ(std::tie(session.pointCount, session.startedAt, session.endedAt, session.maxSpeedMps),
              std::tuple(2, "3.703358336E1", "4.0E1", std::nullopt));
    const ZaroSession repaired = parse("Format,ZARO CSV\nTrack,Caf\xE9\nTime,Latitude,Longitude\nt\xFF,1,2\n", "a");
    EXPECT_EQ(std::tie(repaired.trackName, repaired.startedAt), std::tuple("Caf\uFFFD", "t\uFFFD"));
}

TEST(Parse, ParsesDataBeyondTheFileLimitWhenGivenDirectly)
{
    const std::string row = "2024-06-01T10:00:00Z,52.1,-1.2\n";
    std::string data = "Time,Latitude,Longitude\n";
    const std::int64_t rows = ZaroSessionParser::maxPreviewBytes / std::ssize(row) + 1;
    for (std::int64_t i = 0; i < rows; ++i) data += row;
    const ZaroSession session = parse(data, "big.csv");
    EXPECT_EQ(std::tuple(session.pointCount, session.polyline.size()), std::tuple(rows, 1));
}

}  // namespace
}  // namespace zaro
