// Whole files through parse: shapes, errors and their order, statistics and the assembled record.
#include <gtest/gtest.h>

#include "parser/zaro_session_parser.hpp"
#include "support/cases.hpp"
#include "support/failure.hpp"
#include "support/samples.hpp"

namespace zaro {
namespace {

using ZaroSessionParser::parse;

// The error that parsing `data` fails with, or the source it is read as.
std::string outcomeOf(const std::string& data)
{
    std::string source;
    return support::failureOf([&] { source = parse(data, "x.csv").dataSource; }, "") + source;
}

TEST(Parse, ReportsErrorsInTheirOrderWithTheUsersSentencesAndTakesFormatsByValueIgnoringCase)
{
    for (const auto& c : support::readCases("parser/parse_outcomes.cases")) {
        EXPECT_EQ(outcomeOf(c[0]), c[1].starts_with("read as ") ? c[1].substr(8) : c[1]) << c.where;
    }
    EXPECT_STREQ(ParseError::tooLarge().what(), "The ZARO Session file is too large to preview.");
    EXPECT_NE(ParseError::missingColumns({"Time", "Latitude"}), ParseError::missingColumns({"Latitude", "Time"}));
}

// A session as parse_sessions.cases writes it, field by field.
std::vector<std::optional<std::string>> fieldsOf(const ZaroSession& s)
{
    const auto number = [](std::optional<double> v) { return v ? std::optional(support::shortest(*v)) : std::nullopt; };
    std::string track;
    for (const ZaroSessionPoint& p : s.polyline) {
        track += (track.empty() ? "" : ", ") + support::shortest(p.lat) + " " + support::shortest(p.lon);
    }
    return {s.trackName, s.configuration, s.sessionType, s.dataSource, s.startedAt, s.endedAt,
            std::to_string(s.lapCount), number(s.bestLapSec), support::lapText(s.laps), std::to_string(s.pointCount),
            track, support::shortest(s.distanceM), number(s.maxSpeedMps), number(s.avgSpeedMps),
            number(s.maxAbsGx), number(s.maxAbsGy), number(s.maxLeanDeg)};
}

TEST(Parse, ReadsMetadataByKeyRowsWithATimeAndAPositionAndLapsFromTheLapColumnWhenNoneAreListed)
{
    for (const auto& c : support::readCases("parser/parse_sessions.cases")) {
        EXPECT_EQ(fieldsOf(parse(c[0], "a")), std::vector(c.fields.begin() + 1, c.fields.end())) << c.where;
    }
    EXPECT_EQ(parse("Time,Latitude,Longitude\nt,1,2\n", "Sunday practice.csv").fileName, "Sunday practice.csv");
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
