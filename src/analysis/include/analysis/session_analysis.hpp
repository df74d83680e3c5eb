// The figures lap-timer users look at first: the best sectors and the theoretical best they add up
// to, each lap's gap to the best lap, and how consistent the clean laps were.
#pragma once

#include <cmath>
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

/// A sum or difference of times to the microsecond. Times are written as decimals, which doubles
/// hold only nearly (27.8 + 28.5 is not the double 56.3), and no lap timer writes finer than
/// milliseconds; rounding takes the noise off without touching a figure.
inline double toMicroseconds(double seconds)
{
    return std::abs(seconds) < 1e9 ? std::round(seconds * 1e6) / 1e6 : seconds;
}

/// The lap's time minus the best lap, to the microsecond; none without a best lap.
inline std::optional<double> deltaToBest(const ZaroSessionLap& lap, std::optional<double> bestLapSec)
{
    if (!bestLapSec) return std::nullopt;
    return toMicroseconds(lap.timeSec - *bestLapSec);
}

/// Every figure of the session, the theoretical best to the microsecond. Clean laps are the completed laps with a finite time above 0 and at
/// most `cleanLapShare` of the best lap; their deviation is the sample standard deviation.
SessionAnalysis analyse(const ZaroSession& session);

}  // namespace ZaroSessionAnalysis

}  // namespace zaro
