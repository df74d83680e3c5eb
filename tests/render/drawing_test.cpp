// What the cards, the map and the track thumbnail draw and where, through a recording context, against
// the listings in drawings.txt; and where the map puts a trace.
#include <algorithm>
#include <cmath>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/map.hpp"
#include "render/preview_card.hpp"
#include "render/track_thumbnail.hpp"
#include "support/cases.hpp"
#include "support/recording_context.hpp"
#include "support/samples.hpp"

namespace zaro {
namespace {

using support::incompleteLap;
using support::lap;
using support::RecordingContext;
namespace Card = ZaroSessionPreviewCard;
namespace Map = ZaroSessionMap;

const std::vector<ZaroSessionPoint> triangle = {{0, 0}, {0, 2}, {1, 1}};

// The calls recorded, line by line, against the listing's part headed `title`.
void expectListing(const RecordingContext& recorded, const std::string& title)
{
    const std::vector<std::string> expected = support::listing("render/drawings.txt", title);
    for (std::size_t i = 0; i < std::max(expected.size(), recorded.calls.size()); ++i) {
        ASSERT_EQ(i < recorded.calls.size() ? recorded.calls[i] : "(no call)",
                  i < expected.size() ? expected[i] : "(no call)") << title << ", call " << i;
    }
}

TEST(CardLayout, DrawsTextsPanelTilesTraceAndAsManyRowsOfCompletedLapsAsTheHeightHoldsStripingTheEvenOnes)
{
    std::vector<ZaroSessionLap> laps = {incompleteLap(30), lap(4, 83.456, {31.2, 0, -1, NAN, 29.8}),
                                        incompleteLap(30), lap(std::nullopt, 71, {0, 0})};
    for (int i = 5; i <= 12; ++i) laps.push_back(lap(i, 80));
    for (const double height : {720, 748}) {
        RecordingContext recorded;
        Card::draw(support::sampleSession(laps, triangle), recorded, {840, height}, true);
        expectListing(recorded, "card at 840 x " + std::to_string(int(height)));
    }
}

TEST(CardLayout, TheShownPartOfASessionDrawsTheSameCardFromFarLess)
{
    std::vector<double> manySectors;
    for (int i = 0; i < 5000; ++i) manySectors.push_back(20.0 + i % 17);
    std::vector<ZaroSessionLap> laps = {incompleteLap(30), lap(1, 90, SectorList(manySectors))};
    for (int i = 2; i <= 200; ++i) {
        laps.push_back(lap(i, 80.0 + i, {30, 25, 25.0 + i}));
        if (i % 3 == 0) laps.push_back(incompleteLap(40));
    }
    const ZaroSession session = support::sampleSession(laps, triangle);
    for (const double height : {720, 748, 1400}) {
        const Size size{840, height};
        const ZaroSession part = Card::shownPart(session, size);
        RecordingContext whole, shown;
        Card::draw(session, whole, size, true);
        Card::draw(part, shown, size, true);
        EXPECT_EQ(shown.calls, whole.calls) << height;
        EXPECT_LT(part.laps.size(), session.laps.size() / 4) << height;
        EXPECT_LT(part.laps[1].sectors.size(), manySectors.size()) << height;
    }
}

TEST(CardLayout, SaysThereAreNoCompletedLapsAndDrawsNoTraceBelowTwoPoints)
{
    ZaroSession session = support::sampleSession({incompleteLap(30), incompleteLap(30)}, {{52.38, 4.54}});
    session.bestLapSec = 83.456;
    RecordingContext recorded;
    Card::draw(session, recorded, Card::defaultSize, false);
    expectListing(recorded, "card without completed laps or trace, in a bottom-left context");
}

TEST(ErrorCardLayout, DrawsHeaderTitleAndMessageOnACardWithoutOutline)
{
    for (const bool flipped : {true, false}) {
        RecordingContext recorded;
        Card::drawError("The ZARO Session file is empty.", recorded, Card::defaultSize, flipped);
        expectListing(recorded, flipped ? "error card" : "error card in a bottom-left context");
    }
}

// The numbers of a case field, "nan" and "inf" among them, in groups split by commas.
std::vector<double> numbers(std::string text)
{
    std::replace(text.begin(), text.end(), ',', ' ');
    std::istringstream words(text);
    std::vector<double> out;
    for (std::string word; words >> word;) out.push_back(std::strtod(word.c_str(), nullptr));
    return out;
}

TEST(MapProjection, FitsTheTraceWithItsShapeAndMarginCentredInTheRectangle)
{
    const auto same = [](double a, double b) { return std::isfinite(a) ? std::abs(a - b) < 1e-3 : !std::isfinite(b); };
    for (const support::Case& c : support::readCases("render/map_projection.cases")) {
        const std::vector<double> given = numbers(c[0]), r = numbers(c[1]), expected = numbers(c[2]);
        std::vector<ZaroSessionPoint> points;
        for (std::size_t i = 0; i + 1 < given.size(); i += 2) points.push_back({given[i], given[i + 1]});
        const auto p = Map::projected(points, {r.at(0), r.at(1), r.at(2), r.at(3)});
        ASSERT_EQ(p.size() * 2, expected.size()) << c.where;
        for (std::size_t i = 0; i < p.size(); ++i) {
            EXPECT_TRUE(same(p[i].x, expected[2 * i]) && same(p[i].y, expected[2 * i + 1]))
                << c.where << ", point " << i << ": " << p[i].x << ", " << p[i].y;
        }
    }
}

TEST(MapSvgPath, WritesTheTraceProjectedIntoAHundredSquareWithTwoDecimals)
{
    std::istringstream path(Map::svgPath(triangle));
    std::vector<std::string> words{std::istream_iterator<std::string>(path), {}};
    ASSERT_EQ(words.size(), 9U);
    for (std::size_t i = 0; i < words.size(); i += 3) {
        EXPECT_EQ(words[i], i == 0 ? "M" : "L");
        for (const std::string& number : {words[i + 1], words[i + 2]}) {
            EXPECT_EQ(number.size() - number.find('.'), 3U) << number;
            EXPECT_TRUE(std::stod(number) >= 4 && std::stod(number) <= 96) << number;
        }
    }
    EXPECT_EQ(Map::svgPath(std::vector<ZaroSessionPoint>{{52, 4}}), "");
}

TEST(MapThumbnail, FillsTheBackgroundThenDrawsATraceOfAtLeastTwoPointsNoThinnerThanTwo)
{
    RecordingContext recorded;
    Map::drawThumbnail(std::vector<ZaroSessionPoint>{{1, 1}}, recorded, {64, 48});
    Map::drawThumbnail(triangle, recorded, {200, 100});
    Map::drawThumbnail(triangle, recorded, {40, 40});
    expectListing(recorded, "map thumbnails of one point at 64 x 48, and of three at 200 x 100 and 40 x 40");
}

// The map's small drawing at 128 points, flipped into the thumbnail's bottom-left context and
// scaled to the size asked for; a badge with the best lap, or the lap count, from 256 pixels up.
TEST(TrackThumbnail, ScalesTheMapThumbnailToTheSizeAndAddsABadgeFromTwoHundredFiftySix)
{
    ZaroSession timed = support::sampleSession({}, triangle);
    timed.bestLapSec = 83.456;
    RecordingContext recorded;
    drawTrackThumbnail(timed, recorded, {128, 128});
    drawTrackThumbnail(timed, recorded, {512, 512});
    drawTrackThumbnail(support::sampleSession({}, triangle), recorded, {256, 256});
    expectListing(recorded, "track thumbnails at 128 and 512 with a best lap, and at 256 without");
}

}  // namespace
}  // namespace zaro
