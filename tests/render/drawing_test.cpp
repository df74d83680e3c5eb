// What the card draws and where, through a recording context; and where the map puts a trace.
#include <algorithm>
#include <cmath>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "render/map.hpp"
#include "render/preview_card.hpp"
#include "render/palette.hpp"
#include "render/track_thumbnail.hpp"
#include "support/cases.hpp"
#include "support/recording_context.hpp"
#include "support/samples.hpp"

namespace zaro {
namespace {

using support::Call;
using support::incompleteLap;
using support::lap;
using support::ofKind;
using support::RecordingContext;
using Op = Call::Op;
namespace Card = ZaroSessionPreviewCard;
namespace Map = ZaroSessionMap;

using palette::accent;
using palette::muted;
using palette::primary;
constexpr Rgba stripe = palette::rowStripe;
constexpr Font lapName{13, FontWeight::medium};
constexpr Font lapTime{13, FontWeight::regular, true};
constexpr Font notice{13, FontWeight::regular};
const std::vector<ZaroSessionPoint> triangle = {{0, 0}, {0, 2}, {1, 1}};

Call text(std::string s, Rect frame, Font font, Rgba color) { return {Op::text, frame, 0, color, std::move(s), font}; }
Call shape(Op op, Rect rect, double value, Rgba color) { return {op, rect, value, color}; }

// A path stroked once through the points, then a dot on the first point and one on the last.
std::vector<Call> trace(const std::vector<Map::ProjectedPoint>& p, double width, Rgba line, double dot, Rgba first,
                        Rgba last)
{
    std::vector<Call> calls = {{Op::lineWidth, {}, width},
                               {Op::lineJoin, {}, static_cast<double>(LineJoin::round)},
                               {Op::lineCap, {}, static_cast<double>(LineCap::round)},
                               {Op::beginPath}};
    for (std::size_t i = 0; i < p.size(); ++i) calls.push_back({i ? Op::lineTo : Op::moveTo, {p[i].x, p[i].y, 0, 0}});
    calls.push_back({Op::strokePath, {}, 0, line});
    calls.push_back({Op::fillEllipse, {p.front().x - dot / 2, p.front().y - dot / 2, dot, dot}, 0, first});
    calls.push_back({Op::fillEllipse, {p.back().x - dot / 2, p.back().y - dot / 2, dot, dot}, 0, last});
    return calls;
}

std::vector<Call> drawn(std::vector<ZaroSessionLap> laps, std::vector<ZaroSessionPoint> trace = {}, double height = 720)
{
    RecordingContext context;
    Card::draw(support::sampleSession(std::move(laps), std::move(trace)), context, {840, height}, true);
    return context.calls;
}

// The text blocks of the lap list, after the header, title, subtitle, map notice, tiles and "LAPS".
std::vector<Call> lapList(const std::vector<Call>& calls)
{
    const auto texts = ofKind(calls, Op::text);
    return {texts.begin() + 17, texts.end()};
}

// Every state saved is restored, the first before anything is drawn, the last after everything.
bool stateRestored(const std::vector<Call>& c)
{
    const auto count = [&c](Op op) { return std::ranges::count(c, op, &Call::op); };
    return c.at(0).op == Op::save && c.back().op == Op::restore && count(Op::save) == count(Op::restore);
}

TEST(CardLayout, DrawsEveryTextInItsBlockFontAndColourAtTheDefaultSize)
{
    // Only sectors above 0 show; no best lap, so its tile shows the dash.
    const auto calls = drawn({lap(4, 83.456, {31.2, 0, -1, NAN, 29.8})});
    std::vector<Call> expected = {
        text("ZARO SESSION", {40, 40, 760, 16}, {11, FontWeight::bold}, accent),
        text("Zandvoort", {40, 60, 760, 28}, {22, FontWeight::semibold}, primary),
        text("morning.csv  \u00B7  RaceBox CSV", {40, 90, 760, 16}, {12, FontWeight::regular}, muted),
        text("No GPS trace in this file.", {50, 128, 367.2, 260}, notice, muted),
    };
    const char* tiles[][2] = {{"BEST LAP", "\u2014"}, {"LAPS", "3"},             {"DURATION", "1:05"},
                              {"DISTANCE", "15.25 km"}, {"MAX SPEED", "36.0 km/h"}, {"SAMPLES", "1234"}};
    for (int i = 0; i < 6; ++i) {
        const double x = i % 2 == 0 ? 445.2 : 631.6, y = 118 + 96 * (i / 2);
        expected.push_back(text(tiles[i][0], {x, y + 8, 158.4, 14}, {10, FontWeight::semibold}, muted));
        expected.push_back(text(tiles[i][1], {x, y + 24, 158.4, 56}, {15, FontWeight::semibold}, primary));
    }
    expected.push_back(text("LAPS", {40, 416, 760, 16}, {11, FontWeight::semibold}, muted));
    expected.push_back(text("Lap 4", {50, 444, 90, 16}, lapName, primary));
    expected.push_back(text("1:23.456", {150, 444, 90, 16}, lapTime, primary));
    expected.push_back(text("31.200  \u00B7  29.800", {250, 444, 540, 16}, {12, FontWeight::regular}, muted));
    EXPECT_EQ(ofKind(calls, Op::text), expected);
    EXPECT_TRUE(stateRestored(calls));
}

TEST(CardLayout, PlacesCardPanelAndTilesAndAsManyRowsAsTheHeightHoldsStripingTheEvenOnes)
{
    std::vector<ZaroSessionLap> laps;
    for (int i = 1; i <= 12; ++i) laps.push_back(lap(i, 80));
    for (const auto& [height, capacity] : {std::pair{720.0, 8}, std::pair{748.0, 9}}) {
        std::vector<Call> shapes, names, expectedNames, expectedShapes = {
            shape(Op::fillRect, {0, 0, 840, height}, 0, {0.027, 0.067, 0.118, 1}),
            shape(Op::fillRoundedRect, {22, 22, 796, height - 44}, 16, {0.055, 0.12, 0.2, 1}),
            shape(Op::strokeRoundedRect, {22, 22, 796, height - 44}, 16, {1, 1, 1, 0.12}),
            shape(Op::fillRoundedRect, {40, 118, 387.2, 280}, 12, {0.024, 0.063, 0.11, 1}),
        };
        for (int i = 0; i < 6; ++i) {
            const Rect tile{i % 2 == 0 ? 435.2 : 621.6, 118.0 + 96 * (i / 2), 178.4, 88};
            expectedShapes.push_back(shape(Op::fillRoundedRect, tile, 10, {1, 1, 1, 0.05}));
        }
        for (int i = 0; i < capacity; ++i) {
            if (i % 2 == 0) expectedShapes.push_back(shape(Op::fillRect, {40, 438.0 + 28 * i, 760, 28}, 0, stripe));
            const Rect name{50, 444.0 + 28 * i, 90, 16};
            expectedNames.push_back(text("Lap " + std::to_string(i + 1), name, lapName, primary));
        }
        for (const Call& c : drawn(laps, {}, height)) {
            if (c.op == Op::fillRect || c.op == Op::fillRoundedRect || c.op == Op::strokeRoundedRect) {
                shapes.push_back(c);
            }
            if (c.op == Op::text && c.font == lapName) names.push_back(c);
        }
        EXPECT_EQ(shapes, expectedShapes) << height;
        EXPECT_EQ(names, expectedNames) << height;
    }
}

TEST(CardLayout, ListsOnlyCompletedLapsClosingUpTheRowsOrSaysThereAreNoneAndNoTraceBelowTwoPoints)
{
    const auto calls = drawn({incompleteLap(30), lap(2, 70), incompleteLap(30), lap(std::nullopt, 71, {0, 0}),
                              lap(5, 72)});
    EXPECT_EQ(lapList(calls), (std::vector{
        text("Lap 2", {50, 444, 90, 16}, lapName, primary), text("1:10.000", {150, 444, 90, 16}, lapTime, primary),
        text("Lap", {50, 472, 90, 16}, lapName, primary),   text("1:11.000", {150, 472, 90, 16}, lapTime, primary),
        text("Lap 5", {50, 500, 90, 16}, lapName, primary), text("1:12.000", {150, 500, 90, 16}, lapTime, primary),
    }));
    const auto stripes = ofKind(calls, Op::fillRect);  // after the canvas: rows 0 and 2
    EXPECT_EQ(std::vector(stripes.begin() + 1, stripes.end()),
              (std::vector{shape(Op::fillRect, {40, 438, 760, 28}, 0, stripe),
                           shape(Op::fillRect, {40, 494, 760, 28}, 0, stripe)}));
    const auto none = drawn({incompleteLap(30), incompleteLap(30)}, {{52.38, 4.54}});
    EXPECT_EQ(ofKind(none, Op::text).at(3), text("No GPS trace in this file.", {50, 128, 367.2, 260}, notice, muted));
    EXPECT_EQ(lapList(none), (std::vector{text("No completed laps", {40, 438, 760, 244}, notice, muted)}));
    EXPECT_EQ(ofKind(none, Op::fillRect).size(), 1U);  // the canvas, no stripe
    EXPECT_TRUE(ofKind(none, Op::strokePath).empty() && ofKind(none, Op::fillEllipse).empty());
}

TEST(CardLayout, StrokesTheTraceInTheMapPanelThenDotsItsStartAndItsEnd)
{
    const auto calls = drawn({}, triangle);
    const auto isPanel = [](const Call& c) { return c.op == Op::fillRoundedRect && c.value == 12; };
    const auto panel = std::find_if(calls.begin(), calls.end(), isPanel);
    ASSERT_GE(calls.end() - panel, 11);
    EXPECT_EQ(std::vector(panel + 1, panel + 11), trace(Map::projected(triangle, {50, 128, 367.2, 260}), 2.4,
                                                        palette::trackLine, 7, accent, palette::endDot));
}

TEST(ErrorCardLayout, DrawsHeaderTitleAndMessageOnACardWithoutOutline)
{
    for (bool flipped : {false, true}) {
        RecordingContext context;
        Card::drawError("The ZARO Session file is empty.", context, Card::defaultSize, flipped);
        EXPECT_TRUE(ofKind(context.calls, Op::strokeRoundedRect).empty());
        EXPECT_EQ(ofKind(context.calls, Op::text), (std::vector{
            text("ZARO SESSION", {46, 50, 748, 16}, {11, FontWeight::bold}, accent),
            text("Could not preview this file", {46, 74, 748, 28}, {22, FontWeight::semibold}, primary),
            text("The ZARO Session file is empty.", {46, 112, 748, 80}, {14, FontWeight::regular}, muted),
        }));
        EXPECT_TRUE(stateRestored(context.calls));
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

TEST(MapThumbnail, FillsTheBackgroundThenDrawsATraceOfAtLeastTwoPointsNoThinnerThanTwo)
{
    for (const auto& [points, size, width] : {std::tuple{std::vector<ZaroSessionPoint>{{1, 1}}, Size{64, 48}, 0.0},
                                              std::tuple{triangle, Size{200, 100}, 3.5},
                                              std::tuple{triangle, Size{40, 40}, 2.0}}) {
        RecordingContext context;
        Map::drawThumbnail(points, context, size);
        std::vector<Call> expected = {shape(Op::fillRect, {0, 0, size.width, size.height}, 0, palette::canvas)};
        if (points.size() > 1) {
            const auto p = Map::projected(points, {10, 10, size.width - 20, size.height - 20});
            const auto path = trace(p, width, palette::trackLine, 6, accent, palette::endDot);
            expected.insert(expected.end(), path.begin(), path.end());
        }
        EXPECT_EQ(context.calls, expected) << size.width;
    }
}

// The map's small drawing at 128 points, flipped into the thumbnail's bottom-left context and
// scaled to the size asked for; a badge with the best lap, or the lap count, from 256 pixels up.
TEST(TrackThumbnail, ScalesTheMapThumbnailToTheSizeAndAddsABadgeFromTwoHundredFiftySix)
{
    ZaroSession timed = support::sampleSession({}, triangle);
    timed.bestLapSec = 83.456;
    RecordingContext map;
    Map::drawThumbnail(triangle, map, {128, 128});
    for (const auto& [session, side, badge] : {std::tuple{timed, 128.0, ""}, std::tuple{timed, 512.0, "1:23.456"},
                                                std::tuple{support::sampleSession({}, triangle), 256.0, "3 laps"}}) {
        RecordingContext recorded;
        drawTrackThumbnail(session, recorded, {side, side});
        std::vector<Call> head = {{Op::save}, {Op::translate, {0, side, 0, 0}}, {Op::scale, {side / 128, -side / 128}}};
        head.insert(head.end(), map.calls.begin(), map.calls.end());
        ASSERT_GE(recorded.calls.size(), head.size());
        EXPECT_EQ(std::vector(recorded.calls.begin(), recorded.calls.begin() + std::ssize(head)), head) << side;
        const auto texts = ofKind(recorded.calls, Op::text);
        EXPECT_EQ(texts.empty() ? "" : texts.front().text, badge) << side;
    }
}

}  // namespace
}  // namespace zaro
