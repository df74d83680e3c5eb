// The pieces every reader stands on: lines and fields as loggers write them, values with units and
// decimal commas, Unix times of any resolution, decoding, and the builder's laps.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/iso8601.hpp"
#include "delimited.hpp"
#include "foreign/gps_track.hpp"
#include "foreign_writers.hpp"
#include "parser/parse_error.hpp"
#include "readers.hpp"
#include "row_pieces.hpp"
#include "session_builder.hpp"
#include "session_generator.hpp"
#include "support/same_session.hpp"

namespace zaro::formats {
namespace {

std::vector<std::string> linesOf(std::string_view text)
{
    std::vector<std::string> out;
    Lines lines(text);
    std::string_view line;
    while (lines.next(line)) out.emplace_back(line);
    return out;
}

std::vector<std::string> fieldsOf(std::string_view line, char separator)
{
    std::vector<std::string_view> fields;
    splitFields(line, separator, fields);
    return {fields.begin(), fields.end()};
}

TEST(Delimited, LinesEndInFeedsCarriageReturnsOrBoth)
{
    EXPECT_EQ(linesOf("a\nb\r\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(linesOf("a\r\n\r\nb\n"), (std::vector<std::string>{"a", "", "b"}));
}

TEST(Delimited, FieldsAreTrimmedAndUnquoted)
{
    EXPECT_EQ(fieldsOf(" \"a,b\" , 1 ,\0\0", ','), (std::vector<std::string>{"a,b", "1", ""}));
    EXPECT_EQ(fieldsOf("\"x\";\"4,120\";", ';'), (std::vector<std::string>{"x", "4,120", ""}));
    EXPECT_EQ(fieldsOf("\"open,quote", ','), (std::vector<std::string>{"open,quote"}));
    EXPECT_EQ(likelySeparator("Lap;Time Lap;Lat.;Lon."), ';');
    EXPECT_EQ(likelySeparator("a\tb\tc,d"), '\t');
    EXPECT_EQ(likelySeparator("\"a;b\",c"), ',');
}

TEST(Delimited, NumbersWithCommasUnitsAndHemispheres)
{
    EXPECT_EQ(number("52,3", true), 52.3);
    EXPECT_EQ(number("52,3", false), std::nullopt);
    EXPECT_EQ(number("1,2,3", true), std::nullopt);
    const auto speed = quantity("10.120 km/h");
    ASSERT_TRUE(speed);
    EXPECT_EQ(speed->value, 10.12);
    EXPECT_EQ(speed->unit, "km/h");
    const auto west = quantity("125.7648551W");
    ASSERT_TRUE(west);
    EXPECT_EQ(west->unit, "W");
    EXPECT_EQ(quantity("N/A"), std::nullopt);
    EXPECT_EQ(wholeNumber("3.0"), 3);
    EXPECT_EQ(wholeNumber("3.5"), std::nullopt);
}

TEST(Delimited, UnixTimesByMagnitude)
{
    const std::int64_t ticks = 16762464000000;  // 2023-02-13T00:00:00Z
    EXPECT_EQ(unixTicks(1676246400.0), ticks);
    EXPECT_EQ(unixTicks(1676246400000.0), ticks);
    EXPECT_EQ(unixTicks(1676246400000000.0), ticks);
    EXPECT_EQ(unixTicks(1676246400000000000.0), ticks);
    EXPECT_EQ(unixTicks(12.5), std::nullopt);
}

TEST(Delimited, TextIsDecodedToUtf8)
{
    std::string storage;
    EXPECT_EQ(decodeText("\xEF\xBB\xBF" "a,b", storage), "a,b");
    EXPECT_EQ(decodeText(std::string("\xFF\xFE" "a\0\xE9\0", 6), storage), "a\u00E9");
    EXPECT_EQ(decodeText(std::string("\xFE\xFF\0a\xD8\x3D\xDE\x00\0", 9), storage), "a\U0001F600\uFFFD");
    EXPECT_EQ(decodeText("5\xB0 C", storage), "5\uFFFD C");
    std::string unit;
    EXPECT_EQ(columnKey("GPS Latitude (\xC2\xB0)", &unit), "gpslatitude");
    EXPECT_EQ(unit, "\xC2\xB0");
    EXPECT_EQ(columnKey("Speed [KM/H]", &unit), "speed");
    EXPECT_EQ(unit, "km/h");
}

Sample at(double lat, std::int64_t seconds, std::optional<std::int64_t> lap = std::nullopt)
{
    return {.lat = lat, .lon = 10, .ticks = seconds * 10000, .lap = lap};
}

TEST(Builder, LapsFromALapColumnWithStubsMadeIncomplete)
{
    SessionBuilder builder(1000);
    // Laps 1 and 2 cover 0.02° of latitude each, lap 3 a tenth of that before the lap number drops to 0.
    builder.add(at(50.00, 0, 0));
    builder.add(at(50.01, 10, 1));
    builder.add(at(50.02, 20, 1));
    builder.add(at(50.03, 30, 2));
    builder.add(at(50.04, 40, 2));
    builder.add(at(50.05, 50, 3));
    builder.add(at(50.052, 52, 0));
    const ZaroSession session = builder.finish("f.csv", {.dataSource = "Logger 1"});
    ASSERT_EQ(session.laps.size(), 4U);
    EXPECT_EQ(session.laps[0].kind, ZaroSessionLap::Kind::incomplete);
    EXPECT_EQ(session.laps[1].number, 1);
    EXPECT_EQ(session.laps[1].timeSec, 20.0);
    EXPECT_EQ(session.laps[3].number, 3);
    EXPECT_EQ(session.laps[3].kind, ZaroSessionLap::Kind::incomplete);
    EXPECT_EQ(session.lapCount, 2);
    EXPECT_EQ(session.bestLapSec, 20.0);
    EXPECT_EQ(session.startedAt, "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(session.endedAt, "1970-01-01T00:00:52.000Z");
    EXPECT_EQ(session.trackName, "Unknown track");
    EXPECT_EQ(session.pointCount, 7);
}

TEST(Builder, NoFixesAndZeroPositions)
{
    SessionBuilder builder(100);
    EXPECT_FALSE(builder.add({.lat = 0, .lon = 0}));
    EXPECT_FALSE(builder.add({.lat = 91, .lon = 0}));
    EXPECT_FALSE(builder.add({.lat = 1, .lon = -180.5}));
    EXPECT_THROW(builder.finish("f.csv", {}), ParseError);
    EXPECT_TRUE(builder.add({.lat = 1, .lon = 2}));
    const ZaroSession session = builder.finish("f.csv", {.dataSource = "GPS track", .trackName = "Here"});
    EXPECT_EQ(session.startedAt, "");
    EXPECT_EQ(session.trackName, "Here");
    EXPECT_EQ(session.maxSpeedMps, std::nullopt);
}

// Rows folded in pieces on several threads give the session of the rows folded in one.
TEST(Builder, RowsFoldedInPiecesMakeTheSessionOfOnePiece)
{
    SessionGenerator::Options options;
    options.shape = SessionGenerator::Shape::plainTrack;
    options.maxBytes = 9'000'000;
    const std::string text = SessionGenerator::generate(options);
    const auto readRow = [](std::string_view line) -> std::optional<Sample> {
        std::vector<std::string_view> fields;
        splitFields(line, ',', fields);
        if (fields.size() < 8) return std::nullopt;
        const auto instant = iso8601::readAny(fields[0]);
        const auto lat = number(fields[1]);
        const auto lon = number(fields[2]);
        if (!instant || !lat || !lon) return std::nullopt;
        return Sample{.lat = *lat, .lon = *lon, .ticks = instant->ticks, .speedMps = number(fields[3]), .gForceX = number(fields[4]),
                      .gForceY = number(fields[5]), .leanDeg = number(fields[6]), .lap = wholeNumber(fields[7])};
    };
    const auto read = [&](unsigned threads) {
        SessionBuilder builder(static_cast<std::int64_t>(text.size()));
        foldRows(text, text.find('\n') + 1, readRow, builder, threads);
        return builder.finish("plain.csv", {.dataSource = "GPS track"});
    };
    EXPECT_EQ(pieceStarts(text, 0, 4).size(), 3U);
    const ZaroSession whole = read(1);
    EXPECT_GT(whole.lapCount, 3);
    for (const unsigned threads : {2U, 4U}) EXPECT_EQ(support::differenceOfCutParse(read(threads), whole), "") << threads;
}

// The readers whose rows stand alone read them in pieces, and give the session of one piece: the GPS
// track in the forms whose reading keeps something of the rows before (the time form the first time
// settles, the last date, the last unit, bare speeds), RaceChrono from the start of a session and
// from the middle of a lap.
TEST(Builder, ReadersOfRowsThatStandAloneGiveOneSessionOnAnyNumberOfThreads)
{
    using SessionGenerator::Foreign;
    using SessionGenerator::GpsTrackLayout;
    SessionGenerator::Options options;
    options.maxBytes = 9'000'000;
    const std::string gps = SessionGenerator::generateForeign(Foreign::gpsTrack, options);
    std::string bareSpeeds = gps;
    bareSpeeds.replace(bareSpeeds.find("speed (km/h)"), 12, "speed");
    options.shape = SessionGenerator::Shape::plainTrack;
    const std::string dated = SessionGenerator::writeGpsTrack(SessionGenerator::rowsOf(SessionGenerator::generate(options)),
                                                              {'\t', GpsTrackLayout::Times::dayMonthYear, GpsTrackLayout::Hemispheres::columns, true});
    const std::string raceChrono = SessionGenerator::generateForeign(Foreign::raceChrono, options);
    // The rows of the first timed lap's start dropped: the recording begins with lap 1 under way.
    const std::size_t body = raceChrono.find('\n', raceChrono.find("\n,,,") + 1) + 1;
    Lines rows(raceChrono, body);
    std::string_view row;
    std::size_t lapOne = 0;
    while (rows.next(row) && fieldsOf(row, ',').at(2) != "1") {}
    while (rows.next(row) && ++lapOne < 100) {}
    const std::string midLap = raceChrono.substr(0, body) + raceChrono.substr(rows.offset());

    const struct {
        const char* name;
        const std::string& text;
        ZaroSession (*read)(std::string_view, std::string, unsigned);
    } cases[] = {{"gps", gps, readGpsTrack}, {"bare speeds", bareSpeeds, readGpsTrack}, {"dated", dated, readGpsTrack},
                 {"RaceChrono", raceChrono, readRaceChrono}, {"mid-lap", midLap, readRaceChrono}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_GE(pieceStarts(c.text, 0, 4).size(), 2U);
        const ZaroSession whole = c.read(c.text, "f.csv", 1);
        EXPECT_GT(whole.lapCount, 3);
        for (const unsigned threads : {2U, 4U}) EXPECT_EQ(support::differenceOfCutParse(c.read(c.text, "f.csv", threads), whole), "") << threads;
    }
    const ZaroSession fromStart = readRaceChrono(raceChrono, "f.csv", 4);
    const ZaroSession fromMidLap = readRaceChrono(midLap, "f.csv", 4);
    EXPECT_EQ(fromMidLap.laps.front().kind, ZaroSessionLap::Kind::incomplete);
    EXPECT_EQ(fromMidLap.lapCount, fromStart.lapCount - 1);
    EXPECT_EQ(fromMidLap.laps[1].number, 2);
}

}  // namespace
}  // namespace zaro::formats
