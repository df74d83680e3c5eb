// Harry's LapTimer exports: a title line, then an upper-case header whose names may carry a unit or
// the choices of an enumeration in brackets, and one row per fix with the lap it belongs to.
#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/iso8601.hpp"
#include "delimited.hpp"
#include "parser/numbers.hpp"
#include "parser/parse_error.hpp"
#include "readers.hpp"
#include "row_fields.hpp"
#include "session_builder.hpp"

namespace zaro::formats {

namespace {

// The header names read, as columnKey makes them, each with its factor to the builder's unit.
struct Name {
    std::string_view key;
    double factor;
};
constexpr std::array speedNames{Name{"speedkph", 1 / 3.6}, Name{"speedkmh", 1 / 3.6}, Name{"speedmph", 0.44704},
                                Name{"speedms", 1.0}, Name{"speed", 1 / 3.6}};
constexpr std::array monthNames{std::string_view("JAN"), std::string_view("FEB"), std::string_view("MAR"),
                                std::string_view("APR"), std::string_view("MAY"), std::string_view("JUN"),
                                std::string_view("JUL"), std::string_view("AUG"), std::string_view("SEP"),
                                std::string_view("OCT"), std::string_view("NOV"), std::string_view("DEC")};

// Whether the letters of a header line, brackets aside, are all upper case.
bool isUpperCaseHeader(std::string_view line)
{
    int depth = 0;
    for (const char c : line) {
        if (c == '[' || c == '(') ++depth;
        if (c == ']' || c == ')') --depth;
        if (depth == 0 && c >= 'a' && c <= 'z') return false;
    }
    return true;
}

struct Columns {
    std::optional<std::size_t> lapIndex, date, time, timeLap, latitude, longitude, speed, linealG, lateralG, lean;
    double speedFactor = 1;
};

// The columns of a header line; none when the line is no Harry's LapTimer header.
std::optional<Columns> readHeader(std::string_view line, std::vector<std::string_view>& fields)
{
    if (!isUpperCaseHeader(line)) return std::nullopt;
    splitFields(line, ',', fields);
    if (std::find(fields.begin(), fields.end(), std::string_view("LAPINDEX")) == fields.end()) return std::nullopt;
    Columns columns;
    std::optional<std::size_t> speedRank;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        std::string unit;
        const std::string key = columnKey(fields[i], &unit);
        const auto take = [&](std::optional<std::size_t>& slot) {
            if (!slot) slot = i;
        };
        if (key == "lapindex") take(columns.lapIndex);
        if (key == "date") take(columns.date);
        if (key == "time") take(columns.time);
        if (key == "timelap" || key == "timefromstart") take(columns.timeLap);
        if (key == "latitude") take(columns.latitude);
        if (key == "longitude") take(columns.longitude);
        if (key == "linealg") take(columns.linealG);
        if (key == "lateralg") take(columns.lateralG);
        if (key == "lean" || key == "leandeg" || key == "leanangle") take(columns.lean);
        for (std::size_t rank = 0; rank < speedNames.size(); ++rank) {
            if (key != speedNames[rank].key || (speedRank && *speedRank <= rank)) continue;
            speedRank = rank;
            columns.speed = i;
            columns.speedFactor = speedNames[rank].factor;
            if (key == "speed" && unit == "mph") columns.speedFactor = 0.44704;
            if (key == "speed" && unit == "m/s") columns.speedFactor = 1;
        }
    }
    return columns;
}

// "14-AUG-16" or "14-Aug-2016" as the ticks of that day's midnight.
std::optional<std::int64_t> dayOf(std::string_view field)
{
    const std::size_t dash1 = field.find('-');
    const std::size_t dash2 = dash1 == std::string_view::npos ? dash1 : field.find('-', dash1 + 1);
    if (dash2 == std::string_view::npos || dash2 - dash1 != 4) return std::nullopt;
    const auto day = ZaroSessionParser::readInteger(field.substr(0, dash1));
    auto year = ZaroSessionParser::readInteger(field.substr(dash2 + 1));
    std::string month(field.substr(dash1 + 1, 3));
    for (char& c : month) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    const auto found = std::find(monthNames.begin(), monthNames.end(), month);
    if (!day || !year || found == monthNames.end() || *year < 0 || *year > 9999) return std::nullopt;
    if (field.size() - dash2 - 1 == 2) *year += 2000;
    const auto instant = iso8601::fromCivil(static_cast<int>(*year), static_cast<int>(found - monthNames.begin()) + 1,
                                            static_cast<int>(*day), 0, 0, 0);
    if (!instant) return std::nullopt;
    return instant->ticks;
}

// "10:15:00.240", "01:23.45" or "83.45": ticks of hours, minutes and seconds.
std::optional<std::int64_t> clockTicks(std::string_view field)
{
    double total = 0;
    for (int part = 0; part < 3; ++part) {
        const std::size_t colon = field.find(':');
        const auto value = ZaroSessionParser::readNumber(field.substr(0, colon));
        if (!value || !(*value >= 0)) return std::nullopt;
        if (colon == std::string_view::npos) return secondsToTicks(total * 60 + *value);
        total = total * 60 + *value;
        field.remove_prefix(colon + 1);
    }
    return std::nullopt;
}

// A stretch of rows with one lap index.
struct Run {
    std::int64_t index;
    std::int64_t start;      // the lap's start: the first row's time less its time into the lap
    std::int64_t firstTicks;
    std::int64_t lastTicks;
    std::optional<std::int64_t> lastLapTicks;  // the last row's time into the lap
};

// Each lap index is a lap, timed from its start to the start of the next; one the file does not
// follow at once (a selection of laps) keeps the time its last row gives. Index 0 is the way out of
// the pits, and the last lap is unfinished.
void addLap(SessionBuilder& builder, const Run& run, const std::optional<Run>& next)
{
    constexpr std::int64_t adjoining = 5 * 10000;
    const auto kind = !next || run.index == 0 ? ZaroSessionLap::Kind::incomplete : ZaroSessionLap::Kind::lap;
    const std::optional<std::int64_t> number = kind == ZaroSessionLap::Kind::lap ? std::optional(run.index) : std::nullopt;
    if (next && next->firstTicks - run.lastTicks <= adjoining) {
        builder.addStatedLap(kind, number, run.start, next->start);
    } else {
        const std::optional<double> stated = run.lastLapTicks ? std::optional(static_cast<double>(*run.lastLapTicks) / 10000) : std::nullopt;
        builder.addStatedLap(kind, number, run.start, run.lastTicks, stated);
    }
}

}  // namespace

bool recognisesHarrys(std::string_view head)
{
    Lines lines(head);
    std::string_view raw;
    std::vector<std::string_view> fields;
    for (int nonEmpty = 0; nonEmpty < 3 && lines.next(raw);) {
        const std::string_view line = trimField(raw);
        if (line.empty()) continue;
        ++nonEmpty;
        if (const auto columns = readHeader(line, fields)) return columns->latitude && columns->longitude;
    }
    return false;
}

ZaroSession readHarrys(std::string_view text, std::string fileName, unsigned /*threads*/)
{
    Lines lines(text);
    std::string_view raw;
    std::vector<std::string_view> fields;
    std::optional<Columns> found;
    for (int nonEmpty = 0; nonEmpty < 3 && !found && lines.next(raw);) {
        const std::string_view line = trimField(raw);
        if (line.empty()) continue;
        ++nonEmpty;
        found = readHeader(line, fields);
    }
    if (!found) throw ParseError::unsupportedFormat();
    const Columns& columns = *found;
    if (!columns.latitude || !columns.longitude) {
        std::vector<std::string> missing;
        if (!columns.latitude) missing.emplace_back("LATITUDE");
        if (!columns.longitude) missing.emplace_back("LONGITUDE");
        throw ParseError::missingColumns(std::move(missing));
    }

    SessionBuilder builder(static_cast<std::int64_t>(text.size() - lines.offset()));
    const auto field = [&fields](const std::optional<std::size_t>& column) {
        return column && *column < fields.size() ? fields[*column] : std::string_view();
    };
    const auto value = [&field](const std::optional<std::size_t>& column) -> std::optional<double> {
        const std::string_view number = field(column);
        if (number.empty()) return std::nullopt;
        return ZaroSessionParser::readNumber(number);
    };
    std::string dateText;
    std::optional<std::int64_t> day;
    std::optional<Run> run;
    const std::size_t needed = fieldsNeeded({columns.lapIndex, columns.date, columns.time, columns.timeLap, columns.latitude,
                                             columns.longitude, columns.speed, columns.linealG, columns.lateralG, columns.lean});
    // In one piece, on one thread: a row's lap is known only against the rows before it (where the lap
    // index changes, the last time of the run before).
    while (lines.next(raw)) {
        leadingFields(raw, ',', needed, fields);
        const auto lat = value(columns.latitude);
        const auto lon = value(columns.longitude);
        if (!lat || !lon) continue;
        Sample sample{.lat = *lat, .lon = *lon};
        if (columns.date && field(columns.date) != dateText) {
            dateText = field(columns.date);
            day = dayOf(dateText);
        }
        if (const auto time = clockTicks(field(columns.time))) sample.ticks = day.value_or(0) + *time;
        if (const auto speed = value(columns.speed)) sample.speedMps = *speed * columns.speedFactor;
        sample.gForceX = value(columns.linealG);
        sample.gForceY = value(columns.lateralG);
        sample.leanDeg = value(columns.lean);
        const auto index = sample.ticks ? wholeNumber(field(columns.lapIndex)) : std::nullopt;
        // A lap that ends here is measured before the fix of the next one is counted.
        const bool newRun = index && (!run || run->index != *index);
        if (newRun && run) builder.markLapBoundary(run->lastTicks);
        if (!builder.add(sample) || !index) continue;

        const std::optional<std::int64_t> intoLap = clockTicks(field(columns.timeLap));
        if (newRun) {
            const Run next{*index, *sample.ticks - intoLap.value_or(0), *sample.ticks, *sample.ticks, intoLap};
            if (run) addLap(builder, *run, next);
            run = next;
            builder.markLapBoundary(run->start);
        }
        run->lastTicks = *sample.ticks;
        run->lastLapTicks = intoLap;
    }
    if (run) addLap(builder, *run, std::nullopt);

    SessionInfo info{.dataSource = "Harry's LapTimer"};
    info.relativeTimes = !day;
    return builder.finish(std::move(fileName), std::move(info));
}

}  // namespace zaro::formats
