// RaceChrono, TrackAddict, AiM Race Studio and Alfano exports: the real files read in place with the
// figures their own data give, the generator's sessions read back, and damaged files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "formats/session_reading.hpp"
#include "readers.hpp"
#include "round_trip.hpp"
#include "support/files.hpp"

namespace zaro::formats {
namespace {

using SessionGenerator::Foreign;
using Kind = ZaroSessionLap::Kind;

std::vector<Kind> kindsOf(const ZaroSession& session)
{
    std::vector<Kind> kinds;
    for (const auto& lap : session.laps) kinds.push_back(lap.kind);
    return kinds;
}

// Figures worked out from each file's rows and lap records by a separate script.
struct CorpusCase {
    const char* file;
    const char* dataSource;
    const char* trackName;
    std::int64_t points;
    double firstLat, firstLon;
    double maxSpeedMps;
    double maxAbsGx, maxAbsGy;  // longitudinal, lateral
    const char* startedAt;
    const char* endedAt;
    std::int64_t lapCount;
    double bestLapSec;
    std::vector<Kind> kinds;
};

TEST(LapTimerExports, CorpusFilesGiveTheirOwnFigures)
{
    constexpr Kind lap = Kind::lap, part = Kind::incomplete;
    const std::vector<CorpusCase> cases = {
        // Lap 5 runs when the recording begins and lap 7 when it ends: lap 6 alone is whole.
        {"racechrono_v3_laptiming_crlf.csv", "RaceChrono Pro v9.1.3", "BMW - Taupo", 7779, -38.6633811, 176.1478022, 49.75, 1.48716, 2.7122,
         "2023-02-11T20:48:41.023Z", "2023-02-11T20:50:35.006Z", 1, 106.448, {part, lap, part}},
        // "# Lap" lines: the out-lap, laps 1 to 3 (1 through the pits), lap 4 cut off by the excerpt.
        {"trackaddict_android_comment_preamble_quoted_header.csv", "TrackAddict 4.3.5", "Unknown track", 16684, 51.9993282, 13.6881675,
         158.0 / 3.6, 0.98, 1.18, "2019-06-05T11:28:31.000Z", "2019-06-05T11:42:15.059Z", 3, 107.089, {part, lap, lap, lap, part}},
        // Ten beacon markers: the out-lap, eight laps and the in-lap, though the rows stop at 25.1 s.
        {"aim_racestudio3_format_preamble_units_row.csv", "AiM Race Studio", "F.Corta Var6", 503, 45.51675493, 10.00522881,
         76.7944 / 3.6, 0.5125, 0.9844, "2024-12-15T13:34:00.000", "2024-12-15T13:34:25.100", 8, 52.433,
         {part, lap, lap, lap, lap, lap, lap, lap, lap, part}},
        {"alfano6_semicolon_excerpt.csv", "Alfano", "Unknown track", 31, 52.3017693, -106.6489868, 54.2 / 3.6, 0.2, 0.02, "", "", 1, 87.43, {lap}},
    };
    for (const CorpusCase& c : cases) {
        SCOPED_TRACE(c.file);
        const std::filesystem::path path = std::filesystem::path(ZARO_CORPUS_DIR) / c.file;
        if (!std::filesystem::exists(path)) GTEST_SKIP() << "no corpus at " << ZARO_CORPUS_DIR;
        const ZaroSession session = readSessionFile(path);
        EXPECT_EQ(session.dataSource, c.dataSource);
        EXPECT_EQ(session.trackName, c.trackName);
        EXPECT_EQ(session.pointCount, c.points);
        ASSERT_FALSE(session.polyline.empty());
        EXPECT_DOUBLE_EQ(session.polyline.front().lat, c.firstLat);
        EXPECT_DOUBLE_EQ(session.polyline.front().lon, c.firstLon);
        ASSERT_TRUE(session.maxSpeedMps);
        EXPECT_NEAR(*session.maxSpeedMps, c.maxSpeedMps, 1e-9);
        EXPECT_EQ(session.maxAbsGx, c.maxAbsGx);
        EXPECT_EQ(session.maxAbsGy, c.maxAbsGy);
        EXPECT_EQ(session.startedAt, c.startedAt);
        EXPECT_EQ(session.endedAt, c.endedAt);
        EXPECT_EQ(session.lapCount, c.lapCount);
        ASSERT_TRUE(session.bestLapSec);
        EXPECT_NEAR(*session.bestLapSec, c.bestLapSec, 1e-9);
        EXPECT_EQ(kindsOf(session), c.kinds);
    }
}

// Read from a file, an export whose header row names latitude and longitude (so the parse is tried
// first, from the file's first bytes, and refuses it) is read whole by its reader, however far past
// those first bytes it goes, and is the session its bytes give.
TEST(LapTimerExports, AFileThatThePartOfItsHeadReadFirstSendsToTheParseIsStillReadWhole)
{
    const support::TemporaryFolder folder;
    SessionGenerator::Options options = test::roundTripOptions();
    options.sampleHz = 25;
    const auto rows = SessionGenerator::rowsOf(SessionGenerator::generate(options));
    for (const auto family : {Foreign::raceChrono, Foreign::aim}) {
        const std::string written = SessionGenerator::writeForeign(family, rows, options);
        ASSERT_GT(written.size(), 200'000u);
        const std::filesystem::path path = folder / "export.csv";
        support::writeFile(path, written);
        const ZaroSession fromFile = readSessionFile(path);
        const ZaroSession fromBytes = readSession(written, "export.csv");
        EXPECT_EQ(fromFile.pointCount, fromBytes.pointCount);
        EXPECT_EQ(fromFile.distanceM, fromBytes.distanceM);
        EXPECT_EQ(fromFile.lapCount, fromBytes.lapCount);
        EXPECT_EQ(fromFile.endedAt, fromBytes.endedAt);
    }
}

TEST(LapTimerExports, GeneratedSessionsReadBack)
{
    using test::Rounding;
    test::expectRoundTrip(Foreign::raceChrono, Rounding{});
    // Speeds to a tenth of a km/h.
    test::expectRoundTrip(Foreign::trackAddict, Rounding{.speedMps = 0.015});
    // Local clocks: the start is checked below.
    test::expectRoundTrip(Foreign::aim, Rounding{.startAndEnd = false});
    // Times from an unknown start, lap times to the hundredth.
    test::expectRoundTrip(Foreign::alfano, Rounding{.speedMps = 0.015, .seconds = 0.0051, .startAndEnd = false});
}

std::string written(Foreign family)
{
    const SessionGenerator::Options options = test::roundTripOptions();
    return SessionGenerator::writeForeign(family, SessionGenerator::rowsOf(SessionGenerator::generate(options)), options);
}

TEST(LapTimerExports, RaceChronoTakesTheGpsSpeed)
{
    const std::string file = written(Foreign::raceChrono);
    // A CAN bus speed of 0 before the GPS receiver's.
    std::string canBus = file;
    canBus.replace(canBus.find("timestamp,fragment_id,"), 22, "timestamp,speed,");
    const std::string_view sources = "\r\n,,,,,100: gps";
    canBus.replace(canBus.find(sources), sources.size(), "\r\n,200: canbus,,,,100: gps");
    const ZaroSession expected = readSession(file, "rc.csv");
    const ZaroSession read = readSession(canBus, "rc.csv");
    EXPECT_EQ(read.maxSpeedMps, expected.maxSpeedMps);
    EXPECT_EQ(read.avgSpeedMps, expected.avgSpeedMps);
    EXPECT_EQ(read.sessionType, "Lap timing");
    EXPECT_EQ(read.trackName, "Harrowby Park");
}

TEST(LapTimerExports, AimQuotedAndLocalClock)
{
    const std::string bare = written(Foreign::aim);
    // The same file with every field quoted and without the trailing empty fields.
    std::string quoted;
    std::istringstream lines(bare);
    for (std::string line; std::getline(lines, line);) {
        while (line.ends_with(',')) line.pop_back();
        std::string out = "\"";
        bool inQuotes = false;
        for (const char c : line) {
            if (c == '"') inQuotes = !inQuotes;
            else if (c == ',' && !inQuotes) out += "\",\"";
            else out += c;
        }
        quoted += out + "\"\n";
    }
    const ZaroSession a = readSession(bare, "aim.csv");
    const ZaroSession b = readSession(quoted, "aim.csv");
    // Equal but for the track's thinning, which goes by the file's size.
    EXPECT_EQ(a.pointCount, b.pointCount);
    EXPECT_EQ(a.distanceM, b.distanceM);
    EXPECT_EQ(a.laps, b.laps);
    EXPECT_EQ(a.maxSpeedMps, b.maxSpeedMps);
    EXPECT_EQ(a.maxAbsGy, b.maxAbsGy);
    EXPECT_EQ(a.endedAt, b.endedAt);
    EXPECT_EQ(a.startedAt, "2024-06-01T10:15:00.000");
    EXPECT_EQ(a.trackName, "Harrowby Park");
}

// The same session in a file's other shapes: laps from the lap column, other units, a comma locale,
// no start date.
TEST(LapTimerExports, OtherShapesOfTheSameSession)
{
    const auto eachLine = [](const std::string& text, auto change) {
        std::string out;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            if (change(line)) out += line + '\n';
        }
        return out;
    };
    const auto expectSameLaps = [](const ZaroSession& a, const ZaroSession& b) {
        EXPECT_EQ(a.pointCount, b.pointCount);
        EXPECT_NEAR(a.distanceM, b.distanceM, 1e-6);
        EXPECT_EQ(a.lapCount, b.lapCount);
        EXPECT_EQ(a.bestLapSec, b.bestLapSec);
    };

    const std::string trackAddict = written(Foreign::trackAddict);
    const ZaroSession timed = readSession(trackAddict, "ta.csv");
    const ZaroSession fromColumn = readSession(eachLine(trackAddict, [](std::string& line) {
        if (line.starts_with("\"Time\"")) line.replace(line.find("Speed (Km/h)"), 12, "Speed (MPH)");
        return !line.starts_with("# Lap");
    }), "ta.csv");
    expectSameLaps(timed, fromColumn);
    EXPECT_NEAR(*fromColumn.maxSpeedMps, *timed.maxSpeedMps * 3.6 * 0.44704, 1e-9);

    const std::string alfano = written(Foreign::alfano);
    const ZaroSession points = readSession(alfano, "alfano.csv");
    const ZaroSession commas = readSession(eachLine(alfano, [first = true](std::string& line) mutable {
        if (std::exchange(first, false)) return true;
        std::erase(line, ',');
        std::replace(line.begin(), line.end(), '.', ',');
        return true;
    }), "alfano.csv");
    expectSameLaps(points, commas);
    EXPECT_EQ(points.maxSpeedMps, commas.maxSpeedMps);

    const std::string aim = written(Foreign::aim);
    const ZaroSession dated = readSession(aim, "aim.csv");
    const ZaroSession undated = readSession(eachLine(aim, [](std::string& line) { return !line.starts_with("Date,"); }), "aim.csv");
    expectSameLaps(dated, undated);
    EXPECT_EQ(undated.startedAt, "");
}

// Damaged files: each recognised, then refused with the parse's own errors.
TEST(LapTimerExports, DamagedFilesEndInTheParsesErrors)
{
    const auto kindOf = [](const std::string& text) {
        try {
            readSession(text, "damaged.csv");
        } catch (const ParseError& error) {
            return error.kind();
        }
        return ParseError::Kind::empty;  // no error at all: never expected below
    };
    const auto cut = [](const std::string& text, std::size_t lines) {
        std::size_t at = 0;
        for (std::size_t i = 0; i < lines && at != std::string::npos; ++i) at = text.find('\n', at + 1);
        return text.substr(0, at == std::string::npos ? text.size() : at + 1);
    };
    const auto replaced = [](std::string text, std::string_view from, std::string_view to) {
        for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) text.replace(at, from.size(), to);
        return text;
    };
    // Everything after the header (and units) replaced by junk rows.
    const auto garbage = [&cut](const std::string& text, std::size_t keep, char separator) {
        std::string out = cut(text, keep);
        for (int i = 0; i < 50; ++i) out += std::string("x") + separator + "\xFF" + separator + "nan" + separator + "1e999" + separator + "--\n";
        return out;
    };
    using K = ParseError::Kind;
    const std::string raceChrono = written(Foreign::raceChrono), trackAddict = written(Foreign::trackAddict);
    const std::string aim = written(Foreign::aim), alfano = written(Foreign::alfano);
    const struct {
        std::string text;
        K kind;
    } cases[] = {
        {cut(raceChrono, 4), K::missingColumns},
        {replaced(raceChrono, "latitude", "lat"), K::missingColumns},
        {garbage(raceChrono, 12, ','), K::missingTelemetry},
        {cut(trackAddict, 3), K::missingColumns},
        {replaced(trackAddict, "\"Longitude\"", "\"Lng\""), K::missingColumns},
        {garbage(trackAddict, 6, ','), K::missingTelemetry},
        {cut(aim, 6), K::missingColumns},
        {replaced(aim, "GPS Latitude", "GPS Lat"), K::missingColumns},
        {garbage(aim, 17, ','), K::missingTelemetry},
        {replaced(alfano, "Lat.;", "Breite;"), K::unsupportedFormat},
        {replaced(alfano, "Absolute Time", "Clock"), K::missingColumns},
        {garbage(alfano, 1, ';'), K::missingTelemetry},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(kindOf(cases[i].text), cases[i].kind) << "case " << i;
}

TEST(LapTimerExports, EachFamilyKnowsOnlyItsOwnFiles)
{
    const struct {
        Foreign family;
        bool (*recognises)(std::string_view);
    } families[] = {{Foreign::raceChrono, recognisesRaceChrono},
                    {Foreign::trackAddict, recognisesTrackAddict},
                    {Foreign::aim, recognisesAim},
                    {Foreign::alfano, recognisesAlfano}};
    for (const auto& file : families) {
        const std::string text = written(file.family);
        for (const auto& reader : families) EXPECT_EQ(reader.recognises(text), file.family == reader.family);
    }
    EXPECT_FALSE(recognisesRaceChrono("This file is created using RaceChrono v7.0\nFormat,2\n\nTime (s),Latitude (deg)\n"));
    EXPECT_FALSE(recognisesAim("Format,RaceBox CSV\n"));
    EXPECT_FALSE(recognisesAlfano("Lap;Time Lap;Speed\n1;80.1;50\n"));
    EXPECT_FALSE(recognisesTrackAddict("# a comment\nTime,Latitude,Longitude\n"));
}

}  // namespace
}  // namespace zaro::formats
