#include <cstdint>
#include <limits>
#include <sstream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "card_texts.hpp"
#include "json.hpp"

namespace zaro {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

std::string numberText(double value)
{
    std::string out;
    json::Writer(out).number(value);
    return out;
}

std::string stringText(std::string_view value)
{
    std::string out;
    json::Writer(out).string(value);
    return out;
}

TEST(JsonWriter, WritesNumbersInShortestRoundTripFormAndNonFiniteOnesAsStrings)
{
    const struct {
        double value;
        std::string_view expected;
    } cases[] = {
        {0.1, "0.1"},
        {83.456, "83.456"},
        {52.0, "52"},
        {0.0, "0"},
        {-0.0, "-0"},
        {-1.0143, "-1.0143"},
        {0.1 + 0.2, "0.30000000000000004"},
        {1e300, "1e+300"},
        {1e-7, "1e-07"},
        {5e-324, "5e-324"},
        {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
        {111194.92664455874, "111194.92664455874"},
        {nan, "\"NaN\""},
        {-nan, "\"NaN\""},
        {infinity, "\"Infinity\""},
        {-infinity, "\"-Infinity\""},
    };
    for (const auto& c : cases) EXPECT_EQ(numberText(c.value), c.expected) << c.value;
}

TEST(JsonWriter, WritesIntegersAsJsonIntegersOverTheWholeRange)
{
    const struct {
        std::int64_t value;
        std::string_view expected;
    } cases[] = {
        {0, "0"},
        {-1, "-1"},
        {4810, "4810"},
        {std::numeric_limits<std::int64_t>::max(), "9223372036854775807"},
        {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
    };
    for (const auto& c : cases) {
        std::string out;
        json::Writer(out).integer(c.value);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(JsonWriter, EscapesQuotesBackslashesAndControlCharactersAndPassesOtherUtf8Through)
{
    const struct {
        std::string_view value;
        std::string_view expected;
    } cases[] = {
        {"", R"("")"},
        {"Sunday practice.csv", R"("Sunday practice.csv")"},
        {"say \"hi\"", R"("say \"hi\"")"},
        {"C:\\logs", R"("C:\\logs")"},
        {"a\nb\r\tc", R"("a\u000ab\u000d\u0009c")"},
        {std::string_view("nul\0x", 5), R"("nul\u0000x")"},
        {"\x1f\x7f", R"("\u001f\u007f")"},
        {"N\u00fcrburgring \u00b7 \u2014 \U0001F3C1", "\"N\u00fcrburgring \u00b7 \u2014 \U0001F3C1\""},
        {"\xc2\x85", "\"\xc2\x85\""},
        {"bad \xff byte", "\"bad \uFFFD byte\""},
    };
    for (const auto& c : cases) EXPECT_EQ(stringText(c.value), c.expected) << c.value;
}

TEST(JsonWriter, SeparatesMembersAndElementsAtEveryDepth)
{
    std::string out;
    json::Writer writer(out);
    writer.beginObject();
    writer.key("a");
    writer.integer(1);
    writer.key("b");
    writer.beginArray();
    writer.null();
    writer.optionalString(std::string("x"));
    writer.beginArray();
    writer.endArray();
    writer.optionalNumber(std::nullopt);
    writer.endArray();
    writer.key("c");
    writer.beginObject();
    writer.endObject();
    writer.key("d");
    writer.optionalInteger(-7);
    writer.endObject();
    EXPECT_EQ(out, R"({"a": 1, "b": [null, "x", [], null], "c": {}, "d": -7})");
}

TEST(JsonWriter, StreamsAValueLargerThanItsBufferUnchanged)
{
    std::string text;
    std::ostringstream stream;
    {
        json::Writer toText(text);
        json::Writer toStream(stream);
        for (auto* writer : {&toText, &toStream}) {
            writer->beginArray();
            for (int i = 0; i < 100000; ++i) writer->number(i * 0.25);
            writer->endArray();
        }
    }
    ASSERT_GT(text.size(), 256u * 1024u);
    EXPECT_EQ(stream.str(), text);
}

ZaroSession practiceSession()
{
    using Kind = ZaroSessionLap::Kind;
    ZaroSession session;
    session.fileName = "Sunday practice.csv";
    session.trackName = "Home \"Circuit\"";
    session.configuration = "National";
    session.dataSource = "ZARO Lap Timer";
    session.startedAt = "2024-06-01T10:15:00Z";
    session.endedAt = "2024-06-01T10:40:08Z";
    session.lapCount = 3;
    session.bestLapSec = 83.456;
    session.laps = {
        {Kind::incomplete, std::nullopt, 41.2, {}},
        {Kind::lap, 1, 83.456, {27.9, 28.1, 27.456}},
        {Kind::lap, 2, 84.5, {0, 29.8, nan}},
        {Kind::lap, std::nullopt, 90.25, {}},
    };
    session.pointCount = 4810;
    session.polyline = {{52.0712, -1.0143}, {52.0715, -1.0139}};
    session.distanceM = 15250.3;
    session.maxSpeedMps = 39.7;
    session.avgSpeedMps = 30.1;
    session.maxAbsGy = 1.25;
    session.maxLeanDeg = 52.0;
    return session;
}

TEST(JsonSession, WritesTheRecordInFieldOrderFollowedByTheCardsTexts)
{
    std::string out;
    json::Writer writer(out);
    json::writeSession(writer, practiceSession());
    EXPECT_EQ(out,
              R"({"fileName": "Sunday practice.csv", "trackName": "Home \"Circuit\"", )"
              R"("configuration": "National", "sessionType": null, "dataSource": "ZARO Lap Timer", )"
              R"("startedAt": "2024-06-01T10:15:00Z", "endedAt": "2024-06-01T10:40:08Z", )"
              R"("lapCount": 3, "bestLapSec": 83.456, "laps": [)"
              R"({"kind": "incomplete", "number": null, "timeSec": 41.2, "sectors": []}, )"
              R"({"kind": "lap", "number": 1, "timeSec": 83.456, "sectors": [27.9, 28.1, 27.456]}, )"
              R"({"kind": "lap", "number": 2, "timeSec": 84.5, "sectors": [0, 29.8, "NaN"]}, )"
              R"({"kind": "lap", "number": null, "timeSec": 90.25, "sectors": []}], )"
              R"("pointCount": 4810, "polyline": [[52.0712, -1.0143], [52.0715, -1.0139]], )"
              R"("distanceM": 15250.3, "maxSpeedMps": 39.7, "avgSpeedMps": 30.1, "maxAbsGx": null, )"
              R"("maxAbsGy": 1.25, "maxLeanDeg": 52, )"
              R"("display": {"bestLap": "1:23.456", "laps": "3", "duration": "25:08", )"
              R"("distance": "15.25 km", "maxSpeed": "142.9 km/h", "samples": "4810", )"
              R"("startedAt": "1 Jun 2024 10:15:00 UTC", "lapRows": [)"
              "{\"name\": \"Lap 1\", \"time\": \"1:23.456\", "
              "\"sectors\": \"27.900  \u00b7  28.100  \u00b7  27.456\"}, "
              R"({"name": "Lap 2", "time": "1:24.500", "sectors": "29.800"}, )"
              R"({"name": "Lap", "time": "1:30.250", "sectors": ""}]}})");
}

TEST(JsonSession, ListsTheSameLapRowsAsTheCardWithoutItsRowLimit)
{
    auto session = practiceSession();
    for (int i = 3; i <= 12; ++i) session.laps.push_back({ZaroSessionLap::Kind::lap, i, 80.0 + i, {40.0, 40.0 + i}});

    std::string expected = R"("lapRows": )";
    {
        json::Writer writer(expected);
        writer.beginArray();
        for (const auto& row : ZaroSessionPreviewCard::lapRowTexts(session, session.laps.size())) {
            writer.beginObject();
            writer.key("name");
            writer.string(row.name);
            writer.key("time");
            writer.string(row.time);
            writer.key("sectors");
            writer.string(row.sectors);
            writer.endObject();
        }
        writer.endArray();
    }

    std::string out;
    json::Writer writer(out);
    json::writeSession(writer, session);
    EXPECT_THAT(out, testing::EndsWith(expected + "}}"));
}

std::string failureText(const cli::FileFailure& failure)
{
    std::string out;
    json::Writer writer(out);
    json::writeFailure(writer, failure);
    return out;
}

TEST(JsonFailure, NamesTheKindAndTheSentenceOfEveryParseError)
{
    const struct {
        ParseError error;
        std::string_view expected;
    } cases[] = {
        {ParseError::empty(),
         R"({"error": {"kind": "empty", "message": "The ZARO Session file is empty."}})"},
        {ParseError::tooLarge(),
         R"({"error": {"kind": "tooLarge", "message": "The ZARO Session file is too large to preview."}})"},
        {ParseError::missingTelemetry(),
         R"({"error": {"kind": "missingTelemetry", "message": "The ZARO Session file has no GPS rows."}})"},
        {ParseError::unsupportedFormat(),
         R"({"error": {"kind": "unsupportedFormat", )"
         R"("message": "Unsupported ZARO Session format. Expected ZARO or RaceBox CSV."}})"},
        {ParseError::missingColumns({"Time", "Latitude"}),
         R"({"error": {"kind": "missingColumns", )"
         R"("message": "The ZARO Session file is missing columns: Time, Latitude.", )"
         R"("columns": ["Time", "Latitude"]}})"},
    };
    for (const auto& c : cases) EXPECT_EQ(failureText(cli::FileFailure::from(c.error)), c.expected);
}

TEST(JsonFailure, WritesAFileSystemFailureAsIoWithItsOwnText)
{
    const cli::FileFailure failure{cli::FileFailure::Kind::io, "open \"a.csv\": No such file or directory", {}};
    EXPECT_EQ(failureText(failure),
              R"({"error": {"kind": "io", "message": "open \"a.csv\": No such file or directory"}})");
}

}  // namespace
}  // namespace zaro
