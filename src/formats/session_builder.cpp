#include "session_builder.hpp"

#include <sched.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>
#include <utility>

#include "base/iso8601.hpp"
#include "parser/parse_error.hpp"
#include "row_pieces.hpp"

namespace zaro::formats {

using ZaroSessionParser::Fix;
using ZaroSessionParser::LapSpan;

SessionBuilder::SessionBuilder(std::int64_t rowBytes, bool fromStart)
    : rowBytes_(rowBytes),
      // Finding a candidate then walks at most this many fixes from a checkpoint.
      fold_(ZaroSessionParser::SessionFold::strideFor(rowBytes),
            fromStart ? 0 : std::max<std::int64_t>(1, ZaroSessionParser::SessionFold::strideFor(rowBytes) / 64))
{
}

bool SessionBuilder::isFix(const Sample& sample)
{
    return std::fabs(sample.lat) <= 90 && std::fabs(sample.lon) <= 180 && !(sample.lat == 0 && sample.lon == 0);
}

bool SessionBuilder::add(const Sample& sample, std::int64_t rowBegin)
{
    if (!isFix(sample)) return false;
    if (fold_.addFix(sample.lat, sample.lon)) checkpoints_.push_back(rowBegin);
    if (sample.ticks) {
        if (!firstTicks_) firstTicks_ = sample.ticks;
        lastTicks_ = sample.ticks;
        if (sample.lap) {
            if (!firstLap_) {
                firstLap_ = sample.lap;
                firstLapTicks_ = *sample.ticks;
            }
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

void SessionBuilder::append(SessionBuilder&& later)
{
    if (later.fold_.fixes() == 0) return;
    const double laterDistance = later.fold_.distanceM();
    fold_.append(std::move(later.fold_));
    // The later rows' distances counted from their own first fix, now from this builder's first.
    const double offset = fold_.distanceM() - laterDistance;
    auto boundary = later.boundaries_.begin();
    // A later piece's first lap row always marks a boundary; it is one only if the lap changed there.
    if (boundary != later.boundaries_.end() && latestLap_ && later.firstLap_ == latestLap_ && boundary->ticks == later.firstLapTicks_) ++boundary;
    for (; boundary != later.boundaries_.end(); ++boundary) boundaries_.push_back({boundary->ticks, boundary->distanceM + offset});
    if (!firstTicks_) firstTicks_ = later.firstTicks_;
    if (later.lastTicks_) lastTicks_ = later.lastTicks_;
    if (later.latestLap_) latestLap_ = later.latestLap_;
    if (!firstLap_) {
        firstLap_ = later.firstLap_;
        firstLapTicks_ = later.firstLapTicks_;
    }
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

std::optional<double> SessionBuilder::distanceAt(std::int64_t ticks)
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
        // Files of millions of laps: every list at its final size, and each let go once read.
        session.laps.reserve(stated_.size());
        spans.reserve(stated_.size());
        for (StatedLap& stated : stated_) {
            session.laps.push_back(std::move(stated.lap));
            spans.push_back(stated.span);
        }
        std::vector<StatedLap>().swap(stated_);
    } else {
        session.laps = ZaroSessionParser::buildLaps(fold_.inferredLaps(), &spans);
    }
    fold_.finish(session, "m/s");

    // A stretch the file counts as a lap but that covers less than half the distance of the median
    // lap is a stub (into the pits, a glitch of the timer): it is no lap, so that the best lap is one.
    std::stable_sort(boundaries_.begin(), boundaries_.end(), [](const Boundary& a, const Boundary& b) { return a.ticks < b.ticks; });
    std::vector<double> distances(session.laps.size(), std::numeric_limits<double>::quiet_NaN());  // NaN: not known
    std::size_t complete = 0;
    for (std::size_t i = 0; i < session.laps.size(); ++i) {
        const auto from = distanceAt(spans[i].from);
        const auto to = distanceAt(spans[i].to);
        if (from && to) distances[i] = *to - *from;
        if (session.laps[i].kind == ZaroSessionLap::Kind::lap && !std::isnan(distances[i])) ++complete;
    }
    std::vector<LapSpan>().swap(spans);
    std::vector<Boundary>().swap(boundaries_);
    if (complete > 0) {
        std::vector<double> completeDistances;
        completeDistances.reserve(complete);
        for (std::size_t i = 0; i < session.laps.size(); ++i) {
            if (session.laps[i].kind == ZaroSessionLap::Kind::lap && !std::isnan(distances[i])) completeDistances.push_back(distances[i]);
        }
        const auto middle = completeDistances.begin() + static_cast<std::ptrdiff_t>(complete / 2);
        std::nth_element(completeDistances.begin(), middle, completeDistances.end());
        const double median = *middle;
        for (std::size_t i = 0; i < session.laps.size(); ++i) {
            if (distances[i] < median / 2) session.laps[i].kind = ZaroSessionLap::Kind::incomplete;
        }
    }

    for (const ZaroSessionLap& lap : session.laps) {
        if (lap.kind != ZaroSessionLap::Kind::lap) continue;
        ++session.lapCount;
        if (!session.bestLapSec || lap.timeSec < *session.bestLapSec) session.bestLapSec = lap.timeSec;
    }
    return session;
}

std::vector<std::int64_t> pieceStarts(std::string_view text, std::size_t bodyOffset, unsigned threads)
{
    constexpr std::size_t minimumPieceBytes = 2 * 1024 * 1024;
    if (threads == 0) {
        cpu_set_t allowed;
        threads = sched_getaffinity(0, sizeof allowed, &allowed) == 0 ? static_cast<unsigned>(std::max(1, CPU_COUNT(&allowed)))
                                                                       : std::max(1U, std::thread::hardware_concurrency());
    }
    const std::size_t bytes = text.size() > bodyOffset ? text.size() - bodyOffset : 0;
    const std::size_t pieces = std::min<std::size_t>(threads, bytes / minimumPieceBytes);
    std::vector<std::int64_t> starts;
    for (std::size_t i = 1; i < pieces; ++i) {
        // The first line that begins at or after the cut: the line holding the byte before it is the earlier piece's.
        const std::size_t feed = text.find('\n', bodyOffset + bytes / pieces * i - 1);
        if (feed == std::string_view::npos || feed + 1 >= text.size()) break;
        if (starts.empty() || static_cast<std::int64_t>(feed + 1) > starts.back()) starts.push_back(static_cast<std::int64_t>(feed + 1));
    }
    return starts;
}

}  // namespace zaro::formats
