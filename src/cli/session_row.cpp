#include "cli/session_row.hpp"

#include "analysis/session_analysis.hpp"
#include "base/iso8601.hpp"

namespace zaro::cli {

SessionRow rowOf(const ZaroSession& session, std::string path)
{
    const auto start = iso8601::readAny(session.startedAt);
    return SessionRow{
        .path = std::move(path),
        .startedAt = session.startedAt,
        .startTicks = start ? std::optional(start->ticks) : std::nullopt,
        .trackName = session.trackName,
        .configuration = session.configuration,
        .sessionType = session.sessionType,
        .lapCount = session.lapCount,
        .bestLapSec = session.bestLapSec,
        .theoreticalBestSec = ZaroSessionAnalysis::analyse(session).theoreticalBestSec,
        .maxSpeedMps = session.maxSpeedMps,
        .endedAt = session.endedAt,
        .distanceM = session.distanceM,
    };
}

std::string trackText(const std::string& trackName, const std::optional<std::string>& configuration)
{
    return configuration ? trackName + " (" + *configuration + ")" : trackName;
}

}  // namespace zaro::cli
