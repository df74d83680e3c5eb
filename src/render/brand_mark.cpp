#include "render/brand_mark.hpp"

#include <algorithm>
#include <string>
#include <system_error>

#include "base/bundle.hpp"
#include "base/posix_file.hpp"

namespace zaro::ZaroSessionIcon {

namespace {

// A mark is an icon: anything bigger than this is refused rather than decoded.
constexpr std::uint64_t maxMarkPixels = 4096 * 4096;
constexpr std::size_t maxMarkBytes = 64 << 20;

std::optional<std::string> readMark(const std::filesystem::path& path)
{
    try {
        const posix::RegularFile file = posix::openRegularFile(path);
        return posix::readAll(file.descriptor.get(), maxMarkBytes);
    } catch (const std::system_error&) {
        return std::nullopt;
    }
}

std::optional<png::Image> decodeMark(const std::optional<std::filesystem::path>& url)
{
    if (!url) return std::nullopt;
    const std::optional<std::string> bytes = readMark(*url);
    if (!bytes) return std::nullopt;
    return png::decode({reinterpret_cast<const unsigned char*>(bytes->data()), bytes->size()}, maxMarkPixels);
}

// The mark drawn ahead at the sides desktops ask for most ("zaro-mark-256.png"), so that a small
// thumbnail neither decodes the large mark nor shrinks it: the smallest one at least `side` pixels
// wide, or the mark itself.
std::optional<png::Image> markForSide(double side)
{
    for (const int drawn : {128, 256, 512}) {
        if (drawn < side) continue;
        if (auto image = decodeMark(Bundle::main().urlForResource("zaro-mark-" + std::to_string(drawn), "png"))) return image;
        break;
    }
    return markCGImage();
}

}  // namespace

std::optional<std::filesystem::path> markURL() { return Bundle::main().urlForResource("zaro-mark", "png"); }

std::optional<png::Image> markCGImage() { return decodeMark(markURL()); }

void draw(DrawingContext& context, Size size)
{
    context.setFillColor(Rgba::grey(0.0, 1.0));
    context.fillRect({0, 0, size.width, size.height});
    if (!(size.width > 0) || !(size.height > 0)) return;
    const std::optional<png::Image> image = markForSide(std::max(size.width, size.height));
    if (!image) return;
    context.setInterpolationQuality(InterpolationQuality::high);
    const ImageView view{image->rgba.data(), static_cast<int>(image->width), static_cast<int>(image->height)};
    context.drawImage(view, {0, 0, size.width, size.height});
}

}  // namespace zaro::ZaroSessionIcon
