#include "parser/session_fold.hpp"

#include <algorithm>
#include <initializer_list>
#include <string>

#include "base/unicode.hpp"

namespace zaro::ZaroSessionParser {

void RunningMaximum::append(const RunningMaximum& later)
{
    if (!later.seen_) return;
    if (!seen_) {
        *this = later;
        return;
    }
    if (later.largest_ >= largest_) largest_ = later.largest_;
}

std::optional<double> RunningMaximum::value() const
{
    if (!seen_) return std::nullopt;
    return startsWithNaN_ ? std::numeric_limits<double>::quiet_NaN() : largest_;
}

SessionFold::SessionFold(std::int64_t stride, std::int64_t checkpointEvery, bool measuresDistance)
    : stride_(std::max<std::int64_t>(1, stride)),
      checkpointEvery_(std::max<std::int64_t>(0, checkpointEvery)),
      measuresDistance_(measuresDistance)
{
    if (checkpointEvery_ == 0) candidates_.reserve(202);
}

std::vector<SessionFold::CandidateLookup> SessionFold::candidateLookups(std::span<const std::int64_t> checkpoints,
                                                                       std::int64_t fixesBefore, std::int64_t end) const
{
    std::vector<CandidateLookup> lookups;
    if (checkpointEvery_ == 0) return lookups;
    // The first multiple of the stride at or after fixesBefore, as an index into this fold's fixes.
    for (std::int64_t fix = (stride_ - fixesBefore % stride_) % stride_; fix < fixes_; fix += stride_) {
        const auto checkpoint = static_cast<std::size_t>(fix / checkpointEvery_);
        const std::int64_t until = checkpoint + 1 < checkpoints.size() ? checkpoints[checkpoint + 1] : end;
        lookups.push_back({checkpoints[checkpoint], until, fix % checkpointEvery_});
    }
    return lookups;
}

void SessionFold::measurePending()
{
    if (pendingCount_ == 0) return;
    // The steps first, each on its own, then their sum in order.
    // The very first fix has no step to it.
    const std::size_t first = measured_ ? 0 : 1;
    Fix from = measured_ ? *measured_ : Fix::at(pending_[0].lat, pending_[0].lon);
    std::array<double, std::tuple_size_v<decltype(pending_)>> steps;
    for (std::size_t i = first; i < pendingCount_; ++i) {
        const ZaroSessionPoint& p = pending_[i];
        // Logs whose rows outpace their GPS repeat a latitude, and its cosine with it.
        const Fix to = p.lat == from.lat ? Fix{p.lat, p.lon, from.cosLat} : Fix::at(p.lat, p.lon);
        steps[i] = greatCircleMetres(from, to);
        from = to;
    }
    for (std::size_t i = first; i < pendingCount_; ++i) distance_.add(steps[i]);
    measured_ = from;
    pendingCount_ = 0;
}

void SessionFold::append(SessionFold&& later)
{
    if (later.fixes_ == 0) return;
    if (measuresDistance_) {
        measurePending();
        later.measurePending();
        if (fixes_ != 0) distance_.add(greatCircleMetres(*measured_, Fix::at(later.first_.lat, later.first_.lon)));
        measured_ = later.measured_;
    }
    if (fixes_ == 0) first_ = later.first_;
    distance_.add(later.distance_);
    last_ = later.last_;
    candidates_.insert(candidates_.end(), later.candidates_.begin(), later.candidates_.end());
    fixes_ += later.fixes_;
    speedSum_.add(later.speedSum_);
    speedCount_ += later.speedCount_;
    maxSpeed_.append(later.maxSpeed_);
    maxAbsGx_.append(later.maxAbsGx_);
    maxAbsGy_.append(later.maxAbsGy_);
    maxAbsLean_.append(later.maxAbsLean_);
    inferred_.append(std::move(later.inferred_));
}

void SessionFold::finish(ZaroSession& session, std::string_view speedColumn)
{
    session.pointCount = fixes_;
    session.distanceM = distanceM();

    std::vector<ZaroSessionPoint> track = std::move(candidates_);
    if (fixes_ > 0 && (track.empty() || !(track.back() == last_))) track.push_back(last_);
    session.polyline = downsample(std::move(track));

    const std::optional<double> maxSpeed = maxSpeed_.value();
    const double factor = speedConversion(speedColumn, maxSpeed.value_or(0));
    session.maxSpeedMps = maxSpeed;
    double speedSum = speedSum_.value();
    if (factor != 1.0) {
        if (session.maxSpeedMps) *session.maxSpeedMps *= factor;
        speedSum *= factor;
    }
    session.avgSpeedMps = speedCount_ > 0 ? std::optional(speedSum / static_cast<double>(speedCount_)) : std::nullopt;
    session.maxAbsGx = maxAbsGx_.value();
    session.maxAbsGy = maxAbsGy_.value();
    session.maxLeanDeg = maxAbsLean_.value();
}

double speedConversion(std::string_view speedColumn, double maxRawSpeed)
{
    const std::string lower = text::toLower(speedColumn);
    const auto mentions = [&lower](std::initializer_list<std::string_view> units) {
        return std::any_of(units.begin(), units.end(),
                           [&lower](std::string_view unit) { return lower.find(unit) != std::string::npos; });
    };
    if (mentions({"kph", "km/h"})) return 1 / 3.6;
    if (mentions({"mph", "mi/h"})) return 1 / 2.2369362921;
    if (mentions({"m/s"})) return 1.0;
    return maxRawSpeed > 55.0 ? 1 / 3.6 : 1.0;
}

}  // namespace zaro::ZaroSessionParser
