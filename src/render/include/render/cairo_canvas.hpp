// An RGBA raster in memory and the drawing context that paints it: cairo for shapes and images, pango
// for text.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "render/drawing_context.hpp"

namespace zaro {

/// Pixels as 32-bit native-endian words 0xAARRGGBB with premultiplied alpha, rows top first.
struct PixelView {
    const unsigned char* data = nullptr;
    int width = 0;
    int height = 0;
    std::size_t stride = 0;  // bytes from one row to the next
};

class CairoCanvas {
public:
    /// A transparent canvas, its context bottom-left with y up; throws RenderError(context).
    //
    // Fails for a side that is not positive or above 32767 pixels, or when the memory cannot be had.
    CairoCanvas(int width, int height);
    CairoCanvas(CairoCanvas&&) noexcept;
    CairoCanvas& operator=(CairoCanvas&&) noexcept;
    ~CairoCanvas();

    /// Width in pixels.
    int width() const;
    /// Height in pixels.
    int height() const;
    /// The context that draws into this canvas; valid as long as the canvas.
    DrawingContext& context();
    /// The pixels as drawn so far; throws RenderError(image) when drawing failed inside the library.
    PixelView pixels();
    /// Lets `write` change the pixels in place (premultiplied ARGB words, rows `stride` bytes apart),
    /// as drawing would; throws RenderError(image) when drawing failed inside the library.
    void writePixels(const std::function<void(unsigned char* data, std::size_t stride)>& write);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zaro
