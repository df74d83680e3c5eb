// AiM Race Studio's CSV export: a key/value preamble ("Format,AiM CSV File", the venue as `Session`,
// the local date and time of the start, the beacon markers), a header row, a units row, then rows
// whose `Time` counts seconds from the start. Exports come bare or with every field in quotes, and
// with or without trailing empty fields. The beacon markers are the cumulative times of the line
// crossings, the last one the session's end: before the first lies the out-lap, after the last
// crossing the in-lap, between two crossings a lap.
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "base/iso8601.hpp"
#include "delimited.hpp"
#include "parser/parse_error.hpp"
#include "readers.hpp"
#include "row_fields.hpp"
#include "session_builder.hpp"

namespace zaro::formats {

namespace {

constexpr std::size_t maxBeaconMarkers = 100'000;

bool isFormatLine(const std::vector<std::string_view>& fields)
{
    return fields.size() >= 2 && fields[0] == "Format" && fields[1] == "AiM CSV File";
}

// Day, month and year of "Sunday, December 15, 2024" or "December 15, 2024".
std::optional<std::array<int, 3>> dateOf(std::string_view text)
{
    static constexpr std::array<std::string_view, 12> months = {"January", "February", "March",     "April",   "May",      "June",
                                                                 "July",    "August",   "September", "October", "November", "December"};
    for (std::size_t m = 0; m < months.size(); ++m) {
        const std::size_t at = text.find(months[m]);
        if (at == std::string_view::npos) continue;
        std::string_view rest = text.substr(at + months[m].size());
        const std::size_t comma = rest.find(',');
        if (comma == std::string_view::npos) return std::nullopt;
        const auto day = wholeNumber(trimField(rest.substr(0, comma)));
        const auto year = wholeNumber(trimField(rest.substr(comma + 1)));
        if (!day || !year || *day < 1 || *day > 31 || *year < 1 || *year > 9999) return std::nullopt;
        return std::array{static_cast<int>(*day), static_cast<int>(m + 1), static_cast<int>(*year)};
    }
    return std::nullopt;
}

// Seconds since midnight of "1:34 PM", "1:34:05 PM" or "13:34".
std::optional<double> timeOfDay(std::string_view text)
{
    bool pm = false, twelveHour = false;
    if (text.ends_with("AM") || text.ends_with("PM")) {
        twelveHour = true;
        pm = text.ends_with("PM");
        text = trimField(text.substr(0, text.size() - 2));
    }
    std::array<double, 3> parts{};
    std::size_t count = 0;
    while (count < parts.size()) {
        const std::size_t colon = text.find(':');
        const auto part = number(text.substr(0, colon));
        if (!part || *part < 0) return std::nullopt;
        parts[count++] = *part;
        if (colon == std::string_view::npos) break;
        text.remove_prefix(colon + 1);
    }
    if (count < 2) return std::nullopt;
    double hours = parts[0];
    if (twelveHour) {
        if (hours < 1 || hours > 12) return std::nullopt;
        hours = static_cast<double>(static_cast<int>(hours) % 12 + (pm ? 12 : 0));
    }
    if (hours >= 24 || parts[1] >= 60 || parts[2] >= 60) return std::nullopt;
    return hours * 3600 + parts[1] * 60 + parts[2];
}

struct Columns {
    std::optional<std::size_t> time, latitude, longitude, speed, latAcc, lonAcc;
};

constexpr Spelling<Columns> spellings[] = {
    {"time", &Columns::time},
    {"gpslatitude", &Columns::latitude},
    {"latitude", &Columns::latitude},
    {"gpslongitude", &Columns::longitude},
    {"longitude", &Columns::longitude},
    {"gpsspeed", &Columns::speed},
    {"speed", &Columns::speed},
    {"gpslatacc", &Columns::latAcc},
    {"gpslonacc", &Columns::lonAcc},
};

}  // namespace

bool recognisesAim(std::string_view head)
{
    Lines lines(head);
    std::string_view line;
    std::vector<std::string_view> fields;
    if (!lines.next(line)) return false;
    splitFields(line, ',', fields);
    return isFormatLine(fields);
}

ZaroSession readAim(std::string_view text, std::string fileName, unsigned /*threads*/)
{
    Lines lines(text);
    std::string_view line;
    std::vector<std::string_view> fields;
    SessionInfo info{.dataSource = "AiM Race Studio", .clock = Clock::local};
    std::optional<std::array<int, 3>> date;
    std::optional<double> startOfDay;
    std::vector<double> markers;
    Columns columns;
    bool header = false;
    while (lines.next(line)) {
        splitFields(line, ',', fields);
        // The header begins with `Time` too, but names more than one channel after it.
        if (fields[0] == "Time" && std::count_if(fields.begin(), fields.end(), [](std::string_view f) { return !f.empty(); }) > 2) {
            header = true;
            columns = columnsOf(fields, spellings);
            break;
        }
        if (fields.size() < 2) continue;
        const std::string_view key = fields[0], value = fields[1];
        if (key == "Session") info.trackName = std::string(value);
        else if (key == "Date") date = dateOf(value);
        else if (key == "Time") startOfDay = timeOfDay(value);
        else if (key == "Beacon Markers") {
            for (std::size_t i = 1; i < fields.size(); ++i) {
                if (const auto marker = number(fields[i]); marker && (markers.empty() || *marker > markers.back())) markers.push_back(*marker);
            }
        }
    }
    // A hundred thousand laps would be days of driving: a longer list is no session's.
    if (markers.size() > maxBeaconMarkers) throw ParseError::unsupportedFormat();
    if (!header || !columns.time || !columns.latitude || !columns.longitude) {
        std::vector<std::string> missing;
        if (!columns.time) missing.emplace_back("Time");
        if (!columns.latitude) missing.emplace_back("GPS Latitude");
        if (!columns.longitude) missing.emplace_back("GPS Longitude");
        throw ParseError::missingColumns(std::move(missing));
    }
    // The units row below the header.
    double speedScale = 1.0;
    std::size_t bodyOffset = lines.offset();
    if (lines.next(line)) {
        splitFields(line, ',', fields);
        if (!number(fields[0])) {
            if (columns.speed && *columns.speed < fields.size()) speedScale = metresPerSecondIn(fields[*columns.speed]).value_or(1.0);
            bodyOffset = lines.offset();
        }
    }

    // The rows' times are seconds after the start that the preamble states, on the logger's clock.
    std::int64_t start = 0;
    const auto startInstant = date && startOfDay ? iso8601::fromCivil((*date)[2], (*date)[1], (*date)[0], static_cast<int>(*startOfDay / 3600),
                                                                      static_cast<int>(*startOfDay / 60) % 60, std::fmod(*startOfDay, 60))
                                                 : std::nullopt;
    if (startInstant) start = startInstant->ticks;
    else info.relativeTimes = true;
    std::vector<std::int64_t> crossings{start};
    for (const double marker : markers) {
        if (const auto ticks = secondsToTicks(marker)) crossings.push_back(start + *ticks);
    }

    const auto field = [&fields](std::optional<std::size_t> column) -> std::string_view {
        return column && *column < fields.size() ? fields[*column] : std::string_view{};
    };
    const std::size_t needed = fieldsNeeded({columns.time, columns.latitude, columns.longitude, columns.speed, columns.latAcc, columns.lonAcc});
    SessionBuilder builder(static_cast<std::int64_t>(text.size() - bodyOffset));
    std::size_t nextCrossing = 0;
    Lines body(text, bodyOffset);
    // In one piece, on one thread: a beacon marker is passed at the first fix that reaches it after
    // the marker before it was, which only the rows before tell.
    while (body.next(line)) {
        leadingFields(line, ',', needed, fields);
        const auto lat = number(field(columns.latitude));
        const auto lon = number(field(columns.longitude));
        const auto seconds = number(field(columns.time));
        const auto offset = seconds ? secondsToTicks(*seconds) : std::nullopt;
        if (!lat || !lon || !offset) continue;
        const std::int64_t ticks = start + *offset;
        Sample sample{.lat = *lat, .lon = *lon, .ticks = ticks};
        if (const auto speed = number(field(columns.speed))) sample.speedMps = *speed * speedScale;
        sample.gForceX = number(field(columns.lonAcc));
        sample.gForceY = number(field(columns.latAcc));
        if (!builder.add(sample)) continue;
        // Where the trace passes a crossing, for the distance of the laps it bounds.
        while (nextCrossing < crossings.size() && crossings[nextCrossing] <= ticks) builder.markLapBoundary(crossings[nextCrossing++]);
    }

    for (std::size_t i = 0; i + 1 < crossings.size(); ++i) {
        const bool lap = i > 0 && i + 2 < crossings.size();
        builder.addStatedLap(lap ? ZaroSessionLap::Kind::lap : ZaroSessionLap::Kind::incomplete,
                             lap ? std::optional(static_cast<std::int64_t>(i)) : std::nullopt, crossings[i], crossings[i + 1]);
    }
    return builder.finish(std::move(fileName), std::move(info));
}

}  // namespace zaro::formats
