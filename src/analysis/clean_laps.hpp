// How consistent the clean laps of a session were.
#pragma once

#include <optional>
#include <vector>

#include "analysis/session_analysis.hpp"

namespace zaro::ZaroSessionAnalysis::detail {

/// The clean-lap fields of the analysis; the others are left as they are.
void addCleanLaps(SessionAnalysis& figures, const std::vector<ZaroSessionLap>& laps, std::optional<double> bestLapSec);

}  // namespace zaro::ZaroSessionAnalysis::detail
