#include <string>

#include <gtest/gtest.h>

#include "preview_card.hpp"
#include "render/pixels.hpp"

namespace zaro {
namespace {

using testing::opaque;
using testing::Picture;
using testing::Rgba8;

constexpr Rgba background{0, 0, 0.2, 1};
constexpr Rgba ink{1, 1, 1, 1};
constexpr Size canvas{300, 120};
constexpr Font body{13, FontWeight::regular};

struct Drawn {
    Rect block;
    std::vector<unsigned char> png;
};

// Draws one text block on a plain top-left canvas at scale 2.
Drawn drawBlock(std::string_view text, Rect frame, Font font = body)
{
    Drawn drawn;
    drawn.png = ZaroSessionPreviewCard::renderPng(canvas, 2.0, [&](DrawingContext& context) {
        context.translate(0, canvas.height);
        context.scale(1, -1);
        context.setFillColor(background);
        context.fillRect({0, 0, canvas.width, canvas.height});
        drawn.block = context.drawTextBlock(text, frame, font, ink);
    });
    return drawn;
}

TEST(TextBlock, FitsOneThirteenPointLineUnderSixteenPoints)
{
    const Drawn drawn = drawBlock("Lap 12", {10, 10, 90, 16});
    EXPECT_EQ(drawn.block, (Rect{10, 10, 90, 16}));
    const Picture picture(drawn.png);
    EXPECT_TRUE(picture.hasColor({10, 10, 90, 16}, opaque(ink), 8));
    EXPECT_FALSE(picture.hasInk({0, 26, 300, 94}, opaque(background)));
    EXPECT_FALSE(picture.hasInk({0, 0, 300, 10}, opaque(background)));
    EXPECT_FALSE(picture.hasInk({0, 0, 10, 120}, opaque(background)));
}

TEST(TextBlock, DrawsNothingWhenNotEvenOneLineFits)
{
    const Drawn drawn = drawBlock("Lap 12", {10, 10, 90, 15});
    EXPECT_EQ(drawn.block, (Rect{10, 10, 90, 15}));
    EXPECT_FALSE(Picture(drawn.png).hasInk({0, 0, 300, 120}, opaque(background)));
}

TEST(TextBlock, RoundsTheMeasuredHeightUpAndCapsItAtTheLimit)
{
    // Three wrapped lines of 15.73 points measure 47.2, rounded up to 48.
    EXPECT_EQ(drawBlock("alpha beta gamma", {10, 10, 60, 100}).block, (Rect{10, 10, 60, 48}));
    EXPECT_EQ(drawBlock("alpha beta gamma", {10, 10, 60, 40}).block, (Rect{10, 10, 60, 40}));
    EXPECT_EQ(drawBlock("", {10, 10, 60, 40}).block, (Rect{10, 10, 60, 0}));
}

TEST(TextBlock, DrawsOnlyTheLinesThatFitWholly)
{
    const Picture two(drawBlock("alpha beta gamma", {10, 10, 60, 40}).png);
    EXPECT_TRUE(two.hasInk({10, 10 + 15.8, 60, 15}, opaque(background)));  // second line
    EXPECT_FALSE(two.hasInk({0, 10 + 31.5, 300, 60}, opaque(background)));  // no third line

    const Picture three(drawBlock("alpha beta gamma", {10, 10, 60, 48}).png);
    EXPECT_TRUE(three.hasInk({10, 10 + 31.5, 60, 16}, opaque(background)));
}

TEST(TextBlock, BreaksAWordWiderThanTheBlockBetweenCharacters)
{
    const Drawn drawn = drawBlock("WWWWWWWWWWWWWWWWWWWW", {10, 10, 50, 100});
    EXPECT_GT(drawn.block.h, 40);
    EXPECT_FALSE(Picture(drawn.png).hasInk({60.5, 0, 239.5, 120}, opaque(background)));
}

TEST(TextBlock, ShowsTheSameForAHugeTextAsForItsVisibleStart)
{
    std::string huge;
    while (huge.size() < 1'000'000) huge += "Circuit Park Zandvoort ";
    const std::string start = huge.substr(0, 2000);
    const Drawn all = drawBlock(huge, {10, 10, 280, 28}, {22, FontWeight::semibold});
    const Drawn shown = drawBlock(start, {10, 10, 280, 28}, {22, FontWeight::semibold});
    EXPECT_EQ(all.block, (Rect{10, 10, 280, 28}));
    EXPECT_TRUE(all.png == shown.png);
}

TEST(TextBlock, DrawsIllFormedUtf8WithReplacementCharacters)
{
    const Drawn drawn = drawBlock(std::string("Spa \xFF\xFE\0 lap", 12), {10, 10, 200, 16});
    EXPECT_EQ(drawn.block, (Rect{10, 10, 200, 16}));
    EXPECT_TRUE(Picture(drawn.png).hasInk({10, 10, 200, 16}, opaque(background)));
}

TEST(TextBlock, GivesTabularDigitsOneAdvanceWidth)
{
    const auto rightEdge = [](std::string_view text, bool tabular) {
        const Picture picture(drawBlock(text, {10, 10, 200, 16}, {13, FontWeight::regular, tabular}).png);
        return picture.lastInkColumn({0, 0, 300, 120}, opaque(background));
    };
    EXPECT_EQ(rightEdge("1:11.110", true), rightEdge("8:88.880", true));
    EXPECT_NE(rightEdge("1:11.110", false), rightEdge("8:88.880", false));
}

TEST(TextBlock, LeavesFillColourAndTransformAsItFoundThem)
{
    const auto png = ZaroSessionPreviewCard::renderPng(canvas, 2.0, [](DrawingContext& context) {
        context.translate(0, canvas.height);
        context.scale(1, -1);
        context.setFillColor(background);
        context.fillRect({0, 0, canvas.width, canvas.height});
        context.setFillColor({1, 0, 0, 1});
        context.drawTextBlock("Lap 1", {100, 50, 90, 16}, body, {0, 1, 0, 1});
        context.fillRect({0, 0, 5, 5});
    });
    const Picture picture(png);
    EXPECT_EQ(picture.at(1, 1), (Rgba8{255, 0, 0, 255}));
}

}  // namespace
}  // namespace zaro
