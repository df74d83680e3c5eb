// Session file bytes to a ZaroSession, or a ParseError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "model/zaro_session.hpp"
#include "parser/parse_error.hpp"

namespace zaro::ZaroSessionParser {

/// The largest file `parseFile` accepts, in bytes.
inline constexpr std::int64_t maxPreviewBytes = 64 * 1024 * 1024;

/// What a parse works out beyond the session's trace, laps and texts. The fewer, the faster the rows
/// are read: fields no statistic needs are not even looked at.
enum class Statistics : std::uint8_t {
    all,   // the distance, speeds, accelerations and lean as well
    card,  // the distance and the top speed, which a preview card shows; the rest left empty
    none,  // none of those, left zero and empty, for a reader that shows none of them
};

/// Parses the bytes of a session file of any length, working out `statistics`. Throws ParseError. A
/// large file's rows are read in pieces on up to `threads` threads at once (0: one per processor the
/// process may run on).
ZaroSession parse(std::string_view data, std::string fileName, unsigned threads = 0,
                  Statistics statistics = Statistics::all);

/// Reads a regular file of at most `maxPreviewBytes` and parses it, with the file's name (extension
/// included) as `fileName`, on up to `threads` threads as `parse` does, working out `statistics`.
/// Throws ParseError, or std::system_error with the system's text when the file cannot be opened or read.
ZaroSession parseFile(const std::filesystem::path& path, unsigned threads = 0, Statistics statistics = Statistics::all);

/// How much of a file's start `isSessionFile` reads: room for a preamble of thousands of laps.
inline constexpr std::size_t sessionHeadBytes = 1024 * 1024;

/// Returns when the first bytes of a file have what a session file needs before its rows: content,
/// a header row, an accepted format and the required columns. Otherwise throws the ParseError that
/// `parse` would (empty, unsupportedFormat or missingColumns). `head` is the whole file when
/// `complete`; else its last, unfinished line is not looked at, and a head that is all preamble with
/// an accepted format, its header row further on, is taken as a session file's.
void checkFormat(std::string_view head, bool complete);

/// Whether the regular file at `path` begins as a session file, by `checkFormat` of its first
/// `sessionHeadBytes`. Throws std::system_error when it cannot be opened or read, or is no regular file.
bool isSessionFile(const std::filesystem::path& path);

}  // namespace zaro::ZaroSessionParser
