// A streaming JSON writer: tokens on one line, to a stream or a string, through a bounded buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace zaro::json {

/// Writes JSON token by token on one line, to a stream or to a string. A finished top-level value
/// is handed on at once; inside one, the text goes out whenever the buffer is full.
class Writer {
public:
    explicit Writer(std::ostream& out);
    explicit Writer(std::string& out);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    /// Opens an object; its members are written as key() followed by one value.
    void beginObject();
    /// Closes the innermost object. Closing what is not open (no scope, or an array) is refused: an
    /// assertion in a debug build, nothing written in any other.
    void endObject();
    /// Opens an array.
    void beginArray();
    /// Closes the innermost array; refused as endObject() refuses.
    void endArray();
    /// Names the next member of the current object.
    void key(std::string_view name);
    /// A string, escaped; ill-formed UTF-8 is written with U+FFFD in place of each bad sequence.
    void string(std::string_view text);
    /// Opens a string that is written in parts, for a text too long to hold at once.
    void beginString();
    /// The next part of the open string, escaped and repaired as `string` does it, on its own: a part
    /// must not end inside a UTF-8 sequence.
    void stringPart(std::string_view text);
    /// Closes the string.
    void endString();
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
    /// Hands everything written so far on.
    void flush();

private:
    static constexpr std::size_t bufferBytes = 64 * 1024;

    // The few steps of every token, here so that they are inlined.
    void beforeValue()
    {
        if (afterKey_) {
            afterKey_ = false;
        } else if (!first_) {
            put(", ");
        }
        first_ = false;
    }
    void put(char c)
    {
        reserve(1);
        buffer_[used_++] = c;
    }
    void put(std::string_view text)
    {
        if (text.size() > bufferBytes - used_) return putInRuns(text);
        std::memcpy(buffer_.get() + used_, text.data(), text.size());
        used_ += text.size();
    }
    // Makes room for `bytes` more in the buffer, which must not be more than it holds.
    void reserve(std::size_t bytes)
    {
        if (bufferBytes - used_ < bytes) flush();
    }

    void afterValue();
    void open(char bracket);
    void close(char bracket);
    void putInRuns(std::string_view text);
    void writeEscaped(std::string_view text);

    std::ostream* stream_ = nullptr;
    std::string* text_ = nullptr;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
    struct Scope {
        char closer;  // '}' or ']'
        bool first;   // whether the scope still awaited its first member when the next one opened
    };
    std::vector<Scope> enclosing_;
    bool first_ = true;  // whether the innermost scope awaits its first member
    bool afterKey_ = false;
};

}  // namespace zaro::json
