#include "text.hpp"

#include <algorithm>
#include <cmath>

#include "base/unicode.hpp"

namespace zaro {

namespace {

constexpr std::size_t maxBytesPerCluster = 32;

constexpr std::string_view replacement = "\uFFFD";

}  // namespace


std::string textForLayout(std::string_view text, std::size_t maxClusters)
{
    const std::size_t maxBytes =
        maxClusters > text.size() / maxBytesPerCluster ? text.size() : maxClusters * maxBytesPerCluster;
    const std::string_view head = text.substr(0, maxBytes);

    std::string clean;
    if (text::isValidUtf8(head)) {
        clean.assign(head);
    } else {
        // A code point cut by the byte bound lies past anything shown, so its U+FFFD never shows.
        text::appendUtf8Lossy(head, clean);
    }
    if (clean.find('\0') != std::string::npos) {
        std::string out;
        for (char c : clean) {
            if (c == '\0') {
                out += replacement;
            } else {
                out += c;
            }
        }
        clean = std::move(out);
    }
    // A cluster has at least one byte, so a text this short is within the bound already.
    if (clean.size() <= maxClusters) return clean;

    text::GraphemeCursor cursor(clean);
    std::size_t end = 0;
    for (std::size_t n = 0; n < maxClusters && end < clean.size(); ++n) end = cursor.next(end);
    clean.resize(end);
    return clean;
}


namespace {

using LayoutHandle = CHandle<PangoLayout, g_object_unref>;
using FontDescriptionHandle = CHandle<PangoFontDescription, pango_font_description_free>;
using AttrListHandle = CHandle<PangoAttrList, pango_attr_list_unref>;
using LayoutIterHandle = CHandle<PangoLayoutIter, pango_layout_iter_free>;
using FontOptionsHandle = CHandle<cairo_font_options_t, cairo_font_options_destroy>;

// Inter first; a glyph it lacks comes from the fallback fonts loaded with it (fonts.cpp).
constexpr const char* fontFamilies = "Inter";
// Pango works in int units of 1/1024; wider blocks than this would overflow them.
constexpr double maxTextWidth = 1e6;

PangoWeight pangoWeight(FontWeight weight)
{
    switch (weight) {
    case FontWeight::regular: return PANGO_WEIGHT_NORMAL;
    case FontWeight::medium: return PANGO_WEIGHT_MEDIUM;
    case FontWeight::semibold: return PANGO_WEIGHT_SEMIBOLD;
    case FontWeight::bold: return PANGO_WEIGHT_BOLD;
    }
    return PANGO_WEIGHT_NORMAL;
}

LayoutHandle layoutFor(PangoContext* pango, const std::string& shown, double width, const Font& font)
{
    LayoutHandle layout(pango_layout_new(pango));
    FontDescriptionHandle description(pango_font_description_new());
    pango_font_description_set_family_static(description.get(), fontFamilies);
    pango_font_description_set_weight(description.get(), pangoWeight(font.weight));
    pango_font_description_set_absolute_size(description.get(), font.size * PANGO_SCALE);
    pango_layout_set_font_description(layout.get(), description.get());
    if (font.tabularDigits) {
        AttrListHandle attributes(pango_attr_list_new());
        pango_attr_list_insert(attributes.get(), pango_attr_font_features_new("tnum"));
        pango_layout_set_attributes(layout.get(), attributes.get());
    }
    pango_layout_set_width(layout.get(), pango_units_from_double(width));
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
    pango_layout_set_text(layout.get(), shown.data(), static_cast<int>(shown.size()));
    return layout;
}

}  // namespace

// Layout happens in user space (the context's matrix stays the identity), so a scale set on the
// drawing does not move line breaks; with metric hinting off a 13-point Inter line is 15.7 points
// high rather than 17, and fits the 16-point rows it was made for.
PangoContextHandle makeTextContext(PangoFontMap* map)
{
    PangoContextHandle pango(pango_font_map_create_context(map));
    const FontOptionsHandle options(cairo_font_options_create());
    cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(pango.get(), options.get());
    pango_context_set_round_glyph_positions(pango.get(), FALSE);
    return pango;
}

Rect drawTextBlock(cairo_t* cr, PangoContext* pango, std::string_view text, Rect frame, const Font& font, Rgba color)
{
    const double width = std::min(frame.w, maxTextWidth);
    const double limit = frame.h;
    Rect block{frame.x, frame.y, frame.width(), 0};
    const std::size_t bound = textBlockClusterBound(font.size, width, limit);
    if (text.empty() || bound == 0 || !std::isfinite(frame.x) || !std::isfinite(frame.y)) return block;

    const LayoutHandle layout = layoutFor(pango, textForLayout(text, bound), width, font);
    PangoRectangle logical;
    pango_layout_get_extents(layout.get(), nullptr, &logical);
    const double measured = std::ceil(static_cast<double>(logical.height) / PANGO_SCALE);
    block.h = std::min(measured, limit);

    cairo_save(cr);
    cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
    const double bottom = block.h * PANGO_SCALE;
    const LayoutIterHandle lines(pango_layout_get_iter(layout.get()));
    do {
        PangoRectangle line;
        pango_layout_iter_get_line_extents(lines.get(), nullptr, &line);
        if (static_cast<double>(line.y) + line.height > bottom) break;
        const double baseline = pango_layout_iter_get_baseline(lines.get());
        cairo_move_to(cr, frame.x + static_cast<double>(line.x) / PANGO_SCALE, frame.y + baseline / PANGO_SCALE);
        pango_cairo_show_layout_line(cr, pango_layout_iter_get_line_readonly(lines.get()));
    } while (pango_layout_iter_next_line(lines.get()));
    cairo_restore(cr);
    return block;
}

}  // namespace zaro
