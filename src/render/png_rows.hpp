// A canvas's rows as PNG samples, and what of a row is as it was in the row above.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace zaro::png {

/// Zero bytes a row buffer keeps before its samples (the left of the first pixel) and room after them
/// that the vector loops may read and the conversion may write.
constexpr std::size_t rowMargin = 16;

/// `width` pixels of 0xAARRGGBB words with premultiplied alpha as 8-bit RGB, or as RGBA with alpha
/// not premultiplied; whether every one of them was opaque. May write two bytes past the samples.
bool convertRow(const unsigned char* argb, std::size_t width, bool withAlpha, unsigned char* samples);

/// The stretches in which `size` bytes of `row` differ from those of `above`, as [from, to) in order,
/// into `out`; stretches fewer than `least` equal bytes apart are one.
void differingStretches(const unsigned char* row, const unsigned char* above, std::size_t size, std::size_t least,
                        std::vector<std::pair<std::size_t, std::size_t>>& out);

/// The first pixel in which two rows of `width` 32-bit pixels differ and the one after the last;
/// `width` twice when they are the same.
std::pair<std::size_t, std::size_t> changedPixels(const unsigned char* row, const unsigned char* above, std::size_t width);

}  // namespace zaro::png
