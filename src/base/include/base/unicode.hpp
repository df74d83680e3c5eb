// Unicode text helpers over UTF-8 strings, on libutf8proc, with ASCII fast paths.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zaro::text {

/// Tab, or a space separator (General Category Zs). Never a line feed or carriage return.
bool isWhitespace(char32_t c);

/// `s` without leading and trailing whitespace beyond ASCII blanks; for trimWhitespace.
std::string_view trimUnicodeWhitespace(std::string_view s);

/// `s` without leading and trailing whitespace. `s` must be well-formed UTF-8.
inline std::string_view trimWhitespace(std::string_view s)
{
    // Most texts begin and end with a printable ASCII character (0x21 to 0x7E), which is no white space.
    const auto printable = [](char c) { return static_cast<unsigned char>(c - 0x21) < 0x5E; };
    if (!s.empty() && printable(s.front()) && printable(s.back())) return s;
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    // Only a non-ASCII byte left at an end can be more white space.
    if (!s.empty() && ((static_cast<unsigned char>(s.front()) | static_cast<unsigned char>(s.back())) & 0x80)) {
        return trimUnicodeWhitespace(s);
    }
    return s;
}

/// Whether every byte is below 0x80.
bool isAscii(std::string_view s);

/// Whether `bytes` is well-formed UTF-8.
bool isValidUtf8(std::string_view bytes);

/// Appends `bytes` to `out` as UTF-8, replacing each maximal ill-formed subpart by U+FFFD.
void appendUtf8Lossy(std::string_view bytes, std::string& out);

/// Appends `text` as it may be shown on a terminal: ill-formed UTF-8 repaired, and every control
/// character (C0, DEL and C1), which a terminal could act on, shown as U+FFFD.
void appendPrintable(std::string& out, std::string_view text);

/// Unicode lower case (full case mapping) of well-formed UTF-8.
std::string toLower(std::string_view s);

/// Unicode upper case of well-formed UTF-8.
std::string toUpper(std::string_view s);

/// Whether two well-formed UTF-8 texts are canonically equivalent.
bool canonicallyEqual(std::string_view a, std::string_view b);

/// Decodes the code point starting at `s[i]` of well-formed UTF-8; `length` receives its byte count.
char32_t decodeAt(std::string_view s, std::size_t i, std::size_t& length);

/// Whether the ASCII character `s[i]` is a user-perceived character of its own: no combining mark
/// or other extender after it joins it to the next code point, and nothing before binds to it.
bool isStandaloneAscii(std::string_view s, std::size_t i);

/// Whether the lower case of `s` contains `lowerWord`, a lower-case ASCII word. Needs no copy of `s`.
bool lowerCaseContains(std::string_view s, std::string_view lowerWord);

/// Walks the extended grapheme clusters of well-formed UTF-8 text.
class GraphemeCursor {
public:
    explicit GraphemeCursor(std::string_view s) : s_(s) {}
    /// Byte offset one past the cluster that starts at `begin` (a previous result, or 0).
    std::size_t next(std::size_t begin);

private:
    std::string_view s_;
    int state_ = 0;
};

}  // namespace zaro::text
