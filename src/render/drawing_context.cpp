#include "render/drawing_context.hpp"

#include <algorithm>
#include <cmath>

namespace zaro {

namespace {

// Lower bounds that hold for ordinary fonts: ascent plus descent is at least 0.8 em, and a visible
// cluster advances at least 0.1 em (Inter's narrowest glyphs are about 0.25 em).
constexpr double minLineHeightEm = 0.8;
constexpr double minAdvanceEm = 0.1;
constexpr double maxBound = 4.0 * 1024 * 1024;

}  // namespace

std::unique_ptr<DrawingContext> DrawingContext::regionContext(Rect) { return nullptr; }

std::size_t textBlockClusterBound(double fontSize, double width, double limit)
{
    if (!(fontSize > 0) || !(width > 0) || !(limit > 0)) return 0;
    const double lines = std::floor(limit / (fontSize * minLineHeightEm));
    const double perLine = std::ceil(width / (fontSize * minAdvanceEm));
    // One extra line keeps the word that decides where the last shown line breaks.
    const double bound = (std::min(lines, maxBound) + 1) * std::min(perLine, maxBound);
    return static_cast<std::size_t>(std::min(bound, maxBound));
}

}  // namespace zaro
