// Draws the brand mark: a bold slanted Z whose diagonal is a chequered flag, over a circuit outline.
//
// The PNGs are committed: the mark at 1024 pixels, and drawn ahead at the sides thumbnails are asked
// for most. After changing this file, regenerate them from the repository's root with
//   cmake --build build --target zaro-make-mark && build/resources/zaro-make-mark resources/zaro-mark.png 1024 &&
//   for side in 128 256 512; do build/resources/zaro-make-mark resources/zaro-mark-$side.png $side; done
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <unistd.h>

#include <cairo.h>

#include "base/c_handle.hpp"

namespace zaro {
namespace {

using SurfacePtr = CHandle<cairo_surface_t, cairo_surface_destroy>;
using CairoPtr = CHandle<cairo_t, cairo_destroy>;
using PatternPtr = CHandle<cairo_pattern_t, cairo_pattern_destroy>;

struct Colour {
    double red, green, blue;
};

// The preview card's palette, so the thumbnail and the card look like one product.
constexpr Colour deepNavy{0.020, 0.050, 0.090};
constexpr Colour cardNavy{0.075, 0.150, 0.245};
constexpr Colour gold{0.910, 0.720, 0.290};
constexpr Colour orange{0.910, 0.350, 0.120};
constexpr Colour flagWhite{0.960, 0.960, 0.940};
constexpr Colour flagBlack{0.030, 0.045, 0.070};

struct Point {
    double x, y;
};

// All geometry is in a 1024 by 1024 design space, scaled to the output size.
constexpr double designSide = 1024;

// The circuit: corners anticlockwise from the start of the main straight, each rounded with its own radius.
struct Corner {
    Point at;
    double radius;
};
constexpr std::array<Corner, 10> circuit{{
    {{120, 884}, 90}, {{870, 884}, 110}, {{908, 700}, 70}, {{832, 560}, 60}, {{908, 420}, 70},
    {{908, 150}, 90}, {{600, 108}, 120}, {{150, 140}, 90}, {{184, 500}, 120}, {{112, 660}, 80},
}};

// The Z before it is slanted: a top bar, a bottom bar and a diagonal band between them.
constexpr double zLeft = 282, zRight = 742, zTop = 250, zBottom = 774, zBar = 120, zBand = 240;
// Horizontal shift per unit of height above the centre; makes the Z lean forward.
constexpr double slant = 0.16;

void setColour(cairo_t* cr, Colour c) { cairo_set_source_rgb(cr, c.red, c.green, c.blue); }

Point lerp(Point a, Point b, double t) { return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t}; }

// Straights joined by round corners: each corner is cut back along both edges and bridged by a curve.
void addCircuitPath(cairo_t* cr)
{
    const std::size_t n = circuit.size();
    cairo_new_path(cr);
    for (std::size_t i = 0; i < n; ++i) {
        const Point before = circuit[(i + n - 1) % n].at, corner = circuit[i].at, after = circuit[(i + 1) % n].at;
        const double inLength = std::hypot(corner.x - before.x, corner.y - before.y);
        const double outLength = std::hypot(after.x - corner.x, after.y - corner.y);
        const double cut = std::min(circuit[i].radius, std::min(inLength, outLength) / 2);
        const Point enter = lerp(corner, before, cut / inLength), leave = lerp(corner, after, cut / outLength);
        // 0.55 of the way to the corner makes a right-angled bend a near-circular quarter.
        const Point c1 = lerp(enter, corner, 0.55), c2 = lerp(leave, corner, 0.55);
        cairo_line_to(cr, enter.x, enter.y);
        cairo_curve_to(cr, c1.x, c1.y, c2.x, c2.y, leave.x, leave.y);
    }
    cairo_close_path(cr);
}

void slantAroundCentre(cairo_t* cr)
{
    cairo_matrix_t shear;
    const double centreY = (zTop + zBottom) / 2;
    cairo_matrix_init(&shear, 1, 0, -slant, 1, slant * centreY, 0);
    cairo_transform(cr, &shear);
}

void addZPath(cairo_t* cr)
{
    const std::array<Point, 10> outline{{
        {zLeft, zTop}, {zRight, zTop}, {zRight, zTop + zBar}, {zLeft + zBand, zBottom - zBar},
        {zRight, zBottom - zBar}, {zRight, zBottom}, {zLeft, zBottom}, {zLeft, zBottom - zBar},
        {zRight - zBand, zTop + zBar}, {zLeft, zTop + zBar},
    }};
    cairo_new_path(cr);
    for (const Point& p : outline) cairo_line_to(cr, p.x, p.y);
    cairo_close_path(cr);
}

void addBandPath(cairo_t* cr)
{
    cairo_new_path(cr);
    cairo_move_to(cr, zRight - zBand, zTop + zBar);
    cairo_line_to(cr, zRight, zTop + zBar);
    cairo_line_to(cr, zLeft + zBand, zBottom - zBar);
    cairo_line_to(cr, zLeft, zBottom - zBar);
    cairo_close_path(cr);
}

// Squares laid along the band, two across it, so the diagonal reads as a flag even at icon size.
void fillChequer(cairo_t* cr)
{
    const Point from{zRight - zBand / 2, zTop + zBar};
    const Point to{zLeft + zBand / 2, zBottom - zBar};
    const double angle = std::atan2(to.y - from.y, to.x - from.x);
    const double across = zBand * std::sin(std::atan2(to.y - from.y, from.x - to.x));
    const double square = across / 2;
    const double length = std::hypot(to.x - from.x, to.y - from.y);

    cairo_save(cr);
    addBandPath(cr);
    cairo_clip(cr);
    setColour(cr, flagWhite);
    cairo_paint(cr);
    cairo_translate(cr, from.x, from.y);
    cairo_rotate(cr, angle);
    setColour(cr, flagBlack);
    const int along = static_cast<int>(std::ceil(length / square)) + 2;
    for (int i = -2; i < along; ++i) {
        for (int j = -1; j <= 1; ++j) {
            if ((i + j) % 2 != 0) continue;
            cairo_rectangle(cr, i * square, j * square, square, square);
        }
    }
    cairo_fill(cr);
    cairo_restore(cr);
}

void drawMark(cairo_t* cr, int side)
{
    cairo_scale(cr, side / designSide, side / designSide);

    PatternPtr glow(cairo_pattern_create_radial(512, 470, 40, 512, 512, 760));
    cairo_pattern_add_color_stop_rgb(glow.get(), 0, cardNavy.red, cardNavy.green, cardNavy.blue);
    cairo_pattern_add_color_stop_rgb(glow.get(), 1, deepNavy.red, deepNavy.green, deepNavy.blue);
    cairo_set_source(cr, glow.get());
    cairo_paint(cr);

    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    addCircuitPath(cr);
    setColour(cr, orange);
    cairo_set_line_width(cr, 46);
    cairo_stroke(cr);

    // Start and finish: a short chequered strip across the main straight.
    const double strip = 23;
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 2; ++col) {
            setColour(cr, (row + col) % 2 == 0 ? flagWhite : flagBlack);
            cairo_rectangle(cr, 460 + col * strip, 872 - 2 * strip + row * strip, strip, strip);
            cairo_fill(cr);
        }
    }

    slantAroundCentre(cr);

    // A rim in the darkest navy lifts the Z off the glow behind it.
    addZPath(cr);
    setColour(cr, deepNavy);
    cairo_set_line_width(cr, 44);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    cairo_stroke(cr);

    addZPath(cr);
    setColour(cr, gold);
    cairo_fill(cr);
    fillChequer(cr);

    // Gold edges keep the Z's outline whole where black squares meet the background; the clip stops
    // their sharp corners poking out past the bars.
    cairo_save(cr);
    addZPath(cr);
    cairo_clip(cr);
    addBandPath(cr);
    setColour(cr, gold);
    cairo_set_line_width(cr, 20);
    cairo_stroke(cr);
    cairo_restore(cr);
}

// Writes beside the destination and renames, so a failed run leaves the old image in place.
bool writeMark(const std::filesystem::path& output, int side)
{
    SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, side, side));
    CairoPtr cr(cairo_create(surface.get()));
    drawMark(cr.get(), side);
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "zaro-make-mark: %s\n", cairo_status_to_string(cairo_status(cr.get())));
        return false;
    }
    cairo_surface_flush(surface.get());

    const std::filesystem::path partial = output.string() + ".partial-" + std::to_string(getpid());
    const cairo_status_t written = cairo_surface_write_to_png(surface.get(), partial.c_str());
    std::error_code error;
    if (written == CAIRO_STATUS_SUCCESS) std::filesystem::rename(partial, output, error);
    if (written != CAIRO_STATUS_SUCCESS || error) {
        std::filesystem::remove(partial, error);
        std::fprintf(stderr, "zaro-make-mark: cannot write %s\n", output.c_str());
        return false;
    }
    return true;
}

}  // namespace
}  // namespace zaro

int main(int argc, char** argv)
{
    const int side = argc == 3 ? std::atoi(argv[2]) : 1024;
    if ((argc != 2 && argc != 3) || side < 16 || side > 8192) {
        std::fprintf(stderr, "usage: zaro-make-mark OUTPUT.png [SIDE, 16 to 8192, default 1024]\n");
        return 2;
    }
    return zaro::writeMark(argv[1], side) ? 0 : 1;
}
