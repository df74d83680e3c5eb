#include "body.hpp"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <list>
#include <optional>
#include <thread>

#include "base/background.hpp"
#include "lines.hpp"

namespace zaro::ZaroSessionParser::detail {

namespace {

// The lines that begin in [from, until), read through `lines`, which stands at `from`.
template <typename Lines>
void readPiece(Lines& lines, std::int64_t from, std::int64_t until, RowPass& pass)
{
    LineDecoder decoder;
    RawLine raw;
    for (std::int64_t begin = from; begin < until && lines.next(raw); begin = raw.next) {
        const std::string_view line = decoder.decode(raw);
        pass.add(line, begin, decoder.ascii());
    }
}

// A piece after the first: from the first line that begins at or after `cut` to the first that
// begins at or after `until`.
template <typename Lines>
RowPass readLaterPiece(const Lines& lines, const Body& body, std::int64_t cut, std::int64_t until)
{
    RowPass pass(body.columns, body.inferLaps, body.end - body.offset, false, body.statistics);
    // The line that holds the byte before the cut began before it, so it is the previous piece's.
    Lines piece = lines.range(cut - 1, body.end);
    const std::int64_t from = piece.skipLine();
    readPiece(piece, from, until, pass);
    return pass;
}

// The track candidates of a later piece, found from its checkpoints once the rows before it are
// counted.
template <typename Lines>
std::vector<ZaroSessionPoint> findCandidates(const Lines& lines, const Body& body, const RowPass& pass, std::int64_t rowsBefore)
{
    std::vector<ZaroSessionPoint> candidates;
    LineDecoder decoder;
    RawLine raw;
    for (const RowPass::CandidateLookup& lookup : pass.candidateLookups(rowsBefore, body.end)) {
        Lines walk = lines.range(lookup.from, lookup.end);
        for (std::int64_t skip = lookup.skip; walk.next(raw);) {
            const std::optional<Fix> fix = pass.acceptedPosition(decoder.decode(raw));
            if (fix && skip-- == 0) {
                candidates.push_back({fix->lat, fix->lon});
                break;
            }
        }
    }
    return candidates;
}

// Runs `task` for each of 0 to `count` - 1 on up to `threads` threads (threadCount), each taking the
// next one nobody has as it finishes one. Once all are done, the first failure in that order is
// thrown.
template <typename Task>
void shareOut(unsigned threads, std::size_t count, const Task& task)
{
    if (count == 0) return;
    std::vector<std::exception_ptr> failures(count);
    std::atomic<std::size_t> next = 0;
    const auto work = [&] {
        for (std::size_t k; (k = next.fetch_add(1)) < count;) {
            try {
                task(k);
            } catch (...) {
                failures[k] = std::current_exception();
            }
        }
    };
    {
        // A thread that cannot be had leaves its share to the others, this one at least.
        std::list<Background> helpers;
        const std::size_t helperCount = std::min<std::size_t>(threadCount(threads), count) - 1;
        for (std::size_t i = 0; i < helperCount; ++i) helpers.emplace_back(work);
        work();
        for (Background& helper : helpers) helper.wait();
    }
    for (const std::exception_ptr& failure : failures) {
        if (failure) std::rethrow_exception(failure);
    }
}

}  // namespace

unsigned threadCount(unsigned threads)
{
    if (threads != 0) return threads;
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) return static_cast<unsigned>(std::max(1, CPU_COUNT(&allowed)));
    return std::max(1U, std::thread::hardware_concurrency());
}

std::vector<std::int64_t> pieceCuts(std::int64_t bodyOffset, std::int64_t end, unsigned threads)
{
    std::vector<std::int64_t> cuts;
    const std::int64_t count = threadCount(threads);
    if (count == 1 || end - bodyOffset < 2 * minimumPieceBytes) return cuts;
    // Each piece an equal share of what is left for twice as many threads: the first ones large, so
    // their own costs do not count, and the last ones small, so the threads end close together.
    for (std::int64_t at = bodyOffset;;) {
        const std::int64_t left = end - at;
        const std::int64_t piece = std::clamp(left / (2 * count), smallestPieceBytes, preferredPieceBytes);
        if (left - piece < smallestPieceBytes) return cuts;
        at += piece;
        cuts.push_back(at);
    }
}

template <typename Lines>
RowPass readBody(Lines& lines, const Body& body, std::span<const std::int64_t> cuts, unsigned threads)
{
    RowPass first(body.columns, body.inferLaps, body.end - body.offset, true, body.statistics);
    if (cuts.empty()) {
        readPiece(lines, body.offset, body.end, first);
        return first;
    }

    // Piece 0 is the first pass's, piece k > 0 that of passes[k - 1].
    const std::size_t later = cuts.size();
    std::vector<std::optional<RowPass>> passes(later);
    shareOut(threads, later + 1, [&](std::size_t k) {
        if (k == 0) {
            readPiece(lines, body.offset, cuts.front(), first);
        } else {
            passes[k - 1] = readLaterPiece(lines, body, cuts[k - 1], k < later ? cuts[k] : body.end);
        }
    });

    // A later piece's track candidates are found once the rows before it are counted.
    std::vector<std::int64_t> rowsBefore(later);
    std::int64_t rows = first.acceptedRows();
    for (std::size_t k = 0; k < later; ++k) {
        rowsBefore[k] = rows;
        rows += passes[k]->acceptedRows();
    }
    shareOut(threads, later,
             [&](std::size_t k) { passes[k]->setCandidates(findCandidates(lines, body, *passes[k], rowsBefore[k])); });
    for (std::optional<RowPass>& pass : passes) first.append(std::move(*pass));
    return first;
}

template RowPass readBody(SpanLines&, const Body&, std::span<const std::int64_t>, unsigned);
template RowPass readBody(FileLines&, const Body&, std::span<const std::int64_t>, unsigned);

}  // namespace zaro::ZaroSessionParser::detail
