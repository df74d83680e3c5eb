// The `summary` command: reading session files and printing what the card shows, as text or JSON.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "model/zaro_session.hpp"
#include "parser/parse_error.hpp"

namespace zaro::cli {

/// Why a file gave no session: a parse error's case, or `io` for a file that could not be read.
struct FileFailure {
    enum class Kind : std::uint8_t {
        empty,
        tooLarge,
        missingColumns,
        missingTelemetry,
        unsupportedFormat,
        io,
    };

    /// "empty", "tooLarge", "missingColumns", "missingTelemetry", "unsupportedFormat" or "io".
    static std::string_view rawValue(Kind kind);
    /// The failure that a parse error stands for, with its sentence and missing columns.
    static FileFailure from(const ParseError& error);

    Kind kind = Kind::io;
    std::string message;
    std::vector<std::string> columns;  // the missing columns, for `missingColumns`

    friend bool operator==(const FileFailure&, const FileFailure&) = default;
};

enum class OutputMode : std::uint8_t { text, json };

/// The session in the file at `path`, or why there is none; never throws for a bad or unreadable file.
std::variant<ZaroSession, FileFailure> readSession(const std::filesystem::path& path);

/// The text summary: title, file and source, start time, the six statistics and every completed lap.
void writeSummary(std::ostream& out, const ZaroSession& session);

/// Summarises each file to `out` (failures: "FILE: message" to `err`, or error objects); exit status 0 or 1.
int summarizeFiles(std::span<const std::string> files, OutputMode mode, std::ostream& out, std::ostream& err);

}  // namespace zaro::cli
