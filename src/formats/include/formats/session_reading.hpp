// A session from any file we can read: ZARO, RaceBox and plain track CSV as the parse reads them, and
// the exports of other lap timers and GPS loggers, each by a reader of its own.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "model/zaro_session.hpp"
#include "parser/parse_error.hpp"
#include "parser/zaro_session_parser.hpp"

namespace zaro::formats {

/// The session in a file's bytes. The parse comes first, and a file it accepts is read by it alone;
/// a file it rejects as of an unknown format or without the required columns goes to the reader
/// whose signature it bears. Throws the parse's ParseError when no reader recognises the file, and
/// a reader's ParseError (no GPS rows, say) when it recognises the file but cannot read it.
ZaroSession readSession(std::string_view data, std::string fileName, unsigned threads = 0);

/// readSession of a regular file of at most `ZaroSessionParser::maxPreviewBytes`, named after the
/// file. Throws ParseError, or std::system_error with the system's text when the file cannot be
/// opened or read. With `statistics` none, a file the parse reads may come back without them (see
/// ZaroSessionParser::Statistics); the readers work them out anyway.
ZaroSession readSessionFile(const std::filesystem::path& path, unsigned threads = 0,
                            ZaroSessionParser::Statistics statistics = ZaroSessionParser::Statistics::all);

/// readSessionFile, the file mapped into memory rather than read: its bytes are not copied, and the
/// readers read them in place; read as readSessionFile does when it cannot be mapped. A file that
/// shrinks while it is read ends the process with SIGBUS, so only a process that may end so (a
/// reading child) reads this way.
ZaroSession readMappedSessionFile(const std::filesystem::path& path, unsigned threads = 0,
                                  ZaroSessionParser::Statistics statistics = ZaroSessionParser::Statistics::all);

/// Whether the first bytes of a file are a session file's: the parse's test, or a reader's
/// signature. `head` is the whole file when `complete`.
bool isSessionHead(std::string_view head, bool complete);

/// isSessionHead of the first `ZaroSessionParser::sessionHeadBytes` of the regular file at `path`.
/// Throws std::system_error when it cannot be opened or read, or is no regular file.
bool isSessionFile(const std::filesystem::path& path);

}  // namespace zaro::formats
