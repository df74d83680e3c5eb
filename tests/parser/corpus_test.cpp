// Real files that people published, read in place: each is accepted or rejected as expected.
#include <gtest/gtest.h>

#include "parser/zaro_session_parser.hpp"
#include "support/cases.hpp"
#include "support/failure.hpp"
#include "support/samples.hpp"

using namespace zaro;

namespace {

const std::filesystem::path corpus = ZARO_CORPUS_DIR;

}  // namespace

TEST(Corpus, GivesEachPublishedFileItsVerdictAndTheRaceBoxFilesTheirStartsRowsAndLaps)
{
    if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    for (const support::Case& c : support::readCases("parser/corpus.cases")) {
        const auto path = corpus / c[0];
        if (!std::filesystem::exists(path)) continue;
        // Files that the preview refuses for their format or columns get no thumbnail either.
        EXPECT_EQ(ZaroSessionParser::isSessionFile(path), c[1].starts_with("read as ")) << c.where;
        std::vector<std::optional<std::string>> read;
        const std::string error = support::failureOf([&] {
            const ZaroSession s = ZaroSessionParser::parseFile(path);
            EXPECT_LE(s.polyline.size(), 200u) << c.where;
            const auto best = s.bestLapSec ? std::optional(support::shortest(*s.bestLapSec)) : std::nullopt;
            read = {"read as " + s.dataSource, s.trackName, s.configuration, s.sessionType, s.startedAt,
                    std::to_string(s.pointCount), std::to_string(s.lapCount), best, support::lapText(s.laps)};
        }, "");
        if (!error.empty()) read = {error};
        read.resize(std::min(read.size(), c.fields.size() - 1));  // what the case states
        EXPECT_EQ(read, std::vector(c.fields.begin() + 1, c.fields.end())) << c.where;
    }
}
