// The GPS trace of a session as points on a drawing surface, with its true shape, fitted to a rectangle.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "model/zaro_session.hpp"
#include "render/drawing_context.hpp"

namespace zaro::ZaroSessionMap {

/// A trace point in drawing coordinates: x right, y down, north at the smallest y.
struct ProjectedPoint {
    double x = 0;
    double y = 0;

    friend bool operator==(const ProjectedPoint&, const ProjectedPoint&) = default;
};

/// The trace fitted into `rect` with its shape kept and a 16 per cent margin, one point per input point.
//
// Empty for fewer than 2 points, no finite point, or a rectangle without area. Points that are not
// finite stay out of the fit and come out not finite, so the drawing skips them.
std::vector<ProjectedPoint> projected(std::span<const ZaroSessionPoint> points, Rect rect);

/// SVG path data ("M x y L x y …", two decimals) in a 100 by 100 box; empty for fewer than 2 points.
std::string svgPath(std::span<const ZaroSessionPoint> points);

/// Draws a self-contained small map over (0, 0, size), leaving the context's settings as it set them.
void drawThumbnail(std::span<const ZaroSessionPoint> points, DrawingContext& context, Size size);

/// How a projected trace is drawn: its line and the dots on its first and last point.
struct TraceStyle {
    Rgba line;
    double lineWidth;
    Rgba start;
    Rgba end;
    double dotDiameter;
};

/// Strokes the trace once with round joins and caps, then fills the start dot and the end dot over it.
void drawTrace(std::span<const ProjectedPoint> trace, const TraceStyle& style, DrawingContext& context);

}  // namespace zaro::ZaroSessionMap
