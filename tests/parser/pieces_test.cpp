// A body read in pieces on several threads gives the session the body read in one gives, wherever
// the cuts fall.
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "body.hpp"
#include "laps.hpp"
#include "parser/zaro_session_parser.hpp"
#include "support/files.hpp"
#include "support/same_session.hpp"

namespace zaro::ZaroSessionParser {
namespace {

using detail::parseCutAt;

// A plain track with a lap column: laps 0 to `laps`, then 0 again, at 25 Hz round a small circle,
// with the rows a seam can split badly mixed in.
std::string lapColumnTrack(int rowsPerLap, int laps)
{
    std::string file = "Time,Latitude,Longitude,Speed (km/h),GForceX,GForceY,LeanAngle,Lap\r\n";
    std::mt19937 random(7);
    for (int i = 0; i < rowsPerLap * (laps + 2); ++i) {
        const int lap = std::min(i / rowsPerLap, laps + 1) % (laps + 1);
        const double angle = 2 * M_PI * (i % rowsPerLap) / rowsPerLap;
        char row[160];
        std::snprintf(row, sizeof row, "2024-06-01T10:%02d:%02d.%03dZ,%.7f,%.7f,%.2f,%.3f,%.3f,%.1f,%d",
                      15 + i / 1500 % 45, i / 25 % 60, i % 25 * 40, 52.07 + 0.004 * std::sin(angle),
                      -1.01 + 0.006 * std::cos(angle), 60 + 90 * std::fabs(std::sin(angle)), std::sin(3 * angle),
                      -std::cos(5 * angle), 45 * std::sin(2 * angle), lap);
        file += row;
        switch (random() % 16) {
        case 0: file += "\r\n"; break;
        case 1: file += "\n\n  \t \n"; break;                                // blank lines
        case 2: file += ",\"a, quoted\r\nfield\"\n"; break;                      // a quoted field over two lines
        case 3: file += "\n2024-06-01T11:00:00Z,95,-1.01,80,0,0,0,9\n"; break;  // rejected: latitude
        case 4: file += "\n,52.07,-1.01,80,0,0,0,9\n"; break;                   // rejected: no time
        case 5: file += ",caf\xC3\xA9 \xFF\n"; break;                            // UTF-8 and a bad byte
        default: file += "\n";
        }
    }
    return file;
}

void expectSameAsWhole(const std::string& file, const std::vector<std::int64_t>& cuts, const ZaroSession& whole)
{
    ASSERT_EQ(support::differenceOfCutParse(parseCutAt(file, "track.csv", cuts), whole), "")
        << "cut at " << ::testing::PrintToString(cuts);
}

TEST(Pieces, MaximaSumsAndLapBoundariesJoinedAtAnySplitAreThoseOfTheWholeRun)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<std::vector<double>> runs = {{nan, 3, 5},       {3, nan, 5, 4},      {0.0, -0.0, 0.0, -0.0},
                                                   {-inf, nan, -inf}, {1e16, 1, 1, -1e16}, {inf, 2, -inf},
                                                   {nan, -nan, 1},    {-nan, 2, nan},      {inf, -inf, nan, 1}};
    for (const std::vector<double>& run : runs) {
        for (std::size_t split = 0; split <= run.size(); ++split) {
            RunningMaximum whole, earlier, later;
            CompensatedSum wholeSum, earlierSum, laterSum;
            for (std::size_t i = 0; i < run.size(); ++i) {
                whole.add(run[i]);
                wholeSum.add(run[i]);
                (i < split ? earlier : later).add(run[i]);
                (i < split ? earlierSum : laterSum).add(run[i]);
            }
            earlier.append(later);
            earlierSum.add(laterSum);
            const auto bits = [](std::optional<double> v) { return v ? std::bit_cast<std::uint64_t>(*v) : 1; };
            EXPECT_EQ(std::pair(bits(earlier.value()), bits(earlierSum.value())),
                      std::pair(bits(whole.value()), bits(wholeSum.value())))
                << testing::PrintToString(run) << " split " << split;
        }
    }
    // Of two NaNs the later one is the sum, however the additions were compiled.
    CompensatedSum nans;
    for (const double term : {nan, 1.0, -nan}) nans.add(term);
    EXPECT_TRUE(std::isnan(nans.value()) && std::signbit(nans.value()));

    // Lap numbers and times in ms: rows of one lap, changes, out-laps (0) after a lap and at the start.
    const std::vector<std::pair<std::int64_t, std::int64_t>> rows = {
        {0, 0}, {0, 5}, {1, 10}, {1, 20}, {2, 30}, {0, 40}, {0, 45}, {2, 50}, {3, 60}, {-1, 70}, {0, 80}, {3, 90}};
    for (std::size_t split = 0; split <= rows.size(); ++split) {
        InferredLaps whole, earlier, later;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            whole.update(rows[i].first, rows[i].second);
            (i < split ? earlier : later).update(rows[i].first, rows[i].second);
        }
        earlier.append(std::move(later));
        const auto state = [](const InferredLaps& l) {
            return std::tie(l.firstTime, l.firstZeroAfter, l.lastTime, l.previousLap, l.latestLap);
        };
        EXPECT_EQ(state(earlier), state(whole)) << "split " << split;
    }
}

TEST(Pieces, OneCutAnywhereAndTwoCutsCloseTogetherGiveTheSessionOfTheWholeBody)
{
    const std::string file = lapColumnTrack(8, 2);
    const ZaroSession whole = parse(file, "track.csv", 1);
    ASSERT_EQ(whole.laps.size(), 3U);
    for (std::int64_t cut = 0; cut <= static_cast<std::int64_t>(file.size()); ++cut) {
        expectSameAsWhole(file, {cut}, whole);
        // Pieces of one row, of part of one, and empty ones.
        if (cut % 3 == 0) expectSameAsWhole(file, {cut, cut + 1, cut + 2, cut + 40}, whole);
    }
}

TEST(Pieces, ABodyOfMegabytesReadOnThreadsFindsEveryTrackPointThatOneThreadFinds)
{
    // Over 4 MB, so that candidates lie far apart and a later piece has to look them up.
    const std::string file = lapColumnTrack(2500, 20);
    ASSERT_GT(file.size(), 4'200'000U);
    const ZaroSession whole = parse(file, "track.csv", 1);
    ASSERT_EQ(whole.polyline.size(), 200U);
    std::mt19937_64 random(11);
    for (int round = 0; round < 8; ++round) {
        std::vector<std::int64_t> cuts;
        for (int i = 0; i <= round % 4; ++i) cuts.push_back(static_cast<std::int64_t>(random() % file.size()));
        std::sort(cuts.begin(), cuts.end());
        cuts.push_back(cuts.back() + 1 + round);  // a piece of a row or two
        expectSameAsWhole(file, cuts, whole);
    }
    const support::TemporaryFolder folder;
    support::writeFile(folder / "track.csv", file);
    for (const unsigned threads : {0U, 2U, 3U}) {
        EXPECT_EQ(support::differenceOfCutParse(parseFile(folder / "track.csv", threads), whole), "") << threads;
        EXPECT_EQ(support::differenceOfCutParse(parse(file, "track.csv", threads), whole), "") << threads;
    }
    // More pieces than threads: each thread takes the next piece as it finishes one. The pieces cover
    // the body, never grow, and keep within their bounds.
    const std::string longer = lapColumnTrack(2500, 62);
    const auto size = static_cast<std::int64_t>(longer.size());
    EXPECT_EQ(detail::pieceCuts(0, size, 1).size(), 0U);
    EXPECT_EQ(detail::pieceCuts(0, 2 * detail::minimumPieceBytes - 1, 2).size(), 0U);
    const std::vector<std::int64_t> cuts = detail::pieceCuts(100, size, 2);
    ASSERT_GE(cuts.size(), 8U);
    std::int64_t previous = 100;
    std::int64_t previousPiece = detail::preferredPieceBytes;
    for (std::size_t i = 0; i <= cuts.size(); ++i) {
        const std::int64_t piece = (i < cuts.size() ? cuts[i] : size) - previous;
        EXPECT_GE(piece, detail::smallestPieceBytes) << i;
        EXPECT_LE(piece, detail::preferredPieceBytes) << i;
        if (i < cuts.size()) {
            EXPECT_LE(piece, previousPiece) << i;
        }
        previous += piece;
        previousPiece = piece;
    }
    EXPECT_LT(size - cuts.back(), 2 * detail::smallestPieceBytes);
    EXPECT_EQ(support::differenceOfCutParse(parse(longer, "track.csv", 2), parse(longer, "track.csv", 1)), "");
}

}  // namespace
}  // namespace zaro::ZaroSessionParser
