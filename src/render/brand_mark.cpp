#include "brand_mark.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "bundle.hpp"

namespace zaro::ZaroSessionIcon {

namespace {

// A mark is an icon: anything bigger than this is refused rather than decoded.
constexpr std::uint64_t maxMarkPixels = 4096 * 4096;
constexpr off_t maxMarkBytes = 64 << 20;

struct FileDescriptor {
    int fd;
    ~FileDescriptor()
    {
        if (fd >= 0) ::close(fd);
    }
};

std::optional<std::vector<unsigned char>> readSmallFile(const std::filesystem::path& path)
{
    const FileDescriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)};
    if (file.fd < 0) return std::nullopt;
    struct stat status {};
    if (::fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size > maxMarkBytes) {
        return std::nullopt;
    }
    std::vector<unsigned char> bytes(static_cast<std::size_t>(status.st_size));
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::read(file.fd, bytes.data() + filled, bytes.size() - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return std::nullopt;
        filled += static_cast<std::size_t>(got);
    }
    return bytes;
}

}  // namespace

std::optional<std::filesystem::path> markURL() { return Bundle::main().urlForResource("zaro-mark", "png"); }

std::optional<png::Image> markCGImage()
{
    const std::optional<std::filesystem::path> url = markURL();
    if (!url) return std::nullopt;
    const std::optional<std::vector<unsigned char>> bytes = readSmallFile(*url);
    if (!bytes) return std::nullopt;
    return png::decode(*bytes, maxMarkPixels);
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
