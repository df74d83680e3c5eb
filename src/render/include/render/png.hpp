// PNG bytes from a canvas's pixels (zlib), and pixels back from PNG bytes (libspng).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "render/cairo_canvas.hpp"

namespace zaro::png {

/// One 8-bit PNG of the pixels, RGB when all are opaque, else RGBA, without row filters and deflated
/// at zlib's `compressionLevel` (0 to 9); throws RenderError(png).
//
// Level 1 without filters encodes a card in under half the time of level 6 with adaptive filters,
// for a file a third larger.
std::vector<unsigned char> encode(const PixelView& pixels, int compressionLevel = 1);

struct Image {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<unsigned char> rgba;  // 8-bit RGBA rows top first, alpha not premultiplied
};

/// Decodes PNG bytes of at most `maxPixels` pixels; no value for bytes that are not such a PNG.
std::optional<Image> decode(std::span<const unsigned char> bytes, std::uint64_t maxPixels = 64u << 20);

}  // namespace zaro::png
