#include "render/preview_card.hpp"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <string>

#include "base/background.hpp"
#include "base/unicode.hpp"
#include "format/card_texts.hpp"
#include "format/zaro_session_format.hpp"
#include "render/cairo_canvas.hpp"
#include "render/map.hpp"
#include "render/palette.hpp"
#include "render/png.hpp"
#include "card_layout.hpp"
#include "fonts.hpp"

namespace zaro::ZaroSessionPreviewCard {

namespace {

// Makes (0, 0) the top-left corner with y down for everything drawn after it.
void flipToTopLeft(DrawingContext& context, Size size)
{
    context.translate(0, size.height);
    context.scale(1, -1);
}

// The stat tiles' labels, two to a row.
constexpr std::string_view tileLabels[] = {"Best lap", "Laps", "Duration", "Distance", "Max speed", "Samples"};

// Where the i-th stat tile lies among the tiles `s` holds.
Rect tileRect(Rect s, int i)
{
    const double tileW = (s.width() - 8) * 0.5;
    const double tileH = (s.height() - 16) / 3;
    return {s.x + (i % 2) * (tileW + 8), s.y + (i / 2) * (tileH + 8), tileW, tileH};
}

void drawTiles(Rect s, DrawingContext& context)
{
    for (int i = 0; i < 6; ++i) {
        const Rect t = tileRect(s, i);
        context.setFillColor(palette::tile);
        context.fillRoundedRect(t, 10);
        context.drawTextBlock(text::toUpper(tileLabels[i]), {t.x + 10, t.y + 8, t.width() - 20, 14}, fonts::tileLabel,
                              palette::muted);
    }
}

void drawTileValues(const ZaroSession& session, Rect s, DrawingContext& context)
{
    const ZaroSessionFormat::StatTexts values = ZaroSessionFormat::statTexts(session);
    const std::string* const texts[] = {&values.bestLap,  &values.laps,     &values.duration,
                                        &values.distance, &values.maxSpeed, &values.samples};
    for (int i = 0; i < 6; ++i) {
        const Rect t = tileRect(s, i);
        context.drawTextBlock(*texts[i], {t.x + 10, t.y + 24, t.width() - 20, t.height() - 32}, fonts::tileValue,
                              palette::primary);
    }
}

void drawTrack(const ZaroSession& session, Rect inner, DrawingContext& context)
{
    const auto points = ZaroSessionMap::projected(session.polyline, inner);
    if (points.size() < 2) {
        context.drawTextBlock("No GPS trace in this file.", {inner.x, inner.y, inner.width(), inner.height()},
                              fonts::notice, palette::muted);
        return;
    }
    ZaroSessionMap::drawTrace(points, {palette::trackLine, 2.4, palette::accent, palette::endDot, 7}, context);
}

void drawMapPanel(const ZaroSession& session, Rect map, DrawingContext& context)
{
    context.setFillColor(palette::mapPanel);
    context.fillRoundedRect(map, 12);
    drawTrack(session, map.insetBy(10), context);
}

void drawLaps(const ZaroSession& session, Rect list, DrawingContext& context)
{
    const std::size_t capacity = rowCapacity(list.height());
    std::size_t row = 0;
    for (const ZaroSessionLap& lap : session.laps) {
        if (row >= capacity) break;
        if (lap.kind != ZaroSessionLap::Kind::lap) continue;
        const Rect r{list.x, list.y + rowHeight * static_cast<double>(row), list.width(), rowHeight};
        if (row % 2 == 0) {
            context.setFillColor(palette::rowStripe);
            context.fillRect(r);
        }
        context.drawTextBlock(ZaroSessionFormat::lapName(lap), {r.x + 10, r.y + 6, 90, 16}, fonts::lapName, palette::primary);
        context.drawTextBlock(ZaroSessionFormat::lapTime(lap.timeSec), {r.x + 110, r.y + 6, 90, 16},
                              fonts::lapTime, palette::primary);
        // Building more sector text than shows would be waste.
        const std::string sectors = ZaroSessionFormat::sectorText(lap, sectorBytes(list));
        if (!sectors.empty()) context.drawTextBlock(sectors, sectorFrame(r), fonts::sectors, palette::muted);
        ++row;
    }
    if (row == 0) {
        context.drawTextBlock("No completed laps", {list.x, list.y, list.width(), list.height()}, fonts::notice,
                              palette::muted);
    }
}

int pixelExtent(double points)
{
    const double rounded = std::round(points);
    if (!std::isfinite(rounded) || rounded > 1e6) throw RenderError(RenderError::Code::context);
    return std::max(1, static_cast<int>(std::max(rounded, 0.0)));
}

// The canvas and the card body on it, common to the summary and the error card; the card's rectangle.
Rect drawCanvasAndCard(DrawingContext& context, Size size)
{
    const Rect c = cardRect(size);
    // The canvas shows only around the card and at its rounded corners: within the box that the
    // corners leave, the card's opaque colour replaces whatever lies under it, and laying the canvas
    // there too would fill the whole picture twice. Four bands overlapping well into that box
    // (where their edges' partial pixels are covered as well) lay it everywhere else.
    const Rect box = c.insetBy(cardRadius);
    const double into = cardRadius / 2;
    context.setFillColor(palette::canvas);
    if (box.w > 2 * into && box.h > 2 * into) {
        context.fillRect({0, 0, size.width, box.y + into});
        context.fillRect({0, box.maxY() - into, size.width, size.height - (box.maxY() - into)});
        context.fillRect({0, 0, box.x + into, size.height});
        context.fillRect({box.maxX() - into, 0, size.width - (box.maxX() - into), size.height});
    } else {
        context.fillRect({0, 0, size.width, size.height});
    }
    context.setFillColor(palette::card);
    context.fillRoundedRect(c, cardRadius);
    return c;
}

// Where the summary card's parts lie.
struct SummaryLayout {
    Rect card;
    double textW;
    Rect map;
    Rect stats;
    Rect lapsHeading;
    Rect laps;
};

SummaryLayout summaryLayout(Size size)
{
    const Rect c = cardRect(size);
    const double textW = c.width() - 36;
    const Rect body{c.x + 18, c.y + 96, textW, 280};
    const Rect map{body.x, body.y, body.width() * 0.52 - 8, body.height()};
    return {c, textW, map, {map.maxX() + 8, body.y, body.maxX() - map.maxX() - 8, body.height()},
            {c.x + 18, body.y + 298, textW, 16}, lapList(c)};
}

// What every summary card has, whatever its session: the canvas, the card and its outline, the
// header, the stat tiles with their labels and the laps' heading.
void drawFrame(const SummaryLayout& layout, Size size, DrawingContext& context)
{
    const Rect c = drawCanvasAndCard(context, size);
    context.setStrokeColor(palette::cardOutline);
    context.setLineWidth(1);
    context.strokeRoundedRect(c, cardRadius);
    context.drawTextBlock(headerText, {c.x + 18, c.y + 18, layout.textW, 16}, fonts::header, palette::accent);
    drawTiles(layout.stats, context);
    context.drawTextBlock("LAPS", layout.lapsHeading, fonts::lapsHeader, palette::muted);
}

// What the session puts on the frame: its name and subtitle, the map, the stat values and the laps.
// None of it overlaps what the frame drew before it but the tiles its values go in and the list
// under the laps' heading, so the card is the one drawing the two in any order would give. Before
// the laps, `above` is told that nothing above them changes any more.
void drawSession(const ZaroSession& session, const SummaryLayout& layout, DrawingContext& context,
                 const std::function<void(double y)>& above = {})
{
    const Rect c = layout.card;
    context.drawTextBlock(session.trackName, {c.x + 18, c.y + 38, layout.textW, 28}, fonts::title, palette::primary);
    context.drawTextBlock(ZaroSessionFormat::subtitle(session), {c.x + 18, c.y + 68, layout.textW, 16}, fonts::subtitle,
                          palette::muted);

    // Nothing else on the card reaches into the map's panel, and the trace is the costliest single
    // drawing on it: when the context can give the panel a context of its own, another thread draws
    // the panel while this one draws the rest.
    const std::unique_ptr<DrawingContext> panel = context.regionContext(layout.map);
    std::optional<Background> panelDrawing;
    if (panel) {
        panelDrawing.emplace([&] { drawMapPanel(session, layout.map, *panel); });
    } else {
        drawMapPanel(session, layout.map, context);
    }
    drawTileValues(session, layout.stats, context);
    if (panelDrawing) panelDrawing->wait();
    if (above) above(layout.laps.y);
    drawLaps(session, layout.laps, context);
}

}  // namespace

void draw(const ZaroSession& session, DrawingContext& context, Size size, bool flipped)
{
    SavedGState saved(context);
    if (!flipped) flipToTopLeft(context, size);
    const SummaryLayout layout = summaryLayout(size);
    drawFrame(layout, size, context);
    drawSession(session, layout, context);
}

void drawError(std::string_view message, DrawingContext& context, Size size, bool flipped)
{
    SavedGState saved(context);
    if (!flipped) flipToTopLeft(context, size);

    const Rect c = drawCanvasAndCard(context, size);

    const double textW = c.width() - 48;
    context.drawTextBlock(headerText, {c.x + 24, c.y + 28, textW, 16}, fonts::header, palette::accent);
    context.drawTextBlock("Could not preview this file", {c.x + 24, c.y + 52, textW, 28}, fonts::title,
                          palette::primary);
    context.drawTextBlock(message, {c.x + 24, c.y + 90, textW, 80}, fonts::errorMessage, palette::muted);
}

std::vector<unsigned char> renderPng(Size size, double scale, const std::function<void(DrawingContext&)>& paint)
{
    CairoCanvas canvas(pixelExtent(size.width * scale), pixelExtent(size.height * scale));
    canvas.context().scale(scale, scale);
    paint(canvas.context());
    return png::encode(canvas.pixels());
}

void prepareText()
{
    zaro::fonts::load();
}

std::vector<unsigned char> pngData(const ZaroSession& session, Size size, double scale)
{
    return renderPng(size, scale, [&](DrawingContext& context) { draw(session, context, size, false); });
}

std::vector<unsigned char> pngDataWhileReading(const std::function<ZaroSession()>& read, Size size, double scale)
{
    CairoCanvas canvas(pixelExtent(size.width * scale), pixelExtent(size.height * scale));
    DrawingContext& context = canvas.context();
    context.scale(scale, scale);
    // Declared after the canvas, whose pixels it may still be reading when the drawing fails.
    std::optional<png::Encoder> encoder;
    {
        SavedGState saved(context);
        flipToTopLeft(context, size);
        const SummaryLayout layout = summaryLayout(size);
        drawFrame(layout, size, context);
        // The rows above the laps are encoded while the laps are drawn.
        drawSession(read(), layout, context, [&](double y) {
            encoder.emplace(canvas.pixels());
            encoder->rowsFinal(static_cast<int>(std::floor(y * scale)));
        });
    }
    const PixelView pixels = canvas.pixels();
    if (!encoder) encoder.emplace(pixels);
    return encoder->finish();
}

std::vector<unsigned char> errorPngData(std::string_view message, Size size, double scale)
{
    return renderPng(size, scale, [&](DrawingContext& context) { drawError(message, context, size, false); });
}

}  // namespace zaro::ZaroSessionPreviewCard
