// JSON output: a streaming writer, and the session and failure objects the command line prints.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "model/zaro_session.hpp"
#include "summary.hpp"

namespace zaro::json {

/// Writes JSON token by token on one line, to a stream through a bounded buffer or to a string.
class Writer {
public:
    explicit Writer(std::ostream& out);
    explicit Writer(std::string& out);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    /// Opens an object; its members are written as key() followed by one value.
    void beginObject();
    /// Closes the innermost object.
    void endObject();
    /// Opens an array.
    void beginArray();
    /// Closes the innermost array.
    void endArray();
    /// Names the next member of the current object.
    void key(std::string_view name);
    /// A string, escaped; ill-formed UTF-8 is written with U+FFFD in place of each bad sequence.
    void string(std::string_view text);
    /// The text, or null.
    void optionalString(const std::optional<std::string>& text);
    /// Shortest round-trip digits; NaN and infinities as the strings "NaN", "Infinity", "-Infinity".
    void number(double value);
    /// The number, or null.
    void optionalNumber(std::optional<double> value);
    /// A JSON integer, exact over the whole 64-bit range.
    void integer(std::int64_t value);
    /// The integer, or null.
    void optionalInteger(std::optional<std::int64_t> value);
    /// The literal null.
    void null();
    /// Hands everything written so far to the stream.
    void flush();

private:
    void beforeValue();
    void afterValue();
    void open(char bracket);
    void close(char bracket);
    void writeString(std::string_view text);
    void writeEscaped(std::string_view text);

    std::ostream* stream_ = nullptr;
    std::string buffer_;
    std::string& out_;
    std::vector<bool> firstInScope_;  // one entry per open object or array
    bool afterKey_ = false;
};

/// The record's fields in their order, then the card's texts under "display" with every completed lap.
void writeSession(Writer& writer, const ZaroSession& session);

/// {"error": {"kind": ..., "message": ...}}, with "columns" for missing columns.
void writeFailure(Writer& writer, const cli::FileFailure& failure);

}  // namespace zaro::json
