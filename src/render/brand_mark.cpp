#include "render/brand_mark.hpp"

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

}  // namespace

std::optional<std::filesystem::path> markURL() { return Bundle::main().urlForResource("zaro-mark", "png"); }

std::optional<png::Image> markCGImage()
{
    const std::optional<std::filesystem::path> url = markURL();
    if (!url) return std::nullopt;
    const std::optional<std::string> bytes = readMark(*url);
    if (!bytes) return std::nullopt;
    return png::decode({reinterpret_cast<const unsigned char*>(bytes->data()), bytes->size()}, maxMarkPixels);
}

void draw(DrawingContext& context, Size size)
{
    context.setFillColor(Rgba::grey(0.0, 1.0));
    context.fillRect({0, 0, size.width, size.height});
    if (!(size.width > 0) || !(size.height > 0)) return;
    const std::optional<png::Image> image = markCGImage();
    if (!image) return;
    context.setInterpolationQuality(InterpolationQuality::high);
    const ImageView view{image->rgba.data(), static_cast<int>(image->width), static_cast<int>(image->height)};
    context.drawImage(view, {0, 0, size.width, size.height});
}

}  // namespace zaro::ZaroSessionIcon
