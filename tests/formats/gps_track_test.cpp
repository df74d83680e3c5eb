// The generic GPS track reader: real loggers' files, a table of spellings, separators, hemispheres and
// time forms, the same session in every layout and encoding, and files shaped to hurt.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "foreign/gps_track.hpp"
#include "formats/session_reading.hpp"
#include "parser/zaro_session_parser.hpp"
#include "readers.hpp"
#include "round_trip.hpp"
#include "support/cases.hpp"

namespace zaro::formats {
namespace {

using SessionGenerator::GpsTrackLayout;

std::optional<std::string> corpusFile(const std::string& name)
{
    std::ifstream in(std::string(ZARO_CORPUS_DIR) + "/" + name, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string outcomeOf(const std::string& text)
{
    try {
        readSession(text, "log.csv");
        return "card";
    } catch (const ParseError& error) {
        return error.errorDescription();
    }
}

// The figures were worked out from each file's own rows by a script apart from this code.
TEST(GpsTrack, EveryGpsLogOfTheCorpusIsACard)
{
    struct Expected {
        const char* file;
        std::int64_t points;
        double lat, lon;
        double topSpeedMps;
        const char* startedAt;
        const char* endedAt;
    };
    const Expected corpus[] = {
        {"telemetryoverlay_custom_from_racekeeper_crlf.csv", 282, 50.3010636, 4.6550936, 25.22,
         "2021-04-04T10:00:23.000Z", "2021-04-04T10:00:32.000Z"},
        {"qstarz_style_gps_logger_uppercase_units_in_values.csv", 18860, 52.961855, 6.526638, 213.316 / 3.6,
         "2008-06-03T07:49:13.200", "2008-06-03T15:10:05.200"},
        {"gauge_s_datalogger_degree_sign_units_trailing_comma.csv", 4999, 30.132097, -97.639816, 209.09 / 3.6,
         "2025-04-06T19:02:50.000", "2025-04-06T19:08:46.217"},
        {"sensorlogger_location_lowercase_epoch_ns.csv", 205, 35.1379197, -80.8670152, 10.437605857849121,
         "2024-02-11T15:02:02.373Z", "2024-02-11T15:05:23.729Z"},
        // Its GPS speed has a few values that lost their decimal point (138093 km/h): no speed at all.
        {"torque_pro_tracklog_localized_gps_time.csv", 681, 50.34529714494015, 6.964185290391374, 190.95712 / 3.6,
         "2012-08-21T18:20:23.667", "2012-08-21T18:31:43.819"},
    };
    int read = 0;
    for (const Expected& expected : corpus) {
        SCOPED_TRACE(expected.file);
        const auto text = corpusFile(expected.file);
        if (!text) continue;
        ++read;
        EXPECT_THROW(ZaroSessionParser::parse(*text, expected.file), ParseError);
        ASSERT_TRUE(recognisesGpsTrack(text->substr(0, ZaroSessionParser::sessionHeadBytes)));
        const ZaroSession session = readGpsTrack(*text, expected.file, 1);
        EXPECT_EQ(session.pointCount, expected.points);
        ASSERT_FALSE(session.polyline.empty());
        EXPECT_DOUBLE_EQ(session.polyline.front().lat, expected.lat);
        EXPECT_DOUBLE_EQ(session.polyline.front().lon, expected.lon);
        ASSERT_TRUE(session.maxSpeedMps);
        EXPECT_NEAR(*session.maxSpeedMps, expected.topSpeedMps, 1e-9 * expected.topSpeedMps);
        EXPECT_EQ(session.startedAt, expected.startedAt);
        EXPECT_EQ(session.endedAt, expected.endedAt);
        EXPECT_EQ(session.dataSource, "GPS track");
        EXPECT_EQ(session.trackName, "Unknown track");
        EXPECT_EQ(session.lapCount, 0);
    }
    if (read == 0) GTEST_SKIP() << "no corpus at " << ZARO_CORPUS_DIR;
}

TEST(GpsTrack, PhyphoxStaysWithTheParse)
{
    const auto text = corpusFile("phyphox_location_quoted_header_sci_notation.csv");
    if (!text) GTEST_SKIP() << "no corpus at " << ZARO_CORPUS_DIR;
    const ZaroSession session = readSession(*text, "Location.csv");
    EXPECT_EQ(session.dataSource, "ZARO track session");
    EXPECT_EQ(session.pointCount, 166);
}

TEST(GpsTrack, ReadsEachSpellingSeparatorHemisphereAndTimeForm)
{
    for (const support::Case& c : support::readCases("formats/gps_columns.cases")) {
        SCOPED_TRACE(c.where + " " + c[0]);
        const std::string& text = c[1];
        // A file gets a thumbnail exactly when a reader takes it.
        const bool declined = c.fields.size() == 3 && (c[2].starts_with("Unsupported") || c[2].starts_with("The ZARO Session file is missing"));
        EXPECT_EQ(isSessionHead(text, true), !declined);
        if (c.fields.size() == 3) {
            EXPECT_EQ(outcomeOf(text), c[2]);
            continue;
        }
        ZaroSession session;
        ASSERT_NO_THROW(session = readSession(text, "log.csv"));
        EXPECT_EQ(session.pointCount, std::stoll(c[2]));
        ASSERT_FALSE(session.polyline.empty());
        EXPECT_DOUBLE_EQ(session.polyline.front().lat, std::stod(c[3]));
        EXPECT_DOUBLE_EQ(session.polyline.front().lon, std::stod(c[4]));
        if (c.fields[5]) {
            ASSERT_TRUE(session.maxSpeedMps);
            EXPECT_NEAR(*session.maxSpeedMps, std::stod(c[5]), 1e-12);
        } else {
            EXPECT_FALSE(session.maxSpeedMps);
        }
        EXPECT_EQ(session.startedAt, c.fields[6].value_or(""));
        EXPECT_EQ(session.endedAt, c.fields[7].value_or(""));
        EXPECT_EQ(session.dataSource, c[8]);
    }
}

// The laps a lap column gives are the parse's for the same rows under its own names.
TEST(GpsTrack, ReadsAccelerationsLeanAndLapsInTheirSpellings)
{
    struct Names {
        const char* gx;
        const char* gy;
        const char* lean;
        const char* lap;
        double perG;  // the file's unit of acceleration in g
    };
    const Names spellings[] = {
        {"GForceX", "GForceY", "LeanAngle", "Lap", 1},
        {"gforcex (g)", "gforcey (g)", "lean_deg", "lap number", 1},
        {"gx", "gy", "Lean Angle (deg)", "lapindex", 1},
        {"Longitudinal Acceleration (m/s\u00B2)", "lateral_acceleration [m/s2]", "leanangle", "Lap #", 9.80665},
    };
    const auto rows = [](double perG) {
        constexpr int laps[] = {0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 0};
        std::string text;
        for (int i = 0; i < 11; ++i) {
            text += "2024-06-01T10:15:" + std::string(i < 10 ? "0" : "") + std::to_string(i) + "Z," + std::to_string(52 + i * 0.001) + ",-1," +
                    std::to_string((i * 0.1 - 0.6) * perG) + "," + std::to_string((0.4 - i * 0.12) * perG) + "," +
                    std::to_string(i * 4.5 - 20) + "," + std::to_string(laps[i]) + "\n";
        }
        return text;
    };
    const ZaroSession expected = ZaroSessionParser::parse("Time,Latitude,Longitude,GForceX,GForceY,LeanAngle,Lap\n" + rows(1), "log.csv");
    ASSERT_EQ(expected.lapCount, 3);
    for (const Names& names : spellings) {
        SCOPED_TRACE(names.lap);
        const std::string header = std::string("time,lat,lon,") + names.gx + "," + names.gy + "," + names.lean + "," + names.lap + "\n";
        const ZaroSession session = readSession(header + rows(names.perG), "log.csv");
        ASSERT_TRUE(session.maxAbsGx && session.maxAbsGy && session.maxLeanDeg);
        EXPECT_NEAR(*session.maxAbsGx, 0.6, 1e-6);
        EXPECT_NEAR(*session.maxAbsGy, 0.8, 1e-6);
        EXPECT_DOUBLE_EQ(*session.maxLeanDeg, 25);
        EXPECT_EQ(session.lapCount, expected.lapCount);
        EXPECT_EQ(session.bestLapSec, expected.bestLapSec);
        EXPECT_EQ(session.laps.size(), expected.laps.size());
    }
}

std::string utf16(std::string_view ascii, bool bigEndian)
{
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char c : ascii) {
        out += bigEndian ? '\0' : c;
        out += bigEndian ? c : '\0';
    }
    return out;
}

TEST(GpsTrack, ReadsEveryEncodingAlike)
{
    const std::string text = "time;lat;lon;note\n1717236900000;52,1;-1,2;ok\n1717236901000;52,2;-1,3;ok\n";
    std::string badBytes = text;
    badBytes.replace(badBytes.find("ok"), 2, "\xFF\xC0");
    for (const std::string& encoded : {"\xEF\xBB\xBF" + text, utf16(text, false), utf16(text, true), badBytes,
                                       utf16(text, false) + "\x01"}) {
        const ZaroSession session = readSession(encoded, "log.csv");
        EXPECT_EQ(session.pointCount, 2);
        EXPECT_DOUBLE_EQ(session.polyline.back().lon, -1.3);
        EXPECT_EQ(session.endedAt, "2024-06-01T10:15:01.000Z");
    }
}

TEST(GpsTrack, RoundTrip) { test::expectRoundTrip(SessionGenerator::Foreign::gpsTrack, {}); }

// Every layout of the same rows gives the plain track's record, within what its times keep.
TEST(GpsTrack, EveryLayoutOfOneSessionGivesItsRecord)
{
    using Times = GpsTrackLayout::Times;
    using Hemispheres = GpsTrackLayout::Hemispheres;
    enum class Clock { utc, local, none };
    struct Variant {
        GpsTrackLayout layout;
        Clock clock;
        double lapSeconds;  // how near the lap times come
        bool utf16 = false;
    };
    const Variant variants[] = {
        {{',', Times::unixNanoseconds, Hemispheres::signs, false}, Clock::utc, 0.001},
        {{';', Times::isoUtc, Hemispheres::signs, false}, Clock::utc, 0.001},
        {{'\t', Times::isoLocal, Hemispheres::letters, false}, Clock::local, 0.001},
        {{',', Times::secondsFromStart, Hemispheres::columns, true}, Clock::none, 0.001},
        {{',', Times::dateAndTime, Hemispheres::columns, true}, Clock::local, 0.001},
        {{';', Times::compactDateAndTime, Hemispheres::letters, true}, Clock::local, 1.0},
        {{'\t', Times::dayMonthYear, Hemispheres::signs, true}, Clock::local, 0.001},
        {{',', Times::monthName, Hemispheres::letters, false}, Clock::local, 0.001},
        {{';', Times::none, Hemispheres::columns, false}, Clock::none, 0},
        {{',', Times::unixMilliseconds, Hemispheres::signs, false}, Clock::utc, 0.001, true},
    };
    const SessionGenerator::Options options = test::roundTripOptions();
    const std::string plain = SessionGenerator::generate(options);
    const ZaroSession expected = ZaroSessionParser::parse(plain, "session.csv");
    const auto rows = SessionGenerator::rowsOf(plain);
    const auto lapTimes = [](const ZaroSession& session) {
        std::vector<double> times;
        for (const auto& lap : session.laps) {
            if (lap.kind == ZaroSessionLap::Kind::lap) times.push_back(lap.timeSec);
        }
        return times;
    };
    const auto local = [](std::string stamp) { return stamp.substr(0, stamp.size() - 1); };
    for (std::size_t v = 0; v < std::size(variants); ++v) {
        const Variant& variant = variants[v];
        SCOPED_TRACE("variant " + std::to_string(v));
        std::string written = SessionGenerator::writeGpsTrack(rows, variant.layout);
        if (variant.utf16) written = utf16(written, false);
        const ZaroSession read = readSession(written, "session.csv");
        EXPECT_EQ(read.pointCount, expected.pointCount);
        EXPECT_NEAR(read.polyline.front().lat, expected.polyline.front().lat, 1e-7);
        EXPECT_NEAR(read.polyline.back().lon, expected.polyline.back().lon, 1e-7);
        EXPECT_NEAR(read.distanceM, expected.distanceM, expected.distanceM * 1e-4);
        ASSERT_TRUE(read.maxSpeedMps && read.avgSpeedMps);
        EXPECT_NEAR(*read.maxSpeedMps, *expected.maxSpeedMps, 0.01);
        EXPECT_NEAR(*read.avgSpeedMps, *expected.avgSpeedMps, 0.01);
        ASSERT_TRUE(read.maxAbsGx && read.maxLeanDeg);
        EXPECT_NEAR(*read.maxAbsGx, *expected.maxAbsGx, 1e-9);
        EXPECT_NEAR(*read.maxLeanDeg, *expected.maxLeanDeg, 1e-9);
        switch (variant.clock) {
        case Clock::utc: EXPECT_EQ(read.startedAt, expected.startedAt); break;
        case Clock::local: EXPECT_EQ(read.startedAt, local(expected.startedAt)); break;
        case Clock::none: EXPECT_EQ(read.startedAt, ""); break;
        }
        if (variant.layout.times == Times::none) {
            EXPECT_EQ(read.lapCount, 0);  // laps need times
            continue;
        }
        EXPECT_EQ(read.lapCount, expected.lapCount);
        const auto readLaps = lapTimes(read), expectedLaps = lapTimes(expected);
        ASSERT_EQ(readLaps.size(), expectedLaps.size());
        for (std::size_t i = 0; i < readLaps.size(); ++i) EXPECT_NEAR(readLaps[i], expectedLaps[i], variant.lapSeconds);
    }
}

TEST(GpsTrack, HostileFilesEndInAnErrorOrAWholeCard)
{
    const std::string unsupported = "Unsupported ZARO Session format. Expected ZARO or RaceBox CSV.";
    const std::string noRows = "The ZARO Session file has no GPS rows.";
    const std::string rows = "1717236900000,52.1,-1.2\n1717236901000,52.2,-1.3\n";

    std::string wide = "time,lat,lon";
    for (int i = 0; i < 1'000'000; ++i) wide += ",time";
    EXPECT_EQ(outcomeOf(wide + "\n" + rows), "card");

    constexpr std::size_t largest = 64 << 20;
    EXPECT_EQ(outcomeOf(std::string(largest, 'A')), unsupported);
    EXPECT_EQ(outcomeOf("time,lat,lon\n" + std::string(largest - 13, '7')), noRows);
    EXPECT_EQ(outcomeOf("time,lat,lon\n" + std::string(largest - 13, ',')), noRows);
    // An unbalanced quote holds the rest of its line only.
    EXPECT_EQ(readSession("time,lat,lon\n\"" + rows + "\"1,2,3\n", "log.csv").pointCount, 1);
    EXPECT_EQ(outcomeOf("\"time,lat,lon\n" + rows), unsupported);
    EXPECT_EQ(outcomeOf(utf16("time,lat,lon\n" + rows, true) + "\x33"), "card");

    std::string nuls;
    for (const char c : "time,lat,lon\n" + rows) nuls += std::string(1, c) + '\0';
    EXPECT_EQ(outcomeOf(nuls), unsupported);
    EXPECT_EQ(outcomeOf(std::string(4096, '\0')), unsupported);
}

}  // namespace
}  // namespace zaro::formats
