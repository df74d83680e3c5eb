#include "render/track_thumbnail.hpp"

#include <algorithm>
#include <string>

#include "fonts.hpp"
#include "format/zaro_session_format.hpp"
#include "render/map.hpp"
#include "render/palette.hpp"

namespace zaro {

namespace {

// The size the drawing is made for; larger thumbnails are the same drawing, scaled.
constexpr double designSide = 128;
constexpr double smallestWithBadge = 256;
constexpr Font badgeFont{12, FontWeight::semibold, true};
// Wide enough for any digit or separator of the font: the text is not measured.
constexpr double characterWidthEm = 0.62;
constexpr double badgePadding = 4;
constexpr double badgeHeight = 18;
constexpr Rgba badgeBackground{palette::card.red, palette::card.green, palette::card.blue, 0.9};

std::string badgeText(const ZaroSession& session)
{
    if (session.bestLapSec) return ZaroSessionFormat::lapTime(*session.bestLapSec);
    return std::to_string(session.lapCount) + (session.lapCount == 1 ? " lap" : " laps");
}

void drawBadge(const std::string& text, Size size, DrawingContext& context)
{
    const double width = badgePadding * 2 + characterWidthEm * badgeFont.size * static_cast<double>(text.size());
    const Rect badge{size.width - 6 - width, size.height - 6 - badgeHeight, width, badgeHeight};
    context.setFillColor(badgeBackground);
    context.fillRoundedRect(badge, badgeHeight / 2);
    context.drawTextBlock(text, {badge.x + badgePadding, badge.y + 2, width, badgeHeight - 2}, badgeFont, palette::primary);
}

}  // namespace

void drawTrackThumbnail(const ZaroSession& session, DrawingContext& context, Size size)
{
    const double side = std::min(size.width, size.height);
    if (!(side > 0)) return;
    const double scale = side / designSide;
    const Size design{size.width / scale, size.height / scale};
    SavedGState saved(context);
    // The thumbnail's context has its origin at the bottom-left, as a fresh bitmap does; the map is
    // drawn with y running down.
    context.translate(0, size.height);
    context.scale(scale, -scale);
    ZaroSessionMap::drawThumbnail(session.polyline, context, design);
    if (side >= smallestWithBadge) drawBadge(badgeText(session), design, context);
}

void prepareTrackThumbnailText() { fonts::load(fonts::Coverage::badge); }

}  // namespace zaro
