// The rows of a log whose rows stand alone, folded on several threads at once: the body is cut at line
// boundaries into one piece per processor, each piece folded into a builder of its own, and the builders
// joined in order into the one the rows would make in one piece.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <type_traits>
#include <vector>

#include "base/background.hpp"
#include "delimited.hpp"
#include "session_builder.hpp"

namespace zaro::formats {

/// Where the pieces of [bodyOffset, end) begin after the first: at line starts, about evenly, one per
/// 2 MiB and at most one per thread (`threads` 0: one per processor the process may run on).
std::vector<std::int64_t> pieceStarts(std::string_view text, std::size_t bodyOffset, unsigned threads);

/// A row reader that fills the sample it is handed, every field of it, and says whether the line had
/// one: it spares the copy of a sample a row that returning one costs.
template <typename ReadRow>
concept FillsSample = std::is_invocable_r_v<bool, ReadRow&, std::string_view, Sample&>;

namespace detail {

template <typename ReadRow>
void foldPiece(std::string_view text, std::size_t from, std::size_t until, ReadRow& readRow, SessionBuilder& builder)
{
    Lines lines(text.substr(0, until), from);
    std::string_view line;
    if constexpr (FillsSample<ReadRow>) {
        Sample sample;
        for (std::size_t begin = from; lines.next(line); begin = lines.offset()) {
            if (readRow(line, sample)) builder.add(sample, static_cast<std::int64_t>(begin));
        }
    } else {
        for (std::size_t begin = from; lines.next(line); begin = lines.offset()) {
            if (const std::optional<Sample> sample = readRow(line)) builder.add(*sample, static_cast<std::int64_t>(begin));
        }
    }
}

template <typename ReadRow>
std::optional<Sample> sampleOf(ReadRow& readRow, std::string_view line)
{
    if constexpr (FillsSample<ReadRow>) {
        Sample sample;
        return readRow(line, sample) ? std::optional(sample) : std::nullopt;
    } else {
        return readRow(line);
    }
}

}  // namespace detail

/// Folds every row of `text` from `bodyOffset` on into `builder`, a builder from the body's start.
/// `readRow` turns a line into a sample, or none (or fills one: FillsSample); it must not depend on
/// the lines before it. It reads the rows before the first cut itself; each later piece is read on a
/// thread of its own by a copy of it, made before any piece starts, so that a reader may keep what
/// rows repeat (the last unit read, say) and note what it met. The copies come back in the pieces'
/// order, for what they noted.
template <typename ReadRow>
std::vector<std::remove_cvref_t<ReadRow>> foldRows(std::string_view text, std::size_t bodyOffset, ReadRow&& readRow,
                                                   SessionBuilder& builder, unsigned threads)
{
    std::vector<std::remove_cvref_t<ReadRow>> readers;
    const std::vector<std::int64_t> starts = pieceStarts(text, bodyOffset, threads);
    if (starts.empty()) {
        detail::foldPiece(text, bodyOffset, text.size(), readRow, builder);
        return readers;
    }
    const auto endOf = [&](std::size_t i) { return i + 1 < starts.size() ? static_cast<std::size_t>(starts[i + 1]) : text.size(); };
    readers.reserve(starts.size());
    for (std::size_t i = 0; i < starts.size(); ++i) readers.push_back(readRow);
    std::vector<std::optional<SessionBuilder>> pieces(starts.size());
    {
        std::vector<std::unique_ptr<Background>> later;
        later.reserve(starts.size());
        for (std::size_t i = 0; i < starts.size(); ++i) {
            later.push_back(std::make_unique<Background>([&, i] {
                pieces[i].emplace(builder.rowBytes(), false);
                detail::foldPiece(text, static_cast<std::size_t>(starts[i]), endOf(i), readers[i], *pieces[i]);
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
                const std::optional<Sample> sample = detail::sampleOf(readers[i], line);
                if (sample && SessionBuilder::isFix(*sample) && skip-- == 0) {
                    candidates.push_back({sample->lat, sample->lon});
                    break;
                }
            }
        }
        piece.setCandidates(std::move(candidates));
        builder.append(std::move(piece));
    }
    return readers;
}

}  // namespace zaro::formats
