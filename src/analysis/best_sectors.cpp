#include <cmath>

#include "analysis/session_analysis.hpp"

namespace zaro::ZaroSessionAnalysis {

namespace {

bool isTime(double seconds)
{
    return std::isfinite(seconds) && seconds > 0;
}

}  // namespace

std::vector<double> bestSectors(const std::vector<ZaroSessionLap>& laps)
{
    std::vector<double> best;
    std::size_t lapsWithSectors = 0;
    for (const ZaroSessionLap& lap : laps) {
        if (!isCompleted(lap) || lap.sectors.empty()) continue;
        const std::size_t count = lap.sectors.size();
        if (count < 2 || (lapsWithSectors > 0 && count != best.size())) return {};
        if (lapsWithSectors++ == 0) best.assign(lap.sectors.begin(), lap.sectors.end());
        for (std::size_t k = 0; k < count; ++k) {
            const double sector = lap.sectors[k];
            if (!isTime(sector)) return {};
            if (sector < best[k]) best[k] = sector;
        }
    }
    if (lapsWithSectors < 2) return {};
    return best;
}

}  // namespace zaro::ZaroSessionAnalysis
