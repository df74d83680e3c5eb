// Real files that people published, read in place: each is accepted or rejected as expected.
#include <gtest/gtest.h>

#include "parser/zaro_session_parser.hpp"
#include "support/cases.hpp"
#include "support/failure.hpp"

using namespace zaro;

namespace {

const std::filesystem::path corpus = ZARO_CORPUS_DIR;

}  // namespace

TEST(Corpus, GivesEachPublishedFileItsExpectedVerdict)
{
    if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    for (const support::Case& c : support::readCases("parser/corpus.cases")) {
        const auto path = corpus / c[0];
        if (!std::filesystem::exists(path)) continue;
        // Files that the preview refuses for their format or columns get no thumbnail either.
        EXPECT_EQ(ZaroSessionParser::isSessionFile(path), c[1].starts_with("read as ")) << c.where;
        std::string source;
        const std::string error = support::failureOf([&] {
            const ZaroSession session = ZaroSessionParser::parseFile(path);
            EXPECT_LE(session.polyline.size(), 200u) << c.where;
            source = "read as " + session.dataSource;
        }, "");
        EXPECT_EQ(error + source, c[1]) << c.where;
    }
}

TEST(Corpus, InfersTheRaceBoxMiniLapsFromItsLapColumn)
{
    const auto path = corpus / "racebox_mini_no_preamble_crlf.csv";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no corpus file " << path;
    const ZaroSession s = ZaroSessionParser::parseFile(path);
    EXPECT_EQ(std::tie(s.laps, s.pointCount, s.startedAt),
              std::tuple(std::vector<ZaroSessionLap>{{ZaroSessionLap::Kind::incomplete, std::nullopt, 42.92, {}},
                                                     {ZaroSessionLap::Kind::lap, 1, 36.52, {}}},
                         3628, "2026-06-21T20:43:33.160Z"));
}

TEST(Corpus, KeepsTheStatedLapCountAndBestLapOfTheRaceBoxPreamble)
{
    const auto path = corpus / "racebox_preamble_localtime_mph_aircraft.csv";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no corpus file " << path;
    const ZaroSession s = ZaroSessionParser::parseFile(path);
    EXPECT_EQ(std::tie(s.trackName, s.configuration, s.sessionType, s.lapCount, s.bestLapSec, s.startedAt, s.laps),
              std::tuple("No Track", std::nullopt, "Track", 0, 1451.28, "2024-10-19T21:24:58+00:00",
                         std::vector<ZaroSessionLap>{}));
}
