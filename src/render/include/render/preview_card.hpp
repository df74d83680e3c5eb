// The summary card of a session and the error card, drawn into any context or rasterised to PNG bytes.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "model/zaro_session.hpp"
#include "render/drawing_context.hpp"
#include "render/render_error.hpp"

namespace zaro::ZaroSessionPreviewCard {

/// The card size in points.
inline constexpr Size defaultSize{840, 720};
/// Pixels per point: 1680 × 1440 pixels at the default size.
inline constexpr double defaultScale = 2.0;

/// Draws the summary card over (0, 0, size) into a bottom-left context, or a top-left one if `flipped`.
void draw(const ZaroSession& session, DrawingContext& context, Size size, bool flipped);

/// What `draw` reads of `session` at `size`: the laps up to the last one the list shows, each with
/// the sectors its row can show. Drawn, it gives the same card.
ZaroSession shownPart(ZaroSession session, Size size);

/// Draws the error card for `message` over (0, 0, size), `flipped` as for `draw`.
void drawError(std::string_view message, DrawingContext& context, Size size, bool flipped);

/// PNG bytes of a bottom-left bitmap of round(size × scale) pixels that `paint` drew on once.
//
// Pixel sides round halves away from zero and are at least 1. RenderError: context when the bitmap
// cannot be made (a size or scale that is not finite, more than 32767 pixels on a side), image when
// drawing failed inside the library, png when encoding did.
std::vector<unsigned char> renderPng(Size size, double scale, const std::function<void(DrawingContext&)>& paint);

/// What every summary card at the default size and scale has, whatever its session (the canvas, the
/// card, the header, the tiles and their labels), drawn ahead as the resource "zaro-card-frame.bin":
/// pngDataWhileReading lays it rather than draw it when it was drawn with the same fonts and libraries.
/// Throws RenderError as drawing does.
std::vector<unsigned char> frameAhead();

/// Finds and loads the fonts every card's text needs, once per process, and checks that they draw;
/// a program calls it before it confines itself, and drawing does it anyway when nobody has. Throws
/// RenderError(fonts) when no usable font can be loaded, RenderError(memory) when too little is left.
void prepareText();

/// The PNG bytes of the session's summary card. Throws RenderError.
std::vector<unsigned char> pngData(const ZaroSession& session, Size size = defaultSize,
                                   double scale = defaultScale);

/// pngData of the session `read` gives, which is called once what every summary card has is drawn:
/// the wait for a session read elsewhere is spent drawing the rest. What `read` throws is thrown.
std::vector<unsigned char> pngDataWhileReading(const std::function<ZaroSession()>& read, Size size = defaultSize,
                                               double scale = defaultScale);

/// The PNG bytes of the error card: "Could not preview this file" and `message`. Throws RenderError.
std::vector<unsigned char> errorPngData(std::string_view message, Size size = defaultSize,
                                        double scale = defaultScale);

}  // namespace zaro::ZaroSessionPreviewCard
