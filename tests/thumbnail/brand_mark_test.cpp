#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bitmap.hpp"
#include "brand_mark.hpp"
#include "render/recording_context.hpp"
#include "thumbnail/test_mark.hpp"

namespace zaro {
namespace {

using testing::asString;
using testing::Call;
using testing::MarkFolder;
using testing::quadrantMark;
using testing::RecordingContext;

std::vector<Call> drawnAt(Size size)
{
    RecordingContext context;
    ZaroSessionIcon::draw(context, size);
    return context.calls;
}

const Rgba opaqueBlack{0, 0, 0, 1};
const double high = static_cast<double>(InterpolationQuality::high);

TEST(BrandMark, FillsBlackThenDrawsTheMarkStretchedOverTheWholeSize)
{
    const MarkFolder mark(asString(quadrantMark(64, 64)));
    EXPECT_EQ(drawnAt({200, 100}), (std::vector<Call>{
                                       {Call::Op::fillRect, {0, 0, 200, 100}, 0, opaqueBlack, ""},
                                       {Call::Op::interpolation, {}, high, {}, ""},
                                       {Call::Op::image, {0, 0, 200, 100}, 0, {}, "64x64"},
                                   }));
}

TEST(BrandMark, DrawsOnlyTheBlackFillWithoutAUsableMarkOrArea)
{
    const std::vector<Call> fillOnly{{Call::Op::fillRect, {0, 0, 64, 32}, 0, opaqueBlack, ""}};
    {
        const MarkFolder missing(std::nullopt);
        EXPECT_EQ(drawnAt({64, 32}), fillOnly);
    }
    {
        const MarkFolder undecodable("GIF89a, not a PNG at all");
        EXPECT_EQ(drawnAt({64, 32}), fillOnly);
    }
    {
        std::string truncated = asString(quadrantMark(64, 64));
        truncated.resize(truncated.size() / 2);
        const MarkFolder cut(truncated);
        EXPECT_EQ(drawnAt({64, 32}), fillOnly);
    }
    const MarkFolder present(asString(quadrantMark(64, 64)));
    for (const Size size : {Size{0, 0}, Size{0, 32}, Size{64, -1}}) {
        const Call fill{Call::Op::fillRect, {0, 0, size.width, size.height}, 0, opaqueBlack, ""};
        EXPECT_EQ(drawnAt(size), std::vector<Call>{fill});
    }
}

TEST(BrandMark, ReadsTheMarkAfreshOnEveryDraw)
{
    const MarkFolder mark(asString(quadrantMark(64, 64)));
    EXPECT_EQ(drawnAt({10, 10}).back().text, "64x64");
    testing::writeBytes(mark.path() / "zaro-mark.png", asString(quadrantMark(32, 16)));
    EXPECT_EQ(drawnAt({10, 10}).back().text, "32x16");
    EXPECT_EQ(ZaroSessionIcon::markURL(), mark.path() / "zaro-mark.png");
}

TEST(BrandMark, TheShippedMarkIsFoundFromTheBuildTreeAndDecodes)
{
    ::unsetenv("ZARO_SESSION_RESOURCES");
    const std::optional<png::Image> image = ZaroSessionIcon::markCGImage();
    ASSERT_TRUE(image) << "resources/zaro-mark.png is missing or does not decode";
    EXPECT_GE(image->width, 512u);
    EXPECT_GE(image->height, 512u);
}

}  // namespace
}  // namespace zaro
