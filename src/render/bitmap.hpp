// An RGBA raster in memory and the drawing context that paints it (cairo for shapes, pango for text).
#pragma once

#include <cstddef>
#include <memory>

#include "surface.hpp"

namespace zaro {

/// Pixels as 32-bit native-endian words 0xAARRGGBB with premultiplied alpha, rows top first.
struct PixelView {
    const unsigned char* data = nullptr;
    int width = 0;
    int height = 0;
    std::size_t stride = 0;  // bytes from one row to the next
};

class Bitmap {
public:
    /// A transparent bitmap, its context bottom-left with y up; throws RenderError(context).
    //
    // Fails for a side that is not positive or above 32767 pixels, or when the memory cannot be had.
    Bitmap(int width, int height);
    Bitmap(Bitmap&&) noexcept;
    Bitmap& operator=(Bitmap&&) noexcept;
    ~Bitmap();

    /// Width in pixels.
    int width() const;
    /// Height in pixels.
    int height() const;
    /// The context that draws into this bitmap; valid as long as the bitmap.
    DrawingContext& context();
    /// The pixels as drawn so far; throws RenderError(image) when drawing failed inside the library.
    PixelView pixels();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zaro
