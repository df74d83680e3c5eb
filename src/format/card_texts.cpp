#include "format/card_texts.hpp"

#include <string_view>

#include "format/zaro_session_format.hpp"

namespace zaro::ZaroSessionFormat {

std::string subtitle(const ZaroSession& session)
{
    std::string text = session.fileName;
    text += separator;
    text += session.dataSource;
    return text;
}

StatTexts statTexts(const ZaroSession& session)
{
    return StatTexts{
        .bestLap = session.bestLapSec ? lapTime(*session.bestLapSec) : std::string(placeholder),
        .laps = std::to_string(session.lapCount),
        .duration = duration(session.startedAt, session.endedAt),
        .distance = distance(session.distanceM),
        .maxSpeed = speedKmh(session.maxSpeedMps),
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
    for (double sector : lap.sectors) {
        if (text.size() >= maxBytes) break;
        // `> 0` is false for NaN, so unreadable sectors drop out with the empty ones.
        if (!(sector > 0)) continue;
        if (!text.empty()) text += separator;
        text += lapTime(sector);
    }
    return text;
}

}  // namespace zaro::ZaroSessionFormat
