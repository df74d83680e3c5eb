// Output files that appear whole or not at all.
#pragma once

#include <filesystem>
#include <span>

namespace zaro {

/// Writes `bytes` to `path` whole or not at all, replacing a file that is there; throws
/// std::system_error with the system's text.
//
// The bytes go to an unnamed temporary file in the same folder, are flushed to disk, and only then
// get the name: a failure or a kill at any point leaves no partial and no temporary file behind.
// Where the file system has no unnamed files, a named temporary file stands in (see below).
void writeFileAtomically(const std::filesystem::path& path, std::span<const unsigned char> bytes);

/// Writes through a named temporary file ".NAME.XXXXXX" in the same folder, removed on every
/// failure, then renamed over `path`; a kill during the write leaves that file behind.
void writeFileThroughNamedTemporary(const std::filesystem::path& path, std::span<const unsigned char> bytes);

}  // namespace zaro
