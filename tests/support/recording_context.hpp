// A drawing context that records every call, for checking what a renderer draws and where.
#pragma once

#include <algorithm>
#include <cmath>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "render/drawing_context.hpp"

namespace zaro::support {

struct Call {
    enum class Op {
        save, restore, translate, scale, lineWidth, lineJoin, lineCap, fillRect, fillEllipse,
        fillRoundedRect, strokeRoundedRect, beginPath, moveTo, lineTo, strokePath, text, interpolation, image,
    };
    Op op;
    Rect rect{};        // shapes and text frames; (x, y) for translate, scale, moveTo, lineTo
    double value = 0;   // radius, line width, or join, cap and interpolation quality as numbers
    Rgba color{};       // fill colour for fills, stroke colour for strokes, text colour
    std::string text{}; // the text, or an image's pixel size as "WxH"
    Font font{};

    // Numbers agree to a billionth: layout arithmetic such as 760 × 0.52 − 8 is not exact in binary.
    friend bool operator==(const Call& a, const Call& b)
    {
        const auto near = [](double p, double q) { return p == q || std::abs(p - q) < 1e-9; };
        return a.op == b.op && near(a.rect.x, b.rect.x) && near(a.rect.y, b.rect.y) && near(a.rect.w, b.rect.w)
            && near(a.rect.h, b.rect.h) && near(a.value, b.value) && a.color == b.color && a.text == b.text
            && a.font == b.font;
    }
    friend std::ostream& operator<<(std::ostream& os, const Call& c)
    {
        return os << "\n  op " << static_cast<int>(c.op) << " (" << c.rect.x << ", " << c.rect.y << ", " << c.rect.w
                  << ", " << c.rect.h << ") " << c.value << " alpha " << c.color.alpha << " \"" << c.text << "\" "
                  << c.font.size << "/" << static_cast<int>(c.font.weight) << (c.font.tabularDigits ? "/tnum" : "");
    }
};

/// The calls of one kind, in drawing order.
inline std::vector<Call> ofKind(const std::vector<Call>& calls, Call::Op op)
{
    std::vector<Call> out;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(out), [op](const Call& c) { return c.op == op; });
    return out;
}

class RecordingContext final : public DrawingContext {
    using Op = Call::Op;

public:
    std::vector<Call> calls;

    void saveGState() override { add(Op::save); }
    void restoreGState() override { add(Op::restore); }
    void translate(double dx, double dy) override { add(Op::translate, {dx, dy, 0, 0}); }
    void scale(double sx, double sy) override { add(Op::scale, {sx, sy, 0, 0}); }
    void setFillColor(Rgba color) override { fill_ = color; }
    void setStrokeColor(Rgba color) override { stroke_ = color; }
    void setLineWidth(double width) override { add(Op::lineWidth, {}, width); }
    void setLineJoin(LineJoin join) override { add(Op::lineJoin, {}, static_cast<double>(join)); }
    void setLineCap(LineCap cap) override { add(Op::lineCap, {}, static_cast<double>(cap)); }
    void fillRect(Rect rect) override { add(Op::fillRect, rect, 0, fill_); }
    void fillEllipse(Rect rect) override { add(Op::fillEllipse, rect, 0, fill_); }
    void fillRoundedRect(Rect rect, double radius) override { add(Op::fillRoundedRect, rect, radius, fill_); }
    void strokeRoundedRect(Rect rect, double radius) override { add(Op::strokeRoundedRect, rect, radius, stroke_); }
    void beginPath() override { add(Op::beginPath); }
    void moveTo(double x, double y) override { add(Op::moveTo, {x, y, 0, 0}); }
    void addLineTo(double x, double y) override { add(Op::lineTo, {x, y, 0, 0}); }
    void strokePath() override { add(Op::strokePath, {}, 0, stroke_); }
    void setInterpolationQuality(InterpolationQuality quality) override
    {
        add(Op::interpolation, {}, static_cast<double>(quality));
    }
    void drawImage(const ImageView& image, Rect rect) override
    {
        add(Op::image, rect, 0, {}, std::to_string(image.width) + "x" + std::to_string(image.height));
    }
    Rect drawTextBlock(std::string_view text, Rect frame, const Font& font, Rgba color) override
    {
        add(Op::text, frame, 0, color, std::string(text), font);
        return {frame.x, frame.y, frame.w, std::min(frame.h, std::ceil(font.size * 1.25))};
    }

private:
    void add(Op op, Rect rect = {}, double value = 0, Rgba color = {}, std::string text = {}, Font font = {})
    {
        calls.push_back(Call{op, rect, value, color, std::move(text), font});
    }

    Rgba fill_{0, 0, 0, 1};
    Rgba stroke_{0, 0, 0, 1};
};

}  // namespace zaro::support
