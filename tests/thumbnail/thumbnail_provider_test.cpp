// The thumbnail: the brand mark read from the resources and stretched over whatever size is asked for.
#include "thumbnail/thumbnail_provider.hpp"

#include <stdlib.h>

#include <array>
#include <cstdlib>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/bundle.hpp"
#include "host/canvas_rasteriser.hpp"
#include "host/graphics_context.hpp"
#include "render/png.hpp"
#include "render/preview_card.hpp"
#include "render/track_thumbnail.hpp"
#include "support/files.hpp"
#include "thumbnail/thumbnail_drawing.hpp"

namespace zaro {
namespace {

using Rgb = std::array<unsigned char, 3>;

// A mark whose pixels we know: red top left, green top right, blue bottom left, white bottom right,
// in a resource folder of its own while it lives.
class QuadrantMark {
public:
    QuadrantMark()
    {
        std::vector<std::uint32_t> words(64 * 64);
        for (std::size_t i = 0; i < words.size(); ++i) {
            const bool right = i % 64 >= 32, bottom = i / 64 >= 32;
            words[i] = 0xFF000000 | (bottom ? (right ? 0xFFFFFF : 0x0000FF) : (right ? 0x00FF00 : 0xFF0000));
        }
        bytes = support::asString(png::encode({reinterpret_cast<const unsigned char*>(words.data()), 64, 64, 256}));
        support::writeFile(path(), bytes);
        ::setenv(resourcesVariable, folder_.path().c_str(), 1);
    }
    QuadrantMark(const QuadrantMark&) = delete;
    ~QuadrantMark() { ::unsetenv(resourcesVariable); }
    std::filesystem::path path() const { return folder_ / "zaro-mark.png"; }

    std::string bytes;

private:
    support::TemporaryFolder folder_;
};

// The thumbnail drawn into a surface of the size times the scale, the current context gone again after.
png::Image thumbnailOf(Size size, double scale = 1)
{
    const ThumbnailReply reply = requestThumbnail(thumbnailExtension(), {"/never/read.csv", size, {0, 0}, scale});
    EXPECT_EQ(reply.contextSize(), size);
    png::Image image = png::decode(thumbnailPng(reply, scale, rasteriseOnCanvas)).value();
    EXPECT_EQ(GraphicsContext::current(), nullptr);
    return image;
}

Rgb pixelAt(const png::Image& image, std::uint32_t x, std::uint32_t y)
{
    const std::size_t i = (static_cast<std::size_t>(y) * image.width + x) * 4;
    return {image.rgba[i], image.rgba[i + 1], image.rgba[i + 2]};
}

// The quadrants meet at the middle of the thumbnail whatever its shape: stretched, with no bars.
TEST(ThumbnailProvider, DrawsTheMarkStretchedOverTheWholeThumbnail)
{
    const QuadrantMark mark;
    const Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, white{255, 255, 255};
    for (const auto& [size, scale] : {std::pair{Size{256, 256}, 2.0}, std::pair{Size{512, 256}, 1.0}}) {
        const png::Image image = thumbnailOf(size, scale);
        ASSERT_EQ((std::pair{image.width * 1.0, image.height * 1.0}), (std::pair{512.0, size.height * scale}));
        const std::uint32_t bottom = image.height - 1, above = image.height / 2 - 6, below = image.height / 2 + 6;
        const std::pair<std::array<std::uint32_t, 2>, Rgb> samples[] = {
            {{0, 0}, red},        {{250, above}, red},   {{262, above}, green}, {{511, 0}, green},
            {{0, bottom}, blue},  {{250, below}, blue},  {{262, below}, white}, {{511, bottom}, white}};
        for (const auto& [at, rgb] : samples) EXPECT_EQ(pixelAt(image, at[0], at[1]), rgb) << at[0] << ' ' << at[1];
    }
}

// The mark is read afresh for every thumbnail, so replacing it takes effect at once.
TEST(ThumbnailProvider, AMissingOrUnusableMarkGivesABlackThumbnail)
{
    const QuadrantMark mark;
    EXPECT_EQ(pixelAt(thumbnailOf({64, 48}), 0, 0), (Rgb{255, 0, 0}));
    std::vector<unsigned char> black;
    for (int i = 0; i < 64 * 48; ++i) black.insert(black.end(), {0, 0, 0, 255});
    for (const std::optional<std::string>& bytes : {std::optional<std::string>("GIF89a, not a PNG"),
                                                    std::optional(mark.bytes.substr(0, mark.bytes.size() / 2)),
                                                    std::optional<std::string>()}) {
        if (bytes) support::writeFile(mark.path(), *bytes);
        else std::filesystem::remove(mark.path());
        EXPECT_EQ(thumbnailOf({64, 48}).rgba, black) << bytes.value_or("(none)");
    }
}

// A mark drawn ahead at 128 pixels serves thumbnails up to that side; larger ones take the mark itself.
TEST(ThumbnailProvider, DrawsTheSmallestMarkDrawnAheadThatIsLargeEnough)
{
    const QuadrantMark mark;
    const std::vector<std::uint32_t> grey(16 * 16, 0xFF808080);
    const PixelView small{reinterpret_cast<const unsigned char*>(grey.data()), 16, 16, 64};
    support::writeFile(mark.path().parent_path() / "zaro-mark-128.png", support::asString(png::encode(small)));
    EXPECT_EQ(pixelAt(thumbnailOf({128, 128}), 0, 0), (Rgb{128, 128, 128}));
    EXPECT_EQ(pixelAt(thumbnailOf({100, 64}), 0, 0), (Rgb{128, 128, 128}));
    EXPECT_EQ(pixelAt(thumbnailOf({129, 129}), 0, 0), (Rgb{255, 0, 0}));
}

// The build's own thumbnails made ahead are handed out as they are, and are what drawing gives byte
// for byte; a size between them, or a thumbnail scaled to one, is drawn.
TEST(ThumbnailProvider, ServesTheThumbnailsMadeAheadByteForByteAsDrawingThemGives)
{
    ::setenv(resourcesVariable, ZARO_RESOURCES_DIR, 1);
    for (const double side : {128.0, 256.0, 512.0, 1024.0, 200.0}) {
        const ThumbnailReply reply = requestThumbnail(thumbnailExtension(), {"/never/read.csv", {side, side}, {0, 0}, 1});
        const ThumbnailReply drawing({side, side}, [side] { return drawThumbnail({side, side}); });
        const std::vector<unsigned char> served = thumbnailPng(reply, 1, rasteriseOnCanvas);
        EXPECT_EQ(served, thumbnailPng(drawing, 1, rasteriseOnCanvas)) << side;
        const std::string file = support::readFile(std::string(ZARO_RESOURCES_DIR) + "/zaro-thumbnail-"
                                                   + std::to_string(static_cast<int>(side)) + ".png");
        EXPECT_EQ(support::asString(served) == file, side != 200) << side;
    }
    const ThumbnailReply scaled = requestThumbnail(thumbnailExtension(), {"/never/read.csv", {128, 128}, {0, 0}, 2});
    EXPECT_EQ(png::decode(thumbnailPng(scaled, 2, rasteriseOnCanvas))->width, 256u);
    ::unsetenv(resourcesVariable);
}

TEST(ThumbnailProvider, TheDrawingCallbackReportsFalseWithoutACurrentContext)
{
    const ThumbnailReply reply = requestThumbnail(thumbnailExtension(), {"/a.csv", {64, 64}, {0, 0}, 1});
    EXPECT_FALSE(reply.draw());
    GraphicsContext withoutDrawing(nullptr);
    const CurrentGraphicsContext current(&withoutDrawing);
    EXPECT_FALSE(reply.draw());
}


// The thumbnailer loads only the badge's font for the track; the badge it draws is the one the
// cards' fonts draw. Each drawing is made in a fresh process, as font loading is once per process.
TEST(TrackThumbnail, TheBadgesFontAloneDrawsWhatTheCardsFontsDraw)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A death test's child runs the test from its start: it writes where the parent, which made the
    // folder, says in the environment.
    constexpr const char* folderVariable = "ZARO_TEST_DRAWINGS";
    std::optional<support::TemporaryFolder> made;
    if (!std::getenv(folderVariable)) ::setenv(folderVariable, made.emplace().path().c_str(), 1);
    const std::filesystem::path folder = std::getenv(folderVariable);
    const std::filesystem::path session = ZARO_EXAMPLES_DIR "/Sunday practice.csv";
    const auto drawAfter = [&](void (*prepare)(), const std::string& name) {
        const auto draw = [&] {
            prepare();
            const Size size{256, 256};
            const ThumbnailReply reply(size, [&] { return drawTrackThumbnail(session, nullptr, size); });
            support::writeFile(folder / name, support::asString(rasteriseOnCanvas(reply, 256, 256, 1)));
            std::exit(0);
        };
        EXPECT_EXIT(draw(), ::testing::ExitedWithCode(0), "");
        return support::readFile(folder / name);
    };
    const std::string badgeAlone = drawAfter(prepareTrackThumbnailText, "badge.png");
    EXPECT_EQ(badgeAlone, drawAfter(ZaroSessionPreviewCard::prepareText, "cards.png"));
    EXPECT_GT(badgeAlone.size(), 1000u);
    ::unsetenv(folderVariable);
}

}  // namespace
}  // namespace zaro
