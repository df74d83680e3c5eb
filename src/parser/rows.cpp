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

void pickFields(std::string_view line, std::span<const FieldNeed> needs,
                std::array<std::string_view, columnCount>& values, bool ascii)
{
    auto need = needs.begin();
    // Only the slots of the fields the line lacks are cleared, once it is known which: the others are set.
    const auto clearTheRest = [&] {
        for (; need != needs.end(); ++need) values[static_cast<std::size_t>(need->column)] = {};
    };
    if (need == needs.end()) return;
    if (ascii) {
        // A mask of the commas sixteen bytes at a time, then one step per comma.
        const char* const data = line.data();
        const std::size_t size = line.size();
        std::size_t fieldBegin = 0;
        std::int64_t field = 0;
        const auto endField = [&](std::size_t end) {
            if (field++ != need->position) return false;
            values[static_cast<std::size_t>(need->column)] = text::trimWhitespace({data + fieldBegin, end - fieldBegin});
            return ++need == needs.end();
        };
        for (std::size_t base = 0; base < size; base += 16) {
            for (unsigned mask = commaMask(data, size, base); mask != 0; mask &= mask - 1) {
                const std::size_t comma = base + static_cast<std::size_t>(__builtin_ctz(mask));
                if (endField(comma)) return;
                fieldBegin = comma + 1;
            }
        }
        if (!endField(size)) clearTheRest();
        return;
    }
    std::size_t begin = 0;
    for (std::int64_t field = 0;; ++field) {
        const std::size_t end = nextComma(line, begin);
        if (field == need->position) {
            values[static_cast<std::size_t>(need->column)] = text::trimWhitespace(line.substr(begin, end - begin));
            if (++need == needs.end()) return;
        }
        if (end >= line.size()) {
            clearTheRest();
            return;
        }
        begin = end + 1;
    }
}

RowPass::RowPass(const ColumnMap& columns, bool inferLaps, std::int64_t bodyBytes, bool fromBodyStart,
                 Statistics statistics)
    : speedColumn_(columns.speedColumn),
      inferLaps_(inferLaps),
      statistics_(statistics),
      // Finding a candidate then walks at most this many accepted rows from a checkpoint.
      fold_(SessionFold::strideFor(bodyBytes),
            fromBodyStart ? 0 : std::max<std::int64_t>(1, SessionFold::strideFor(bodyBytes) / 64),
            statistics != Statistics::none)
{
    for (std::size_t i = 0; i < columnCount; ++i) {
        const auto column = static_cast<Column>(i);
        // The lap column is read only to infer laps, the figures only for the statistics that use them.
        if (column == Column::lap && !inferLaps) continue;
        if (column == Column::speed && statistics == Statistics::none) continue;
        if ((column == Column::gForceX || column == Column::gForceY || column == Column::leanAngle)
            && statistics != Statistics::all) {
            continue;
        }
        if (columns.positions[i]) needs_.push_back({*columns.positions[i], static_cast<Column>(i)});
    }
    std::sort(needs_.begin(), needs_.end(), [](const FieldNeed& a, const FieldNeed& b) { return a.position < b.position; });
}

namespace {

// A field as a number; an empty one is none. Inline, as every row reads several.
[[gnu::always_inline]] inline bool readField(std::string_view field, double& value)
{
    if (field.empty()) return false;
    if (readShortDecimal(field, value)) [[likely]] return true;
    const std::optional<double> other = readAnyNumber(field);
    if (other) value = *other;
    return other.has_value();
}

}  // namespace

bool RowPass::position(std::string_view rawLine, bool ascii, std::array<std::string_view, columnCount>& values,
                       double& lat, double& lon) const
{
    const std::string_view line = text::trimWhitespace(rawLine);
    if (line.empty()) return false;
    pickFields(line, needs_, values, ascii);
    if (!readField(values[static_cast<std::size_t>(Column::latitude)], lat)) return false;
    if (!readField(values[static_cast<std::size_t>(Column::longitude)], lon)) return false;
    if (!(std::fabs(lat) <= 90) || !(std::fabs(lon) <= 180)) return false;
    return !values[static_cast<std::size_t>(Column::time)].empty();
}

std::optional<Fix> RowPass::acceptedPosition(std::string_view line) const
{
    std::array<std::string_view, columnCount> values{};
    double lat = 0;
    double lon = 0;
    if (!position(line, text::isAscii(line), values, lat, lon)) return std::nullopt;
    return Fix::at(lat, lon);
}

// Every row goes through here: what it calls in this file is compiled into it, which spares each row
// the calls and the fields' trip through memory, about a tenth of the time a row takes.
[[gnu::flatten]] void RowPass::add(std::string_view line, std::int64_t lineBegin, bool ascii)
{
    double lat = 0;
    double lon = 0;
    if (!position(line, ascii, fields_, lat, lon)) return;
    const auto value = [this](Column c) { return fields_[static_cast<std::size_t>(c)]; };

    const std::string_view time = value(Column::time);
    if (fold_.fixes() == 0) firstTime_.assign(time);
    // Kept for every row in case it is the last, so kept where a copy costs least: a time of 16 to 32
    // bytes, as most are, as two copies of a fixed 16 that overlap, which need no call.
    lastTimeSize_ = time.size();
    if (time.size() >= 16 && time.size() <= lastTimeBytes_.size()) {
        std::memcpy(lastTimeBytes_.data(), time.data(), 16);
        std::memcpy(lastTimeBytes_.data() + time.size() - 16, time.data() + time.size() - 16, 16);
    } else if (time.size() <= lastTimeBytes_.size()) {
        std::memcpy(lastTimeBytes_.data(), time.data(), time.size());
    } else {
        lastTime_.assign(time);
    }

    if (inferLaps_) {
        if (const auto instant = times_.read(time)) {
            const std::string_view lapField = value(Column::lap);
            const std::int64_t lap = lapField.empty() ? 0 : readInteger(lapField).value_or(0);
            fold_.addLap(lap, instant->ticks);
        }
    }
    if (fold_.addFix(lat, lon)) checkpoints_.push_back(lineBegin);
    if (statistics_ == Statistics::none) return;
    double number = 0;
    if (statistics_ == Statistics::card) {
        if (readField(value(Column::speed), number)) fold_.addTopSpeed(number);
        return;
    }
    if (readField(value(Column::speed), number)) fold_.addSpeed(number);
    if (readField(value(Column::gForceX), number)) fold_.addGForceX(number);
    if (readField(value(Column::gForceY), number)) fold_.addGForceY(number);
    if (readField(value(Column::leanAngle), number)) fold_.addLean(number);
}

void RowPass::append(RowPass&& later)
{
    if (later.fold_.fixes() == 0) return;
    if (fold_.fixes() == 0) firstTime_ = std::move(later.firstTime_);
    lastTime_ = std::move(later.lastTime_);
    lastTimeBytes_ = later.lastTimeBytes_;
    lastTimeSize_ = later.lastTimeSize_;
    fold_.append(std::move(later.fold_));
}

void RowPass::finish(ZaroSession& session)
{
    fold_.finish(session, speedColumn_);
    session.startedAt = std::move(firstTime_);
    session.endedAt = lastTimeSize_ <= lastTimeBytes_.size() ? std::string(lastTimeBytes_.data(), lastTimeSize_) : std::move(lastTime_);
}

}  // namespace zaro::ZaroSessionParser::detail
