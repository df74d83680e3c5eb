// The data rows: one forward pass that folds every usable row into the session's statistics.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/iso8601.hpp"
#include "base/unicode.hpp"
#include "header.hpp"
#include "laps.hpp"
#include "model/zaro_session.hpp"

namespace zaro::ZaroSessionParser::detail {

/// A column a row is read for, at its field position.
struct FieldNeed {
    std::int64_t position;
    Column column;
};

/// The fields of `line` at the positions of `needs` (sorted by position), each trimmed, into the
/// slot of its column; one left-to-right walk, the line is never split whole. Slots of fields the
/// line does not have are left alone.
void pickFields(std::string_view line, std::span<const FieldNeed> needs,
                std::array<std::string_view, columnCount>& values, bool ascii);
inline void pickFields(std::string_view line, std::span<const FieldNeed> needs, std::array<std::string_view, columnCount>& values)
{
    pickFields(line, needs, values, text::isAscii(line));
}

/// A position with the cosine of its latitude, which the step to the next row reuses.
struct Fix {
    double lat = 0;
    double lon = 0;
    double cosLat = 1;

    static Fix at(double lat, double lon);
};

/// Great-circle distance in metres on a sphere of 12742 km diameter.
double greatCircleMetres(const Fix& from, const Fix& to);

/// A sum of many terms that carries its rounding errors along (Neumaier's method), so that the order
/// the terms come in, and the pieces they are summed in, change it by no more than the last bit.
/// Infinities and NaNs add up as they do in a plain sum.
class CompensatedSum {
public:
    void add(double term)
    {
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

/// The maximum of the values rows carry, folded as "the maximum becomes the value when maximum <= value":
/// a NaN that comes first stays the maximum, a later NaN changes nothing, and of equal values the
/// later one is kept. Two runs over consecutive rows join into the run over both.
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

/// The forward pass over the data rows, or over one piece of them: each usable row is folded into
/// running statistics, track candidates and lap boundaries; nothing is kept per row. Passes over
/// consecutive pieces join into the pass over all of them.
class RowPass {
public:
    /// `fromBodyStart`: the pass sees the body's first row. The track candidates are every
    /// `stride`-th accepted row of the whole body, so a pass over a later piece cannot tell them
    /// before the rows ahead of it are counted; it marks checkpoints to find them by instead.
    RowPass(const ColumnMap& columns, bool inferLaps, std::int64_t bodyBytes, bool fromBodyStart = true);

    /// Folds in one decoded body line, which begins at file offset `lineBegin` and is all ASCII or
    /// not; lines without a usable position or time are skipped.
    void add(std::string_view line, std::int64_t lineBegin, bool ascii);

    /// The position of the row `line` holds, when the pass accepts it.
    std::optional<Fix> acceptedPosition(std::string_view line) const;

    std::int64_t acceptedRows() const { return accepted_; }
    const InferredLaps& inferredLaps() const { return inferred_; }

    /// Where a later piece's track candidates lie once `rowsBefore` accepted rows are known to come
    /// before it: walking the lines of [from, end), the row after `skip` accepted ones. In order.
    struct CandidateLookup {
        std::int64_t from;
        std::int64_t end;
        std::int64_t skip;
    };
    std::vector<CandidateLookup> candidateLookups(std::int64_t rowsBefore, std::int64_t bodyEnd) const;
    /// Takes the track candidates `candidateLookups` led to, in their order.
    void setCandidates(std::vector<ZaroSessionPoint> candidates) { candidates_ = std::move(candidates); }

    /// Folds in the pass over the piece that follows this one's, whose candidates are set.
    void append(RowPass&& later);

    /// Sets the trace and statistics fields of `session`: start and end texts, point count,
    /// polyline, distance, speeds, accelerations and lean. Ends the pass.
    void finish(ZaroSession& session);

private:
    std::optional<Fix> position(std::string_view line, bool ascii, std::array<std::string_view, columnCount>& values) const;

    std::vector<FieldNeed> needs_;  // the columns read, by position
    std::string speedColumn_;
    bool inferLaps_;
    std::int64_t stride_;
    std::int64_t checkpointEvery_;  // 0 for a pass from the body's start
    std::int64_t untilMark_ = 1;    // accepted rows to the next candidate or checkpoint, this one included

    std::int64_t accepted_ = 0;
    std::string firstTime_;
    std::string lastTime_;  // when longer than lastTimeBytes_ holds
    std::array<char, 32> lastTimeBytes_{};
    std::size_t lastTimeSize_ = 0;
    std::optional<Fix> first_;
    std::optional<Fix> previous_;
    CompensatedSum distance_;
    std::vector<ZaroSessionPoint> candidates_;
    std::vector<std::int64_t> checkpoints_;  // where accepted rows 0, checkpointEvery_, 2 checkpointEvery_, ... begin
    CompensatedSum speedSum_;
    std::int64_t speedCount_ = 0;
    RunningMaximum maxSpeed_;
    RunningMaximum maxAbsGx_;
    RunningMaximum maxAbsGy_;
    RunningMaximum maxAbsLean_;
    InferredLaps inferred_;
    iso8601::SequenceReader times_;
};

/// The factor from the file's speed unit to metres per second.
double speedConversion(std::string_view speedColumn, double maxRawSpeed);

/// Evenly spaced points of `points`, at most 200, first and last kept, equal neighbours dropped.
std::vector<ZaroSessionPoint> downsample(std::vector<ZaroSessionPoint> points);

}  // namespace zaro::ZaroSessionParser::detail
