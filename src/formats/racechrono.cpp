// RaceChrono's CSV export (format 3): a line naming the app, a key/value preamble ended by a blank
// line, then three header rows (channel names, units, sources) above the rows. A channel name may
// stand more than once, once per source ("100: gps", "calc", "200: canbus"); positions and speed
// are the GPS receiver's. `timestamp` is Unix seconds; `lap_number` is empty before the first
// crossing of the line.
#include <optional>
#include <string>
#include <vector>

#include "delimited.hpp"
#include "parser/parse_error.hpp"
#include "readers.hpp"
#include "row_fields.hpp"
#include "row_pieces.hpp"
#include "session_builder.hpp"

namespace zaro::formats {

namespace {

constexpr std::string_view signature = "This file is created using RaceChrono";

// "RaceChrono Pro v9.1.3" of "This file is created using RaceChrono Pro v9.1.3 ( http://racechrono.com/ )."
std::string appNamed(std::string_view firstLine)
{
    std::string_view app = firstLine.substr(signature.size() - std::string_view("RaceChrono").size());
    if (const std::size_t link = app.find(" ("); link != std::string_view::npos) app = app.substr(0, link);
    app = trimField(app);
    while (!app.empty() && app.back() == '.') app.remove_suffix(1);
    return std::string(trimField(app));
}

struct Channels {
    std::optional<std::size_t> timestamp, lap, latitude, longitude, speed, lateral, longitudinal, lean;
    double speedFactor = 1.0;  // to m/s
};

// The column of `name`, the one from a GPS source where there are several and `gps` asks for it.
std::optional<std::size_t> channel(const std::vector<std::string_view>& names, const std::vector<std::string_view>& sources,
                                   std::string_view name, bool gps)
{
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] != name) continue;
        const bool fromGps = i < sources.size() && sources[i].find("gps") != std::string_view::npos;
        if (gps && fromGps) return i;
        if (!found) found = i;
    }
    return found;
}

}  // namespace

bool recognisesRaceChrono(std::string_view head)
{
    if (!head.starts_with(signature)) return false;
    // The layout of format 3; the app's other formats name their columns differently.
    Lines lines(head);
    std::string_view line;
    std::vector<std::string_view> fields;
    while (lines.next(line) && !trimField(line).empty()) {
        splitFields(line, ',', fields);
        if (fields.size() >= 2 && fields[0] == "Format") return fields[1] == "3";
    }
    return false;
}

ZaroSession readRaceChrono(std::string_view text, std::string fileName, unsigned threads)
{
    Lines lines(text);
    std::string_view line;
    std::vector<std::string_view> fields;
    SessionInfo info;
    lines.next(line);
    info.dataSource = appNamed(line);

    // The preamble, up to its blank line.
    bool ended = false;
    while (lines.next(line)) {
        if (trimField(line).empty()) {
            ended = true;
            break;
        }
        splitFields(line, ',', fields);
        if (fields.size() < 2) continue;
        if (fields[0] == "Track name") info.trackName = std::string(fields[1]);
        if (fields[0] == "Session type") info.sessionType = std::string(fields[1]);
    }
    std::string_view namesLine;
    while (ended && lines.next(namesLine) && trimField(namesLine).empty()) {}
    std::vector<std::string_view> names;
    splitFields(namesLine, ',', names);
    Channels columns;
    columns.timestamp = channel(names, {}, "timestamp", false);
    // Below the names, a row of units and a row of sources, each known by what it holds.
    std::vector<std::string_view> units, sources;
    std::size_t bodyOffset = lines.offset();
    for (int row = 0; row < 2 && columns.timestamp && lines.next(line); ++row) {
        splitFields(line, ',', fields);
        if (*columns.timestamp < fields.size() && number(fields[*columns.timestamp])) break;
        const bool isSources = line.find("gps") != std::string_view::npos || line.find("calc") != std::string_view::npos;
        (isSources ? sources : units) = fields;
        bodyOffset = lines.offset();
    }
    columns.lap = channel(names, sources, "lap_number", false);
    columns.latitude = channel(names, sources, "latitude", true);
    columns.longitude = channel(names, sources, "longitude", true);
    columns.speed = channel(names, sources, "speed", true);
    columns.lateral = channel(names, sources, "lateral_acc", false);
    columns.longitudinal = channel(names, sources, "longitudinal_acc", false);
    columns.lean = channel(names, sources, "lean_angle", false);
    if (!columns.timestamp || !columns.latitude || !columns.longitude) {
        std::vector<std::string> missing;
        if (!columns.timestamp) missing.emplace_back("timestamp");
        if (!columns.latitude) missing.emplace_back("latitude");
        if (!columns.longitude) missing.emplace_back("longitude");
        throw ParseError::missingColumns(std::move(missing));
    }
    if (columns.speed && *columns.speed < units.size()) columns.speedFactor = metresPerSecondIn(units[*columns.speed]).value_or(1.0);

    const std::size_t needed = fieldsNeeded({columns.timestamp, columns.lap, columns.latitude, columns.longitude, columns.speed,
                                                columns.lateral, columns.longitudinal, columns.lean});
    // A lap already running when the recording begins was not seen from its start: like the stretch
    // before the first crossing, it is lap 0. The first row that reads gives its number, and every row
    // of that number counts as lap 0, so that each row tells its lap by itself (a recording whose
    // numbers start again would count that number's second run as lap 0 too).
    std::optional<std::int64_t> firstLap;
    auto readRow = [&columns, needed, &firstLap, fields = std::vector<std::string_view>()](std::string_view row, Sample& sample) mutable {
        leadingFields(row, ',', needed, fields);
        const auto field = [&fields](std::optional<std::size_t> column) -> std::string_view {
            return column && *column < fields.size() ? fields[*column] : std::string_view{};
        };
        const auto lat = number(field(columns.latitude));
        const auto lon = number(field(columns.longitude));
        const auto seconds = number(field(columns.timestamp));
        const auto ticks = seconds ? unixTicks(*seconds) : std::nullopt;
        if (!lat || !lon || !ticks) return false;
        sample = {.lat = *lat, .lon = *lon, .ticks = ticks};
        if (const auto speed = number(field(columns.speed))) sample.speedMps = *speed * columns.speedFactor;
        sample.gForceX = number(field(columns.longitudinal));
        sample.gForceY = number(field(columns.lateral));
        sample.leanDeg = number(field(columns.lean));
        const std::int64_t lap = wholeNumber(field(columns.lap)).value_or(0);  // none before the first crossing
        sample.lap = lap == firstLap ? 0 : lap;
        return true;
    };
    Sample first;
    for (Lines body(text, bodyOffset); !firstLap && body.next(line);) {
        if (readRow(line, first)) firstLap = first.lap;
    }
    SessionBuilder builder(static_cast<std::int64_t>(text.size() - bodyOffset));
    foldRows(text, bodyOffset, readRow, builder, threads);
    return builder.finish(std::move(fileName), std::move(info));
}

}  // namespace zaro::formats
