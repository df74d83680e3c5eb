#include "parser/session_fold.hpp"

#include <algorithm>
#include <bit>
#include <initializer_list>
#include <string>

#include "base/simd.hpp"
#include "base/unicode.hpp"
#include "distance_four.hpp"

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

namespace {

// Two lanes of doubles, for working out two cosines or two steps at once where the processor can: a
// latitude's cosine and a step are each a few dozen multiplications and additions that do not depend
// on the ones before. A pair goes through the very operations a single value does (the formulas are
// shared), so every value is the one Fix::at and greatCircleMetres give; a pair with a value outside
// the formulas' ranges is left to them.
#if ZARO_SSE2
struct Pair {
    __m128d v;
};
Pair operator+(Pair a, Pair b) { return {_mm_add_pd(a.v, b.v)}; }
Pair operator-(Pair a, Pair b) { return {_mm_sub_pd(a.v, b.v)}; }
Pair operator*(Pair a, Pair b) { return {_mm_mul_pd(a.v, b.v)}; }
Pair operator/(Pair a, Pair b) { return {_mm_div_pd(a.v, b.v)}; }
Pair both(double x) { return {_mm_set1_pd(x)}; }
Pair operator+(double a, Pair b) { return both(a) + b; }
Pair operator+(Pair a, double b) { return a + both(b); }
Pair operator-(double a, Pair b) { return both(a) - b; }
Pair operator*(double a, Pair b) { return both(a) * b; }
Pair operator*(Pair a, double b) { return a * both(b); }
Pair operator/(Pair a, double b) { return a / both(b); }
Pair load(const double* p) { return {_mm_loadu_pd(p)}; }
Pair magnitude(Pair a) { return {_mm_andnot_pd(_mm_set1_pd(-0.0), a.v)}; }
// Whether a comparison holds in both lanes (never for a NaN).
bool bothAtMost(Pair a, double b) { return _mm_movemask_pd(_mm_cmple_pd(a.v, _mm_set1_pd(b))) == 3; }
bool bothBelow(Pair a, double b) { return _mm_movemask_pd(_mm_cmplt_pd(a.v, _mm_set1_pd(b))) == 3; }
#endif

#if ZARO_FOUR_LANES
// Runs `four(from, blocks)` over the values from `i` to `count` in up to sixty-four blocks of four at a
// time, and `one(j)` for each value of a block whose bit `four` gives back; where the blocks end.
template <typename Four, typename One>
std::size_t inBlocksOfFour(std::size_t i, std::size_t count, const Four& four, const One& one)
{
    for (; i + 4 <= count; i += 256) {
        const std::size_t blocks = std::min<std::size_t>(64, (count - i) / 4);
        for (std::uint64_t left = four(i, blocks); left != 0; left &= left - 1) {
            const std::size_t block = i + 4 * static_cast<std::size_t>(std::countr_zero(left));
            for (std::size_t j = block; j < block + 4; ++j) one(j);
        }
        if (blocks < 64) return i + 4 * blocks;
    }
    return i;
}
#endif

}  // namespace

Vectors widestVectors()
{
#if ZARO_FOUR_LANES
    // The processor's, and whether the system keeps its registers: libgcc reads them at start.
    if (__builtin_cpu_supports("avx2")) return Vectors::avx2;
#endif
    return ZARO_SSE2 ? Vectors::sse2 : Vectors::none;
}

namespace detail {

void latitudeCosines(const double* lat, double* cosines, std::size_t count, [[maybe_unused]] Vectors vectors)
{
    std::size_t i = 0;
#if ZARO_FOUR_LANES
    if (vectors == Vectors::avx2) {
        i = inBlocksOfFour(
            i, count,
            [&](std::size_t from, std::size_t blocks) { return latitudeCosinesFour(lat + from, cosines + from, blocks); },
            [&](std::size_t j) { cosines[j] = Fix::at(lat[j], 0).cosLat; });
    }
#endif
#if ZARO_SSE2
    for (; vectors != Vectors::none && i + 2 <= count; i += 2) {
        const Pair a = magnitude(load(lat + i) * pi / 180);
        if (!bothBelow(a, nearPole)) {
            cosines[i] = Fix::at(lat[i], 0).cosLat;
            cosines[i + 1] = Fix::at(lat[i + 1], 0).cosLat;
            continue;
        }
        // Each lane takes the polynomial its angle is within.
        const __m128d within = _mm_cmple_pd(a.v, _mm_set1_pd(eighthTurn));
        const Pair near = quarterCosine(a, both(0.0));
        const Pair far = cosineBeyondEighthTurn(a);
        _mm_storeu_pd(cosines + i, _mm_or_pd(_mm_and_pd(within, near.v), _mm_andnot_pd(within, far.v)));
    }
#endif
    for (; i < count; ++i) cosines[i] = Fix::at(lat[i], 0).cosLat;
}

void stepsBetween(const double* lat, const double* lon, const double* cosines, double* steps, std::size_t count,
                  [[maybe_unused]] Vectors vectors)
{
    const auto fix = [&](std::size_t i) { return Fix{lat[i], lon[i], cosines[i]}; };
    std::size_t i = 1;
#if ZARO_FOUR_LANES
    if (vectors == Vectors::avx2) {
        i = inBlocksOfFour(
            i, count,
            [&](std::size_t from, std::size_t blocks) {
                return stepsBetweenFour(lat + from - 1, lon + from - 1, cosines + from - 1, steps + from - 1, blocks);
            },
            [&](std::size_t j) { steps[j] = greatCircleMetres(fix(j - 1), fix(j)); });
    }
#endif
#if ZARO_SSE2
    for (; vectors != Vectors::none && i + 2 <= count; i += 2) {
        // As greatCircleMetres, whose shortcuts for a zero difference give what the series give.
        const Pair halfLat = (load(lat + i) - load(lat + i - 1)) * pi / 180 * 0.5;
        const Pair halfLon = (load(lon + i) - load(lon + i - 1)) * pi / 180 * 0.5;
        const Pair sinLat = sineSeries(halfLat);
        const Pair sinLon = sineSeries(halfLon);
        const Pair a = sinLat * sinLat + load(cosines + i - 1) * load(cosines + i) * (sinLon * sinLon);
        // std::min(root, 1.0): 1 when it is the smaller, the root otherwise, a NaN included.
        const Pair y{_mm_min_pd(_mm_set1_pd(1.0), _mm_sqrt_pd(a.v))};
        if (!bothAtMost(magnitude(halfLat), smallAngle) || !bothAtMost(magnitude(halfLon), smallAngle)
            || !bothAtMost(y, smallAngle)) {
            steps[i] = greatCircleMetres(fix(i - 1), fix(i));
            steps[i + 1] = greatCircleMetres(fix(i), fix(i + 1));
            continue;
        }
        _mm_storeu_pd(steps + i, (earthDiameterM * arcsineSeries(y)).v);
    }
#endif
    for (; i < count; ++i) steps[i] = greatCircleMetres(fix(i - 1), fix(i));
}

}  // namespace detail

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
    const std::size_t count = pendingCount_;
    if (count == 0) return;
    pendingCount_ = 0;
    std::array<double, batch> cosines;
    detail::latitudeCosines(pendingLat_.data(), cosines.data(), count);
    // The steps first, each on its own, then their sum in order. The very first fix has no step to it.
    std::array<double, batch> steps;
    if (measured_) steps[0] = greatCircleMetres(*measured_, Fix{pendingLat_[0], pendingLon_[0], cosines[0]});
    detail::stepsBetween(pendingLat_.data(), pendingLon_.data(), cosines.data(), steps.data(), count);
    for (std::size_t i = measured_ ? 0 : 1; i < count; ++i) distance_.add(steps[i]);
    measured_ = Fix{pendingLat_[count - 1], pendingLon_[count - 1], cosines[count - 1]};
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
