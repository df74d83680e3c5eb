// Folding a session's GPS fixes into its record: the distance, the track candidates, the speeds,
// accelerations and lean, and the laps a lap column implies. The parse feeds it row by row, and so
// does every reader of another logger's files, so that all of them count alike.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/zaro_session.hpp"
#include "parser/angles.hpp"
#include "parser/vectors.hpp"

namespace zaro::ZaroSessionParser {

/// A position with the cosine of its latitude, which the step to the next fix reuses.
struct Fix {
    double lat = 0;
    double lon = 0;
    double cosLat = 1;

    static Fix at(double lat, double lon) { return {lat, lon, latitudeCosine(lat * pi / 180)}; }
};

/// Great-circle distance in metres on a sphere of 12742 km diameter. Inline, as it is one step of
/// every row.
inline double greatCircleMetres(const Fix& from, const Fix& to)
{
    const double dLat = (to.lat - from.lat) * pi / 180;
    const double dLon = (to.lon - from.lon) * pi / 180;
    // The sine of a zero difference is zero, and a distance of zero its arcsine: a fix that repeats a
    // latitude, a longitude or the whole position, as logs whose rows outpace their GPS do, is spared
    // that trigonometry.
    const double sinLat = dLat == 0 ? 0.0 : smallSine(dLat * 0.5);
    const double sinLon = dLon == 0 ? 0.0 : smallSine(dLon * 0.5);
    const double a = sinLat * sinLat + from.cosLat * to.cosLat * (sinLon * sinLon);
    if (a == 0) return 0;
    return earthDiameterM * smallArcsine(std::min(std::sqrt(a), 1.0));
}

namespace detail {

/// cosines[i] = Fix::at(lat[i], ...).cosLat for i < count, to the bit whatever the `vectors`.
void latitudeCosines(const double* lat, double* cosines, std::size_t count, Vectors vectors = widestVectors());
/// steps[i] = greatCircleMetres from fix i - 1 to fix i, for 0 < i < count; fix i is at lat[i],
/// lon[i], with the cosine cosines[i]. To the bit whatever the `vectors`.
void stepsBetween(const double* lat, const double* lon, const double* cosines, double* steps, std::size_t count,
                  Vectors vectors = widestVectors());

}  // namespace detail

/// A sum of many terms that carries its rounding errors along (Neumaier's method), so that the order
/// the terms come in, and the pieces they are summed in, change it by no more than the last bit.
/// Infinities and NaNs add up as they do in a plain sum, except that a NaN term becomes the sum even
/// when it already is one: which of two NaNs an addition keeps depends on how the compiler ordered
/// its operands.
class CompensatedSum {
public:
    void add(double term)
    {
        if (std::isnan(term)) [[unlikely]] {
            sum_ = term;
            return;
        }
        const double sum = sum_ + term;
        if (std::isfinite(sum)) compensation_ += std::fabs(sum_) >= std::fabs(term) ? (sum_ - sum) + term : (term - sum) + sum_;
        sum_ = sum;
    }
    void add(const CompensatedSum& later)
    {
        add(later.sum_);
        compensation_ += later.compensation_;
    }
    double value() const { return std::isfinite(sum_) ? sum_ + compensation_ : sum_; }

private:
    double sum_ = 0;
    double compensation_ = 0;
};

/// The maximum of the values fixes carry, folded as "the maximum becomes the value when maximum <= value":
/// a NaN that comes first stays the maximum, a later NaN changes nothing, and of equal values the
/// later one is kept. Two runs over consecutive fixes join into the run over both.
class RunningMaximum {
public:
    void add(double value)
    {
        if (!seen_) {
            seen_ = true;
            startsWithNaN_ = std::isnan(value);
        }
        if (value >= largest_) largest_ = value;
    }
    void append(const RunningMaximum& later);
    std::optional<double> value() const;

private:
    bool seen_ = false;
    bool startsWithNaN_ = false;
    double largest_ = -std::numeric_limits<double>::infinity();  // of the values that are numbers
};

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

/// Where a lap begins and ends, in ticks of 100 µs.
struct LapSpan {
    std::int64_t from;
    std::int64_t to;
};

/// The seconds from one instant to a later one, to the nearest millisecond; none unless `toTicks` is later.
std::optional<double> lapSeconds(std::int64_t fromTicks, std::int64_t toTicks);

/// The laps a lap column implies: the out-lap before the first lap, each lap until the next begins,
/// and the last one until the lap number drops back to 0 (else, unfinished, until the last row).
/// Each lap's span goes to `spans` when given.
std::vector<ZaroSessionLap> buildLaps(const InferredLaps& inferred, std::vector<LapSpan>* spans = nullptr);

/// The factor from the file's speed unit, as its speed column's header names it, to metres per second.
double speedConversion(std::string_view speedColumn, double maxRawSpeed);

/// Evenly spaced points of `points`, at most 200, first and last kept, equal neighbours dropped.
std::vector<ZaroSessionPoint> downsample(std::vector<ZaroSessionPoint> points);

/// The running statistics of a session's fixes, in recording order. Nothing is kept per fix but the
/// track candidates, every stride-th fix, so memory does not grow with the file. The steps between
/// fixes are measured a batch at a time: the trigonometry of one step does not wait for the last, so
/// the processor overlaps many, and they are summed in their order all the same.
class SessionFold {
public:
    /// About 200 candidates for rows of about 80 bytes, whatever the size of the rows.
    static std::int64_t strideFor(std::int64_t bodyBytes) { return bodyBytes / 16000 > 1 ? bodyBytes / 16000 : 1; }

    /// Every `stride`-th fix, the first included, is a track candidate. A fold over a later piece of
    /// the rows cannot tell which of its fixes those are before the fixes ahead of it are counted, so
    /// with `checkpointEvery` above 0 it takes no candidates and marks every so many fixes instead.
    /// `measuresDistance` false leaves the distance at zero, sparing every fix its trigonometry.
    explicit SessionFold(std::int64_t stride, std::int64_t checkpointEvery = 0, bool measuresDistance = true);

    /// Folds in the next fix, at a latitude and longitude in degrees; true when the fix is at a checkpoint.
    bool addFix(double lat, double lon)
    {
        if (measuresDistance_) {
            pendingLat_[pendingCount_] = lat;
            pendingLon_[pendingCount_] = lon;
            if (++pendingCount_ == batch) measurePending();
        }
        if (fixes_ == 0) first_ = {lat, lon};
        last_ = {lat, lon};
        ++fixes_;
        // Counted down, as a division a fix would cost more than the rest of its bookkeeping.
        if (--untilMark_ != 0) return false;
        if (checkpointEvery_ == 0) {
            candidates_.push_back({lat, lon});
            untilMark_ = stride_;
            return false;
        }
        untilMark_ = checkpointEvery_;
        return true;
    }
    /// A speed in the unit `finish` is told of.
    void addSpeed(double speed)
    {
        speedSum_.add(speed);
        ++speedCount_;
        maxSpeed_.add(speed);
    }
    /// A speed that counts towards the top speed alone, for a fold that has no average to give.
    void addTopSpeed(double speed) { maxSpeed_.add(speed); }
    void addGForceX(double g) { maxAbsGx_.add(std::fabs(g)); }
    void addGForceY(double g) { maxAbsGy_.add(std::fabs(g)); }
    void addLean(double degrees) { maxAbsLean_.add(std::fabs(degrees)); }
    /// The lap number of a fix at an instant, for laps inferred from a lap column.
    void addLap(std::int64_t lap, std::int64_t ticks) { inferred_.update(lap, ticks); }

    std::int64_t fixes() const { return fixes_; }
    /// The distance over the fixes so far.
    double distanceM()
    {
        measurePending();
        return distance_.value();
    }
    const InferredLaps& inferredLaps() const { return inferred_; }
    std::int64_t stride() const { return stride_; }
    std::int64_t checkpointEvery() const { return checkpointEvery_; }

    /// Where the track candidates of a fold that marked checkpoints lie once `fixesBefore` fixes are
    /// known to come before its own: walking the rows of [from, end), the fix after `skip` others. In
    /// order. `checkpoints` are where the fixes at the checkpoints begin, `end` where the rows end.
    struct CandidateLookup {
        std::int64_t from;
        std::int64_t end;
        std::int64_t skip;
    };
    std::vector<CandidateLookup> candidateLookups(std::span<const std::int64_t> checkpoints, std::int64_t fixesBefore,
                                                  std::int64_t end) const;
    /// Takes the track candidates of a fold that marked checkpoints, once they are found.
    void setCandidates(std::vector<ZaroSessionPoint> candidates) { candidates_ = std::move(candidates); }
    /// Folds in the fold over the fixes that follow this one's, whose candidates are set.
    void append(SessionFold&& later);

    /// Sets `pointCount`, `polyline`, `distanceM`, the speeds (converted from the unit `speedColumn`
    /// names, as a header field would), the accelerations and the lean. Ends the fold.
    void finish(ZaroSession& session, std::string_view speedColumn);

private:
    /// Adds the steps to the pending fixes, from the last fix measured, to the distance.
    void measurePending();

    std::int64_t stride_;
    std::int64_t checkpointEvery_;
    bool measuresDistance_;
    std::int64_t untilMark_ = 1;  // fixes to the next candidate or checkpoint, this one included
    std::int64_t fixes_ = 0;
    ZaroSessionPoint first_;  // of the fixes, once there is one
    ZaroSessionPoint last_;
    static constexpr std::size_t batch = 128;
    std::optional<Fix> measured_;  // the last fix whose step is in the distance
    std::array<double, batch> pendingLat_;  // the fixes after it
    std::array<double, batch> pendingLon_;
    std::size_t pendingCount_ = 0;
    CompensatedSum distance_;
    std::vector<ZaroSessionPoint> candidates_;
    CompensatedSum speedSum_;
    std::int64_t speedCount_ = 0;
    RunningMaximum maxSpeed_;
    RunningMaximum maxAbsGx_;
    RunningMaximum maxAbsGy_;
    RunningMaximum maxAbsLean_;
    InferredLaps inferred_;
};

}  // namespace zaro::ZaroSessionParser
