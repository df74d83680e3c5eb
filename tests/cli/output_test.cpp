// What the summary command writes for a session or a failure: JSON objects and the text summary.
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "json.hpp"
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

TEST(JsonWriter, StreamsAValueLargerThanItsBufferUnchanged)
{
    std::ostringstream stream;
    std::string text;
    {
        json::Writer toStream(stream), toText(text);
        for (json::Writer* writer : {&toStream, &toText}) {
            writer->beginArray();
            for (int i = 0; i < 100000; ++i) writer->number(i * 0.25);
            writer->endArray();
        }
    }
    ASSERT_GT(text.size(), 256U * 1024U);
    EXPECT_EQ(stream.str(), text);
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

TEST(JsonSession, WritesTheRecordInFieldOrderFollowedByTheCardsTexts)
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
              R"("display": {"bestLap": "1:23.456", "laps": "3", "duration": "1:05", )"
              R"("distance": "15.25 km", "maxSpeed": "36.0 km/h", "samples": "1234", )"
              R"("startedAt": "1 Jun 2024 09:00:00 UTC", "lapRows": [)"
              "{\"name\": \"Lap 1\", \"time\": \"1:23.456\", \"sectors\": \"27.900  \u00b7  28.100  \u00b7  27.456\"}, "
              R"({"name": "Lap 2", "time": "1:24.500", "sectors": "29.800"}, )"
              R"({"name": "Lap", "time": "1:30.250", "sectors": ""}, )"
              "{\"name\": \"Lap 4\", \"time\": \"\u2014\", \"sectors\": \"30.000\"}]}}");
}

TEST(TextSummary, ListsEveryCompletedLapWithItsTimeAndSectorsInColumns)
{
    std::ostringstream out;
    cli::writeSummary(out, practiceSession());
    EXPECT_EQ(out.str().substr(out.str().find("\n\n") + 2),
              "  Lap 1     1:23.456   27.900  \u00b7  28.100  \u00b7  27.456\n"
              "  Lap 2     1:24.500   29.800\n"
              "  Lap       1:30.250\n"
              "  Lap 4     \u2014          30.000\n");
}

TEST(JsonFailure, NamesTheKindAndTheSentenceOfEveryParseErrorAndTheMissingColumns)
{
    const struct {
        ParseError error;
        std::string_view text;
    } cases[] = {
        {ParseError::empty(), R"({"error": {"kind": "empty", "message": "The ZARO Session file is empty."}})"},
        {ParseError::tooLarge(),
         R"({"error": {"kind": "tooLarge", "message": "The ZARO Session file is too large to preview."}})"},
        {ParseError::missingTelemetry(),
         R"({"error": {"kind": "missingTelemetry", "message": "The ZARO Session file has no GPS rows."}})"},
        {ParseError::unsupportedFormat(),
         R"({"error": {"kind": "unsupportedFormat", )"
         R"("message": "Unsupported ZARO Session format. Expected ZARO or RaceBox CSV."}})"},
        {ParseError::missingColumns({"Time", "Latitude"}),
         R"({"error": {"kind": "missingColumns", "message": )"
         R"("The ZARO Session file is missing columns: Time, Latitude.", "columns": ["Time", "Latitude"]}})"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(written([&](json::Writer& w) { json::writeFailure(w, cli::FileFailure::from(c.error)); }), c.text);
    }
}

}  // namespace
}  // namespace zaro
