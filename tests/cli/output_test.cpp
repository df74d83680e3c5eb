// What the summary command writes for a session or a failure: JSON objects and the text summary.
#include <limits>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "cli/json.hpp"
#include "cli/listing.hpp"
#include "cli/summary.hpp"
#include "support/cases.hpp"
#include "support/files.hpp"
#include "support/samples.hpp"

namespace zaro {
namespace {

using support::incompleteLap;
using support::lap;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// An output as it should be, kept in a file beside these tests.
std::string expectedOutput(const std::string& name)
{
    return support::readFile(std::string(ZARO_TESTS_DIR) + "/cli/" + name);
}

template <typename Write>
std::string written(Write write)
{
    std::string out;
    json::Writer writer(out);
    write(writer);
    return out;
}

// Integers are exact over the whole 64-bit range, where doubles are not.
// A close without its open is the caller's mistake: a debug build stops at it, any other writes nothing.
TEST(JsonWriter, RefusesToCloseWhatIsNotOpen)
{
    const auto unbalanced = [](json::Writer& w) {
        w.beginArray();
        w.endObject();
        w.endArray();
        w.endArray();
    };
#ifdef NDEBUG
    EXPECT_EQ(written(unbalanced), "[]");
#else
    EXPECT_DEATH(written(unbalanced), "a close without its open");
#endif
}

TEST(JsonWriter, WritesNumbersInShortestRoundTripFormAndNonFiniteOnesAsStrings)
{
    for (const support::Case& c : support::readCases("cli/json_numbers.cases")) {
        const bool integer = c[0].starts_with("integer ");
        EXPECT_EQ(written([&](json::Writer& w) {
                      if (integer) w.integer(std::stoll(c[0].substr(8)));
                      else w.number(std::strtod(c[0].c_str(), nullptr));
                  }), c[1]) << c.where;
    }
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
            for (int i = 0; i < 30000; ++i) writer->stringPart(std::to_string(i) + "\u00b7\"");
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
    ZaroSession session = support::sampleSession({incompleteLap(41.2), lap(1, 83.456, {27.9, 28.1, 27.456}),
                                                  lap(2, 84.5, {0, 29.8, nan}), lap(std::nullopt, 90.25),
                                                  lap(4, nan, {30})},
                                                 {{52.0712, -1.0143}, {52.0715, -1.0139}});
    session.trackName = "Home \"Circuit\"";
    session.configuration = "National";
    session.bestLapSec = 83.456;
    session.maxLeanDeg = 52.0;
    return session;
}

TEST(JsonSession, WritesTheRecordInFieldOrderFollowedByItsAnalysisAndTheCardsTexts)
{
    std::string expected = expectedOutput("practice_session.json");
    std::erase(expected, '\n');  // the file is broken into lines for reading
    EXPECT_EQ(written([](json::Writer& w) { json::writeSession(w, practiceSession()); }), expected);
}

TEST(TextSummary, ListsTheFiguresAndEveryCompletedLapWithItsTimeGapAndSectorsInColumns)
{
    std::ostringstream out;
    cli::writeSummary(out, practiceSession());
    EXPECT_EQ(out.str(), expectedOutput("practice_summary.txt"));
}

TEST(TextSummary, ShowsTheAnalysisAndTheFiguresTheFileHasAndMarksTheBestSectors)
{
    ZaroSession session = support::sampleSession({lap(1, 84, {28.0, 28.5, 27.5}), lap(2, 83.5, {27.8, 28.6, 27.1})});
    session.bestLapSec = 83.5;
    session.avgSpeedMps = 8;
    session.maxAbsGx = 1.125;
    session.maxLeanDeg = 52;
    std::ostringstream out;
    cli::writeSummary(out, session, {ZaroSessionFormat::Units::imperial, false});
    EXPECT_EQ(out.str(), expectedOutput("imperial_summary.txt"));
    std::ostringstream coloured;
    cli::writeSummary(coloured, session, {ZaroSessionFormat::Units::metric, true});
    EXPECT_TRUE(coloured.str().ends_with(
        "  Lap 1     1:24.000   +0.500    28.000  \u00b7  \x1b[1;35m28.500\x1b[0m  \u00b7  27.500\n"
        "  Lap 2     1:23.500   best      \x1b[1;35m27.800\x1b[0m  \u00b7  28.600  \u00b7  \x1b[1;35m27.100\x1b[0m\n"))
        << coloured.str();
}

// The sentences themselves are the parse errors' own.
TEST(JsonFailure, NamesTheKindAndTheSentenceOfEveryParseErrorAndTheMissingColumns)
{
    const std::pair<ParseError, std::string> cases[] = {
        {ParseError::empty(), "empty"}, {ParseError::tooLarge(), "tooLarge"},
        {ParseError::missingTelemetry(), "missingTelemetry"}, {ParseError::unsupportedFormat(), "unsupportedFormat"},
        {ParseError::missingColumns({"Time", "Latitude"}), "missingColumns"},
    };
    for (const auto& [error, kind] : cases) {
        const std::string columns = kind == "missingColumns" ? R"(, "columns": ["Time", "Latitude"])" : "";
        EXPECT_EQ(written([&](json::Writer& w) { json::writeFailure(w, "x.csv", cli::FileFailure::from(error)); }),
                  R"({"fileName": "x.csv", "error": {"kind": ")" + kind + R"(", "message": ")" + error.what() + '"'
                      + columns + "}}");
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
