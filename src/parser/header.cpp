#include "header.hpp"

#include <algorithm>

#include <utf8proc.h>

#include "base/unicode.hpp"
#include "fields.hpp"

namespace zaro::ZaroSessionParser::detail {

namespace {

struct Alias {
    std::string_view name;  // lower case
    std::string_view key;
};

constexpr std::array<Alias, 14> aliases = {{
    {"time_ms", "Record"},
    {"itow", "Time"},
    {"lat_deg", "Latitude"},
    {"lon_deg", "Longitude"},
    {"alt_m", "Altitude"},
    {"speed_kph", "Speed"},
    {"gx", "GForceX"},
    {"gy", "GForceY"},
    {"gz", "GForceZ"},
    {"lean_deg", "LeanAngle"},
    {"lap #", "Lap"},
    {"lean angle", "LeanAngle"},
    {"longitudinal acceleration", "GForceX"},
    {"lateral acceleration", "GForceY"},
}};

// White space as the header-name patterns see it: tab, line feed, form feed, carriage return and
// the Unicode separators (space, line, paragraph).
bool isPatternSpace(char32_t c)
{
    if (c == U'\t' || c == U'\n' || c == U'\f' || c == U'\r' || c == U' ') return true;
    if (c < 0x80) return false;
    const auto category = utf8proc_category(static_cast<utf8proc_int32_t>(c));
    return category == UTF8PROC_CATEGORY_ZS || category == UTF8PROC_CATEGORY_ZL
        || category == UTF8PROC_CATEGORY_ZP;
}

// Start of the code point that ends just before `end`.
std::size_t previousCodePoint(std::string_view s, std::size_t end)
{
    std::size_t start = end - 1;
    while (start > 0 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80 && end - start < 4) --start;
    return start;
}

// The start of the run of pattern white space that ends at `end`.
std::size_t skipSpaceBackwards(std::string_view s, std::size_t end)
{
    while (end > 0) {
        const std::size_t start = previousCodePoint(s, end);
        std::size_t length = 0;
        if (!isPatternSpace(text::decodeAt(s, start, length))) break;
        end = start;
    }
    return end;
}

// Removes a trailing marker such as " *calc": white space, an asterisk, calc, acc or gyro, then
// optional white space up to the end.
std::string_view withoutMarker(std::string_view s)
{
    const std::size_t wordEnd = skipSpaceBackwards(s, s.size());
    const std::string_view head = s.substr(0, wordEnd);
    for (const std::string_view word : {"calc", "acc", "gyro"}) {
        if (!head.ends_with(word)) continue;
        const std::size_t star = wordEnd - word.size();
        if (star == 0 || s[star - 1] != '*') return s;
        const std::size_t spaceStart = skipSpaceBackwards(s, star - 1);
        if (spaceStart == star - 1) return s;
        return s.substr(0, spaceStart);
    }
    return s;
}

// Removes a trailing unit such as " (km/h)": the last parenthesised group, when only white space
// follows it, with the white space around it.
std::string_view withoutUnit(std::string_view s)
{
    const std::size_t closeEnd = skipSpaceBackwards(s, s.size());
    if (closeEnd == 0 || s[closeEnd - 1] != ')') return s;
    const std::size_t close = closeEnd - 1;
    const std::size_t previousClose = s.substr(0, close).rfind(')');
    const std::size_t searchFrom = previousClose == std::string_view::npos ? 0 : previousClose + 1;
    const std::size_t open = s.find('(', searchFrom);
    if (open == std::string_view::npos || open >= close) return s;
    return s.substr(0, skipSpaceBackwards(s, open));
}

std::string lowerCase(std::string_view s)
{
    if (!text::isAscii(s)) return text::toLower(s);
    std::string lower(s);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    }
    return lower;
}

}  // namespace

std::string normalizeColumnName(std::string_view field)
{
    const std::string_view name = text::trimWhitespace(withoutUnit(withoutMarker(text::trimWhitespace(field))));
    const std::string lower = lowerCase(name);
    for (const Alias& alias : aliases) {
        if (alias.name == lower) return std::string(alias.key);
    }
    return std::string(name);
}

bool isHeaderRow(std::string_view line)
{
    return containsIgnoringCase(line, "latitude") && containsIgnoringCase(line, "longitude")
        && containsIgnoringCase(line, "time");
}

ColumnMap mapColumns(std::string_view headerLine)
{
    ColumnMap map;
    CsvFields fields(headerLine);
    std::string_view field;
    for (std::int64_t position = 0; fields.next(field); ++position) {
        if (field.empty()) continue;  // an empty name is no column anything reads
        const std::string key = normalizeColumnName(field);
        const auto found = std::find(columnKeys.begin(), columnKeys.end(), key);
        if (found == columnKeys.end()) continue;
        auto& slot = map.positions[static_cast<std::size_t>(found - columnKeys.begin())];
        if (slot) continue;
        slot = position;
        if (*found == "Speed") map.speedColumn = field;
    }
    return map;
}

void Metadata::set(std::string_view key, std::string_view value)
{
    std::optional<std::string>* slot = nullptr;
    if (key == "Format") slot = &format;
    else if (key == "Track") slot = &track;
    else if (key == "Track name") slot = &trackName;
    else if (key == "Configuration") slot = &configuration;
    else if (key == "Session Type") slot = &sessionType;
    else if (key == "Session type") slot = &sessionTypeAlt;
    else if (key == "Data Source") slot = &dataSource;
    else if (key == "Date UTC") slot = &dateUtc;
    else if (key == "Laps") slot = &laps;
    else if (key == "Best Lap Time") slot = &bestLapTime;
    if (slot) *slot = std::string(value);
}

void readMetadataLine(std::string_view line, Metadata& metadata)
{
    constexpr std::size_t longestKey = 13;  // "Best Lap Time"
    CsvFields fields(line);
    std::string_view field;
    fields.next(field);
    if (field.size() > longestKey) return;  // no key that anything reads
    const std::string key(field);
    if (fields.next(field)) metadata.set(key, field);
}

bool isRecognisedFormat(const Metadata& metadata)
{
    const std::string_view format = metadata.format ? std::string_view(*metadata.format) : std::string_view();
    return equalsIgnoringCase(format, "zaro csv") || equalsIgnoringCase(format, "racebox csv");
}

}  // namespace zaro::ZaroSessionParser::detail
