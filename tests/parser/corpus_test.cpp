// Real files that people published, read in place: each is accepted or rejected as expected.
#include <gtest/gtest.h>

#include "parser/zaro_session_parser.hpp"

using namespace zaro;

namespace {

struct Verdict {
    const char* file;
    const char* outcome;  // "accepted" or the error message
    const char* dataSource = "";
};

const std::string unsupported = ParseError::unsupportedFormat().what();

}  // namespace

TEST(Corpus, GivesEachPublishedFileItsExpectedVerdict)
{
    const std::filesystem::path dir = ZARO_CORPUS_DIR;
    if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no corpus at " << dir;
    const std::vector<Verdict> verdicts = {
        {"racebox_mini_no_preamble_crlf.csv", "accepted", "ZARO track session"},
        {"racebox_preamble_localtime_mph_aircraft.csv", "accepted", "RaceBox 2231805805"},
        {"racebox_no_preamble_mps_aircraft.csv", "accepted", "ZARO track session"},
        {"aim_racestudio3_format_preamble_units_row.csv", unsupported.c_str()},
        {"racechrono_v3_laptiming_crlf.csv", unsupported.c_str()},
        {"trackaddict_android_comment_preamble_quoted_header.csv", unsupported.c_str()},
        {"telemetryoverlay_custom_from_racekeeper_crlf.csv", unsupported.c_str()},
        {"qstarz_style_gps_logger_uppercase_units_in_values.csv", unsupported.c_str()},
        {"gauge_s_datalogger_degree_sign_units_trailing_comma.csv", unsupported.c_str()},
        {"alfano6_semicolon_excerpt.csv", unsupported.c_str()},
        {"phyphox_location_quoted_header_sci_notation.csv", "accepted", "ZARO track session"},
        {"sensorlogger_location_lowercase_epoch_ns.csv", unsupported.c_str()},
        {"torque_pro_tracklog_localized_gps_time.csv", unsupported.c_str()},
    };
    for (const Verdict& verdict : verdicts) {
        const auto path = dir / verdict.file;
        if (!std::filesystem::exists(path)) continue;
        // Files that the preview refuses for their format or columns get no thumbnail either.
        EXPECT_EQ(ZaroSessionParser::isSessionFile(path), std::string_view(verdict.outcome) == "accepted") << verdict.file;
        try {
            const ZaroSession session = ZaroSessionParser::parseFile(path);
            EXPECT_STREQ("accepted", verdict.outcome) << verdict.file;
            EXPECT_EQ(session.dataSource, verdict.dataSource) << verdict.file;
            EXPECT_LE(session.polyline.size(), 200u);
        } catch (const ParseError& error) {
            EXPECT_STREQ(error.what(), verdict.outcome) << verdict.file;
        }
    }
}

TEST(Corpus, InfersTheRaceBoxMiniLapsFromItsLapColumn)
{
    const auto path = std::filesystem::path(ZARO_CORPUS_DIR) / "racebox_mini_no_preamble_crlf.csv";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no corpus file " << path;
    const ZaroSession session = ZaroSessionParser::parseFile(path);
    EXPECT_EQ(session.laps, (std::vector<ZaroSessionLap>{{ZaroSessionLap::Kind::incomplete, std::nullopt, 42.92, {}},
                                                         {ZaroSessionLap::Kind::lap, 1, 36.52, {}}}));
    EXPECT_EQ(session.pointCount, 3628);
    EXPECT_EQ(session.startedAt, "2026-06-21T20:43:33.160Z");
}

TEST(Corpus, KeepsTheStatedLapCountAndBestLapOfTheRaceBoxPreamble)
{
    const auto path = std::filesystem::path(ZARO_CORPUS_DIR) / "racebox_preamble_localtime_mph_aircraft.csv";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no corpus file " << path;
    const ZaroSession session = ZaroSessionParser::parseFile(path);
    EXPECT_EQ(session.trackName, "No Track");
    EXPECT_EQ(session.configuration, std::nullopt);
    EXPECT_EQ(session.sessionType, "Track");
    EXPECT_EQ(session.lapCount, 0);
    EXPECT_EQ(session.bestLapSec, 1451.28);
    EXPECT_EQ(session.startedAt, "2024-10-19T21:24:58+00:00");
    EXPECT_EQ(session.laps, std::vector<ZaroSessionLap>{});
}
