// A session file's reading as bytes, so that a process of its own can read the file and hand the
// outcome over: the session, or what kept it from being read.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "model/zaro_session.hpp"
#include "parser/zaro_session_parser.hpp"

namespace zaro::formats {

/// What of a session its reader uses: the session with the rest dropped.
using SessionPart = std::function<ZaroSession(ZaroSession)>;

/// The outcome of readMappedSessionFile(path, 0, statistics), packed: the session, only the part
/// `part` keeps when given, or the failure the reading threw (ParseError, std::system_error,
/// std::bad_alloc, or any other exception's text). Never throws what the reading threw. For a reading
/// child, as the file is mapped (a file that shrinks meanwhile ends the process with SIGBUS).
std::string packedSessionReading(const std::filesystem::path& path, const SessionPart& part = {},
                                 ZaroSessionParser::Statistics statistics = ZaroSessionParser::Statistics::all);

/// The session packed by packedSessionReading, or its failure thrown again: a ParseError of the same
/// kind and columns, a std::system_error with the same code and text, std::bad_alloc, or a
/// std::runtime_error with the text of any other. Bytes that are no such outcome (cut short, say)
/// throw std::runtime_error, "The file's reading came back damaged."; nothing in them is trusted
/// beyond its bounds.
ZaroSession unpackSessionReading(std::string_view packed);

}  // namespace zaro::formats
