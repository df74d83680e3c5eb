#include <limits>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "summary.hpp"

namespace zaro {
namespace {

using Kind = ZaroSessionLap::Kind;

std::string summaryText(const ZaroSession& session)
{
    std::ostringstream out;
    cli::writeSummary(out, session);
    return out.str();
}

TEST(TextSummary, ShowsTitleSourceStartStatisticsAndEveryCompletedLapInColumns)
{
    ZaroSession session;
    session.fileName = "Sunday practice.csv";
    session.trackName = "Home Circuit";
    session.dataSource = "ZARO Lap Timer";
    session.startedAt = "2024-06-01T10:15:00Z";
    session.endedAt = "2024-06-01T10:40:08Z";
    session.lapCount = 3;
    session.bestLapSec = 83.456;
    session.laps = {
        {Kind::incomplete, std::nullopt, 41.2, {}},
        {Kind::lap, 1, 83.456, {27.9, 28.1, 27.456}},
        {Kind::lap, 2, 84.5, {0, 29.8}},
        {Kind::lap, std::nullopt, 90.25, {}},
        {Kind::lap, 4, std::numeric_limits<double>::quiet_NaN(), {30.0}},
    };
    session.pointCount = 4810;
    session.distanceM = 15250.3;
    session.maxSpeedMps = 39.7;

    EXPECT_EQ(summaryText(session),
              "Home Circuit\n"
              "Sunday practice.csv  \u00b7  ZARO Lap Timer\n"
              "Started    1 Jun 2024 10:15:00 UTC\n"
              "Best lap   1:23.456\n"
              "Laps       3\n"
              "Duration   25:08\n"
              "Distance   15.25 km\n"
              "Max speed  142.9 km/h\n"
              "Samples    4810\n"
              "\n"
              "  Lap 1     1:23.456   27.900  \u00b7  28.100  \u00b7  27.456\n"
              "  Lap 2     1:24.500   29.800\n"
              "  Lap       1:30.250\n"
              "  Lap 4     \u2014          30.000\n");
}

TEST(TextSummary, ShowsPlaceholdersAndANoticeWhenNoLapWasCompleted)
{
    ZaroSession session;
    session.fileName = "a.csv";
    session.trackName = "Unknown track";
    session.dataSource = "ZARO track session";
    session.startedAt = "yesterday";
    session.laps = {{Kind::incomplete, std::nullopt, 41.2, {}}};
    session.pointCount = 1;
    session.distanceM = 999.4;

    EXPECT_EQ(summaryText(session),
              "Unknown track\n"
              "a.csv  \u00b7  ZARO track session\n"
              "Started    yesterday\n"
              "Best lap   \u2014\n"
              "Laps       0\n"
              "Duration   \u2014\n"
              "Distance   999 m\n"
              "Max speed  \u2014\n"
              "Samples    1\n"
              "\n"
              "  No completed laps\n");
}

TEST(TextSummary, PrintsControlCharactersAndBrokenUtf8FromTheFileAsReplacementCharacters)
{
    ZaroSession session;
    session.fileName = "bad\xff.csv";
    session.trackName = "Evil\x1b]0;owned\x07 Track\x7f";
    session.dataSource = "csi\xc2\x9b" "2J \u00fcber";
    session.startedAt = "2024-06-01T10:15:00Z";
    session.endedAt = "2024-06-01T10:15:00Z";
    session.pointCount = 1;

    const auto text = summaryText(session);
    EXPECT_EQ(text.substr(0, text.find("Started")),
              "Evil\uFFFD]0;owned\uFFFD Track\uFFFD\n"
              "bad\uFFFD.csv  \u00b7  csi\uFFFD2J \u00fcber\n");
}

}  // namespace
}  // namespace zaro
