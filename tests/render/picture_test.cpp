// What the rasterised cards show, read back from their PNG bytes.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "base/bundle.hpp"
#include "render/cairo_canvas.hpp"
#include "render/png.hpp"
#include "render/palette.hpp"
#include "render/preview_card.hpp"
#include "support/cases.hpp"
#include "support/failure.hpp"
#include "support/files.hpp"
#include "support/samples.hpp"

namespace zaro {
namespace {

namespace Card = ZaroSessionPreviewCard;

using Rgba8 = std::array<int, 4>;

// The opaque pixel that `top` gives painted over `under` (black unless given).
Rgba8 over(Rgba top, Rgba8 under = {0, 0, 0, 255})
{
    const auto mix = [&](double t, int u) { return static_cast<int>(std::lround((t * 255 - u) * top.alpha + u)); };
    return {mix(top.red, under[0]), mix(top.green, under[1]), mix(top.blue, under[2]), 255};
}

bool near(Rgba8 p, Rgba8 q, int tolerance)
{
    return std::equal(p.begin(), p.end(), q.begin(), [&](int a, int b) { return std::abs(a - b) <= tolerance; });
}

// A decoded picture of scale 2, read at points.
struct Picture {
    explicit Picture(const std::vector<unsigned char>& png) : image(png::decode(png).value_or(png::Image{})) {}

    Rgba8 pixel(int x, int y) const
    {
        const unsigned char* p = &image.rgba.at((static_cast<std::size_t>(y) * image.width + x) * 4);
        return {p[0], p[1], p[2], p[3]};
    }
    Rgba8 at(double x, double y) const { return pixel(static_cast<int>(x * 2), static_cast<int>(y * 2)); }

    // The right-most pixel column of the region with a pixel that `matches`, or -1.
    template <typename P>
    int lastColumn(Rect r, P matches) const
    {
        const auto px = [](double v, std::uint32_t n) { return static_cast<int>(std::clamp(v * 2, 0.0, 1.0 * n)); };
        int last = -1;
        for (int y = px(r.y, image.height); y < px(r.maxY(), image.height); ++y) {
            for (int x = std::max(px(r.x, image.width), last + 1); x < px(r.maxX(), image.width); ++x) {
                if (matches(pixel(x, y))) last = x;
            }
        }
        return last;
    }
    bool hasColor(Rect r, Rgba8 ink, int tolerance = 8) const
    {
        return lastColumn(r, [&](Rgba8 p) { return near(p, ink, tolerance); }) >= 0;
    }
    int lastInkColumn(Rect r, Rgba8 background) const
    {
        return lastColumn(r, [&](Rgba8 p) { return !near(p, background, 3); });
    }

    png::Image image;
};

const Rgba8 canvas = over(palette::canvas);
const Rgba8 card = over(palette::card);
const Rgba8 accent = over(palette::accent);
const Rgba8 white = over(palette::primary);
const Rgba8 stripe = over(palette::rowStripe, card);

ZaroSession sessionWithLaps(int laps, std::vector<ZaroSessionPoint> polyline = {})
{
    std::vector<ZaroSessionLap> list;
    for (int i = 1; i <= laps; ++i) list.push_back(support::lap(i, 90.0 + i, {30.5, 29.5}));
    return support::sampleSession(std::move(list), std::move(polyline));
}

// An opaque picture of the default size at scale 2, with these colours at these points.
void expectCard(const Picture& picture, std::initializer_list<std::tuple<const char*, double, double, Rgba8>> points)
{
    EXPECT_EQ((std::pair{picture.image.width, picture.image.height}), (std::pair{1680U, 1440U}));
    EXPECT_EQ(picture.lastColumn({0, 0, 840, 720}, [](Rgba8 p) { return p[3] != 255; }), -1);
    for (const auto& [what, x, y, color] : points) EXPECT_TRUE(near(picture.at(x, y), color, 2)) << what;
}

TEST(CardPicture, IsAnOpaqueRgbPngOfTwiceTheDefaultSizeWithEachAreaInItsColour)
{
    const std::vector<unsigned char> bytes = Card::pngData(sessionWithLaps(12));
    EXPECT_EQ(bytes.at(25), 2);  // IHDR colour type: truecolour without alpha
    const Picture picture(bytes);
    const Rgba8 tile = over({1, 1, 1, 0.05}, card);
    expectCard(picture, {{"canvas", 5, 5, canvas}, {"canvas corner", 835, 715, canvas},
                         {"outline over the canvas", 420, 21.75, over({1, 1, 1, 0.12}, canvas)},
                         {"outline over the card", 420, 22.25, over({1, 1, 1, 0.12}, card)},
                         {"map panel without a trace", 400, 380, over({0.024, 0.063, 0.11, 1.0})},
                         {"last tile", 771.6, 385, tile}, {"row 6", 780, 618, stripe}, {"row 7", 780, 646, card}});
}

TEST(CardPicture, IsTheSameDrawnFlippedIntoATopLeftContextOrAroundAWaitAndSkipsTracePointsThatAreNotFinite)
{
    const ZaroSession session =
        sessionWithLaps(5, {{NAN, 6.5}, {52, 6.5}, {52.01, 6.52}, {52, HUGE_VAL}, {52.005, 6.53}, {52, 6.5}});
    const auto bottomLeft = Card::pngData(session);
    const auto topLeft = Card::renderPng(Card::defaultSize, 2.0, [&](DrawingContext& context) {
        context.translate(0, Card::defaultSize.height);
        context.scale(1, -1);
        Card::draw(session, context, Card::defaultSize, true);
    });
    EXPECT_TRUE(bottomLeft == topLeft);
    // Drawn around a wait for the session, the card is the same; a failed wait draws none.
    int reads = 0;
    EXPECT_TRUE(Card::pngDataWhileReading([&] {
                    ++reads;
                    return session;
                }) == bottomLeft);
    EXPECT_EQ(reads, 1);
    EXPECT_THROW(Card::pngDataWhileReading([]() -> ZaroSession { throw std::runtime_error("gone"); }), std::runtime_error);
    // The points that are not finite leave the rest of the trace and of the card as they are.
    const Picture picture(bottomLeft);
    EXPECT_TRUE(picture.hasColor({50, 128, 367.2, 260}, over({0.91, 0.35, 0.12, 1}), 4));
    EXPECT_TRUE(picture.hasColor({40, 438, 200, 28}, white));
}

TEST(CardPicture, FitsTextsToTheirBlocksAndLinesUpTheLapTimes)
{
    // Laps 1:11.110 and 1:28.880 end in the same digit: with equal advances they end at the same column.
    ZaroSession session = support::sampleSession({support::lap(1, 71.11), support::lap(2, 88.88)});
    // A title far too long for its block: one word, with bytes that are not UTF-8.
    session.trackName = "Spa\xFF\xFE" + std::string(1'000'000, 'W');
    const Picture picture(Card::pngData(session));
    EXPECT_TRUE(picture.hasColor({40, 60, 760, 28}, white));
    EXPECT_FALSE(picture.hasColor({800.5, 60, 39, 58}, white));  // broken between characters at the block's edge
    EXPECT_FALSE(picture.hasColor({40, 88, 760, 30}, white));    // and only the first line shown
    EXPECT_EQ(picture.lastInkColumn({150, 444, 90, 16}, stripe), picture.lastInkColumn({150, 472, 90, 16}, card));
}

TEST(RenderPng, RoundsThePixelSizeHalvesAwayFromZeroAndAtLeastOneOrRefusesIt)
{
    for (const support::Case& c : support::readCases("render/render_sizes.cases")) {
        double width = 0, height = 0, scale = 0;  // scanf reads "inf" and "nan", which streams do not
        std::sscanf(c[0].c_str(), "%lf %lf %lf", &width, &height, &scale);
        int calls = 0;
        std::string pixels;
        const std::string refusal = support::failureOf([&] {
            const Picture picture(Card::renderPng({width, height}, scale, [&](DrawingContext&) { ++calls; }));
            pixels = std::to_string(picture.image.width) + " " + std::to_string(picture.image.height);
        }, "");
        EXPECT_EQ(pixels + refusal, c[1]) << c.where;
        EXPECT_EQ(calls, refusal.empty() ? 1 : 0) << c.where;
    }
    // A pixel half covered by the canvas stays half transparent, its colour not darkened.
    const Picture partial(Card::pngData(sessionWithLaps(1), {100.25, 50}, 2.0));
    EXPECT_TRUE(near(partial.pixel(200, 0), {canvas[0], canvas[1], canvas[2], 128}, 1));
}

TEST(ErrorCardPicture, ShowsHeaderTitleAndTheMessageLinesThatFitOnACardWithoutOutline)
{
    std::string longMessage;
    for (int i = 0; i < 12; ++i) longMessage += "The file could not be read because one of its lines is far too long. ";
    const struct {
        std::string message;
        double lastLineY;  // top of the last message line drawn; 0 for none
        double inkEnd;     // nothing is drawn below
    } cases[] = {
        {"The ZARO Session file is empty.", 112, 131},
        {longMessage, 163, 180},  // lines about 17 high: four fit under 80, a fifth would end at 197
        {"", 0, 104},
    };
    for (const auto& c : cases) {
        const Picture picture(Card::errorPngData(c.message));
        expectCard(picture, {{"no outline outside", 420, 21.75, canvas}, {"no outline inside", 420, 22.25, card}});
        EXPECT_TRUE(picture.hasColor({46, 50, 200, 16}, accent));
        EXPECT_TRUE(picture.hasColor({46, 74, 300, 28}, white));
        EXPECT_EQ(picture.hasColor({46, c.lastLineY, 748, 16}, over({0.54, 0.63, 0.72, 1.0})), c.lastLineY > 0);
        EXPECT_EQ(picture.lastInkColumn({30, c.inkEnd, 780, 690 - c.inkEnd}, card), -1) << c.message;
    }
}


// A region of a canvas, drawn on another thread, holds exactly what the canvas would have drawn there
// itself, and nothing of its drawing lands outside it; the transform, colours and line settings come
// along, and a context clipped by a degenerate transform gives no region.
// The frame drawn ahead is laid only when it was drawn with this process's fonts and libraries, and
// only when it is whole; the card is then the one drawing it gives (CardPicture above).
TEST(CardFrame, IsLaidFromTheResourceOnlyWhenWholeAndDrawnWithTheseFontsAndLibraries)
{
    const std::vector<unsigned char> ahead = Card::frameAhead();
    const std::string_view magic = "ZARO card frame 1\n";
    ASSERT_GT(ahead.size(), magic.size() + 4);
    std::uint32_t identityLength = 0;
    for (int i = 3; i >= 0; --i) identityLength = identityLength << 8 | ahead[magic.size() + static_cast<std::size_t>(i)];
    const std::size_t rowsAt = magic.size() + 4 + identityLength + 8;
    ASSERT_LT(rowsAt, ahead.size());
    // A frame all red in the resource's format: a first row of one run, then that row again.
    const auto append = [](std::vector<unsigned char>& out, std::uint32_t word) {
        for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<unsigned char>(word >> shift));
    };
    std::vector<unsigned char> red(ahead.begin(), ahead.begin() + static_cast<std::ptrdiff_t>(rowsAt));
    for (const std::uint32_t word : {1u, 1u, 1680u, 0xFFFF0000u}) append(red, word);
    for (int y = 1; y < 1440; ++y) append(red, 0);
    std::vector<unsigned char> otherFonts = red;
    otherFonts[magic.size() + 4] ^= 1;
    const std::vector<unsigned char> cut(red.begin(), red.end() - 4);

    const support::TemporaryFolder folder;
    const char* const given = std::getenv(resourcesVariable);
    const std::string restore = given ? given : "";
    ::setenv(resourcesVariable, folder.path().c_str(), 1);
    const ZaroSession session = sessionWithLaps(3);
    const auto corner = [&](const std::vector<unsigned char>& resource) {
        support::writeFile(folder / "zaro-card-frame.bin", std::string(resource.begin(), resource.end()));
        const std::optional<png::Image> image = png::decode(Card::pngDataWhileReading([&] { return session; }));
        return image ? std::array{image->rgba[0], image->rgba[1], image->rgba[2]} : std::array<unsigned char, 3>{};
    };
    const std::array<unsigned char, 3> drawn = corner({});
    EXPECT_NE(drawn, (std::array<unsigned char, 3>{255, 0, 0}));
    EXPECT_EQ(corner(red), (std::array<unsigned char, 3>{255, 0, 0}));
    EXPECT_EQ(corner(otherFonts), drawn);
    EXPECT_EQ(corner(cut), drawn);
    if (given) {
        ::setenv(resourcesVariable, restore.c_str(), 1);
    } else {
        ::unsetenv(resourcesVariable);
    }
}

TEST(CardPicture, IsAsThoughTheCanvasColourLayUnderTheWholeCard)
{
    // The canvas is laid only where the card does not cover it wholly, at any scale.
    const ZaroSession session = sessionWithLaps(3, {{52, 4}, {52.01, 4.02}, {52.02, 4}});
    for (const double scale : {1.0, 2.0, 1.37}) {
        for (const Size size : {Card::defaultSize, Size{777.3, 655.9}}) {
            for (const bool error : {false, true}) {
                const auto drawn = [&](bool canvasUnder) {
                    auto surface = std::make_unique<CairoCanvas>(static_cast<int>(std::round(size.width * scale)),
                                                                static_cast<int>(std::round(size.height * scale)));
                    DrawingContext& context = surface->context();
                    context.scale(scale, scale);
                    if (canvasUnder) {
                        context.setFillColor(palette::canvas);
                        context.fillRect({0, 0, size.width, size.height});
                    }
                    if (error) {
                        Card::drawError("The ZARO Session file is empty.", context, size, false);
                    } else {
                        Card::draw(session, context, size, false);
                    }
                    return surface;
                };
                const auto fresh = drawn(false);
                const auto under = drawn(true);
                const PixelView a = fresh->pixels();
                const PixelView b = under->pixels();
                // The picture's edge, where a size of a fraction of a pixel leaves the canvas partly
                // covered, is left out: laid twice there, it darkens.
                bool same = true;
                for (int y = 2; y + 2 < a.height; ++y) {
                    const std::size_t row = static_cast<std::size_t>(y) * a.stride;
                    same = same && std::equal(a.data + row + 8, a.data + row + (a.width - 2) * 4, b.data + row + 8);
                }
                EXPECT_TRUE(same) << scale << " " << size.width << " " << error;
            }
        }
    }
}

TEST(CanvasRegion, DrawsOnAnotherThreadWhatTheCanvasWouldAndNothingBeyond)
{
    const Rect region{20.25, 30, 141.5, 90};  // not on whole pixels: the region takes every pixel it touches
    const auto paint = [](DrawingContext& context) {
        context.fillRoundedRect({20.25, 30, 141.5, 90}, 12);
        context.beginPath();
        context.moveTo(30, 40);
        for (int i = 1; i < 40; ++i) context.addLineTo(30 + i * 3.1, 40 + 60 * std::abs(std::sin(i * 0.7)));
        context.strokePath();
        context.drawTextBlock("Lap 12 1:31.019", {40, 90, 110, 20}, Font{13, FontWeight::medium}, palette::primary);
    };
    const auto prepared = [](DrawingContext& context) {
        context.scale(2, 2);
        context.translate(0, 160);
        context.scale(1, -1);
        context.setFillColor(palette::mapPanel);
        context.setStrokeColor(palette::trackLine);
        context.setLineWidth(2.4);
        context.setLineJoin(LineJoin::round);
        context.setLineCap(LineCap::round);
    };
    CairoCanvas direct(400, 320);
    prepared(direct.context());
    paint(direct.context());
    CairoCanvas cut(400, 320);
    prepared(cut.context());
    {
        const std::unique_ptr<DrawingContext> part = cut.context().regionContext(region);
        ASSERT_TRUE(part);
        std::thread([&] {
            paint(*part);
            part->fillRect({0, 0, 200, 20});  // wholly outside the region
        }).join();
    }
    const PixelView a = direct.pixels();
    const PixelView b = cut.pixels();
    const std::size_t bytes = static_cast<std::size_t>(a.height) * a.stride;
    EXPECT_TRUE(std::equal(a.data, a.data + bytes, b.data));
    EXPECT_GT(std::count(a.data, a.data + bytes, 0), 0);  // the drawing leaves some of the canvas alone

    CairoCanvas degenerate(40, 40);
    degenerate.context().scale(0, 1);
    EXPECT_FALSE(degenerate.context().regionContext({0, 0, 10, 10}));
}

}  // namespace
}  // namespace zaro
