#include "thumbnail/drawn_ahead.hpp"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "base/bundle.hpp"
#include "base/posix_file.hpp"

namespace zaro::ZaroSessionIcon {

namespace {

// Far more than any of them takes.
constexpr std::size_t maxThumbnailBytes = 64 << 20;

std::optional<std::filesystem::path> drawnAheadURL(int side)
{
    if (std::find(std::begin(thumbnailSidesDrawnAhead), std::end(thumbnailSidesDrawnAhead), side)
        == std::end(thumbnailSidesDrawnAhead)) {
        return std::nullopt;
    }
    return Bundle::main().urlForResource("zaro-thumbnail-" + std::to_string(side), "png");
}

}  // namespace

bool hasThumbnailDrawnAhead(int side) { return drawnAheadURL(side).has_value(); }

std::optional<std::vector<unsigned char>> thumbnailDrawnAhead(int width, int height)
{
    if (width != height) return std::nullopt;
    const std::optional<std::filesystem::path> url = drawnAheadURL(width);
    if (!url) return std::nullopt;
    std::string bytes;
    try {
        const posix::RegularFile file = posix::openRegularFile(*url);
        std::optional<std::string> read = posix::readAll(file.descriptor.get(), maxThumbnailBytes);
        if (!read) return std::nullopt;
        bytes = std::move(*read);
    } catch (const std::system_error&) {
        return std::nullopt;
    }
    // Only what a PNG of this size begins and ends with is checked: the file is the build's own.
    using namespace std::string_view_literals;
    static constexpr std::string_view signature = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR"sv;
    static constexpr std::string_view end = "IEND\xae\x42\x60\x82"sv;
    if (!bytes.starts_with(signature) || !bytes.ends_with(end) || bytes.size() < 24) return std::nullopt;
    const auto side = [&](std::size_t at) {
        return static_cast<int>(static_cast<unsigned char>(bytes[at]) << 24 | static_cast<unsigned char>(bytes[at + 1]) << 16
                                | static_cast<unsigned char>(bytes[at + 2]) << 8 | static_cast<unsigned char>(bytes[at + 3]));
    };
    if (side(16) != width || side(20) != height) return std::nullopt;
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

}  // namespace zaro::ZaroSessionIcon
