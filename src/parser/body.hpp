// The data rows after the header, read in pieces on several threads and joined into one pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "header.hpp"
#include "model/zaro_session.hpp"
#include "rows.hpp"

namespace zaro::ZaroSessionParser::detail {

/// The smallest piece worth a thread of its own: below it, starting the thread costs about as much
/// as it saves.
inline constexpr std::int64_t minimumPieceBytes = 2 * 1024 * 1024;

/// The largest piece a body is cut into, and the smallest: a piece's own costs count for little
/// even in the smallest.
inline constexpr std::int64_t preferredPieceBytes = 4 * 1024 * 1024;
inline constexpr std::int64_t smallestPieceBytes = 512 * 1024;

/// The threads a body is read on: `threads`, or one per processor the process may run on for 0.
unsigned threadCount(unsigned threads);

/// Offsets that cut [bodyOffset, end) into pieces for threads that each take the next piece as they
/// finish one: none for one thread or where two threads cannot each have `minimumPieceBytes`, else
/// pieces that shrink towards the end, from `preferredPieceBytes` to `smallestPieceBytes`.
std::vector<std::int64_t> pieceCuts(std::int64_t bodyOffset, std::int64_t end, unsigned threads);

/// What every piece's pass needs to know of the body.
struct Body {
    const ColumnMap& columns;
    bool inferLaps;
    std::int64_t offset;  // of the first data row
    std::int64_t end;
    Statistics statistics = Statistics::all;
};

/// The rows of `body` folded into one pass. `lines` stands at the body's start and reads the first
/// piece; each of `cuts` (ascending offsets) starts a piece of its own at the first line that begins
/// at or after it. Up to `threads` threads (threadCount) take the pieces in turn. The result is the
/// pass the rows would make in one piece, but for the last bits of the distance and speed sums.
template <typename Lines>
RowPass readBody(Lines& lines, const Body& body, std::span<const std::int64_t> cuts, unsigned threads);

/// `parse` with the body cut at `cuts`, offsets into `data` (those outside the body are left out),
/// so that any way of cutting a file can be checked to give the session the uncut file gives.
ZaroSession parseCutAt(std::string_view data, std::string fileName, std::span<const std::int64_t> cuts);

}  // namespace zaro::ZaroSessionParser::detail
