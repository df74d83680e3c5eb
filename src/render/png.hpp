// PNG bytes from a bitmap's pixels, and pixels back from PNG bytes (libspng).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "bitmap.hpp"

namespace zaro::png {

struct EncodeOptions {
    /// zlib level 0 to 9. Level 1 encodes a card in half the time of level 6 for a slightly larger file.
    int compressionLevel = 1;
    /// Lets the encoder pick a row filter per row; costs several times the time on a card.
    bool adaptiveFilters = false;
};

/// One 8-bit PNG of the pixels, RGB when all are opaque, else RGBA; throws RenderError(png).
std::vector<unsigned char> encode(const PixelView& pixels, const EncodeOptions& options = {});

struct Image {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<unsigned char> rgba;  // 8-bit RGBA rows top first, alpha not premultiplied
};

/// Decodes PNG bytes of at most `maxPixels` pixels; no value for bytes that are not such a PNG.
std::optional<Image> decode(std::span<const unsigned char> bytes, std::uint64_t maxPixels = 64u << 20);

}  // namespace zaro::png
