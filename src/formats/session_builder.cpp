#include "session_builder.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "base/iso8601.hpp"
#include "parser/parse_error.hpp"

namespace zaro::formats {

using ZaroSessionParser::Fix;
using ZaroSessionParser::LapSpan;

SessionBuilder::SessionBuilder(std::int64_t rowBytes) : fold_(ZaroSessionParser::SessionFold::strideFor(rowBytes)) {}

bool SessionBuilder::add(const Sample& sample)
{
    if (!(std::fabs(sample.lat) <= 90) || !(std::fabs(sample.lon) <= 180)) return false;
    if (sample.lat == 0 && sample.lon == 0) return false;
    fold_.addFix(Fix::at(sample.lat, sample.lon));
    if (sample.ticks) {
        if (!firstTicks_) firstTicks_ = sample.ticks;
        lastTicks_ = sample.ticks;
        if (sample.lap) {
            if (latestLap_ != sample.lap) boundaries_.push_back({*sample.ticks, fold_.distanceM()});
            latestLap_ = sample.lap;
            fold_.addLap(*sample.lap, *sample.ticks);
        }
    }
    if (sample.speedMps) fold_.addSpeed(*sample.speedMps);
    if (sample.gForceX) fold_.addGForceX(*sample.gForceX);
    if (sample.gForceY) fold_.addGForceY(*sample.gForceY);
    if (sample.leanDeg) fold_.addLean(*sample.leanDeg);
    return true;
}

void SessionBuilder::markLapBoundary(std::int64_t ticks)
{
    if (fold_.fixes() > 0) boundaries_.push_back({ticks, fold_.distanceM()});
}

void SessionBuilder::addStatedLap(ZaroSessionLap::Kind kind, std::optional<std::int64_t> number, std::int64_t fromTicks,
                                  std::int64_t toTicks, std::optional<double> statedSec)
{
    const std::optional<double> seconds = statedSec ? statedSec : ZaroSessionParser::lapSeconds(fromTicks, toTicks);
    if (!seconds || !std::isfinite(*seconds) || *seconds <= 0) return;
    stated_.push_back({{kind, number, *seconds, {}}, {fromTicks, toTicks}});
}

std::optional<double> SessionBuilder::distanceAt(std::int64_t ticks) const
{
    if (ticks == lastTicks_) return fold_.distanceM();
    const auto at = std::lower_bound(boundaries_.begin(), boundaries_.end(), ticks,
                                     [](const Boundary& b, std::int64_t t) { return b.ticks < t; });
    if (at == boundaries_.end() || at->ticks != ticks) return std::nullopt;
    return at->distanceM;
}

ZaroSession SessionBuilder::finish(std::string fileName, SessionInfo info)
{
    if (fold_.fixes() == 0) throw ParseError::missingTelemetry();
    ZaroSession session;
    session.fileName = std::move(fileName);
    session.trackName = info.trackName && !info.trackName->empty() ? std::move(*info.trackName) : "Unknown track";
    if (info.configuration && !info.configuration->empty()) session.configuration = std::move(info.configuration);
    if (info.sessionType && !info.sessionType->empty()) session.sessionType = std::move(info.sessionType);
    session.dataSource = std::move(info.dataSource);
    if (!info.relativeTimes && firstTicks_) {
        const bool utc = info.clock == Clock::utc;
        session.startedAt = iso8601::writeInternetDateTime({*firstTicks_}, utc).value_or("");
        session.endedAt = iso8601::writeInternetDateTime({*lastTicks_}, utc).value_or("");
    }

    std::vector<LapSpan> spans;
    if (!stated_.empty()) {
        for (StatedLap& stated : stated_) {
            session.laps.push_back(std::move(stated.lap));
            spans.push_back(stated.span);
        }
    } else {
        session.laps = ZaroSessionParser::buildLaps(fold_.inferredLaps(), &spans);
    }
    fold_.finish(session, "m/s");

    // A stretch the file counts as a lap but that covers less than half the distance of the median
    // lap is a stub (into the pits, a glitch of the timer): it is no lap, so that the best lap is one.
    std::stable_sort(boundaries_.begin(), boundaries_.end(), [](const Boundary& a, const Boundary& b) { return a.ticks < b.ticks; });
    std::vector<std::optional<double>> distances;
    std::vector<double> complete;
    for (std::size_t i = 0; i < session.laps.size(); ++i) {
        const auto from = distanceAt(spans[i].from);
        const auto to = distanceAt(spans[i].to);
        distances.push_back(from && to ? std::optional(*to - *from) : std::nullopt);
        if (session.laps[i].kind == ZaroSessionLap::Kind::lap && distances.back()) complete.push_back(*distances.back());
    }
    if (!complete.empty()) {
        std::nth_element(complete.begin(), complete.begin() + static_cast<std::ptrdiff_t>(complete.size() / 2), complete.end());
        const double median = complete[complete.size() / 2];
        for (std::size_t i = 0; i < session.laps.size(); ++i) {
            if (distances[i] && *distances[i] < median / 2) session.laps[i].kind = ZaroSessionLap::Kind::incomplete;
        }
    }

    for (const ZaroSessionLap& lap : session.laps) {
        if (lap.kind != ZaroSessionLap::Kind::lap) continue;
        ++session.lapCount;
        if (!session.bestLapSec || lap.timeSec < *session.bestLapSec) session.bestLapSec = lap.timeSec;
    }
    return session;
}

}  // namespace zaro::formats
