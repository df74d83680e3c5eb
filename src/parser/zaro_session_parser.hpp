// Session file bytes to a ZaroSession, or a ParseError.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "parse_error.hpp"
#include "zaro_session.hpp"

namespace zaro::ZaroSessionParser {

/// The largest file `parseFile` accepts, in bytes.
inline constexpr std::int64_t maxPreviewBytes = 64 * 1024 * 1024;

/// Parses the bytes of a session file of any length. Throws ParseError.
ZaroSession parse(std::string_view data, std::string fileName);

/// Reads a regular file of at most `maxPreviewBytes` and parses it, with the file's name (extension
/// included) as `fileName`. Throws ParseError, or std::system_error with the system's text when the
/// file cannot be opened or read.
ZaroSession parseFile(const std::filesystem::path& path);

}  // namespace zaro::ZaroSessionParser
