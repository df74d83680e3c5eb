#include <algorithm>
#include <cmath>

#include "parser/session_fold.hpp"

namespace zaro::ZaroSessionParser {

std::vector<ZaroSessionPoint> downsample(std::vector<ZaroSessionPoint> points)
{
    constexpr std::size_t limit = 200;
    if (points.size() <= limit) return points;
    std::vector<ZaroSessionPoint> result;
    result.reserve(limit);
    const double spacing = static_cast<double>(points.size() - 1) / static_cast<double>(limit - 1);
    for (std::size_t i = 0; i < limit; ++i) {
        const auto index = std::min(static_cast<std::size_t>(std::round(spacing * static_cast<double>(i))),
                                    points.size() - 1);
        const ZaroSessionPoint& point = points[index];
        if (!result.empty() && result.back().lat == point.lat && result.back().lon == point.lon) continue;
        result.push_back(point);
    }
    return result;
}

}  // namespace zaro::ZaroSessionParser
