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

}  // namespace

unsigned threadCount(unsigned threads)
{
    if (threads != 0) return threads;
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) return static_cast<unsigned>(std::max(1, CPU_COUNT(&allowed)));
    return std::max(1U, std::thread::hardware_concurrency());
}

std::vector<std::int64_t> evenCuts(std::int64_t bodyOffset, std::int64_t end, unsigned threads)
{
    constexpr std::int64_t mostPieces = 64;
    const std::int64_t bytes = end - bodyOffset;
    const std::int64_t count = threadCount(threads);
    const std::int64_t pieces = count == 1 ? 1
                                           : std::max(std::min(count, bytes / minimumPieceBytes),
                                                      std::min(bytes / preferredPieceBytes, mostPieces));
    std::vector<std::int64_t> cuts;
    for (std::int64_t i = 1; i < pieces; ++i) cuts.push_back(bodyOffset + bytes / pieces * i);
    return cuts;
}

template <typename Lines>
RowPass readBody(Lines& lines, const Body& body, std::span<const std::int64_t> cuts, unsigned threads)
{
    RowPass first(body.columns, body.inferLaps, body.end - body.offset, true, body.statistics);
    if (cuts.empty()) {
        readPiece(lines, body.offset, body.end, first);
        return first;
    }

    // Piece 0 is the first pass's, piece k > 0 that of passes[k - 1]. Each thread takes the next piece
    // nobody has as it finishes one; the first failure in file order is the one thrown, once every
    // piece is done.
    const std::size_t later = cuts.size();
    std::vector<std::optional<RowPass>> passes(later);
    std::vector<std::exception_ptr> failures(later + 1);
    std::atomic<std::size_t> next = 0;
    const auto work = [&] {
        for (std::size_t k; (k = next.fetch_add(1)) <= later;) {
            try {
                if (k == 0) {
                    readPiece(lines, body.offset, cuts.front(), first);
                } else {
                    passes[k - 1] = readLaterPiece(lines, body, cuts[k - 1], k < later ? cuts[k] : body.end);
                }
            } catch (...) {
                failures[k] = std::current_exception();
            }
        }
    };
    {
        // A thread that cannot be had leaves its share to the others, this one at least.
        std::list<Background> helpers;
        const std::size_t helperCount = std::min<std::size_t>(threadCount(threads), later + 1) - 1;
        for (std::size_t i = 0; i < helperCount; ++i) helpers.emplace_back(work);
        work();
        for (Background& helper : helpers) helper.wait();
    }
    for (const std::exception_ptr& failure : failures) {
        if (failure) std::rethrow_exception(failure);
    }

    for (std::optional<RowPass>& pass : passes) {
        pass->setCandidates(findCandidates(lines, body, *pass, first.acceptedRows()));
        first.append(std::move(*pass));
    }
    return first;
}

template RowPass readBody(SpanLines&, const Body&, std::span<const std::int64_t>, unsigned);
template RowPass readBody(FileLines&, const Body&, std::span<const std::int64_t>, unsigned);

}  // namespace zaro::ZaroSessionParser::detail
