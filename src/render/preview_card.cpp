#include "render/preview_card.hpp"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "base/background.hpp"
#include "base/bundle.hpp"
#include "base/posix_file.hpp"
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
// under the laps' heading, so the card is the one drawing the two in any order would give. Once
// nothing above the laps changes any more, `above` is told, on either thread.
void drawSession(const ZaroSession& session, const SummaryLayout& layout, DrawingContext& context,
                 const std::function<void(double y)>& above = {})
{
    const Rect c = layout.card;
    // Nothing else on the card reaches into the map's panel, and the trace is the costliest single
    // drawing on it: when the context can give the panel a context of its own, another thread draws
    // the panel, from the start, while this one draws the rest. Whichever of the two finishes its
    // part above the laps last tells `above`, and this one goes on to the laps without waiting.
    const std::unique_ptr<DrawingContext> panel = context.regionContext(layout.map);
    std::atomic<int> partsAbove = panel ? 2 : 1;
    const auto partAboveDrawn = [&] {
        if (partsAbove.fetch_sub(1) == 1 && above) above(layout.laps.y);
    };
    std::optional<Background> panelDrawing;
    if (panel) {
        panelDrawing.emplace([&] {
            drawMapPanel(session, layout.map, *panel);
            partAboveDrawn();
        });
    }
    context.drawTextBlock(session.trackName, {c.x + 18, c.y + 38, layout.textW, 28}, fonts::title, palette::primary);
    context.drawTextBlock(ZaroSessionFormat::subtitle(session), {c.x + 18, c.y + 68, layout.textW, 16}, fonts::subtitle,
                          palette::muted);
    if (!panel) drawMapPanel(session, layout.map, context);
    drawTileValues(session, layout.stats, context);
    partAboveDrawn();
    drawLaps(session, layout.laps, context);
    if (panelDrawing) panelDrawing->wait();
}

// The card's frame drawn ahead, at the default size and scale, as a resource: this magic; the length
// and text of the identity of the fonts and libraries it was drawn with; its width and height; then
// each row, 0 for the row above again, or 1, the count of its runs and each run's length and
// premultiplied ARGB pixel. Every number is 32 bits, least significant byte first.
constexpr std::string_view frameMagic = "ZARO card frame 1\n";
constexpr std::string_view frameResource = "zaro-card-frame";
constexpr std::uint32_t sameRow = 0;
constexpr std::uint32_t rowOfRuns = 1;

void appendWord(std::vector<unsigned char>& out, std::uint32_t word)
{
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<unsigned char>(word >> shift));
}

// Reads the resource's words in order, none past its end.
class FrameReader {
public:
    explicit FrameReader(std::string_view bytes) : bytes_(bytes) {}

    bool word(std::uint32_t& word)
    {
        if (bytes_.size() - at_ < sizeof word) return false;
        word = 0;
        for (int i = 3; i >= 0; --i) word = word << 8 | static_cast<unsigned char>(bytes_[at_ + static_cast<std::size_t>(i)]);
        at_ += sizeof word;
        return true;
    }
    bool text(std::size_t length, std::string_view& text)
    {
        if (bytes_.size() - at_ < length) return false;
        text = bytes_.substr(at_, length);
        at_ += length;
        return true;
    }
    std::size_t at() const { return at_; }
    void seek(std::size_t at) { at_ = at; }
    bool atEnd() const { return at_ == bytes_.size(); }

private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

// Lays the frame drawn ahead on `canvas` of the default size and scale, when the resource is there,
// whole, and drawn with this process's fonts and libraries; false, with the canvas as it was,
// otherwise, and the frame is drawn instead.
bool layFrameAhead(CairoCanvas& canvas)
{
    const std::optional<std::filesystem::path> url = Bundle::main().urlForResource(frameResource, "bin");
    if (!url) return false;
    std::string bytes;
    try {
        const posix::RegularFile file = posix::openRegularFile(*url);
        // A frame of flat colour and a few lines of text takes a few hundred KB.
        constexpr std::size_t largest = 16 << 20;
        bytes = posix::readPrefix(file.descriptor.get(), largest + 1);
        if (bytes.size() > largest) return false;
    } catch (const std::system_error&) {
        return false;
    }
    FrameReader reader(bytes);
    std::string_view magic;
    std::uint32_t identityLength = 0;
    std::string_view identity;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (!reader.text(frameMagic.size(), magic) || magic != frameMagic || !reader.word(identityLength)
        || !reader.text(identityLength, identity) || identity != zaro::fonts::identity() || !reader.word(width)
        || !reader.word(height) || width != static_cast<std::uint32_t>(canvas.width())
        || height != static_cast<std::uint32_t>(canvas.height())) {
        return false;
    }
    // Every row is checked before any is laid. The rows from the first one at or below the middle
    // that does not repeat the one above it are laid on another thread.
    const std::size_t rows = reader.at();
    std::uint32_t lower = height;
    std::size_t lowerRows = 0;
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::size_t at = reader.at();
        std::uint32_t kind = 0;
        if (!reader.word(kind) || (kind == sameRow && y == 0)) return false;
        if (kind == sameRow) continue;
        if (lower == height && y >= height / 2) {
            lower = y;
            lowerRows = at;
        }
        std::uint32_t runs = 0;
        if (kind != rowOfRuns || !reader.word(runs)) return false;
        std::uint64_t filled = 0;
        for (std::uint32_t r = 0; r < runs; ++r) {
            std::uint32_t length = 0;
            std::uint32_t pixel = 0;
            if (!reader.word(length) || !reader.word(pixel) || length == 0) return false;
            filled += length;
        }
        if (filled != width) return false;
    }
    if (!reader.atEnd()) return false;
    canvas.writePixels([&](unsigned char* data, std::size_t stride) {
        // Rows [first, end), whose words begin at `from`.
        const auto lay = [&](std::size_t from, std::uint32_t first, std::uint32_t end) {
            FrameReader rowReader(bytes);
            rowReader.seek(from);
            for (std::uint32_t y = first; y < end; ++y) {
                unsigned char* const row = data + stride * y;
                std::uint32_t kind = 0;
                rowReader.word(kind);
                if (kind == sameRow) {
                    std::memcpy(row, row - stride, std::size_t{width} * 4);
                    continue;
                }
                std::uint32_t runs = 0;
                rowReader.word(runs);
                auto* pixels = reinterpret_cast<std::uint32_t*>(row);
                for (std::uint32_t r = 0; r < runs; ++r) {
                    std::uint32_t length = 0;
                    std::uint32_t pixel = 0;
                    rowReader.word(length);
                    rowReader.word(pixel);
                    pixels = std::fill_n(pixels, length, pixel);
                }
            }
        };
        Background lowerRowsLaid([&] { lay(lowerRows, lower, height); });
        lay(rows, 0, lower);
        lowerRowsLaid.wait();
    });
    return true;
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

std::vector<unsigned char> frameAhead()
{
    CairoCanvas canvas(pixelExtent(defaultSize.width * defaultScale), pixelExtent(defaultSize.height * defaultScale));
    DrawingContext& context = canvas.context();
    context.scale(defaultScale, defaultScale);
    {
        SavedGState saved(context);
        flipToTopLeft(context, defaultSize);
        drawFrame(summaryLayout(defaultSize), defaultSize, context);
    }
    const PixelView pixels = canvas.pixels();
    std::vector<unsigned char> out(frameMagic.begin(), frameMagic.end());
    const std::string& identity = zaro::fonts::identity();
    appendWord(out, static_cast<std::uint32_t>(identity.size()));
    out.insert(out.end(), identity.begin(), identity.end());
    appendWord(out, static_cast<std::uint32_t>(pixels.width));
    appendWord(out, static_cast<std::uint32_t>(pixels.height));
    const std::size_t rowBytes = static_cast<std::size_t>(pixels.width) * 4;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> runs;
    for (int y = 0; y < pixels.height; ++y) {
        const unsigned char* const row = pixels.data + pixels.stride * static_cast<std::size_t>(y);
        if (y > 0 && std::memcmp(row, row - pixels.stride, rowBytes) == 0) {
            appendWord(out, sameRow);
            continue;
        }
        runs.clear();
        for (int x = 0; x < pixels.width; ++x) {
            std::uint32_t pixel;
            std::memcpy(&pixel, row + static_cast<std::size_t>(x) * 4, sizeof pixel);
            if (!runs.empty() && runs.back().second == pixel) {
                ++runs.back().first;
            } else {
                runs.emplace_back(1, pixel);
            }
        }
        appendWord(out, rowOfRuns);
        appendWord(out, static_cast<std::uint32_t>(runs.size()));
        for (const auto& [length, pixel] : runs) {
            appendWord(out, length);
            appendWord(out, pixel);
        }
    }
    return out;
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
    // Declared after the canvas, whose pixels it may still be reading when the drawing fails. The
    // pixels are asked for here: the rows above the laps may be handed over on the panel's thread
    // while this one draws.
    std::optional<png::Encoder> encoder;
    const PixelView drawn = canvas.pixels();
    {
        SavedGState saved(context);
        flipToTopLeft(context, size);
        const SummaryLayout layout = summaryLayout(size);
        // The frame drawn ahead is the one drawing it gives, with the fonts and libraries it was drawn with.
        if (!(size == defaultSize && scale == defaultScale && layFrameAhead(canvas))) drawFrame(layout, size, context);
        // The rows above the laps are encoded while the laps are drawn.
        drawSession(read(), layout, context, [&](double y) {
            encoder.emplace(drawn);
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
