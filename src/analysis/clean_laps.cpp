#include "clean_laps.hpp"

#include <cmath>

namespace zaro::ZaroSessionAnalysis::detail {

void addCleanLaps(SessionAnalysis& figures, const std::vector<ZaroSessionLap>& laps, std::optional<double> bestLapSec)
{
    if (!bestLapSec) return;
    const double limit = *bestLapSec * cleanLapShare;
    // Welford's running mean and sum of squared deviations: one pass, nothing stored, and no
    // cancellation when the times are long and close together.
    double mean = 0;
    double squares = 0;
    for (const ZaroSessionLap& lap : laps) {
        const double time = lap.timeSec;
        if (!isCompleted(lap) || !std::isfinite(time) || !(time > 0) || !(time <= limit)) continue;
        const double count = static_cast<double>(++figures.cleanLapCount);
        const double step = time - mean;
        mean += step / count;
        squares += step * (time - mean);
    }
    if (figures.cleanLapCount >= 1) figures.meanCleanLapSec = mean;
    if (figures.cleanLapCount >= 2) {
        figures.stdDevCleanLapSec = std::sqrt(squares / static_cast<double>(figures.cleanLapCount - 1));
    }
}

}  // namespace zaro::ZaroSessionAnalysis::detail
