// The rows of a log whose rows stand alone, folded on several threads at once: the body is cut at line
// boundaries into one piece per processor, each piece folded into a builder of its own, and the builders
// joined in order into the one the rows would make in one piece.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "base/background.hpp"
#include "delimited.hpp"
#include "session_builder.hpp"

namespace zaro::formats {

/// Where the pieces of [bodyOffset, end) begin after the first: at line starts, about evenly, one per
/// 2 MiB and at most one per thread (`threads` 0: one per processor the process may run on).
std::vector<std::int64_t> pieceStarts(std::string_view text, std::size_t bodyOffset, unsigned threads);

namespace detail {

template <typename ReadRow>
void foldPiece(std::string_view text, std::size_t from, std::size_t until, const ReadRow& readRow, SessionBuilder& builder)
{
    Lines lines(text.substr(0, until), from);
    std::string_view line;
    for (std::size_t begin = from; lines.next(line); begin = lines.offset()) {
        if (const std::optional<Sample> sample = readRow(line)) builder.add(*sample, static_cast<std::int64_t>(begin));
    }
}

}  // namespace detail

/// Folds every row of `text` from `bodyOffset` on into `builder`, a builder from the body's start.
/// `readRow` turns a line into a sample, or none; it must not depend on the lines before it, and
/// is called from several threads at once.
template <typename ReadRow>
void foldRows(std::string_view text, std::size_t bodyOffset, const ReadRow& readRow, SessionBuilder& builder, unsigned threads)
{
    const std::vector<std::int64_t> starts = pieceStarts(text, bodyOffset, threads);
    if (starts.empty()) {
        detail::foldPiece(text, bodyOffset, text.size(), readRow, builder);
        return;
    }
    const auto endOf = [&](std::size_t i) { return i + 1 < starts.size() ? static_cast<std::size_t>(starts[i + 1]) : text.size(); };
    std::vector<std::optional<SessionBuilder>> pieces(starts.size());
    {
        std::vector<std::unique_ptr<Background>> later;
        later.reserve(starts.size());
        for (std::size_t i = 0; i < starts.size(); ++i) {
            later.push_back(std::make_unique<Background>([&, i] {
                pieces[i].emplace(builder.rowBytes(), false);
                detail::foldPiece(text, static_cast<std::size_t>(starts[i]), endOf(i), readRow, *pieces[i]);
            }));
        }
        detail::foldPiece(text, bodyOffset, static_cast<std::size_t>(starts.front()), readRow, builder);
        for (const auto& piece : later) piece->wait();
    }
    for (std::size_t i = 0; i < starts.size(); ++i) {
        SessionBuilder& piece = *pieces[i];
        std::vector<ZaroSessionPoint> candidates;
        for (const auto& lookup : piece.candidateLookups(builder.fixes(), static_cast<std::int64_t>(endOf(i)))) {
            Lines lines(text.substr(0, static_cast<std::size_t>(lookup.end)), static_cast<std::size_t>(lookup.from));
            std::string_view line;
            for (std::int64_t skip = lookup.skip; lines.next(line);) {
                const std::optional<Sample> sample = readRow(line);
                if (sample && SessionBuilder::isFix(*sample) && skip-- == 0) {
                    candidates.push_back({sample->lat, sample->lon});
                    break;
                }
            }
        }
        piece.setCandidates(std::move(candidates));
        builder.append(std::move(piece));
    }
}

}  // namespace zaro::formats
