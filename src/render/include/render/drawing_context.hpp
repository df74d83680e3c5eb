// The drawing interface every renderer draws through: shapes, transforms, state, images and wrapped text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace zaro {

struct Size {
    double width = 0;
    double height = 0;

    friend bool operator==(const Size&, const Size&) = default;
};

/// A rectangle as stored; `width()` and `height()` read a negative extent back as positive.
struct Rect {
    double x = 0;
    double y = 0;
    double w = 0;
    double h = 0;

    /// The extent read back non-negative.
    double width() const { return w < 0 ? -w : w; }
    /// The extent read back non-negative.
    double height() const { return h < 0 ? -h : h; }
    /// x + width as stored.
    double maxX() const { return x + w; }
    /// y + height as stored.
    double maxY() const { return y + h; }
    /// The rectangle shrunk by `d` on every side.
    Rect insetBy(double d) const { return {x + d, y + d, w - 2 * d, h - 2 * d}; }

    friend bool operator==(const Rect&, const Rect&) = default;
};

/// Colour components from 0 to 1, alpha not premultiplied.
struct Rgba {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    /// A grey level with alpha, as a shape colour.
    static constexpr Rgba grey(double white, double alpha) { return {white, white, white, alpha}; }

    friend bool operator==(const Rgba&, const Rgba&) = default;
};

enum class FontWeight : std::uint16_t { regular = 400, medium = 500, semibold = 600, bold = 700 };

/// The user-interface sans-serif at a size in points; `tabularDigits` makes all digits advance alike.
struct Font {
    double size = 13;
    FontWeight weight = FontWeight::regular;
    bool tabularDigits = false;

    friend bool operator==(const Font&, const Font&) = default;
};

enum class LineJoin : std::uint8_t { miter, round, bevel };
enum class LineCap : std::uint8_t { butt, round, square };
enum class InterpolationQuality : std::uint8_t { none, low, medium, high };
/// How finely the edges of shapes are sampled: `best` weighs each pixel's coverage finely, `fast`
/// samples each pixel on a 4 × 4 grid (17 levels), several times cheaper for long paths that cross
/// many rows and, on a line a few pixels wide, not told apart by eye.
enum class Antialias : std::uint8_t { best, fast };

/// 8-bit RGBA pixels, rows top first and `width * 4` bytes apart, alpha not premultiplied.
struct ImageView {
    const unsigned char* rgba = nullptr;
    int width = 0;
    int height = 0;
};

/// A 2-D drawing target. Coordinates are points through the current transform; one thread at a time.
class DrawingContext {
public:
    DrawingContext() = default;
    DrawingContext(const DrawingContext&) = delete;
    DrawingContext& operator=(const DrawingContext&) = delete;
    virtual ~DrawingContext() = default;

    /// Pushes the graphics state (transform, colours, line settings, antialiasing).
    virtual void saveGState() = 0;
    /// Pops the state pushed last.
    virtual void restoreGState() = 0;
    /// Concatenates a translation to the transform.
    virtual void translate(double dx, double dy) = 0;
    /// Concatenates a scale to the transform; a negative factor mirrors.
    virtual void scale(double sx, double sy) = 0;

    /// Sets the colour of later fills.
    virtual void setFillColor(Rgba color) = 0;
    /// Sets the colour of later strokes.
    virtual void setStrokeColor(Rgba color) = 0;
    /// Sets the stroke width in points.
    virtual void setLineWidth(double width) = 0;
    /// Sets how stroked segments meet.
    virtual void setLineJoin(LineJoin join) = 0;
    /// Sets how open stroke ends look.
    virtual void setLineCap(LineCap cap) = 0;
    /// Sets how finely the edges of later fills and strokes are sampled.
    virtual void setShapeAntialias(Antialias antialias) = 0;

    /// Fills an axis-aligned rectangle, anti-aliased.
    virtual void fillRect(Rect rect) = 0;
    /// Fills the ellipse inscribed in `rect`.
    virtual void fillEllipse(Rect rect) = 0;
    /// Fills a rectangle with quarter-circle corners of `radius` (non-zero winding).
    virtual void fillRoundedRect(Rect rect, double radius) = 0;
    /// Strokes the outline of a rectangle with quarter-circle corners of `radius`.
    virtual void strokeRoundedRect(Rect rect, double radius) = 0;

    /// Starts a new, empty path.
    virtual void beginPath() = 0;
    /// Starts a subpath at a point.
    virtual void moveTo(double x, double y) = 0;
    /// Adds a straight segment from the current point.
    virtual void addLineTo(double x, double y) = 0;
    /// Strokes the current path once, open, and clears it.
    virtual void strokePath() = 0;

    /// Sets how later images are smoothed when scaled.
    virtual void setInterpolationQuality(InterpolationQuality quality) = 0;
    /// Draws the image once, stretched to `rect` on both axes; its first row is at the rectangle's
    /// larger y, so it stands upright where y runs up (and upside down in a top-left context).
    virtual void drawImage(const ImageView& image, Rect rect) = 0;

    /// Draws wrapped text from the top-left of `frame`, only whole lines within its height; returns the block.
    //
    // Lines break at word boundaries, and inside a word wider than the frame. The block is the frame
    // with the height of all lines rounded up to a whole point, capped at the frame's height. No
    // ellipsis: what does not fit is not shown. The graphics state is left as it was found.
    virtual Rect drawTextBlock(std::string_view text, Rect frame, const Font& font, Rgba color) = 0;

    /// A context that draws into `rect` (through the current transform) exactly what this one would
    /// draw there, and nothing outside it, for another thread to draw with while this one draws
    /// elsewhere; null when this context cannot give one. It starts with this one's transform,
    /// colours, line settings and antialiasing. This context must not draw within `rect` while the other lives,
    /// and the other must be destroyed on this context's thread before this one is read.
    virtual std::unique_ptr<DrawingContext> regionContext(Rect rect);
};

/// At most how many grapheme clusters a text block of `fontSize` in a frame `width` by `limit` can
/// show, plus a line's worth; 0 for a block without area. Text beyond it never shows.
//
// Assumes no line is lower than 0.8 em and no cluster narrower than 0.1 em. The extra line keeps the
// word that decides where the last shown line breaks.
std::size_t textBlockClusterBound(double fontSize, double width, double limit);

/// Saves the graphics state on construction and restores it on destruction, on every path.
class SavedGState {
public:
    explicit SavedGState(DrawingContext& context) : context_(context) { context_.saveGState(); }
    SavedGState(const SavedGState&) = delete;
    SavedGState& operator=(const SavedGState&) = delete;
    ~SavedGState() { context_.restoreGState(); }

private:
    DrawingContext& context_;
};

}  // namespace zaro
