// Bounds the text handed to layout by what a text block can show at most.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zaro {

/// At most how many grapheme clusters a block can show, plus a line's worth; 0 for a block without area.
//
// Assumes no line is lower than 0.8 em and no cluster narrower than 0.1 em. The extra line keeps the
// word that decides where the last shown line breaks.
std::size_t textBlockClusterBound(double fontSize, double width, double limit);

/// `text` cut to `maxClusters` grapheme clusters, with ill-formed UTF-8 and NUL turned into U+FFFD.
//
// Laid out in a block whose bound is `maxClusters`, the result shows the same lines as the whole text.
std::string textForLayout(std::string_view text, std::size_t maxClusters);

}  // namespace zaro
