// Racelogic VBOX .vbo files: a "File created on" line, bracketed sections, then rows of space-separated
// values with positions in minutes (longitude positive to the west) and UTC times of day.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/iso8601.hpp"
#include "base/simd.hpp"
#include "delimited.hpp"
#include "parser/numbers.hpp"
#include "parser/parse_error.hpp"
#include "readers.hpp"
#include "session_builder.hpp"

namespace zaro::formats {

namespace {

constexpr std::int64_t ticksPerDay = std::int64_t{86400} * 10000;

// The names of the channels read, as columnKey makes them of the [column names] line.
constexpr std::array latitudeNames{std::string_view("lat"), std::string_view("latitude")};
constexpr std::array longitudeNames{std::string_view("long"), std::string_view("lon"), std::string_view("longitude")};
constexpr std::array timeNames{std::string_view("time"), std::string_view("utctime")};
constexpr std::array speedNames{std::string_view("velocity"), std::string_view("speed")};
constexpr std::array longAccNames{std::string_view("longacc"), std::string_view("longaccel"),
                                  std::string_view("longitudinalacc"), std::string_view("longitudinalaccel")};
constexpr std::array latAccNames{std::string_view("latacc"), std::string_view("lataccel"), std::string_view("lateralacc"),
                                 std::string_view("lateralaccel")};
constexpr std::array leanNames{std::string_view("lean"), std::string_view("leanangle")};
constexpr std::array lapNames{std::string_view("lap"), std::string_view("lapnumber"), std::string_view("lapnum")};

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
               return lower(x) == lower(y);
           });
}

bool startsIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

bool containsIgnoringCase(std::string_view text, std::string_view part)
{
    for (std::size_t i = 0; i + part.size() <= text.size(); ++i) {
        if (equalsIgnoringCase(text.substr(i, part.size()), part)) return true;
    }
    return false;
}

// "[column names]" → "column names"; none for a line that is no section name.
std::optional<std::string_view> sectionName(std::string_view line)
{
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') return std::nullopt;
    return trimField(line.substr(1, line.size() - 2));
}

// The blank-separated words of `line`, at most `limit` of them.
void splitWords(std::string_view line, std::size_t limit, std::vector<std::string_view>& words)
{
    words.clear();
    const char* const data = line.data();
    const std::size_t size = line.size();
    std::size_t from = 0;
    // Ends the word before the blank at `at`, if there is one; true once `limit` words are taken.
    const auto blank = [&](std::size_t at) {
        if (at > from) words.emplace_back(data + from, at - from);
        from = at + 1;
        return words.size() >= limit;
    };
    if (limit == 0) return;
    std::size_t base = 0;
#if ZARO_SSE2
    // Sixteen bytes at a time: a mask of the blanks, then one step per blank.
    const __m128i spaces = _mm_set1_epi8(' ');
    const __m128i tabs = _mm_set1_epi8('\t');
    for (; base + 16 <= size; base += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + base));
        const __m128i blanks = _mm_or_si128(_mm_cmpeq_epi8(bytes, spaces), _mm_cmpeq_epi8(bytes, tabs));
        for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(blanks)); mask != 0; mask &= mask - 1) {
            if (blank(base + static_cast<std::size_t>(__builtin_ctz(mask)))) return;
        }
    }
#endif
    for (; base < size; ++base) {
        if ((data[base] == ' ' || data[base] == '\t') && blank(base)) return;
    }
    blank(size);
}

// VBOX writes signs on its positions: "+03119.09973".
std::optional<double> signedNumber(std::string_view field)
{
    if (field.size() > 1 && field.front() == '+' && field[1] != '-' && field[1] != '+') field.remove_prefix(1);
    return ZaroSessionParser::readNumber(field);
}

// "162235.40" (HHMMSS.SS) as ticks since midnight.
std::optional<std::int64_t> timeOfDay(std::string_view field)
{
    const auto value = ZaroSessionParser::readNumber(field);
    if (!value || !(*value >= 0) || *value >= 240000) return std::nullopt;
    const std::int64_t ticks = std::llround(*value * 10000);
    const std::int64_t whole = ticks / 10000;
    const std::int64_t hours = whole / 10000, minutes = whole / 100 % 100, seconds = whole % 100;
    if (minutes >= 60 || seconds >= 61) return std::nullopt;
    return ((hours * 60 + minutes) * 60 + seconds) * 10000 + ticks % 10000;
}

// The day of "File created on 31/07/2006 at 09:55:20" (or "@", or neither) at midnight, in ticks.
std::optional<std::int64_t> creationDay(std::string_view line)
{
    std::string_view rest = trimField(line.substr(std::string_view("File created on").size()));
    const std::size_t end = rest.find_first_of(" \t");
    const std::string_view date = rest.substr(0, end);
    const std::size_t slash1 = date.find('/');
    const std::size_t slash2 = slash1 == std::string_view::npos ? slash1 : date.find('/', slash1 + 1);
    if (slash2 == std::string_view::npos) return std::nullopt;
    const auto day = ZaroSessionParser::readInteger(date.substr(0, slash1));
    const auto month = ZaroSessionParser::readInteger(date.substr(slash1 + 1, slash2 - slash1 - 1));
    const auto year = ZaroSessionParser::readInteger(date.substr(slash2 + 1));
    if (!day || !month || !year || *day < 1 || *day > 31 || *month < 1 || *month > 12 || *year < 1900 || *year > 9999) {
        return std::nullopt;
    }
    const auto instant = iso8601::fromCivil(static_cast<int>(*year), static_cast<int>(*month), static_cast<int>(*day), 0, 0, 0);
    if (!instant) return std::nullopt;
    return instant->ticks;
}

template <std::size_t N>
std::optional<std::size_t> findColumn(const std::vector<std::string>& keys, const std::array<std::string_view, N>& names)
{
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (std::find(names.begin(), names.end(), keys[i]) != names.end()) return i;
    }
    return std::nullopt;
}

struct Point {
    double lat = 0;
    double lon = 0;
};

// A start line in [laptiming]: "Start -1042.214520 +2921.328310 -1042.214520 +2921.301330 ¬ Start/Finish",
// two points as longitude and latitude in minutes, longitude positive to the west.
std::optional<std::array<Point, 2>> startLine(std::string_view line, std::vector<std::string_view>& words)
{
    splitWords(line, 5, words);
    if (words.size() < 5 || !equalsIgnoringCase(words[0], "start")) return std::nullopt;
    std::array<double, 4> minutes{};
    for (std::size_t i = 0; i < 4; ++i) {
        const auto value = signedNumber(words[i + 1]);
        if (!value || !std::isfinite(*value)) return std::nullopt;
        minutes[i] = *value;
    }
    const std::array<Point, 2> points{{{minutes[1] / 60, -minutes[0] / 60}, {minutes[3] / 60, -minutes[2] / 60}}};
    if (points[0].lat == points[1].lat && points[0].lon == points[1].lon) return std::nullopt;  // no line set
    return points;
}

// Where the trace crosses the start line, on a plane laid at the line's middle.
class LineCrossings {
public:
    explicit LineCrossings(const std::array<Point, 2>& line) : line_(line) {}

    /// The first fix decides which of the two orders of the line's numbers is meant: some writers put
    /// the latitude first. The one within reach of the trace wins.
    void settle(const Point& firstFix)
    {
        const std::array<Point, 2> swapped{{{-line_[0].lon, -line_[0].lat}, {-line_[1].lon, -line_[1].lat}}};
        const auto near = [&firstFix](const std::array<Point, 2>& line) {
            return std::fabs(line[0].lat - firstFix.lat) < 0.5 && std::fabs(line[0].lon - firstFix.lon) < 0.5;
        };
        if (!near(line_) && near(swapped)) line_ = swapped;
        const double metresPerDegree = 6371000.0 * 3.14159265358979323846 / 180;
        origin_ = line_[0];
        xScale_ = metresPerDegree * std::cos(origin_.lat * 3.14159265358979323846 / 180);
        yScale_ = metresPerDegree;
        end_ = project(line_[1]);
    }

    /// The crossing, if any, on the way from `from` at `fromTicks` to `to` at `toTicks`: its instant,
    /// and its direction as a sign.
    std::optional<std::pair<std::int64_t, int>> crossing(const Point& from, std::int64_t fromTicks, const Point& to, std::int64_t toTicks) const
    {
        const auto [px, py] = project(from);
        const auto [qx, qy] = project(to);
        const double dx = qx - px, dy = qy - py;
        const double ex = end_.first, ey = end_.second;
        const double denominator = dx * ey - dy * ex;
        if (denominator == 0 || !std::isfinite(denominator)) return std::nullopt;
        // from + t·d = s·e, with the line from the origin to end_.
        const double t = (py * ex - px * ey) / denominator;
        const double s = (py * dx - px * dy) / denominator;
        if (!(t > 0 && t <= 1 && s >= 0 && s <= 1)) return std::nullopt;
        const double at = static_cast<double>(fromTicks) + t * static_cast<double>(toTicks - fromTicks);
        return std::pair{static_cast<std::int64_t>(std::llround(at)), denominator > 0 ? 1 : -1};
    }

private:
    std::pair<double, double> project(const Point& p) const { return {(p.lon - origin_.lon) * xScale_, (p.lat - origin_.lat) * yScale_}; }

    std::array<Point, 2> line_;
    Point origin_{};
    double xScale_ = 1;
    double yScale_ = 1;
    std::pair<double, double> end_{};
};

// What the sections before [data] say.
struct Layout {
    std::optional<std::int64_t> day;
    std::vector<std::string> columns;  // keys of [column names]
    bool hasColumnNames = false;
    double speedFactor = 1 / 3.6;  // to m/s
    std::string dataSource = "VBOX";
    std::optional<std::array<Point, 2>> startLine;
    std::optional<std::size_t> dataOffset;  // where the rows begin
};

Layout readLayout(std::string_view text)
{
    Layout layout;
    Lines lines(text);
    std::string_view raw;
    std::string_view section;
    bool first = true;
    bool sourceFound = false;
    std::vector<std::string_view> words;
    while (lines.next(raw)) {
        const std::string_view line = trimField(raw);
        if (line.empty()) continue;
        if (first && startsIgnoringCase(line, "File created on")) layout.day = creationDay(line);
        first = false;
        if (const auto name = sectionName(line)) {
            section = *name;
            if (equalsIgnoringCase(section, "data")) {
                layout.dataOffset = lines.offset();
                return layout;
            }
            continue;
        }
        if (equalsIgnoringCase(section, "header")) {
            if (startsIgnoringCase(line, "velocity")) {
                if (containsIgnoringCase(line, "knot")) layout.speedFactor = 1852.0 / 3600;
                if (containsIgnoringCase(line, "mph")) layout.speedFactor = 0.44704;
                if (containsIgnoringCase(line, "m/s")) layout.speedFactor = 1;
            }
        } else if (equalsIgnoringCase(section, "comments")) {
            // The logger names itself in a line such as "VBox II Version 4.5a" or "Video VBox Lite".
            if (!sourceFound && line.size() <= 64 && containsIgnoringCase(line, "vbox") && line.find(':') == std::string_view::npos
                && !startsIgnoringCase(line, "(c)") && !startsIgnoringCase(line, "copyright")) {
                layout.dataSource = std::string(line);
                sourceFound = true;
            }
        } else if (equalsIgnoringCase(section, "laptiming")) {
            if (!layout.startLine) layout.startLine = startLine(line, words);
        } else if (equalsIgnoringCase(section, "column names") && !layout.hasColumnNames) {
            layout.hasColumnNames = true;
            splitWords(line, 4096, words);
            for (const std::string_view word : words) layout.columns.push_back(columnKey(word));
        }
    }
    return layout;
}

}  // namespace

bool recognisesVbox(std::string_view head)
{
    Lines lines(head);
    std::string_view raw;
    bool header = false;
    while (lines.next(raw)) {
        const std::string_view line = trimField(raw);
        if (line.empty()) continue;
        if (!header) {
            if (startsIgnoringCase(line, "File created on")) return true;
            if (!equalsIgnoringCase(line, "[header]")) return false;
            header = true;
            continue;
        }
        if (equalsIgnoringCase(line, "[column names]") || equalsIgnoringCase(line, "[data]")) return true;
    }
    return false;
}

ZaroSession readVbox(std::string_view text, std::string fileName, unsigned /*threads*/)
{
    const Layout layout = readLayout(text);
    const auto latColumn = findColumn(layout.columns, latitudeNames);
    const auto lonColumn = findColumn(layout.columns, longitudeNames);
    if (!latColumn || !lonColumn) {
        std::vector<std::string> missing;
        if (!latColumn) missing.emplace_back("lat");
        if (!lonColumn) missing.emplace_back("long");
        throw ParseError::missingColumns(std::move(missing));
    }
    if (!layout.dataOffset) throw ParseError::missingTelemetry();
    const auto timeColumn = findColumn(layout.columns, timeNames);
    const auto speedColumn = findColumn(layout.columns, speedNames);
    const auto longAccColumn = findColumn(layout.columns, longAccNames);
    const auto latAccColumn = findColumn(layout.columns, latAccNames);
    const auto leanColumn = findColumn(layout.columns, leanNames);
    const auto lapColumn = findColumn(layout.columns, lapNames);
    std::size_t needed = 0;
    for (const auto& column : {latColumn, lonColumn, timeColumn, speedColumn, longAccColumn, latAccColumn, leanColumn, lapColumn}) {
        if (column) needed = std::max(needed, *column + 1);
    }
    const auto value = [](const std::vector<std::string_view>& words, const std::optional<std::size_t>& column) -> std::optional<double> {
        if (!column || *column >= words.size()) return std::nullopt;
        return signedNumber(words[*column]);
    };

    SessionBuilder builder(static_cast<std::int64_t>(text.size() - *layout.dataOffset));
    std::optional<LineCrossings> line;
    if (layout.startLine && !lapColumn) line.emplace(*layout.startLine);
    std::vector<std::pair<std::int64_t, int>> crossings;
    std::optional<Point> previous;
    std::optional<std::int64_t> previousTicks;
    std::optional<std::int64_t> previousTimeOfDay;
    std::int64_t days = 0;

    Lines lines(text, *layout.dataOffset);
    std::string_view raw;
    std::vector<std::string_view> words;
    // In one piece, on one thread: a time of day that falls back starts another day, and a lap ends
    // where the trace crosses the start line between one fix and the next.
    while (lines.next(raw)) {
        splitWords(raw, needed, words);
        if (words.empty()) continue;
        if (sectionName(trimField(raw))) break;  // a section after the rows
        const auto minutesLat = value(words, latColumn);
        const auto minutesLon = value(words, lonColumn);
        if (!minutesLat || !minutesLon) continue;
        Sample sample{.lat = *minutesLat / 60, .lon = -*minutesLon / 60};
        if (timeColumn && *timeColumn < words.size()) {
            if (const auto tod = timeOfDay(words[*timeColumn])) {
                // A session that runs past midnight starts its times again from 0.
                if (previousTimeOfDay && *tod + ticksPerDay / 2 < *previousTimeOfDay) ++days;
                previousTimeOfDay = tod;
                sample.ticks = layout.day.value_or(0) + days * ticksPerDay + *tod;
            }
        }
        if (const auto speed = value(words, speedColumn)) sample.speedMps = *speed * layout.speedFactor;
        sample.gForceX = value(words, longAccColumn);
        sample.gForceY = value(words, latAccColumn);
        sample.leanDeg = value(words, leanColumn);
        if (lapColumn && *lapColumn < words.size()) sample.lap = wholeNumber(words[*lapColumn]);
        if (!builder.add(sample)) continue;

        const Point here{sample.lat, sample.lon};
        if (line && sample.ticks) {
            if (!previousTicks) {
                line->settle(here);
                builder.markLapBoundary(*sample.ticks);
            } else if (const auto crossed = line->crossing(*previous, *previousTicks, here, *sample.ticks)) {
                builder.markLapBoundary(crossed->first);
                crossings.push_back(*crossed);
            }
            previous = here;
            previousTicks = sample.ticks;
        }
    }

    // A trace crosses the line both ways only when it dithers on it: the laps are the crossings in
    // the direction most of them take.
    int balance = 0;
    for (const auto& crossing : crossings) balance += crossing.second;
    const int direction = balance >= 0 ? 1 : -1;
    std::vector<std::int64_t> times;
    for (const auto& crossing : crossings) {
        if (crossing.second == direction) times.push_back(crossing.first);
    }
    if (!times.empty() && builder.firstTicks() && builder.lastTicks()) {
        builder.addStatedLap(ZaroSessionLap::Kind::incomplete, std::nullopt, *builder.firstTicks(), times.front());
        for (std::size_t i = 0; i + 1 < times.size(); ++i) {
            builder.addStatedLap(ZaroSessionLap::Kind::lap, static_cast<std::int64_t>(i + 1), times[i], times[i + 1]);
        }
        builder.addStatedLap(ZaroSessionLap::Kind::incomplete, std::nullopt, times.back(), *builder.lastTicks());
    }

    SessionInfo info{.dataSource = layout.dataSource};
    info.clock = Clock::utc;
    info.relativeTimes = !layout.day;
    return builder.finish(std::move(fileName), std::move(info));
}

}  // namespace zaro::formats
