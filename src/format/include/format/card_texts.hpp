// The texts the summary card prints for a session: its six tiles and its lap rows.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "format/zaro_session_format.hpp"
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

/// The six tile values, in tile order; speed and distance in the given units.
StatTexts statTexts(const ZaroSession& session, Units units = Units::metric);

/// The name of a lap's row: "Lap 7", or "Lap" without a number.
std::string lapName(const ZaroSessionLap& lap);

/// The sector text of a lap row in pieces, for callers that write it out rather than hold it (a lap
/// may have millions of sectors): `piece(text, sector)` gets the lap time of each sector above 0 with
/// its index in `lap.sectors`, and the separator between two of them with no index. The text ends
/// where `piece` returns false.
template <typename Piece>
void forEachSectorPiece(const ZaroSessionLap& lap, Piece&& piece)
{
    bool first = true;
    for (std::size_t i = 0; i < lap.sectors.size(); ++i) {
        const double sector = lap.sectors[i];
        // `> 0` is false for NaN, so unreadable sectors drop out with the empty ones.
        if (!(sector > 0)) continue;
        if (!first && !piece(separator, std::optional<std::size_t>())) return;
        first = false;
        if (!piece(lapTime(sector), std::optional(i))) return;
    }
}

/// The sector text of a lap row: the sectors above 0 as lap times joined by "  ·  ". Stops after the
/// sector that makes the text reach `maxBytes`, for callers that can show only so much.
std::string sectorText(const ZaroSessionLap& lap, std::size_t maxBytes = std::string::npos);

}  // namespace zaro::ZaroSessionFormat
