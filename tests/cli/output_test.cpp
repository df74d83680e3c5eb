// What the summary command writes for a session or a failure: JSON objects and the text summary.
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "json.hpp"
#include "listing.hpp"
#include "summary.hpp"
#include "support/samples.hpp"

namespace zaro {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

template <typename Write>
std::string written(Write write)
{
    std::string out;
    json::Writer writer(out);
    write(writer);
    return out;
}

TEST(JsonWriter, WritesNumbersInShortestRoundTripFormAndNonFiniteOnesAsStrings)
{
    const struct {
        double value;
        std::string_view text;
    } cases[] = {
        {0.1, "0.1"},         {52.0, "52"},
        {-0.0, "-0"},         {0.1 + 0.2, "0.30000000000000004"},
        {1e300, "1e+300"},    {5e-324, "5e-324"},
        {nan, "\"NaN\""},     {-nan, "\"NaN\""},
        {infinity, "\"Infinity\""}, {-infinity, "\"-Infinity\""},
    };
    for (const auto& c : cases) EXPECT_EQ(written([&](json::Writer& w) { w.number(c.value); }), c.text) << c.value;
    // Integers are exact over the whole 64-bit range, where doubles are not.
    using Limits = std::numeric_limits<std::int64_t>;
    EXPECT_EQ(written([](json::Writer& w) { w.integer(Limits::max()); }), "9223372036854775807");
    EXPECT_EQ(written([](json::Writer& w) { w.integer(Limits::min()); }), "-9223372036854775808");
}

TEST(JsonWriter, EscapesQuotesBackslashesAndControlCharactersAndRepairsBrokenUtf8)
{
    const struct {
        std::string_view value;
        std::string_view text;
    } cases[] = {
        {"\"hi\" C:\\logs", R"("\"hi\" C:\\logs")"},
        {std::string_view("a\nb\r\t\0\x1f\x7f", 8), R"("a\u000ab\u000d\u0009\u0000\u001f\u007f")"},
        {"N\u00fcrburgring \u00b7 \U0001F3C1 \xc2\x85", "\"N\u00fcrburgring \u00b7 \U0001F3C1 \xc2\x85\""},
        {"bad \xff byte", "\"bad \uFFFD byte\""},
    };
    for (const auto& c : cases) EXPECT_EQ(written([&](json::Writer& w) { w.string(c.value); }), c.text) << c.value;
}

TEST(JsonWriter, StreamsValuesAndStringsInPartsLargerThanItsBufferUnchanged)
{
    std::ostringstream stream;
    std::string text, whole;
    for (int i = 0; i < 30000; ++i) whole += std::to_string(i) + "\u00b7\"";
    {
        json::Writer toStream(stream), toText(text);
        for (json::Writer* writer : {&toStream, &toText}) {
            writer->beginArray();
            for (int i = 0; i < 100000; ++i) writer->number(i * 0.25);
            writer->beginString();
            for (int i = 0; i < 30000; ++i) {
                writer->stringPart(std::to_string(i));
                writer->stringPart("\u00b7\"");
            }
            writer->endString();
            writer->endArray();
        }
    }
    ASSERT_GT(text.size(), 256U * 1024U);
    EXPECT_EQ(stream.str(), text);
    EXPECT_EQ(text.substr(text.rfind(", \"") + 2), written([&](json::Writer& w) { w.string(whole); }) + "]");
}

// The sample session with laps of every kind: incomplete, with sectors that do not show, without a
// number, without a time.
ZaroSession practiceSession()
{
    ZaroSession session = support::sampleSession({support::incompleteLap(41.2), support::lap(1, 83.456, {27.9, 28.1, 27.456}),
                                                  support::lap(2, 84.5, {0, 29.8, nan}), support::lap(std::nullopt, 90.25),
                                                  support::lap(4, nan, {30})},
                                                 {{52.0712, -1.0143}, {52.0715, -1.0139}});
    session.trackName = "Home \"Circuit\"";
    session.configuration = "National";
    session.bestLapSec = 83.456;
    session.maxLeanDeg = 52.0;
    return session;
}

TEST(JsonSession, WritesTheRecordInFieldOrderFollowedByItsAnalysisAndTheCardsTexts)
{
    const ZaroSession session = practiceSession();
    EXPECT_EQ(written([&](json::Writer& w) { json::writeSession(w, session); }),
              R"({"fileName": "morning.csv", "trackName": "Home \"Circuit\"", )"
              R"("configuration": "National", "sessionType": null, "dataSource": "RaceBox CSV", )"
              R"("startedAt": "2024-06-01T09:00:00Z", "endedAt": "2024-06-01T09:01:05Z", )"
              R"("lapCount": 3, "bestLapSec": 83.456, "laps": [)"
              R"({"kind": "incomplete", "number": null, "timeSec": 41.2, "sectors": []}, )"
              R"({"kind": "lap", "number": 1, "timeSec": 83.456, "sectors": [27.9, 28.1, 27.456]}, )"
              R"({"kind": "lap", "number": 2, "timeSec": 84.5, "sectors": [0, 29.8, "NaN"]}, )"
              R"({"kind": "lap", "number": null, "timeSec": 90.25, "sectors": []}, )"
              R"({"kind": "lap", "number": 4, "timeSec": "NaN", "sectors": [30]}], )"
              R"("pointCount": 1234, "polyline": [[52.0712, -1.0143], [52.0715, -1.0139]], )"
              R"("distanceM": 15250, "maxSpeedMps": 10, "avgSpeedMps": null, "maxAbsGx": null, )"
              R"("maxAbsGy": null, "maxLeanDeg": 52, )"
              R"("analysis": {"bestSectorsSec": [], "theoreticalBestSec": null, )"
              R"("lapDeltasSec": [0, 1.044, 6.794, "NaN"], "cleanLapCount": 2, )"
              R"("meanCleanLapSec": 83.97800000000001, "stdDevCleanLapSec": 0.7382194795587484}, )"
              R"("display": {"bestLap": "1:23.456", "laps": "3", "duration": "1:05", )"
              R"("distance": "15.25 km", "maxSpeed": "36.0 km/h", "samples": "1234", )"
              "\"startedAt\": \"1 Jun 2024 09:00:00 UTC\", \"theoreticalBest\": \"\u2014\", \"avgSpeed\": \"\u2014\", \"lapRows\": ["
              "{\"name\": \"Lap 1\", \"time\": \"1:23.456\", \"sectors\": \"27.900  \u00b7  28.100  \u00b7  27.456\", \"delta\": \"best\"}, "
              R"({"name": "Lap 2", "time": "1:24.500", "sectors": "29.800", "delta": "+1.044"}, )"
              R"({"name": "Lap", "time": "1:30.250", "sectors": "", "delta": "+6.794"}, )"
              "{\"name\": \"Lap 4\", \"time\": \"\u2014\", \"sectors\": \"30.000\", \"delta\": \"\u2014\"}]}}");
}

TEST(TextSummary, ListsEveryCompletedLapWithItsTimeGapAndSectorsInColumns)
{
    std::ostringstream out;
    cli::writeSummary(out, practiceSession());
    EXPECT_EQ(out.str().substr(out.str().find("\n\n") + 2),
              "  Lap 1     1:23.456   best      27.900  \u00b7  28.100  \u00b7  27.456\n"
              "  Lap 2     1:24.500   +1.044    29.800\n"
              "  Lap       1:30.250   +6.794\n"
              "  Lap 4     \u2014          \u2014         30.000\n");
}

TEST(TextSummary, ShowsTheAnalysisAndTheFiguresTheFileHasAndMarksTheBestSectors)
{
    ZaroSession session = support::sampleSession({support::lap(1, 84, {28.0, 28.5, 27.5}), support::lap(2, 83.5, {27.8, 28.6, 27.1})});
    session.bestLapSec = 83.5;
    session.avgSpeedMps = 8;
    session.maxAbsGx = 1.125;
    session.maxLeanDeg = 52;
    std::ostringstream out;
    cli::writeSummary(out, session, {ZaroSessionFormat::Units::imperial, false});
    EXPECT_EQ(out.str(),
              "Zandvoort\nmorning.csv  \u00b7  RaceBox CSV\n"
              "Started           1 Jun 2024 09:00:00 UTC\n"
              "Best lap          1:23.500\n"
              "Theoretical best  1:23.400  (0.100 s under the best lap)\n"
              "Laps              3\n"
              "Consistency       \u00b10.35 s over 2 clean laps\n"
              "Duration          1:05\n"
              "Distance          9.48 mi\n"
              "Max speed         22.4 mph\n"
              "Average speed     17.9 mph\n"
              "Max g             1.12 g longitudinal\n"
              "Max lean          52.0\u00b0\n"
              "Samples           1234\n\n"
              "  Lap 1     1:24.000   +0.500    28.000  \u00b7  28.500*  \u00b7  27.500\n"
              "  Lap 2     1:23.500   best      27.800*  \u00b7  28.600  \u00b7  27.100*\n");
    std::ostringstream coloured;
    cli::writeSummary(coloured, session, {ZaroSessionFormat::Units::metric, true});
    EXPECT_NE(coloured.str().find("  Lap 1     1:24.000   +0.500    28.000  \u00b7  \x1b[1;35m28.500\x1b[0m  \u00b7  27.500\n"),
              std::string::npos);
}

TEST(JsonFailure, NamesTheKindAndTheSentenceOfEveryParseErrorAndTheMissingColumns)
{
    const struct {
        ParseError error;
        std::string_view text;
    } cases[] = {
        {ParseError::empty(), R"({"fileName": "x.csv", "error": {"kind": "empty", "message": "The ZARO Session file is empty."}})"},
        {ParseError::tooLarge(),
         R"({"fileName": "x.csv", "error": {"kind": "tooLarge", "message": "The ZARO Session file is too large to preview."}})"},
        {ParseError::missingTelemetry(),
         R"({"fileName": "x.csv", "error": {"kind": "missingTelemetry", "message": "The ZARO Session file has no GPS rows."}})"},
        {ParseError::unsupportedFormat(),
         R"({"fileName": "x.csv", "error": {"kind": "unsupportedFormat", )"
         R"("message": "Unsupported ZARO Session format. Expected ZARO or RaceBox CSV."}})"},
        {ParseError::missingColumns({"Time", "Latitude"}),
         R"({"fileName": "x.csv", "error": {"kind": "missingColumns", "message": )"
         R"("The ZARO Session file is missing columns: Time, Latitude.", "columns": ["Time", "Latitude"]}})"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(written([&](json::Writer& w) { json::writeFailure(w, "x.csv", cli::FileFailure::from(c.error)); }), c.text);
    }
}

TEST(Listing, WritesCsvFieldsWithCommasOrQuotesQuotedAndAbsentFiguresEmpty)
{
    cli::SessionRow row;
    row.path = "a, \"b\".csv";
    row.startedAt = "soon";
    row.trackName = "Home\tCircuit";
    row.lapCount = 2;
    row.bestLapSec = nan;
    row.theoreticalBestSec = 83.4;
    row.distanceM = 0.5;
    cli::CommandLine line;
    line.format = cli::ListFormat::csv;
    std::ostringstream out;
    cli::writeListing(out, {row}, line);
    EXPECT_EQ(out.str().substr(out.str().find('\n') + 1),
              "\"a, \"\"b\"\".csv\",soon,Home\uFFFDCircuit,,,2,NaN,83.4,,,0.5\r\n");
}

}  // namespace
}  // namespace zaro
