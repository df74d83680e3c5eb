#include "render/map.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "render/palette.hpp"

namespace zaro::ZaroSessionMap {

namespace {

constexpr double pi = 3.141592653589793;
constexpr double minCosine = 0.2;  // keeps polar traces from collapsing sideways
constexpr double minSpan = 1e-5;
constexpr double margin = 1.16;

void appendFixed2(std::string& out, double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    out.append(buffer, result.ptr);
}

}  // namespace

std::vector<ProjectedPoint> projected(std::span<const ZaroSessionPoint> points, Rect rect)
{
    // Only a positive extent counts; NaN fails these tests too.
    if (points.size() < 2 || !(rect.w > 0) || !(rect.h > 0)) return {};

    // A point that is not finite would stretch the box to infinity and take every other point with
    // it; it is left out of the box and projects to a point that is not finite itself.
    constexpr double inf = std::numeric_limits<double>::infinity();
    double minLat = inf, maxLat = -inf, minLon = inf, maxLon = -inf;
    for (const ZaroSessionPoint& p : points) {
        if (!std::isfinite(p.lat) || !std::isfinite(p.lon)) continue;
        minLat = std::min(minLat, p.lat);
        maxLat = std::max(maxLat, p.lat);
        minLon = std::min(minLon, p.lon);
        maxLon = std::max(maxLon, p.lon);
    }
    if (minLat > maxLat) return {};
    const double midLat = (minLat + maxLat) * 0.5;
    const double midLon = (minLon + maxLon) * 0.5;
    double k = std::cos(midLat * pi / 180);
    if (k <= minCosine) k = minCosine;

    const double spanX = std::max(k * (maxLon - minLon), minSpan);
    const double spanY = std::max(maxLat - minLat, minSpan);
    const double boxW = spanX * margin;
    const double boxH = spanY * margin;

    const double ratio = boxW / boxH;
    Rect inner;
    if (rect.w / rect.h < ratio) {
        inner = {rect.x, rect.y + (rect.h - rect.w / ratio) * 0.5, rect.w, rect.w / ratio};
    } else {
        inner = {rect.x + (rect.w - ratio * rect.h) * 0.5, rect.y, ratio * rect.h, rect.h};
    }

    const double lonLeft = midLon - (boxW / k) * 0.5;
    const double latBottom = midLat - boxH * 0.5;
    std::vector<ProjectedPoint> result;
    result.reserve(points.size());
    for (const ZaroSessionPoint& p : points) {
        result.push_back({inner.x + inner.w * (k * (p.lon - lonLeft) / boxW),
                          inner.y + (1 - (p.lat - latBottom) / boxH) * inner.h});
    }
    return result;
}

std::string svgPath(std::span<const ZaroSessionPoint> points)
{
    const std::vector<ProjectedPoint> projection = projected(points, Rect{4, 4, 92, 92});
    std::string path;
    for (std::size_t i = 0; i < projection.size(); ++i) {
        path += i == 0 ? "M " : " L ";
        appendFixed2(path, projection[i].x);
        path += ' ';
        appendFixed2(path, projection[i].y);
    }
    return path;
}

void drawThumbnail(std::span<const ZaroSessionPoint> points, DrawingContext& context, Size size)
{
    context.setFillColor(palette::canvas);
    context.fillRect(Rect{0, 0, size.width, size.height});

    const std::vector<ProjectedPoint> projection =
        projected(points, Rect{10, 10, size.width - 20, size.height - 20});
    if (projection.size() < 2) return;

    const double lineWidth = std::max(std::min(size.width, size.height) * 0.035, 2.0);
    drawTrace(projection, {palette::trackLine, lineWidth, palette::accent, palette::endDot, 6}, context);
}

void drawTrace(std::span<const ProjectedPoint> trace, const TraceStyle& style, DrawingContext& context)
{
    context.setStrokeColor(style.line);
    context.setLineWidth(style.lineWidth);
    context.setLineJoin(LineJoin::round);
    context.setLineCap(LineCap::round);
    context.beginPath();
    context.moveTo(trace.front().x, trace.front().y);
    for (std::size_t i = 1; i < trace.size(); ++i) context.addLineTo(trace[i].x, trace[i].y);
    // A whole session's laps lie over one another, so every row of the map meets hundreds of the
    // line's edges; sampled on the coarser grid the stroke costs a third as much and looks the same.
    context.setShapeAntialias(Antialias::fast);
    context.strokePath();
    context.setShapeAntialias(Antialias::best);

    const double d = style.dotDiameter;
    context.setFillColor(style.start);
    context.fillEllipse(Rect{trace.front().x - d / 2, trace.front().y - d / 2, d, d});
    context.setFillColor(style.end);
    context.fillEllipse(Rect{trace.back().x - d / 2, trace.back().y - d / 2, d, d});
}

}  // namespace zaro::ZaroSessionMap
