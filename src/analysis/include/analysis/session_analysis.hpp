// The figures lap-timer users look at first: the best sectors and the theoretical best they add up
// to, each lap's gap to the best lap, and how consistent the clean laps were.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "model/zaro_session.hpp"

namespace zaro {

struct SessionAnalysis {
    std::vector<double> bestSectorsSec;  // empty when the laps give none
    std::optional<double> theoreticalBestSec;
    std::int64_t cleanLapCount = 0;
    std::optional<double> meanCleanLapSec;
    std::optional<double> stdDevCleanLapSec;  // none below two clean laps

    friend bool operator==(const SessionAnalysis&, const SessionAnalysis&) = default;
};

namespace ZaroSessionAnalysis {

/// Clean laps are completed laps within this share of the best lap.
inline constexpr double cleanLapShare = 1.07;

/// Whether the lap was completed, which is what makes it a row of the lap list.
inline bool isCompleted(const ZaroSessionLap& lap) { return lap.kind == ZaroSessionLap::Kind::lap; }

/// The smallest sector k over the completed laps that have sectors, when at least two have them and
/// every one has the same number of them, at least two, each finite and above 0; otherwise none.
std::vector<double> bestSectors(const std::vector<ZaroSessionLap>& laps);

/// The lap's time minus the best lap; none without a best lap.
std::optional<double> deltaToBest(const ZaroSessionLap& lap, std::optional<double> bestLapSec);

/// Every figure of the session. Clean laps are the completed laps with a finite time above 0 and at
/// most `cleanLapShare` of the best lap; their deviation is the sample standard deviation.
SessionAnalysis analyse(const ZaroSession& session);

}  // namespace ZaroSessionAnalysis

}  // namespace zaro
