#include <cmath>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "preview_card.hpp"
#include "render/pixels.hpp"

namespace zaro {
namespace {

using testing::opaque;
using testing::over;
using testing::Picture;
using testing::Rgba8;
namespace Card = ZaroSessionPreviewCard;

constexpr Rgba canvas{0.027, 0.067, 0.118, 1.0};
constexpr Rgba card{0.055, 0.12, 0.2, 1.0};
constexpr Rgba mapPanel{0.024, 0.063, 0.11, 1.0};
constexpr Rgba accent{0.91, 0.72, 0.29, 1.0};
constexpr Rgba muted{0.54, 0.63, 0.72, 1.0};
constexpr Rgba white{1, 1, 1, 1};

ZaroSession sessionWithLaps(int laps)
{
    ZaroSession s;
    s.fileName = "evening.csv";
    s.trackName = "Assen";
    s.dataSource = "ZARO CSV";
    s.lapCount = laps;
    for (int i = 1; i <= laps; ++i) s.laps.push_back({ZaroSessionLap::Kind::lap, i, 90.0 + i, {30.5, 29.5}});
    return s;
}

void expectNear(Rgba8 actual, Rgba8 expected, const char* what)
{
    EXPECT_TRUE(testing::near(actual, expected, 2)) << what << ": " << actual << " expected " << expected;
}

TEST(CardPicture, IsAnOpaqueRgbPngOfTwiceTheDefaultSize)
{
    const std::vector<unsigned char> bytes = Card::pngData(sessionWithLaps(3));
    ASSERT_GT(bytes.size(), 26U);
    EXPECT_EQ(bytes[25], 2);  // IHDR colour type: truecolour without alpha
    const Picture picture(bytes);
    EXPECT_EQ(picture.width(), 1680);
    EXPECT_EQ(picture.height(), 1440);
    EXPECT_TRUE(picture.allOpaque());
}

TEST(CardPicture, PaintsEachAreaInItsPaletteColour)
{
    const Picture picture(Card::pngData(sessionWithLaps(12)));
    const Rgba8 cardColor = opaque(card);
    expectNear(picture.at(5, 5), opaque(canvas), "canvas");
    expectNear(picture.at(835, 715), opaque(canvas), "canvas corner");
    expectNear(picture.at(400, 690), cardColor, "card below the rows");
    // Without a trace the map panel shows only its notice at the top-left.
    expectNear(picture.at(400, 380), opaque(mapPanel), "map panel");
    expectNear(picture.at(435.2 + 150, 118 + 75), over({1, 1, 1, 0.05}, cardColor), "tile");
    expectNear(picture.at(621.6 + 150, 310 + 75), over({1, 1, 1, 0.05}, cardColor), "last tile");
    expectNear(picture.at(780, 450), over({1, 1, 1, 0.03}, cardColor), "stripe on row 0");
    expectNear(picture.at(780, 478), cardColor, "no stripe on row 1");
    expectNear(picture.at(780, 618), over({1, 1, 1, 0.03}, cardColor), "stripe on row 6");
    expectNear(picture.at(780, 646), cardColor, "no stripe on row 7");
}

TEST(CardPicture, OutlinesTheCardWithTranslucentWhite)
{
    const Picture picture(Card::pngData(sessionWithLaps(1)));
    // The 1-point line is centred on the edge at y 22: half over the canvas, half over the card.
    expectNear(picture.at(420, 21.75), over({1, 1, 1, 0.12}, opaque(canvas)), "outside half");
    expectNear(picture.at(420, 22.25), over({1, 1, 1, 0.12}, opaque(card)), "inside half");
}

TEST(CardPicture, ShowsTheHeaderAboveTheTrackName)
{
    const Picture picture(Card::pngData(sessionWithLaps(1)));
    EXPECT_TRUE(picture.hasColor({40, 40, 200, 16}, opaque(accent), 8));
    EXPECT_FALSE(picture.hasColor({40, 58, 760, 40}, opaque(accent), 8));
    EXPECT_TRUE(picture.hasColor({40, 60, 200, 28}, opaque(white), 8));
    EXPECT_FALSE(picture.hasColor({40, 0, 760, 58}, opaque(white), 8));
}

TEST(CardPicture, IsTheSameDrawnFlippedIntoATopLeftContext)
{
    ZaroSession session = sessionWithLaps(5);
    session.polyline = {{52.0, 6.5}, {52.01, 6.52}, {52.005, 6.53}, {52.0, 6.5}};
    const auto bottomLeft = Card::pngData(session);
    const auto topLeft = Card::renderPng(Card::defaultSize, 2.0, [&](DrawingContext& context) {
        context.translate(0, Card::defaultSize.height);
        context.scale(1, -1);
        Card::draw(session, context, Card::defaultSize, true);
    });
    EXPECT_TRUE(bottomLeft == topLeft);
}

TEST(CardPicture, ShowsOnlyTheEndDotWhereALapClosesOnItself)
{
    ZaroSession session = sessionWithLaps(1);
    session.polyline = {{52.0, 6.5}, {52.01, 6.52}, {52.005, 6.53}, {52.0, 6.5}};
    const Picture picture(Card::pngData(session));
    // The first point of this trace projects to the left and bottom of the inner area.
    bool found = false;
    for (double x = 50; x < 420 && !found; x += 0.5) {
        for (double y = 128; y < 390 && !found; y += 0.5) {
            found = testing::near(picture.at(x, y), opaque({0.24, 0.78, 0.79, 1}), 2);
        }
    }
    EXPECT_TRUE(found);
    EXPECT_FALSE(picture.hasColor({50, 128, 367.2, 260}, opaque(accent), 2));
}

TEST(CardPicture, IsTheSameWhenDrawnOnSeveralThreadsAtOnce)
{
    const ZaroSession session = sessionWithLaps(8);
    const std::vector<unsigned char> alone = Card::pngData(session);
    std::vector<std::vector<unsigned char>> results(4);
    std::vector<std::thread> threads;
    for (auto& result : results) {
        threads.emplace_back([&session, &result] {
            for (int i = 0; i < 3; ++i) result = Card::pngData(session);
        });
    }
    for (std::thread& t : threads) t.join();
    for (const auto& result : results) EXPECT_TRUE(result == alone);
}

TEST(CardPicture, SkipsTracePointsThatAreNotFiniteAndDrawsTheRest)
{
    ZaroSession session = sessionWithLaps(2);
    session.polyline = {{std::nan(""), 6.5}, {52.0, 6.5}, {52.01, 6.52}, {52.005, HUGE_VAL}, {52.005, 6.53}};
    const Picture picture(Card::pngData(session));
    EXPECT_TRUE(picture.allOpaque());
    EXPECT_TRUE(picture.hasColor({50, 128, 367.2, 260}, opaque({0.91, 0.35, 0.12, 1}), 4));
    EXPECT_TRUE(picture.hasColor({40, 40, 200, 16}, opaque(accent), 8));
    EXPECT_TRUE(picture.hasColor({40, 438, 200, 28}, opaque(white), 8));
}

TEST(RenderPng, RoundsThePixelSizeHalvesAwayFromZeroAndAtLeastOne)
{
    struct Case {
        Size size;
        double scale;
        int width;
        int height;
    };
    const Case cases[] = {
        {{100.25, 50}, 2.0, 201, 100},
        {{0.2, 0.2}, 2.0, 1, 1},
        {{-3, 10}, 2.0, 1, 20},
        {{840, 720}, 1.0, 840, 720},
        {{10.24, 10.26}, 1.0, 10, 10},
        {{840, 720}, 0.0, 1, 1},
    };
    for (const Case& c : cases) {
        int calls = 0;
        const Picture picture(Card::renderPng(c.size, c.scale, [&](DrawingContext&) { ++calls; }));
        EXPECT_EQ(picture.width(), c.width) << c.size.width;
        EXPECT_EQ(picture.height(), c.height) << c.size.height;
        EXPECT_EQ(calls, 1);
    }
}

TEST(RenderPng, KeepsPartlyCoveredPixelsTranslucent)
{
    const Picture picture(Card::pngData(sessionWithLaps(1), {100.25, 50}, 2.0));
    EXPECT_EQ(picture.width(), 201);
    expectNear(picture.pixel(0, 0), opaque(canvas), "fully covered pixel");
    const Rgba8 edge = picture.pixel(200, 0);
    EXPECT_NEAR(edge.a, 128, 1);
    expectNear({edge.r, edge.g, edge.b, 255}, opaque(canvas), "half-covered edge, alpha undone");
}

TEST(RenderPng, RefusesSizesWithoutAPixelSize)
{
    const auto nothing = [](DrawingContext&) {};
    const double inf = std::numeric_limits<double>::infinity();
    for (Size size : {Size{inf, 10}, Size{10, std::nan("")}, Size{20000, 100}}) {
        try {
            Card::renderPng(size, 2.0, nothing);
            ADD_FAILURE() << "no error for " << size.width << " x " << size.height;
        } catch (const RenderError& e) {
            EXPECT_EQ(e.code(), RenderError::Code::context);
            EXPECT_STREQ(e.what(), "The operation could not be completed. (RenderError error 0.)");
        }
    }
}

TEST(ErrorCardPicture, ShowsHeaderTitleAndMessageOnACardWithoutOutline)
{
    const Picture picture(Card::errorPngData("The ZARO Session file is empty."));
    EXPECT_EQ(picture.width(), 1680);
    EXPECT_EQ(picture.height(), 1440);
    EXPECT_TRUE(picture.allOpaque());
    expectNear(picture.at(420, 21.75), opaque(canvas), "no outline outside");
    expectNear(picture.at(420, 22.25), opaque(card), "no outline inside");
    EXPECT_TRUE(picture.hasColor({46, 50, 200, 16}, opaque(accent), 8));
    EXPECT_TRUE(picture.hasColor({46, 74, 300, 28}, opaque(white), 8));
    EXPECT_TRUE(picture.hasColor({46, 112, 300, 18}, opaque(muted), 8));
    // One line of message and nothing below it.
    EXPECT_FALSE(picture.hasInk({30, 131, 780, 560}, opaque(card)));
}

TEST(ErrorCardPicture, ShowsOnlyTheMessageLinesThatFitEightyPoints)
{
    std::string message;
    for (int i = 0; i < 12; ++i) message += "The file could not be read because one of its lines is far too long. ";
    const Picture picture(Card::errorPngData(message));
    // Lines of 14-point text are about 17 points high: four fit under 80, the fifth would end at 197.
    EXPECT_TRUE(picture.hasColor({46, 163, 748, 16}, opaque(muted), 8));
    EXPECT_FALSE(picture.hasInk({30, 180, 780, 500}, opaque(card)));
}

TEST(ErrorCardPicture, DrawsOnlyHeaderAndTitleForAnEmptyMessage)
{
    const Picture picture(Card::errorPngData(""));
    EXPECT_TRUE(picture.hasColor({46, 74, 300, 28}, opaque(white), 8));
    EXPECT_FALSE(picture.hasInk({30, 104, 780, 580}, opaque(card)));
}

}  // namespace
}  // namespace zaro
