// The `bests` command: the best of every track and configuration over many sessions.
#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/session_row.hpp"

namespace zaro::cli {

struct TrackBest {
    std::string trackName;
    std::optional<std::string> configuration;
    std::optional<SessionRow> bestLapSession;  // the session with the best lap, if any has one
    std::optional<double> theoreticalBestSec;  // the best over the sessions
    std::size_t sessions = 0;
};

/// One entry per track and configuration, in their order. A best lap is a finite time above 0; of
/// equal ones, the earlier session's counts (then the one found first by path).
std::vector<TrackBest> bestsByTrack(std::vector<SessionRow> rows);

/// The bests as a table.
void writeBests(std::ostream& out, const std::vector<TrackBest>& bests);

}  // namespace zaro::cli
