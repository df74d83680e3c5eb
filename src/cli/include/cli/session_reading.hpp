// Reading one session file, or standard input, into a session or the reason there is none.
#pragma once

#include <cstdint>
#include <filesystem>
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

using SessionOrFailure = std::variant<ZaroSession, FileFailure>;

/// The FILE operand that stands for standard input, and the name its session and failures go by.
inline constexpr std::string_view standardInputOperand = "-";
inline constexpr std::string_view standardInputName = "standard input";

/// The session in the file at `path`, or why there is none; never throws for a bad or unreadable file.
/// A large file is parsed on up to `threads` threads (0: one per processor).
SessionOrFailure readSession(const std::filesystem::path& path, unsigned threads = 0);

/// The session on standard input, read to its end but refused as too large past the file limit.
SessionOrFailure readStandardInput();

}  // namespace zaro::cli
