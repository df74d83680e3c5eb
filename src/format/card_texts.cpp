#include "format/card_texts.hpp"

#include <string_view>

namespace zaro::ZaroSessionFormat {

std::string subtitle(const ZaroSession& session)
{
    // A card made from bytes whose file is not known names no file.
    std::string text = session.fileName;
    if (!text.empty()) text += separator;
    text += session.dataSource;
    return text;
}

StatTexts statTexts(const ZaroSession& session, Units units)
{
    return StatTexts{
        .bestLap = lapTime(session.bestLapSec),
        .laps = std::to_string(session.lapCount),
        .duration = duration(session.startedAt, session.endedAt),
        .distance = distance(session.distanceM, units),
        .maxSpeed = speed(session.maxSpeedMps, units),
        .samples = std::to_string(session.pointCount),
    };
}

std::string lapName(const ZaroSessionLap& lap)
{
    return lap.number ? "Lap " + std::to_string(*lap.number) : std::string("Lap");
}

std::string sectorText(const ZaroSessionLap& lap, std::size_t maxBytes)
{
    std::string text;
    forEachSectorPiece(lap, [&](std::string_view piece, std::optional<std::size_t> sector) {
        text += piece;
        return !sector || text.size() < maxBytes;
    });
    return text;
}

}  // namespace zaro::ZaroSessionFormat
