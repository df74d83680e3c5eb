// A drawing context that records every call, for checking what a renderer draws and where.
#pragma once

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "surface.hpp"

namespace zaro::testing {

struct Call {
    enum class Op {
        save, restore, translate, scale, lineWidth, lineJoin, lineCap, fillRect, fillEllipse,
        fillRoundedRect, strokeRoundedRect, beginPath, moveTo, lineTo, strokePath, text,
    };
    Op op;
    Rect rect{};        // shapes and text frames; (x, y) for translate, scale, moveTo, lineTo
    double value = 0;   // radius, line width, or join and cap as numbers
    Rgba color{};       // fill colour for fills, stroke colour for strokes, text colour
    std::string text;
    Font font{};
};

/// What a RecordingContext saw, in order.
struct Recording {
    std::vector<Call> calls;

    std::vector<Call> ofKind(Call::Op op) const
    {
        std::vector<Call> out;
        std::copy_if(calls.begin(), calls.end(), std::back_inserter(out), [op](const Call& c) { return c.op == op; });
        return out;
    }

    std::vector<std::string> texts() const
    {
        std::vector<std::string> out;
        for (const Call& c : ofKind(Call::Op::text)) out.push_back(c.text);
        return out;
    }

    /// The text blocks drawn with exactly this text, in drawing order.
    std::vector<Call> textCalls(std::string_view text) const
    {
        std::vector<Call> found;
        for (const Call& c : ofKind(Call::Op::text)) {
            if (c.text == text) found.push_back(c);
        }
        return found;
    }

    /// The text block drawn with exactly this text; fails the test when there is not exactly one.
    Call textCall(std::string_view text) const
    {
        const std::vector<Call> found = textCalls(text);
        if (found.size() != 1) {
            ADD_FAILURE() << "expected one text block \"" << text << "\", found " << found.size();
            return Call{Call::Op::text, {}, 0, {}, {}, {}};
        }
        return found.front();
    }
};

class RecordingContext final : public DrawingContext {
public:
    Recording recording;

    void saveGState() override { add(Call::Op::save); }
    void restoreGState() override { add(Call::Op::restore); }
    void translate(double dx, double dy) override { add(Call::Op::translate, {dx, dy, 0, 0}); }
    void scale(double sx, double sy) override { add(Call::Op::scale, {sx, sy, 0, 0}); }
    void setFillColor(Rgba color) override { fill_ = color; }
    void setStrokeColor(Rgba color) override { stroke_ = color; }
    void setLineWidth(double width) override { add(Call::Op::lineWidth, {}, width); }
    void setLineJoin(LineJoin join) override { add(Call::Op::lineJoin, {}, static_cast<double>(join)); }
    void setLineCap(LineCap cap) override { add(Call::Op::lineCap, {}, static_cast<double>(cap)); }
    void fillRect(Rect rect) override { add(Call::Op::fillRect, rect, 0, fill_); }
    void fillEllipse(Rect rect) override { add(Call::Op::fillEllipse, rect, 0, fill_); }
    void fillRoundedRect(Rect rect, double radius) override { add(Call::Op::fillRoundedRect, rect, radius, fill_); }
    void strokeRoundedRect(Rect rect, double radius) override
    {
        add(Call::Op::strokeRoundedRect, rect, radius, stroke_);
    }
    void beginPath() override { add(Call::Op::beginPath); }
    void moveTo(double x, double y) override { add(Call::Op::moveTo, {x, y, 0, 0}); }
    void addLineTo(double x, double y) override { add(Call::Op::lineTo, {x, y, 0, 0}); }
    void strokePath() override { add(Call::Op::strokePath, {}, 0, stroke_); }
    Rect drawTextBlock(std::string_view text, Rect frame, const Font& font, Rgba color) override
    {
        add(Call::Op::text, frame, 0, color, std::string(text), font);
        return {frame.x, frame.y, frame.w, std::min(frame.h, std::ceil(font.size * 1.25))};
    }

private:
    void add(Call::Op op, Rect rect = {}, double value = 0, Rgba color = {}, std::string text = {}, Font font = {})
    {
        recording.calls.push_back(Call{op, rect, value, color, std::move(text), font});
    }

    Rgba fill_{0, 0, 0, 1};
    Rgba stroke_{0, 0, 0, 1};
};

inline void expectRectNear(const Rect& actual, const Rect& expected, const char* what)
{
    constexpr double eps = 1e-9;
    EXPECT_NEAR(actual.x, expected.x, eps) << what;
    EXPECT_NEAR(actual.y, expected.y, eps) << what;
    EXPECT_NEAR(actual.w, expected.w, eps) << what;
    EXPECT_NEAR(actual.h, expected.h, eps) << what;
}

}  // namespace zaro::testing
