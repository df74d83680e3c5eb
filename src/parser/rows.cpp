#include "rows.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/iso8601.hpp"
#include "base/simd.hpp"
#include "base/unicode.hpp"
#include "fields.hpp"

namespace zaro::ZaroSessionParser::detail {

namespace {

constexpr double pi = 3.141592653589793;
constexpr double earthDiameterM = 12742000.0;

// The commas among the (at most sixteen) bytes from `base` on, as bits counted from `base`.
unsigned commaMask(const char* data, std::size_t size, std::size_t base)
{
#if ZARO_SSE2
    const __m128i commas = _mm_set1_epi8(',');
    if (size - base >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + base));
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, commas)));
    }
    if (size >= 16) {
        // The last sixteen bytes of the line, less those already looked at.
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + size - 16));
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, commas))) >> (base + 16 - size);
    }
#endif
    unsigned mask = 0;
    const std::size_t end = std::min(size, base + 16);
    for (std::size_t i = base; i < end; ++i) mask |= (data[i] == ',' ? 1u : 0u) << (i - base);
    return mask;
}

}  // namespace

Fix Fix::at(double lat, double lon) { return {lat, lon, std::cos(lat * pi / 180)}; }

double greatCircleMetres(const Fix& from, const Fix& to)
{
    const double dLat = (to.lat - from.lat) * pi / 180;
    const double dLon = (to.lon - from.lon) * pi / 180;
    const double sinLat = std::sin(dLat * 0.5);
    const double sinLon = std::sin(dLon * 0.5);
    const double a = sinLat * sinLat + from.cosLat * to.cosLat * (sinLon * sinLon);
    return earthDiameterM * std::asin(std::min(std::sqrt(a), 1.0));
}

void pickFields(std::string_view line, std::span<const FieldNeed> needs,
                std::array<std::string_view, columnCount>& values, bool ascii)
{
    if (needs.empty()) return;
    auto need = needs.begin();
    if (ascii) {
        // A mask of the commas sixteen bytes at a time, then one step per comma.
        const char* const data = line.data();
        const std::size_t size = line.size();
        std::size_t fieldBegin = 0;
        std::int64_t field = 0;
        const auto endField = [&](std::size_t end) {
            if (field++ != need->position) return false;
            values[static_cast<std::size_t>(need->column)] = text::trimWhitespace(line.substr(fieldBegin, end - fieldBegin));
            return ++need == needs.end();
        };
        for (std::size_t base = 0; base < size; base += 16) {
            for (unsigned mask = commaMask(data, size, base); mask != 0; mask &= mask - 1) {
                const std::size_t comma = base + static_cast<std::size_t>(__builtin_ctz(mask));
                if (endField(comma)) return;
                fieldBegin = comma + 1;
            }
        }
        endField(size);
        return;
    }
    std::size_t begin = 0;
    for (std::int64_t field = 0;; ++field) {
        const std::size_t end = nextComma(line, begin);
        if (field == need->position) {
            values[static_cast<std::size_t>(need->column)] = text::trimWhitespace(line.substr(begin, end - begin));
            if (++need == needs.end()) return;
        }
        if (end >= line.size()) return;
        begin = end + 1;
    }
}

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

RowPass::RowPass(const ColumnMap& columns, bool inferLaps, std::int64_t bodyBytes, bool fromBodyStart)
    : speedColumn_(columns.speedColumn),
      inferLaps_(inferLaps),
      stride_(std::max<std::int64_t>(1, bodyBytes / 16000)),
      // Finding a candidate then walks at most this many accepted rows from a checkpoint.
      checkpointEvery_(fromBodyStart ? 0 : std::max<std::int64_t>(1, stride_ / 64))
{
    for (std::size_t i = 0; i < columnCount; ++i) {
        if (columns.positions[i]) needs_.push_back({*columns.positions[i], static_cast<Column>(i)});
    }
    std::sort(needs_.begin(), needs_.end(), [](const FieldNeed& a, const FieldNeed& b) { return a.position < b.position; });
    if (fromBodyStart) candidates_.reserve(202);
}

std::optional<Fix> RowPass::position(std::string_view rawLine, bool ascii,
                                     std::array<std::string_view, columnCount>& values) const
{
    const std::string_view line = text::trimWhitespace(rawLine);
    if (line.empty()) return std::nullopt;
    pickFields(line, needs_, values, ascii);
    const auto number = [&values](Column c) {
        const std::string_view v = values[static_cast<std::size_t>(c)];
        return v.empty() ? std::nullopt : readNumber(v);
    };
    const std::optional<double> lat = number(Column::latitude);
    const std::optional<double> lon = number(Column::longitude);
    if (!lat || !lon) return std::nullopt;
    if (!(std::fabs(*lat) <= 90) || !(std::fabs(*lon) <= 180)) return std::nullopt;
    if (values[static_cast<std::size_t>(Column::time)].empty()) return std::nullopt;
    return Fix::at(*lat, *lon);
}

std::optional<Fix> RowPass::acceptedPosition(std::string_view line) const
{
    std::array<std::string_view, columnCount> values{};
    return position(line, text::isAscii(line), values);
}

void RowPass::add(std::string_view line, std::int64_t lineBegin, bool ascii)
{
    std::array<std::string_view, columnCount> values{};
    const std::optional<Fix> fix = position(line, ascii, values);
    if (!fix) return;
    const auto value = [&values](Column c) { return values[static_cast<std::size_t>(c)]; };
    const auto number = [&value](Column c) {
        const std::string_view v = value(c);
        return v.empty() ? std::nullopt : readNumber(v);
    };

    const std::string_view time = value(Column::time);
    if (accepted_ == 0) {
        firstTime_.assign(time);
        first_ = fix;
    }
    // Kept for every row in case it is the last, so kept where a copy costs least.
    lastTimeSize_ = time.size();
    if (time.size() <= lastTimeBytes_.size()) {
        std::memcpy(lastTimeBytes_.data(), time.data(), time.size());
    } else {
        lastTime_.assign(time);
    }

    if (previous_) distance_.add(greatCircleMetres(*previous_, *fix));
    previous_ = fix;
    // Every stride_-th row a candidate, or every checkpointEvery_-th a checkpoint: counted down, as a
    // division a row would cost more than the rest of the row's bookkeeping.
    if (--untilMark_ == 0) {
        if (checkpointEvery_ == 0) {
            candidates_.push_back({fix->lat, fix->lon});
            untilMark_ = stride_;
        } else {
            checkpoints_.push_back(lineBegin);
            untilMark_ = checkpointEvery_;
        }
    }

    if (const auto speed = number(Column::speed)) {
        speedSum_.add(*speed);
        ++speedCount_;
        maxSpeed_.add(*speed);
    }
    if (const auto gx = number(Column::gForceX)) maxAbsGx_.add(std::fabs(*gx));
    if (const auto gy = number(Column::gForceY)) maxAbsGy_.add(std::fabs(*gy));
    if (const auto lean = number(Column::leanAngle)) maxAbsLean_.add(std::fabs(*lean));

    if (inferLaps_) {
        if (const auto instant = times_.read(time)) {
            const std::string_view lapField = value(Column::lap);
            const std::int64_t lap = lapField.empty() ? 0 : readInteger(lapField).value_or(0);
            inferred_.update(lap, instant->ticks);
        }
    }
    ++accepted_;
}

std::vector<RowPass::CandidateLookup> RowPass::candidateLookups(std::int64_t rowsBefore, std::int64_t bodyEnd) const
{
    std::vector<CandidateLookup> lookups;
    if (checkpointEvery_ == 0) return lookups;
    // The first multiple of the stride at or after rowsBefore, as an index into this piece's rows.
    for (std::int64_t row = (stride_ - rowsBefore % stride_) % stride_; row < accepted_; row += stride_) {
        const auto checkpoint = static_cast<std::size_t>(row / checkpointEvery_);
        const std::int64_t end = checkpoint + 1 < checkpoints_.size() ? checkpoints_[checkpoint + 1] : bodyEnd;
        lookups.push_back({checkpoints_[checkpoint], end, row % checkpointEvery_});
    }
    return lookups;
}

void RowPass::append(RowPass&& later)
{
    if (later.accepted_ == 0) return;
    if (accepted_ == 0) {
        firstTime_ = std::move(later.firstTime_);
        first_ = later.first_;
    } else {
        distance_.add(greatCircleMetres(*previous_, *later.first_));
    }
    distance_.add(later.distance_);
    lastTime_ = std::move(later.lastTime_);
    lastTimeBytes_ = later.lastTimeBytes_;
    lastTimeSize_ = later.lastTimeSize_;
    previous_ = later.previous_;
    candidates_.insert(candidates_.end(), later.candidates_.begin(), later.candidates_.end());
    accepted_ += later.accepted_;
    speedSum_.add(later.speedSum_);
    speedCount_ += later.speedCount_;
    maxSpeed_.append(later.maxSpeed_);
    maxAbsGx_.append(later.maxAbsGx_);
    maxAbsGy_.append(later.maxAbsGy_);
    maxAbsLean_.append(later.maxAbsLean_);
    inferred_.append(std::move(later.inferred_));
}

void RowPass::finish(ZaroSession& session)
{
    session.pointCount = accepted_;
    session.distanceM = distance_.value();

    std::vector<ZaroSessionPoint> track = std::move(candidates_);
    if (previous_) {
        const ZaroSessionPoint last{previous_->lat, previous_->lon};
        if (track.empty() || !(track.back() == last)) track.push_back(last);
    }
    session.polyline = downsample(std::move(track));

    const std::optional<double> maxSpeed = maxSpeed_.value();
    const double factor = speedConversion(speedColumn_, maxSpeed.value_or(0));
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
    session.startedAt = std::move(firstTime_);
    session.endedAt = lastTimeSize_ <= lastTimeBytes_.size() ? std::string(lastTimeBytes_.data(), lastTimeSize_) : std::move(lastTime_);
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

}  // namespace zaro::ZaroSessionParser::detail
