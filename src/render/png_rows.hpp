// A canvas's rows as PNG samples, each written with the row filter that suits it.
#pragma once

#include <cstddef>

namespace zaro::png {

/// Zero bytes a row buffer keeps before its samples (the left of the first pixel) and room after them
/// that the vector loops may read and the conversion may write.
constexpr std::size_t rowMargin = 16;

/// `width` pixels of 0xAARRGGBB words with premultiplied alpha as 8-bit RGB, or as RGBA with alpha
/// not premultiplied; whether every one of them was opaque.
bool convertRow(const unsigned char* argb, std::size_t width, bool withAlpha, unsigned char* samples);

/// Writes the filter type and the filtered `size` samples of `row` to `out`: Up, Sub, Paeth or
/// none, whichever leaves the smallest sum of magnitudes. `above` is the row before, zeros for the
/// first; both have rowMargin zero bytes before them.
void filterRow(const unsigned char* row, const unsigned char* above, std::size_t size, std::size_t pixelSize,
               unsigned char* out);

}  // namespace zaro::png
