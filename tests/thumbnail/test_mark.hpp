// A stand-in for the brand mark whose pixels the tests know: four coloured quadrants.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/program.hpp"
#include "png.hpp"

namespace zaro::testing {

using Rgb = std::array<unsigned char, 3>;

/// PNG bytes of a `width` x `height` opaque image: red top left, green top right, blue bottom left,
/// white bottom right.
inline std::vector<unsigned char> quadrantMark(int width, int height)
{
    std::vector<std::uint32_t> words(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2;
            const bool bottom = y >= height / 2;
            const std::uint32_t rgb = bottom ? (right ? 0xFFFFFF : 0x0000FF) : (right ? 0x00FF00 : 0xFF0000);
            words[static_cast<std::size_t>(y * width + x)] = 0xFF000000 | rgb;
        }
    }
    return png::encode({reinterpret_cast<const unsigned char*>(words.data()), width, height,
                        static_cast<std::size_t>(width) * 4});
}

/// The colour at (x, y) of a decoded opaque image.
inline Rgb pixelAt(const png::Image& image, std::uint32_t x, std::uint32_t y)
{
    const std::size_t i = (static_cast<std::size_t>(y) * image.width + x) * 4;
    return {image.rgba[i], image.rgba[i + 1], image.rgba[i + 2]};
}

/// A resource folder holding `bytes` as the mark, named for the process while it lives.
class MarkFolder {
public:
    explicit MarkFolder(std::optional<std::string> bytes)
    {
        if (bytes) writeBytes(folder_ / "zaro-mark.png", *bytes);
        ::setenv("ZARO_SESSION_RESOURCES", folder_.path().c_str(), 1);
    }
    MarkFolder(const MarkFolder&) = delete;
    ~MarkFolder() { ::unsetenv("ZARO_SESSION_RESOURCES"); }

    const std::filesystem::path& path() const { return folder_.path(); }

private:
    TemporaryFolder folder_;
};

inline std::string asString(const std::vector<unsigned char>& bytes) { return {bytes.begin(), bytes.end()}; }

}  // namespace zaro::testing
