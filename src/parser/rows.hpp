// The data rows: one forward pass that folds every usable row into the session's statistics.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/iso8601.hpp"
#include "base/unicode.hpp"
#include "header.hpp"
#include "laps.hpp"
#include "parser/session_fold.hpp"
#include "parser/zaro_session_parser.hpp"
#include "model/zaro_session.hpp"

namespace zaro::ZaroSessionParser::detail {

/// A column a row is read for, at its field position.
struct FieldNeed {
    std::int64_t position;
    Column column;
};

/// The fields of `line` at the positions of `needs` (sorted by position), each trimmed, into the
/// slot of its column, which is left empty when the line has no such field; one left-to-right walk,
/// the line is never split whole. The slots of other columns are left alone.
void pickFields(std::string_view line, std::span<const FieldNeed> needs,
                std::array<std::string_view, columnCount>& values, bool ascii);
inline void pickFields(std::string_view line, std::span<const FieldNeed> needs, std::array<std::string_view, columnCount>& values)
{
    pickFields(line, needs, values, text::isAscii(line));
}

/// The forward pass over the data rows, or over one piece of them: each usable row is folded into
/// running statistics, track candidates and lap boundaries; nothing is kept per row. Passes over
/// consecutive pieces join into the pass over all of them.
class RowPass {
public:
    /// `fromBodyStart`: the pass sees the body's first row. The track candidates are every
    /// `stride`-th accepted row of the whole body, so a pass over a later piece cannot tell them
    /// before the rows ahead of it are counted; it marks checkpoints to find them by instead.
    /// `statistics` says which of the distance, speeds, accelerations and lean are worked out; the
    /// session's fields for the others stay zero and empty, and their columns are not read.
    RowPass(const ColumnMap& columns, bool inferLaps, std::int64_t bodyBytes, bool fromBodyStart = true,
            Statistics statistics = Statistics::all);

    /// Folds in one decoded body line, which begins at file offset `lineBegin` and is all ASCII or
    /// not; lines without a usable position or time are skipped.
    void add(std::string_view line, std::int64_t lineBegin, bool ascii);

    /// The position of the row `line` holds, when the pass accepts it.
    std::optional<Fix> acceptedPosition(std::string_view line) const;

    std::int64_t acceptedRows() const { return fold_.fixes(); }
    const InferredLaps& inferredLaps() const { return fold_.inferredLaps(); }

    /// Where a later piece's track candidates lie once `rowsBefore` accepted rows are known to come
    /// before it: walking the lines of [from, end), the row after `skip` accepted ones. In order.
    using CandidateLookup = SessionFold::CandidateLookup;
    std::vector<CandidateLookup> candidateLookups(std::int64_t rowsBefore, std::int64_t bodyEnd) const
    {
        return fold_.candidateLookups(checkpoints_, rowsBefore, bodyEnd);
    }
    /// Takes the track candidates `candidateLookups` led to, in their order.
    void setCandidates(std::vector<ZaroSessionPoint> candidates) { fold_.setCandidates(std::move(candidates)); }

    /// Folds in the pass over the piece that follows this one's, whose candidates are set.
    void append(RowPass&& later);

    /// Sets the trace and statistics fields of `session`: start and end texts, point count,
    /// polyline, distance, speeds, accelerations and lean. Ends the pass.
    void finish(ZaroSession& session);

private:
    /// Whether the pass accepts the row `line` holds, with its fields picked into `values`.
    bool position(std::string_view line, bool ascii, std::array<std::string_view, columnCount>& values, double& lat,
                  double& lon) const;

    std::vector<FieldNeed> needs_;  // the columns read, by position
    // The fields of the row being added. Kept from row to row, as clearing them all a row cost more
    // than the rest of picking them: only the slots of needed columns are ever set.
    std::array<std::string_view, columnCount> fields_{};
    std::string speedColumn_;
    bool inferLaps_;
    Statistics statistics_;
    SessionFold fold_;
    std::string firstTime_;
    std::string lastTime_;  // when longer than lastTimeBytes_ holds
    std::array<char, 32> lastTimeBytes_{};
    std::size_t lastTimeSize_ = 0;
    std::vector<std::int64_t> checkpoints_;  // where fixes 0, checkpointEvery, 2 checkpointEvery, ... begin
    iso8601::SequenceReader times_;
};

}  // namespace zaro::ZaroSessionParser::detail
