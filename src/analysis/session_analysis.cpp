#include "analysis/session_analysis.hpp"

#include <numeric>

#include "clean_laps.hpp"

namespace zaro::ZaroSessionAnalysis {

SessionAnalysis analyse(const ZaroSession& session)
{
    SessionAnalysis figures;
    figures.bestSectorsSec = bestSectors(session.laps);
    if (!figures.bestSectorsSec.empty()) {
        figures.theoreticalBestSec =
            toMicroseconds(std::accumulate(figures.bestSectorsSec.begin(), figures.bestSectorsSec.end(), 0.0));
    }
    detail::addCleanLaps(figures, session.laps, session.bestLapSec);
    return figures;
}

}  // namespace zaro::ZaroSessionAnalysis
