#include "delimited.hpp"

#include <array>
#include <cmath>
#include <cstring>

#include "base/unicode.hpp"
#include "parser/numbers.hpp"

namespace zaro::formats {

namespace {

bool isPad(char c) { return c == ' ' || c == '\t' || c == '\0' || c == '\r' || c == '\n'; }

// UTF-16 code units to UTF-8, unpaired surrogates as U+FFFD.
void appendUtf16(std::string_view bytes, bool bigEndian, std::string& out)
{
    const auto unit = [&](std::size_t i) {
        const auto hi = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
        const auto lo = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
        return static_cast<char32_t>(hi << 8 | lo);
    };
    const auto put = [&out](char32_t c) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | c >> 6));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | c >> 12));
            out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | c >> 18));
            out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    };
    out.reserve(bytes.size() * 3 / 2);
    const std::size_t end = bytes.size() & ~std::size_t{1};
    for (std::size_t i = 0; i < end; i += 2) {
        const char32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < end) {
            const char32_t low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                put(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        put(c >= 0xD800 && c < 0xE000 ? 0xFFFD : c);
    }
    if (end != bytes.size()) put(0xFFFD);  // an odd byte at the end
}

}  // namespace

bool Lines::next(std::string_view& line)
{
    if (at_ >= text_.size()) return false;
    const char* const begin = text_.data() + at_;
    const std::size_t left = text_.size() - at_;
    const auto* feed = static_cast<const char*>(std::memchr(begin, '\n', left));
    if (feed) {
        // A feed ends the line, and a carriage return before it is part of the line end.
        std::size_t length = static_cast<std::size_t>(feed - begin);
        at_ += length + 1;
        if (length > 0 && begin[length - 1] == '\r') --length;
        line = std::string_view(begin, length);
        return true;
    }
    // No feed in the rest: lines that end in a lone carriage return (old Mac files), or the last line.
    const auto* cr = static_cast<const char*>(std::memchr(begin, '\r', left));
    const std::size_t length = cr ? static_cast<std::size_t>(cr - begin) : left;
    at_ += length + (cr ? 1 : 0);
    line = std::string_view(begin, length);
    return true;
}

std::string_view trimField(std::string_view field)
{
    while (!field.empty() && isPad(field.front())) field.remove_prefix(1);
    while (!field.empty() && isPad(field.back())) field.remove_suffix(1);
    return field;
}

void splitFields(std::string_view line, char separator, std::vector<std::string_view>& fields, std::size_t maxFields)
{
    fields.clear();
    std::size_t begin = 0;
    while (true) {
        std::size_t at = begin;
        while (at < line.size() && isPad(line[at]) && line[at] != separator) ++at;
        if (at < line.size() && line[at] == '"') {
            const std::size_t open = at + 1;
            std::size_t close = open;
            while (true) {
                close = line.find('"', close);
                if (close == std::string_view::npos) {
                    close = line.size();  // unbalanced: the rest of the line
                    break;
                }
                if (close + 1 < line.size() && line[close + 1] == '"') {
                    close += 2;
                    continue;
                }
                break;
            }
            fields.push_back(trimField(line.substr(open, close - open)));
            if (fields.size() == maxFields) return;
            const std::size_t next = close < line.size() ? line.find(separator, close + 1) : std::string_view::npos;
            if (next == std::string_view::npos) return;
            begin = next + 1;
            continue;
        }
        const std::size_t next = line.find(separator, begin);
        fields.push_back(trimField(line.substr(begin, next == std::string_view::npos ? std::string_view::npos : next - begin)));
        if (next == std::string_view::npos || fields.size() == maxFields) return;
        begin = next + 1;
    }
}

char likelySeparator(std::string_view line)
{
    std::array<std::size_t, 3> counts{};
    bool quoted = false;
    for (const char c : line) {
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        counts[0] += c == ',';
        counts[1] += c == ';';
        counts[2] += c == '\t';
    }
    if (counts[1] > counts[0] && counts[1] >= counts[2]) return ';';
    if (counts[2] > counts[0] && counts[2] > counts[1]) return '\t';
    return ',';
}

std::optional<double> number(std::string_view field, bool decimalComma)
{
    if (field.empty()) return std::nullopt;
    if (decimalComma) {
        const std::size_t comma = field.find(',');
        if (comma != std::string_view::npos) {
            std::array<char, 64> copy{};
            if (field.size() > copy.size() || field.find(',', comma + 1) != std::string_view::npos) return std::nullopt;
            std::memcpy(copy.data(), field.data(), field.size());
            copy[comma] = '.';
            return ZaroSessionParser::readNumber(std::string_view(copy.data(), field.size()));
        }
    }
    return ZaroSessionParser::readNumber(field);
}

std::optional<Quantity> quantity(std::string_view field, bool decimalComma)
{
    if (auto whole = number(field, decimalComma)) return Quantity{*whole, {}};
    // The longest prefix of sign, digits, one point (or comma) and an exponent.
    std::size_t end = 0;
    if (end < field.size() && (field[end] == '-' || field[end] == '+')) ++end;
    const std::size_t digitsFrom = end;
    bool point = false;
    while (end < field.size()) {
        const char c = field[end];
        if (c >= '0' && c <= '9') {
            ++end;
        } else if (!point && (c == '.' || (decimalComma && c == ','))) {
            point = true;
            ++end;
        } else {
            break;
        }
    }
    if (end == digitsFrom || (end == digitsFrom + 1 && point)) return std::nullopt;
    const auto value = number(field.substr(0, end), decimalComma);
    if (!value) return std::nullopt;
    return Quantity{*value, trimField(field.substr(end))};
}

std::optional<std::int64_t> wholeNumber(std::string_view field)
{
    if (const auto integer = ZaroSessionParser::readInteger(field)) return integer;
    const auto value = ZaroSessionParser::readNumber(field);
    if (!value || *value != std::floor(*value) || std::fabs(*value) > 9e15) return std::nullopt;
    return static_cast<std::int64_t>(*value);
}

std::optional<std::int64_t> secondsToTicks(double seconds)
{
    if (!std::isfinite(seconds) || std::fabs(seconds) > 1e14) return std::nullopt;
    return std::llround(seconds * 10000);
}

// Where seconds since 1970 give way to milliseconds, microseconds and nanoseconds.
constexpr std::int64_t firstUnixSecond = 100'000'000;  // 1973
constexpr std::int64_t firstUnixMillisecond = 100'000'000'000;
constexpr std::int64_t firstUnixMicrosecond = 100'000'000'000'000;
constexpr std::int64_t firstUnixNanosecond = 100'000'000'000'000'000;

std::optional<std::int64_t> unixTicks(double value)
{
    if (!std::isfinite(value) || value < firstUnixSecond) return std::nullopt;
    if (value < firstUnixMillisecond) return secondsToTicks(value);
    if (value < firstUnixMicrosecond) return secondsToTicks(value / 1e3);
    if (value < firstUnixNanosecond) return secondsToTicks(value / 1e6);
    return secondsToTicks(value / 1e9);
}

std::optional<std::int64_t> wholeUnixTicks(std::int64_t value)
{
    const auto rounded = [](std::int64_t count, std::int64_t perTick) { return (count + perTick / 2) / perTick; };
    if (value < firstUnixSecond) return std::nullopt;
    if (value < firstUnixMillisecond) return value * 10'000;
    if (value < firstUnixMicrosecond) return value * 10;
    if (value < firstUnixNanosecond) return rounded(value, 100);
    return rounded(value, 100'000);
}

std::string_view decodeText(std::string_view raw, std::string& storage)
{
    if (hasUtf16Mark(raw)) {
        storage.clear();
        appendUtf16(raw.substr(2), raw[0] == '\xFE', storage);
        // UTF-16 text may still spell ill-formed sequences only through unpaired surrogates, which
        // became U+FFFD.
        return storage;
    }
    if (raw.starts_with("\xEF\xBB\xBF")) raw.remove_prefix(3);
    if (text::isValidUtf8(raw)) return raw;
    storage.clear();
    storage.reserve(raw.size() + raw.size() / 8);
    text::appendUtf8Lossy(raw, storage);
    return storage;
}

std::string columnKey(std::string_view name, std::string* unit)
{
    std::string key;
    key.reserve(name.size());
    if (unit) unit->clear();
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '(' || c == '[') {
            const std::size_t close = name.find(c == '(' ? ')' : ']', i);
            const std::string_view inside = name.substr(i + 1, close == std::string_view::npos ? std::string_view::npos : close - i - 1);
            if (unit) {
                for (const char u : trimField(inside)) unit->push_back(u >= 'A' && u <= 'Z' ? static_cast<char>(u + 32) : u);
            }
            if (close == std::string_view::npos) break;
            i = close;
            continue;
        }
        if (c == ' ' || c == '_' || c == '.' || c == '-' || c == '\t' || c == '"') continue;
        key.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c);
    }
    return key;
}

}  // namespace zaro::formats
