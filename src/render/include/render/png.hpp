// PNG bytes from a canvas's pixels (an encoder of our own for drawn pictures), and pixels back from
// PNG bytes (libspng).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "render/cairo_canvas.hpp"

namespace zaro::png {

/// One 8-bit PNG of the pixels, RGB when all are opaque, else RGBA; the same pixels always give the
/// same bytes. Throws RenderError(png).
//
// Made for drawn pictures (flat colour, anti-aliased edges): rows without filters, so that decoders
// have nothing to undo; what repeats the row above, and runs of a byte or a pixel, as the only
// matches; Huffman codes per block. A card takes a fraction of zlib's fastest level's time, for a
// file a fifth larger that decoders read as fast.
std::vector<unsigned char> encode(const PixelView& pixels);

/// encode of a picture still being drawn, from the top down: the first time rowsFinal says the rows
/// above some row are done, the pieces within them are encoded on another thread while the drawing
/// goes on. The bytes are encode's. The pixels must outlive the encoder.
class Encoder {
public:
    /// Throws RenderError(png) for pixels encode would refuse.
    explicit Encoder(const PixelView& pixels);
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;
    /// Waits for the pieces under way.
    ~Encoder();

    /// The pixel rows above `rows` will not change any more.
    void rowsFinal(int rows);
    /// The PNG, once every row is drawn. Throws RenderError(png).
    std::vector<unsigned char> finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

struct Image {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<unsigned char> rgba;  // 8-bit RGBA rows top first, alpha not premultiplied
};

/// Decodes PNG bytes of at most `maxPixels` pixels; no value for bytes that are not such a PNG.
std::optional<Image> decode(std::span<const unsigned char> bytes, std::uint64_t maxPixels = 64u << 20);

}  // namespace zaro::png
