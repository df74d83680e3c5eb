// Text on cairo through pango: a wrapped block of whole lines, and the bound on what it can show.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <cairo.h>
#include <pango/pangocairo.h>

#include "base/c_handle.hpp"
#include "render/drawing_context.hpp"

namespace zaro {

using PangoContextHandle = CHandle<PangoContext, g_object_unref>;

/// A pango context of `map` for drawing through cairo's surfaces: metrics unhinted, so that line
/// heights are the same at every scale. Hold fonts::lock() while making, using and dropping it.
PangoContextHandle makeTextContext(PangoFontMap* map);

/// Draws `text` wrapped to `frame`'s width from its top-left, only the lines that fit its height,
/// in `font` and `color`, through `cr`'s current transform; returns the block. See
/// DrawingContext::drawTextBlock.
Rect drawTextBlock(cairo_t* cr, PangoContext* pango, std::string_view text, Rect frame, const Font& font, Rgba color);

/// `text` cut to `maxClusters` grapheme clusters, with ill-formed UTF-8 and NUL turned into U+FFFD.
//
// Laid out in a block whose bound is `maxClusters`, the result shows the same lines as the whole text.
std::string textForLayout(std::string_view text, std::size_t maxClusters);

}  // namespace zaro
