#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <thread>
#include <vector>

#include "graphics_context.hpp"
#include "png.hpp"
#include "thumbnail/test_mark.hpp"
#include "thumbnail_provider.hpp"

namespace zaro {
namespace {

using testing::asString;
using testing::MarkFolder;
using testing::pixelAt;
using testing::quadrantMark;
using testing::Rgb;

png::Image thumbnailOf(Size size)
{
    const ThumbnailReply reply = requestThumbnail(thumbnailExtension(), {"/never/read.csv", size, {0, 0}, 1});
    std::optional<png::Image> image = png::decode(thumbnailPng(reply, 1));
    if (!image) throw std::runtime_error("not a PNG");
    return std::move(*image);
}

// The mark's quadrants meet at the middle of the thumbnail whatever its shape: stretched, with no bars.
TEST(ThumbnailProvider, DrawsTheMarkStretchedOverTheWholeThumbnail)
{
    const MarkFolder mark(asString(quadrantMark(64, 64)));
    using Sample = std::pair<std::pair<std::uint32_t, std::uint32_t>, Rgb>;
    const Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, white{255, 255, 255};
    const std::pair<Size, std::vector<Sample>> cases[] = {
        {{512, 512}, {{{0, 0}, red}, {{250, 250}, red}, {{262, 250}, green}, {{511, 0}, green},
                      {{0, 511}, blue}, {{250, 262}, blue}, {{262, 262}, white}, {{511, 511}, white}}},
        {{512, 256}, {{{0, 0}, red}, {{250, 120}, red}, {{262, 120}, green}, {{511, 0}, green},
                      {{0, 255}, blue}, {{250, 136}, blue}, {{262, 136}, white}, {{511, 255}, white}}},
    };
    for (const auto& [size, samples] : cases) {
        const png::Image image = thumbnailOf(size);
        EXPECT_EQ(image.width, 512u);
        EXPECT_EQ(image.height, static_cast<std::uint32_t>(size.height));
        for (const auto& [at, colour] : samples) {
            EXPECT_EQ(pixelAt(image, at.first, at.second), colour) << size.height << ": " << at.first << ", " << at.second;
        }
    }
}

// The mark is read afresh for every thumbnail, so replacing it takes effect at once.
TEST(ThumbnailProvider, AMissingOrUnusableMarkGivesABlackThumbnail)
{
    const MarkFolder mark(asString(quadrantMark(64, 64)));
    EXPECT_EQ(pixelAt(thumbnailOf({64, 48}), 0, 0), (Rgb{255, 0, 0}));
    std::string truncated = asString(quadrantMark(64, 64));
    truncated.resize(truncated.size() / 2);
    std::vector<unsigned char> allBlack;
    for (int i = 0; i < 64 * 48; ++i) allBlack.insert(allBlack.end(), {0, 0, 0, 255});
    for (const std::optional<std::string>& bytes : {std::optional<std::string>("GIF89a, not a PNG"),
                                                    std::optional(truncated), std::optional<std::string>()}) {
        if (bytes) testing::writeBytes(mark.path() / "zaro-mark.png", *bytes);
        else std::filesystem::remove(mark.path() / "zaro-mark.png");
        EXPECT_EQ(thumbnailOf({64, 48}).rgba, allBlack) << bytes.value_or("(none)");
    }
}

TEST(ThumbnailProvider, TheDrawingCallbackReportsFalseWithoutACurrentContext)
{
    const ThumbnailReply reply = requestThumbnail(thumbnailExtension(), {"/a.csv", {64, 64}, {0, 0}, 1});
    bool drew = true;
    std::thread([&] { drew = reply.draw(); }).join();
    EXPECT_FALSE(drew);
    GraphicsContext withoutDrawing(nullptr);
    const CurrentGraphicsContext current(&withoutDrawing);
    EXPECT_FALSE(reply.draw());
}

}  // namespace
}  // namespace zaro
