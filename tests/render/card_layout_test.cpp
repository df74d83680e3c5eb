#include <cmath>

#include <gtest/gtest.h>

#include "preview_card.hpp"
#include "render/recording_context.hpp"

namespace zaro {
namespace {

using testing::Call;
using testing::expectRectNear;
using testing::Recording;
using testing::RecordingContext;
using Op = Call::Op;
namespace Card = ZaroSessionPreviewCard;

constexpr Rgba accent{0.91, 0.72, 0.29, 1.0};
constexpr Rgba primary{1.0, 1.0, 1.0, 1.0};
constexpr Rgba muted{0.54, 0.63, 0.72, 1.0};
constexpr Rgba tileColor{1.0, 1.0, 1.0, 0.05};
constexpr Rgba stripeColor{1.0, 1.0, 1.0, 0.03};

ZaroSessionLap completed(std::int64_t number, double timeSec, std::vector<double> sectors = {})
{
    return {ZaroSessionLap::Kind::lap, number, timeSec, std::move(sectors)};
}

ZaroSessionLap incomplete(std::int64_t number)
{
    return {ZaroSessionLap::Kind::incomplete, number, 30.0, {}};
}

ZaroSession basicSession()
{
    ZaroSession s;
    s.fileName = "morning.csv";
    s.trackName = "Zandvoort";
    s.dataSource = "RaceBox CSV";
    s.startedAt = "2024-06-01T09:00:00Z";
    s.endedAt = "2024-06-01T09:01:05Z";
    s.lapCount = 3;
    s.bestLapSec = 83.456;
    s.pointCount = 1234;
    s.distanceM = 15250;
    s.maxSpeedMps = 10;
    return s;
}

Recording drawn(const ZaroSession& session, Size size = Card::defaultSize, bool flipped = true)
{
    RecordingContext context;
    Card::draw(session, context, size, flipped);
    return context.recording;
}

std::vector<Call> textsAtRowY(const Recording& context, double y)
{
    std::vector<Call> out;
    for (const Call& c : context.ofKind(Op::text)) {
        if (std::abs(c.rect.y - y) < 1e-9) out.push_back(c);
    }
    return out;
}

TEST(CardLayout, MatchesTheGeometryTableAtTheDefaultSize)
{
    ZaroSession session = basicSession();
    for (int i = 1; i <= 12; ++i) session.laps.push_back(completed(i, 80 + i));
    const Recording c = drawn(session);

    const auto rounded = c.ofKind(Op::fillRoundedRect);
    ASSERT_EQ(rounded.size(), 8U);  // card, map panel, six tiles
    expectRectNear(rounded[0].rect, {22, 22, 796, 676}, "card");
    EXPECT_EQ(rounded[0].value, 16);
    expectRectNear(rounded[1].rect, {40, 118, 387.2, 280}, "map panel");
    EXPECT_EQ(rounded[1].value, 12);
    const double tileX[] = {435.2, 621.6};
    const double tileY[] = {118, 214, 310};
    for (int i = 0; i < 6; ++i) {
        const Call& tile = rounded[2 + static_cast<std::size_t>(i)];
        expectRectNear(tile.rect, {tileX[i % 2], tileY[i / 2], 178.4, 88}, "tile");
        EXPECT_EQ(tile.value, 10);
        EXPECT_EQ(tile.color, tileColor);
    }

    const auto outline = c.ofKind(Op::strokeRoundedRect);
    ASSERT_EQ(outline.size(), 1U);
    expectRectNear(outline[0].rect, {22, 22, 796, 676}, "outline");
    EXPECT_EQ(outline[0].color, (Rgba{1, 1, 1, 0.12}));

    expectRectNear(c.textCall("ZARO SESSION").rect, {40, 40, 760, 16}, "header");
    expectRectNear(c.textCall("Zandvoort").rect, {40, 60, 760, 28}, "title");
    expectRectNear(c.textCall("morning.csv  \u00B7  RaceBox CSV").rect, {40, 90, 760, 16}, "subtitle");
    const auto laps = c.textCalls("LAPS");  // the Laps tile's label, then the list's header
    ASSERT_EQ(laps.size(), 2U);
    expectRectNear(laps[1].rect, {40, 416, 760, 16}, "laps header");

    const auto row0 = textsAtRowY(c, 444);
    ASSERT_EQ(row0.size(), 2U);
    expectRectNear(row0[0].rect, {50, 444, 90, 16}, "lap name");
    expectRectNear(row0[1].rect, {150, 444, 90, 16}, "lap time");

    const auto stripes = c.ofKind(Op::fillRect);
    ASSERT_EQ(stripes.size(), 5U);  // canvas, then rows 0, 2, 4 and 6
    expectRectNear(stripes[0].rect, {0, 0, 840, 720}, "canvas");
    expectRectNear(stripes[4].rect, {40, 606, 760, 28}, "row 6");
    const auto lastRow = textsAtRowY(c, 640);
    ASSERT_EQ(lastRow.size(), 2U);
    EXPECT_EQ(lastRow[0].text, "Lap 8");
}

TEST(CardLayout, PlacesTheSectorColumnAfterNameAndTime)
{
    ZaroSession session = basicSession();
    session.laps = {completed(1, 61.5, {31.2, 0, 29.8})};
    const Recording c = drawn(session);
    const Call sectors = c.textCall("31.200  \u00B7  29.800");
    expectRectNear(sectors.rect, {250, 444, 540, 16}, "sectors");
    EXPECT_EQ(sectors.font, (Font{12, FontWeight::regular, false}));
    EXPECT_EQ(sectors.color, muted);
}

TEST(CardLayout, DrawsLapsWithoutPositiveSectorsWithoutASectorText)
{
    ZaroSession session = basicSession();
    session.laps = {completed(1, 61.5, {0, 0}), completed(2, 62.5, {})};
    const Recording c = drawn(session);
    EXPECT_EQ(textsAtRowY(c, 444).size(), 2U);
    EXPECT_EQ(textsAtRowY(c, 472).size(), 2U);
}

TEST(CardLayout, UsesTheFontAndColourOfEachKindOfText)
{
    ZaroSession session = basicSession();
    session.laps = {completed(4, 83.456)};
    const Recording c = drawn(session);
    struct Case {
        std::string text;
        Font font;
        Rgba color;
    };
    const Case cases[] = {
        {"ZARO SESSION", {11, FontWeight::bold}, accent},
        {"Zandvoort", {22, FontWeight::semibold}, primary},
        {"morning.csv  \u00B7  RaceBox CSV", {12, FontWeight::regular}, muted},
        {"BEST LAP", {10, FontWeight::semibold}, muted},
        {"36.0 km/h", {15, FontWeight::semibold}, primary},
        {"Lap 4", {13, FontWeight::medium}, primary},
        {"No GPS trace in this file.", {13, FontWeight::regular}, muted},
    };
    for (const Case& k : cases) {
        const Call call = c.textCall(k.text);
        EXPECT_EQ(call.font, k.font) << k.text;
        EXPECT_EQ(call.color, k.color) << k.text;
    }
    const auto laps = c.textCalls("LAPS");
    ASSERT_EQ(laps.size(), 2U);
    EXPECT_EQ(laps[1].font, (Font{11, FontWeight::semibold}));
    EXPECT_EQ(laps[1].color, muted);
    // Lap times sit in a column: their digits all advance alike.
    const auto row = textsAtRowY(c, 444);
    ASSERT_EQ(row.size(), 2U);
    EXPECT_EQ(row[1].text, "1:23.456");
    EXPECT_EQ(row[1].font, (Font{13, FontWeight::regular, true}));
    EXPECT_EQ(row[1].color, primary);
}

TEST(CardLayout, FillsTheTilesWithUpperCasedLabelsOverTheirValues)
{
    ZaroSession session = basicSession();
    session.bestLapSec.reset();
    session.maxSpeedMps.reset();
    const Recording c = drawn(session);
    const auto rounded = c.ofKind(Op::fillRoundedRect);
    ASSERT_EQ(rounded.size(), 8U);
    const std::pair<std::string, std::string> tiles[] = {
        {"BEST LAP", "\u2014"}, {"LAPS", "3"},          {"DURATION", "1:05"},
        {"DISTANCE", "15.25 km"}, {"MAX SPEED", "\u2014"}, {"SAMPLES", "1234"},
    };
    const auto texts = c.ofKind(Op::text);
    // Header, title, subtitle and the notice come first; each tile then draws its label and value.
    ASSERT_GE(texts.size(), 4U + 12U);
    for (std::size_t i = 0; i < 6; ++i) {
        const Rect& t = rounded[2 + i].rect;
        const Call& label = texts[4 + 2 * i];
        const Call& value = texts[5 + 2 * i];
        EXPECT_EQ(label.text, tiles[i].first);
        EXPECT_EQ(value.text, tiles[i].second);
        expectRectNear(label.rect, {t.x + 10, t.y + 8, 158.4, 14}, "label");
        expectRectNear(value.rect, {t.x + 10, t.y + 24, 158.4, 56}, "value");
    }
}

TEST(CardLayout, ListsOnlyCompletedLapsAndClosesUpTheList)
{
    ZaroSession session = basicSession();
    session.laps = {incomplete(1), completed(2, 70), incomplete(3), completed(4, 71), completed(5, 72)};
    const Recording c = drawn(session);
    EXPECT_EQ(textsAtRowY(c, 444).front().text, "Lap 2");
    EXPECT_EQ(textsAtRowY(c, 472).front().text, "Lap 4");
    EXPECT_EQ(textsAtRowY(c, 500).front().text, "Lap 5");
    EXPECT_TRUE(textsAtRowY(c, 528).empty());
    const auto fills = c.ofKind(Op::fillRect);
    ASSERT_EQ(fills.size(), 3U);  // canvas, rows 0 and 2
    expectRectNear(fills[1].rect, {40, 438, 760, 28}, "row 0");
    expectRectNear(fills[2].rect, {40, 494, 760, 28}, "row 2");
    EXPECT_EQ(fills[1].color, stripeColor);
}

TEST(CardLayout, StripesEveryOtherRowUpToTheCapacity)
{
    ZaroSession session = basicSession();
    for (int i = 1; i <= 12; ++i) session.laps.push_back(completed(i, 80));
    struct Case {
        double height;
        std::size_t rows;
    };
    for (const Case k : {Case{720, 8}, Case{748, 9}}) {
        const Recording c = drawn(session, {840, k.height});
        std::size_t rows = 0;
        for (const Call& t : c.ofKind(Op::text)) rows += t.text.starts_with("Lap ") ? 1 : 0;
        EXPECT_EQ(rows, k.rows) << k.height;
        std::vector<double> stripeYs;
        for (const Call& f : c.ofKind(Op::fillRect)) {
            if (f.color == stripeColor) stripeYs.push_back(f.rect.y);
        }
        const std::vector<double> expected =
            k.rows == 8 ? std::vector<double>{438, 494, 550, 606} : std::vector<double>{438, 494, 550, 606, 662};
        EXPECT_EQ(stripeYs, expected) << k.height;
    }
}

TEST(CardLayout, NamesALapWithoutNumberJustLap)
{
    ZaroSession session = basicSession();
    session.laps = {{ZaroSessionLap::Kind::lap, std::nullopt, 90.0, {}}};
    const Recording c = drawn(session);
    expectRectNear(c.textCall("Lap").rect, {50, 444, 90, 16}, "name");
}

TEST(CardLayout, SaysNoCompletedLapsWhenEveryLapIsIncomplete)
{
    ZaroSession session = basicSession();
    session.laps = {incomplete(1), incomplete(2)};
    const Recording c = drawn(session);
    const Call notice = c.textCall("No completed laps");
    expectRectNear(notice.rect, {40, 438, 760, 244}, "notice");
    EXPECT_EQ(notice.color, muted);
    EXPECT_EQ(c.ofKind(Op::fillRect).size(), 1U);  // the canvas only
    EXPECT_EQ(c.textCall("3").font.size, 15);      // the Laps tile still shows lapCount
}

TEST(CardLayout, SaysNoGpsTraceForFewerThanTwoPoints)
{
    for (std::size_t n : {0U, 1U}) {
        ZaroSession session = basicSession();
        session.polyline.assign(n, ZaroSessionPoint{52.38, 4.54});
        const Recording c = drawn(session);
        expectRectNear(c.textCall("No GPS trace in this file.").rect, {50, 128, 367.2, 260}, "notice");
        EXPECT_TRUE(c.ofKind(Op::strokePath).empty()) << n;
        EXPECT_TRUE(c.ofKind(Op::fillEllipse).empty()) << n;
    }
}

TEST(CardLayout, StrokesTheTraceAndMarksItsEnds)
{
    ZaroSession session = basicSession();
    session.polyline = {{0, 0}, {0, 2}, {1, 1}};
    const Recording c = drawn(session);
    EXPECT_TRUE(c.textCalls("No GPS trace in this file.").empty());

    const auto moves = c.ofKind(Op::moveTo);
    const auto lines = c.ofKind(Op::lineTo);
    ASSERT_EQ(moves.size(), 1U);
    ASSERT_EQ(lines.size(), 2U);
    // Inner area (50, 128, 367.2, 260) holds a box twice as wide as high: full width, 183.6 high.
    const double innerY = 128 + (260 - 367.2 / 2) / 2;
    EXPECT_NEAR(moves[0].rect.x, 50 + 367.2 * 0.08 / 1.16, 0.01);
    EXPECT_NEAR(moves[0].rect.y, innerY + 183.6 * (1 - 0.08 / 1.16), 0.05);
    EXPECT_NEAR(lines[1].rect.x, 50 + 367.2 / 2, 0.01);

    const auto strokes = c.ofKind(Op::strokePath);
    ASSERT_EQ(strokes.size(), 1U);
    EXPECT_EQ(strokes[0].color, (Rgba{0.91, 0.35, 0.12, 1.0}));
    const auto widths = c.ofKind(Op::lineWidth);
    ASSERT_EQ(widths.size(), 2U);  // the outline, then the track
    EXPECT_EQ(widths[1].value, 2.4);
    EXPECT_EQ(c.ofKind(Op::lineJoin).at(0).value, static_cast<double>(LineJoin::round));
    EXPECT_EQ(c.ofKind(Op::lineCap).at(0).value, static_cast<double>(LineCap::round));

    const auto dots = c.ofKind(Op::fillEllipse);
    ASSERT_EQ(dots.size(), 2U);
    expectRectNear(dots[0].rect, {moves[0].rect.x - 3.5, moves[0].rect.y - 3.5, 7, 7}, "start dot");
    expectRectNear(dots[1].rect, {lines[1].rect.x - 3.5, lines[1].rect.y - 3.5, 7, 7}, "end dot");
    EXPECT_EQ(dots[0].color, accent);
    EXPECT_EQ(dots[1].color, (Rgba{0.24, 0.78, 0.79, 1.0}));
}

TEST(CardLayout, FlipsABottomLeftContextAndRestoresItsState)
{
    const ZaroSession session = basicSession();
    const Recording bottomLeft = drawn(session, Card::defaultSize, false);
    ASSERT_GE(bottomLeft.calls.size(), 4U);
    EXPECT_EQ(bottomLeft.calls[0].op, Op::save);
    EXPECT_EQ(bottomLeft.calls[1].op, Op::translate);
    expectRectNear(bottomLeft.calls[1].rect, {0, 720, 0, 0}, "translate");
    EXPECT_EQ(bottomLeft.calls[2].op, Op::scale);
    expectRectNear(bottomLeft.calls[2].rect, {1, -1, 0, 0}, "scale");
    EXPECT_EQ(bottomLeft.calls.back().op, Op::restore);

    const Recording topLeft = drawn(session, Card::defaultSize, true);
    EXPECT_EQ(topLeft.calls[0].op, Op::save);
    EXPECT_TRUE(topLeft.ofKind(Op::translate).empty());
    EXPECT_TRUE(topLeft.ofKind(Op::scale).empty());
    EXPECT_EQ(topLeft.ofKind(Op::save).size(), topLeft.ofKind(Op::restore).size());
    EXPECT_EQ(topLeft.calls.back().op, Op::restore);
}

TEST(ErrorCardLayout, PlacesHeaderTitleAndMessageWithoutOutline)
{
    RecordingContext context;
    Card::drawError("The ZARO Session file is empty.", context, Card::defaultSize, true);
    const Recording& c = context.recording;
    EXPECT_TRUE(c.ofKind(Op::strokeRoundedRect).empty());
    const auto rounded = c.ofKind(Op::fillRoundedRect);
    ASSERT_EQ(rounded.size(), 1U);
    expectRectNear(rounded[0].rect, {22, 22, 796, 676}, "card");
    EXPECT_EQ(rounded[0].value, 16);
    EXPECT_EQ(c.texts(),
              (std::vector<std::string>{"ZARO SESSION", "Could not preview this file", "The ZARO Session file is empty."}));

    const Call header = c.textCall("ZARO SESSION");
    const Call title = c.textCall("Could not preview this file");
    const Call message = c.textCall("The ZARO Session file is empty.");
    expectRectNear(header.rect, {46, 50, 748, 16}, "header");
    expectRectNear(title.rect, {46, 74, 748, 28}, "title");
    expectRectNear(message.rect, {46, 112, 748, 80}, "message");
    EXPECT_EQ(header.font, (Font{11, FontWeight::bold}));
    EXPECT_EQ(title.font, (Font{22, FontWeight::semibold}));
    EXPECT_EQ(message.font, (Font{14, FontWeight::regular}));
    EXPECT_EQ(header.color, accent);
    EXPECT_EQ(title.color, primary);
    EXPECT_EQ(message.color, muted);
}

}  // namespace
}  // namespace zaro
