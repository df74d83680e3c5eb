#include <gtest/gtest.h>

#include <optional>
#include <thread>
#include <vector>

#include "graphics_context.hpp"
#include "render/recording_context.hpp"
#include "png.hpp"
#include "thumbnail/test_mark.hpp"
#include "thumbnail_provider.hpp"

namespace zaro {
namespace {

using testing::asString;
using testing::black;
using testing::blue;
using testing::green;
using testing::MarkFolder;
using testing::pixelAt;
using testing::quadrantMark;
using testing::red;
using testing::Rgb;
using testing::white;

ThumbnailReply replyFor(const FileThumbnailRequest& request)
{
    ThumbnailProvider provider;
    int calls = 0;
    std::optional<ThumbnailReply> reply;
    provider.provideThumbnail(request, [&](std::optional<ThumbnailReply> r, std::exception_ptr error) {
        ++calls;
        EXPECT_FALSE(error);
        reply = std::move(r);
    });
    EXPECT_EQ(calls, 1);
    if (!reply) throw std::runtime_error("no reply");
    return std::move(*reply);
}

png::Image thumbnailOf(Size size)
{
    const ThumbnailReply reply = requestThumbnail(thumbnailExtension(), {"/never/read.csv", size, {0, 0}, 1});
    std::optional<png::Image> image = png::decode(thumbnailPng(reply, 1));
    if (!image) throw std::runtime_error("not a PNG");
    return std::move(*image);
}

TEST(ThumbnailProvider, RepliesWithTheMaximumSizeWhateverTheFile)
{
    for (const char* file : {"/data/session.csv", "/data/missing.csv", "/dev/zero", ""}) {
        EXPECT_EQ(replyFor({file, {512, 256}, {32, 32}, 2}).contextSize(), (Size{512, 256})) << file;
    }
}

TEST(ThumbnailProvider, DrawsTheMarkOverTheWholeSquare)
{
    const MarkFolder mark(asString(quadrantMark(64, 64)));
    const png::Image image = thumbnailOf({512, 512});
    EXPECT_EQ(image.width, 512u);
    EXPECT_EQ(image.height, 512u);
    const std::pair<std::pair<std::uint32_t, std::uint32_t>, Rgb> samples[] = {
        {{0, 0}, red}, {{128, 128}, red}, {{384, 128}, green}, {{511, 0}, green},
        {{128, 384}, blue}, {{0, 511}, blue}, {{384, 384}, white}, {{511, 511}, white},
    };
    for (const auto& [at, colour] : samples) {
        EXPECT_EQ(pixelAt(image, at.first, at.second), colour) << at.first << ", " << at.second;
    }
}

TEST(ThumbnailProvider, StretchesTheMarkToAWideSizeWithoutBars)
{
    const MarkFolder mark(asString(quadrantMark(64, 64)));
    const png::Image image = thumbnailOf({512, 256});
    EXPECT_EQ(image.width, 512u);
    EXPECT_EQ(image.height, 256u);
    const std::pair<std::pair<std::uint32_t, std::uint32_t>, Rgb> samples[] = {
        {{0, 0}, red}, {{250, 120}, red}, {{262, 120}, green}, {{511, 0}, green},
        {{0, 255}, blue}, {{250, 136}, blue}, {{262, 136}, white}, {{511, 255}, white},
    };
    for (const auto& [at, colour] : samples) {
        EXPECT_EQ(pixelAt(image, at.first, at.second), colour) << at.first << ", " << at.second;
    }
}

TEST(ThumbnailProvider, AMissingMarkGivesABlackThumbnail)
{
    const MarkFolder missing(std::nullopt);
    const png::Image image = thumbnailOf({64, 48});
    EXPECT_EQ(image.width, 64u);
    EXPECT_EQ(image.height, 48u);
    std::vector<unsigned char> allBlack;
    for (int i = 0; i < 64 * 48; ++i) allBlack.insert(allBlack.end(), {0, 0, 0, 255});
    EXPECT_EQ(image.rgba, allBlack);
}

TEST(ThumbnailProvider, TheDrawingCallbackReportsFalseWithoutACurrentContext)
{
    const ThumbnailReply reply = replyFor({"/a.csv", {64, 64}, {0, 0}, 1});
    bool drew = true;
    std::thread([&] { drew = reply.draw(); }).join();
    EXPECT_FALSE(drew);
    GraphicsContext withoutDrawing(nullptr);
    const CurrentGraphicsContext current(&withoutDrawing);
    EXPECT_FALSE(reply.draw());
}

TEST(ThumbnailProvider, ReportsTrueEvenWhenOnlyTheBlackFillWasDrawn)
{
    const MarkFolder missing(std::nullopt);
    testing::RecordingContext context;
    GraphicsContext graphics(&context);
    const CurrentGraphicsContext current(&graphics);
    EXPECT_TRUE(replyFor({"/a.csv", {64, 64}, {0, 0}, 1}).draw());
    EXPECT_TRUE(replyFor({"/a.csv", {0, 0}, {0, 0}, 1}).draw());
    EXPECT_EQ(testing::ofKind(context.calls, testing::Call::Op::fillRect).size(), 2u);
}

}  // namespace
}  // namespace zaro
