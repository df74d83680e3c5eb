#include "card_texts.hpp"

#include <string_view>

#include "zaro_session_format.hpp"

namespace zaro::ZaroSessionPreviewCard {

namespace {

constexpr std::string_view sectorSeparator = "  \u00B7  ";

}  // namespace

StatTexts statTexts(const ZaroSession& session)
{
    using namespace ZaroSessionFormat;
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
        if (!text.empty()) text += sectorSeparator;
        text += ZaroSessionFormat::lapTime(sector);
    }
    return text;
}

}  // namespace zaro::ZaroSessionPreviewCard
