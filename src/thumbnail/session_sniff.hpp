// Whether a file looks like a session log from its first lines, as a desktop's type sniffing would.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string_view>

namespace zaro {

/// How much of a file's start is looked at.
inline constexpr std::size_t sniffBytes = 16 * 1024;

/// True when a line of `head` is a "Format" line naming ZARO CSV or RaceBox CSV, or a header row
/// with latitude, longitude and time columns. UTF-8 and UTF-16 with a byte-order mark are read.
//
// `complete` says that `head` is the whole file; otherwise its last, unfinished line is not judged.
bool looksLikeSessionText(std::string_view head, bool complete);

/// Reads the first `sniffBytes` of the regular file at `path` and judges them; anything else (a
/// FIFO, a device) is no session file. Throws std::system_error when the file cannot be read.
bool looksLikeSessionFile(const std::filesystem::path& path);

}  // namespace zaro
