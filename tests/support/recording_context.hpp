// A drawing context that writes every call down as a line of text, for comparing what a renderer draws,
// and where, with a listing kept beside the test.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <initializer_list>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "render/drawing_context.hpp"
#include "render/palette.hpp"

namespace zaro::support {

class RecordingContext final : public DrawingContext {
public:
    /// A line a call: its name, its numbers to a millionth (rectangles as x y w h), then a colour by its
    /// palette name, a font and a text.
    std::vector<std::string> calls;

    void saveGState() override { add("save"); }
    void restoreGState() override { add("restore"); }
    void translate(double dx, double dy) override { add("translate", {dx, dy}); }
    void scale(double sx, double sy) override { add("scale", {sx, sy}); }
    void setFillColor(Rgba color) override { fill_ = color; }
    void setStrokeColor(Rgba color) override { stroke_ = color; }
    void setLineWidth(double width) override { add("lineWidth", {width}); }
    void setLineJoin(LineJoin join) override { add("lineJoin", {}, std::array{"miter", "round", "bevel"}[int(join)]); }
    void setLineCap(LineCap cap) override { add("lineCap", {}, std::array{"butt", "round", "square"}[int(cap)]); }
    void setShapeAntialias(Antialias antialias) override { add("antialias", {}, std::array{"best", "fast"}[int(antialias)]); }
    void fillRect(Rect r) override { add("fillRect", {r.x, r.y, r.w, r.h}, name(fill_)); }
    void fillEllipse(Rect r) override { add("fillEllipse", {r.x, r.y, r.w, r.h}, name(fill_)); }
    void fillRoundedRect(Rect r, double radius) override
    {
        add("fillRoundedRect", {r.x, r.y, r.w, r.h, radius}, name(fill_));
    }
    void strokeRoundedRect(Rect r, double radius) override
    {
        add("strokeRoundedRect", {r.x, r.y, r.w, r.h, radius}, name(stroke_));
    }
    void beginPath() override { add("beginPath"); }
    void moveTo(double x, double y) override { add("moveTo", {x, y}); }
    void addLineTo(double x, double y) override { add("lineTo", {x, y}); }
    void strokePath() override { add("strokePath", {}, name(stroke_)); }
    void setInterpolationQuality(InterpolationQuality quality) override
    {
        add("interpolation", {}, std::array{"none", "low", "medium", "high"}[int(quality)]);
    }
    void drawImage(const ImageView& image, Rect r) override
    {
        add("image", {r.x, r.y, r.w, r.h}, std::to_string(image.width) + "x" + std::to_string(image.height));
    }
    Rect drawTextBlock(std::string_view text, Rect r, const Font& font, Rgba color) override
    {
        const char* weight = std::array{"regular", "medium", "semibold", "bold"}[(int(font.weight) - 400) / 100];
        add("text", {r.x, r.y, r.w, r.h, font.size},
            weight + std::string(font.tabularDigits ? " tabular " : " ") + name(color) + ": " + std::string(text));
        return {r.x, r.y, r.w, std::min(r.h, std::ceil(font.size * 1.25))};
    }

private:
    static std::string name(Rgba c)
    {
        using namespace palette;
        const std::pair<const char*, Rgba> names[] = {
            {"canvas", canvas},   {"card", card},   {"cardOutline", cardOutline}, {"accent", accent},
            {"primary", primary}, {"muted", muted}, {"mapPanel", mapPanel},       {"trackLine", trackLine},
            {"endDot", endDot},   {"tile", tile},   {"rowStripe", rowStripe}};
        for (const auto& [named, color] : names) {
            if (color == c) return named;
        }
        std::ostringstream numbers;
        numbers << "rgba(" << c.red << ' ' << c.green << ' ' << c.blue << ' ' << c.alpha << ')';
        return numbers.str();
    }
    // Layout arithmetic such as 760 × 0.52 − 8 is not exact in binary: numbers are rounded to a millionth.
    void add(std::string_view op, std::initializer_list<double> numbers = {}, const std::string& rest = {})
    {
        std::ostringstream line;
        line << op << std::setprecision(12);
        for (const double n : numbers) line << ' ' << std::round(n * 1e6) / 1e6 + 0.0;
        if (!rest.empty()) line << ' ' << rest;
        calls.push_back(line.str());
    }

    Rgba fill_{0, 0, 0, 1};
    Rgba stroke_{0, 0, 0, 1};
};

/// The lines of the part headed "== title" of the listing tests/<file>, up to the next heading, without
/// blank lines and lines starting with '#'.
inline std::vector<std::string> listing(const std::string& file, const std::string& title)
{
    std::ifstream in(std::string(ZARO_TESTS_DIR) + "/" + file);
    std::vector<std::string> lines;
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("== ")) inside = line == "== " + title;
        else if (inside && !line.empty() && !line.starts_with('#')) lines.push_back(line);
    }
    return lines;
}

}  // namespace zaro::support
