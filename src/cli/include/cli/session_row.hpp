// What list and bests keep of a session: one small row, so that memory does not grow with laps.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "model/zaro_session.hpp"

namespace zaro::cli {

struct SessionRow {
    std::string path;                        // as found
    std::string startedAt;                   // as written in the file
    std::optional<std::int64_t> startTicks;  // the start as an instant, when it reads as one
    std::string trackName;
    std::optional<std::string> configuration;
    std::optional<std::string> sessionType;
    std::int64_t lapCount = 0;
    std::optional<double> bestLapSec;
    std::optional<double> theoreticalBestSec;
    std::optional<double> maxSpeedMps;
    std::string endedAt;  // as written in the file
    double distanceM = 0;
};

/// The row of a session found at `path`.
SessionRow rowOf(const ZaroSession& session, std::string path);

/// The track with its configuration: "Harrowby Park (National)", or the name alone.
std::string trackText(const std::string& trackName, const std::optional<std::string>& configuration);

}  // namespace zaro::cli
