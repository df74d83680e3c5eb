#include <algorithm>
#include <cctype>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <locale.h>

#include "base/c_handle.hpp"
#include "base/unicode.hpp"
#include "fields.hpp"

namespace zaro::ZaroSessionParser::detail {

namespace {

// strtod in the C locale, for the rare literals the fast reader leaves to it (results out of the
// finite range, which strtod rounds to infinity or to zero and denormals).
std::optional<double> readNumberSlowly(std::string_view field)
{
    const CHandle<std::remove_pointer_t<locale_t>, freelocale> c(newlocale(LC_ALL_MASK, "C", nullptr));
    if (!c) return std::nullopt;
    const std::string text(field);
    char* end = nullptr;
    const double value = strtod_l(text.c_str(), &end, c.get());
    if (end != text.c_str() + text.size()) return std::nullopt;
    return value;
}


char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool containsIgnoringAsciiCase(std::string_view haystack, std::string_view lowerNeedle)
{
    if (haystack.size() < lowerNeedle.size()) return false;
    for (std::size_t i = 0; i + lowerNeedle.size() <= haystack.size(); ++i) {
        std::size_t k = 0;
        while (k < lowerNeedle.size() && asciiLower(haystack[i + k]) == lowerNeedle[k]) ++k;
        if (k == lowerNeedle.size()) return true;
    }
    return false;
}

}  // namespace

// Lower-casing outside ASCII can change lengths (I WITH DOT ABOVE becomes two code points), so such
// texts are lower-cased whole before comparing.
bool equalsIgnoringCase(std::string_view field, std::string_view lowerWord)
{
    // Lower-casing makes a code point at most three times shorter in bytes.
    if (field.size() > 3 * lowerWord.size()) return false;
    if (!text::isAscii(field)) return text::toLower(field) == lowerWord;
    return field.size() == lowerWord.size()
        && std::equal(field.begin(), field.end(), lowerWord.begin(), [](char a, char b) { return asciiLower(a) == b; });
}

bool containsIgnoringCase(std::string_view text, std::string_view lowerWord)
{
    if (!text::isAscii(text)) return text::lowerCaseContains(text, lowerWord);
    return containsIgnoringAsciiCase(text, lowerWord);
}

std::size_t nextComma(std::string_view line, std::size_t from)
{
    for (std::size_t i = from;; ++i) {
        i = line.find(',', i);
        if (i == std::string_view::npos) return line.size();
        if (text::isStandaloneAscii(line, i)) return i;
    }
}

CsvFields::CsvFields(std::string_view line) : line_(line), quoted_(line.find('"') != std::string_view::npos) {}

bool CsvFields::next(std::string_view& field)
{
    if (done_) return false;
    if (!quoted_) {
        const std::size_t end = nextComma(line_, position_);
        field = text::trimWhitespace(line_.substr(position_, end - position_));
        done_ = end >= line_.size();
        position_ = end + 1;
        return true;
    }

    // Quotes open and close quoted stretches anywhere in a field; a doubled quote inside one stands
    // for itself. Quotes and commas fused with a combining mark are ordinary characters.
    scratch_.clear();
    bool inQuotes = false;
    std::size_t i = position_;
    for (;;) {
        const std::size_t k = line_.find_first_of(",\"", i);
        if (k == std::string_view::npos) break;
        scratch_.append(line_.substr(i, k - i));
        i = k + 1;
        if (!text::isStandaloneAscii(line_, k)) {
            scratch_.push_back(line_[k]);
        } else if (line_[k] == '"') {
            if (inQuotes && i < line_.size() && line_[i] == '"' && text::isStandaloneAscii(line_, i)) {
                scratch_.push_back('"');
                ++i;
            } else {
                inQuotes = !inQuotes;
            }
        } else if (inQuotes) {
            scratch_.push_back(',');
        } else {
            field = text::trimWhitespace(scratch_);
            position_ = i;
            return true;
        }
    }
    scratch_.append(line_.substr(std::min(i, line_.size())));
    field = text::trimWhitespace(scratch_);
    done_ = true;
    return true;
}

std::vector<std::string> splitCsvLine(std::string_view line)
{
    std::vector<std::string> fields;
    CsvFields reader(line);
    std::string_view field;
    while (reader.next(field)) fields.emplace_back(field);
    return fields;
}

std::optional<std::string_view> csvValue(std::string_view line, std::int64_t at)
{
    if (at < 0) return std::nullopt;
    std::size_t begin = 0;
    for (std::int64_t field = 0;; ++field) {
        const std::size_t end = nextComma(line, begin);
        if (field == at) {
            const std::string_view value = text::trimWhitespace(line.substr(begin, end - begin));
            if (value.empty()) return std::nullopt;
            return value;
        }
        if (end >= line.size()) return std::nullopt;
        begin = end + 1;
    }
}

}  // namespace zaro::ZaroSessionParser::detail

namespace zaro::ZaroSessionParser {

std::optional<double> readAnyNumber(std::string_view field)
{
    if (field.empty()) return std::nullopt;
    // strtod would skip leading white space; a field that has any does not read.
    switch (field.front()) {
    case ' ': case '\t': case '\n': case '\v': case '\f': case '\r': case '\0':
        return std::nullopt;
    default:
        break;
    }
    const char* p = field.data();
    const char* const end = p + field.size();
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    // from_chars takes a minus sign of its own; strtod takes only one sign.
    if (p == end || *p == '+' || *p == '-') return std::nullopt;

    double value = 0;
    std::from_chars_result result{};
    if (end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        // Without a hex digit or point after "0x" strtod reads the "0" alone, leaving the "x".
        const char first = end - p > 2 ? p[2] : '\0';
        if (!std::isxdigit(static_cast<unsigned char>(first)) && first != '.') return std::nullopt;
        result = std::from_chars(p + 2, end, value, std::chars_format::hex);
    } else {
        result = std::from_chars(p, end, value);
    }
    if (result.ec == std::errc::result_out_of_range && result.ptr == end) return detail::readNumberSlowly(field);
    if (result.ec != std::errc() || result.ptr != end) return std::nullopt;
    return negative ? -value : value;
}

std::optional<std::int64_t> readInteger(std::string_view field)
{
    std::string_view digits = field;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) digits.remove_prefix(1);
    if (digits.empty()) return std::nullopt;
    std::uint64_t small = 0;  // wraps past 19 digits, but is then not used
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        small = small * 10 + static_cast<unsigned>(c - '0');
    }
    // Up to 18 digits, the usual case, always fit.
    if (digits.size() <= 18) return field.front() == '-' ? -static_cast<std::int64_t>(small) : static_cast<std::int64_t>(small);
    // from_chars reads a minus sign but not a plus sign.
    const char* const begin = field.front() == '+' ? field.data() + 1 : field.data();
    std::int64_t value = 0;
    const auto result = std::from_chars(begin, field.data() + field.size(), value);
    if (result.ec != std::errc()) return std::nullopt;
    return value;
}

}  // namespace zaro::ZaroSessionParser
