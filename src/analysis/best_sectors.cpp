#include <cmath>

#include "analysis/session_analysis.hpp"

namespace zaro::ZaroSessionAnalysis {

namespace {

bool isTime(double seconds)
{
    return std::isfinite(seconds) && seconds > 0;
}

// The number of sectors every completed lap with sectors has, when the laps have best sectors at all.
std::size_t commonSectorCount(const std::vector<ZaroSessionLap>& laps)
{
    std::size_t count = 0;
    std::size_t lapsWithSectors = 0;
    for (const ZaroSessionLap& lap : laps) {
        if (!isCompleted(lap) || lap.sectors.empty()) continue;
        if (lap.sectors.size() < 2 || (lapsWithSectors++ > 0 && lap.sectors.size() != count)) return 0;
        count = lap.sectors.size();
        for (double sector : lap.sectors) {
            if (!isTime(sector)) return 0;
        }
    }
    return lapsWithSectors >= 2 ? count : 0;
}

}  // namespace

std::vector<double> bestSectors(const std::vector<ZaroSessionLap>& laps)
{
    // Checked first, so that nothing is allocated for laps that have no best sectors.
    std::vector<double> best(commonSectorCount(laps));
    bool first = true;
    for (const ZaroSessionLap& lap : laps) {
        if (best.empty() || !isCompleted(lap) || lap.sectors.empty()) continue;
        for (std::size_t k = 0; k < best.size(); ++k) {
            if (first || lap.sectors[k] < best[k]) best[k] = lap.sectors[k];
        }
        first = false;
    }
    return best;
}

}  // namespace zaro::ZaroSessionAnalysis
