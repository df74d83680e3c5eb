// Laps: the rows a preamble lists, the laps a lap column implies, and the lap count and best lap.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "header.hpp"
#include "model/zaro_session.hpp"

namespace zaro::ZaroSessionParser::detail {

/// A preamble line read as a lap ("Lap 7,83.412,Sectors,27.9,28.1" or "Incomplete lap,41.2"), or
/// no value when it is not one.
std::optional<ZaroSessionLap> parseLapRow(std::string_view line);
/// parseLapRow, leaving the sectors out when `withSectors` is false (for counting lap rows).
std::optional<ZaroSessionLap> readLapRow(std::string_view line, bool withSectors);

/// Lap boundaries seen in a lap column, in ticks of 100 µs.
struct InferredLaps {
    std::unordered_map<std::int64_t, std::int64_t> firstTime;
    std::unordered_map<std::int64_t, std::int64_t> firstZeroAfter;
    std::optional<std::int64_t> lastTime;
    std::optional<std::int64_t> previousLap;
    std::optional<std::int64_t> latestLap;  // lap number of the latest row, whatever its sign
    std::pair<std::int64_t, std::int64_t> first;  // lap number and time of the first row, once there is one

    void update(std::int64_t lap, std::int64_t ticks);
    /// Folds in the boundaries seen in the rows that follow.
    void append(InferredLaps&& later);
};

std::vector<ZaroSessionLap> buildLaps(const InferredLaps& inferred);

struct LapSummary {
    std::vector<ZaroSessionLap> laps;
    std::int64_t lapCount = 0;
    std::optional<double> bestLapSec;
};

LapSummary summariseLaps(std::vector<ZaroSessionLap> preambleLaps, const InferredLaps& inferred,
                         const Metadata& metadata);

}  // namespace zaro::ZaroSessionParser::detail
