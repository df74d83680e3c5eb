// Laps: the rows a preamble lists, the laps a lap column implies, and the lap count and best lap.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "header.hpp"
#include "model/zaro_session.hpp"
#include "parser/session_fold.hpp"

namespace zaro::ZaroSessionParser::detail {

/// A preamble line read as a lap ("Lap 7,83.412,Sectors,27.9,28.1" or "Incomplete lap,41.2"), or
/// no value when it is not one.
std::optional<ZaroSessionLap> parseLapRow(std::string_view line);
/// parseLapRow, leaving the sectors out when `withSectors` is false (for counting lap rows).
std::optional<ZaroSessionLap> readLapRow(std::string_view line, bool withSectors);

struct LapSummary {
    std::vector<ZaroSessionLap> laps;
    std::int64_t lapCount = 0;
    std::optional<double> bestLapSec;
};

LapSummary summariseLaps(std::vector<ZaroSessionLap> preambleLaps, const InferredLaps& inferred,
                         const Metadata& metadata);

}  // namespace zaro::ZaroSessionParser::detail
