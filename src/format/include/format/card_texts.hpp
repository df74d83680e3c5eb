// The texts the summary card prints for a session: its six tiles and its lap rows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/zaro_session.hpp"

namespace zaro::ZaroSessionFormat {

struct StatTexts {
    std::string bestLap;
    std::string laps;
    std::string duration;
    std::string distance;
    std::string maxSpeed;
    std::string samples;
};

/// The separator between the parts of a line of texts: two spaces, a middle dot, two spaces.
inline constexpr std::string_view separator = "  \u00B7  ";

/// The line under the title: the file's name and where the session comes from.
std::string subtitle(const ZaroSession& session);

/// The six tile values, in tile order.
StatTexts statTexts(const ZaroSession& session);

/// The name of a lap's row: "Lap 7", or "Lap" without a number.
std::string lapName(const ZaroSessionLap& lap);

/// The sector text of a lap row: the sectors above 0 as lap times joined by "  ·  ". Stops after the
/// sector that makes the text reach `maxBytes`, for callers that can show only so much.
std::string sectorText(const ZaroSessionLap& lap, std::size_t maxBytes = std::string::npos);

}  // namespace zaro::ZaroSessionFormat
