// The texts the summary card prints for a session: its six tiles and its lap rows.
#pragma once

#include <string>
#include <vector>

#include "zaro_session.hpp"

namespace zaro::ZaroSessionPreviewCard {

struct LapRowTexts {
    std::string name;     // "Lap 3", or "Lap" when the lap has no number
    std::string time;     // lapTime of the lap's time
    std::string sectors;  // sectors above 0 as lap times joined by "  ·  "; may be empty
};

struct StatTexts {
    std::string bestLap;
    std::string laps;
    std::string duration;
    std::string distance;
    std::string maxSpeed;
    std::string samples;
};

/// The six tile values, in tile order.
StatTexts statTexts(const ZaroSession& session);

/// The rows of the completed laps (kind `lap`), in stored order; at most `limit` of them.
std::vector<LapRowTexts> lapRowTexts(const ZaroSession& session, std::size_t limit);

/// The name of a lap's row: "Lap 7", or "Lap" without a number.
std::string lapName(const ZaroSessionLap& lap);

/// The sector text of a lap row: the sectors above 0 as lap times joined by "  ·  ". Stops after the
/// sector that makes the text reach `maxBytes`, for callers that can show only so much.
std::string sectorText(const ZaroSessionLap& lap, std::size_t maxBytes = std::string::npos);

}  // namespace zaro::ZaroSessionPreviewCard
