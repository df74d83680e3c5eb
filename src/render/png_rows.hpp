// A canvas's rows as PNG samples, each written with the row filter that suits it.
#pragma once

#include <cstddef>
#include <utility>

namespace zaro::png {

/// Zero bytes a row buffer keeps before its samples (the left of the first pixel) and room after them
/// that the vector loops may read and the conversion may write.
constexpr std::size_t rowMargin = 16;

/// `width` pixels of 0xAARRGGBB words with premultiplied alpha as 8-bit RGB, or as RGBA with alpha
/// not premultiplied; whether every one of them was opaque. May write two bytes past the samples.
bool convertRow(const unsigned char* argb, std::size_t width, bool withAlpha, unsigned char* samples);

/// The row filters used, by their type byte.
enum Filter : unsigned char { none = 0, sub = 1, up = 2, paeth = 4 };

/// Up, Sub, Paeth or none for `size` samples of `row`, whichever leaves the smallest sum of
/// magnitudes, judged on a sample of them. `above` is the row before, zeros for the first; before
/// both lie the samples to their left, or rowMargin zero bytes.
Filter chooseFilter(const unsigned char* row, const unsigned char* above, std::size_t size, std::size_t pixelSize);

/// Writes the `size` samples of `row` filtered with `filter` to `out`.
void applyFilter(Filter filter, const unsigned char* row, const unsigned char* above, std::size_t size,
                 std::size_t pixelSize, unsigned char* out);

/// The first pixel in which two rows of `width` 32-bit pixels differ and the one after the last;
/// `width` twice when they are the same.
std::pair<std::size_t, std::size_t> changedPixels(const unsigned char* row, const unsigned char* above, std::size_t width);

}  // namespace zaro::png
