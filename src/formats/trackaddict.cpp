// TrackAddict's data files (RaceRender's layout): `#` comment lines naming the app and its settings,
// a quoted header, then rows with `Time` in seconds from the start and `UTC Time` in Unix seconds.
// Comment lines among the rows mark the laps ("# Lap 2: 00:01:47.089", the out-lap being lap 0),
// the pit lane and the session's end.
#include <optional>
#include <string>
#include <vector>

#include "delimited.hpp"
#include "parser/parse_error.hpp"
#include "readers.hpp"
#include "row_fields.hpp"
#include "session_builder.hpp"

namespace zaro::formats {

namespace {

constexpr std::string_view signature = "# RaceRender Data:";

// "TrackAddict 4.3.5" of "# RaceRender Data: TrackAddict 4.3.5 on Android 9 [samsung SM-N960F] (Mode: 0)".
std::string appNamed(std::string_view line)
{
    std::string_view app = trimField(line.substr(signature.size()));
    for (const std::string_view end : {" on ", " [", " ("}) {
        if (const std::size_t at = app.find(end); at != std::string_view::npos) app = app.substr(0, at);
    }
    return std::string(trimField(app));
}

// Seconds of "HH:MM:SS.sss", "MM:SS.sss" or "SS.sss".
std::optional<double> clockSeconds(std::string_view text)
{
    double seconds = 0;
    while (true) {
        const std::size_t colon = text.find(':');
        const auto part = number(trimField(text.substr(0, colon)));
        if (!part || *part < 0) return std::nullopt;
        seconds = seconds * 60 + *part;
        if (colon == std::string_view::npos) return seconds;
        text.remove_prefix(colon + 1);
    }
}

// The number and time of "# Lap 3: 00:01:56.145".
std::optional<std::pair<std::int64_t, double>> lapLine(std::string_view line)
{
    line = trimField(line.substr(1));
    if (!line.starts_with("Lap ")) return std::nullopt;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const auto lapNumber = wholeNumber(trimField(line.substr(4, colon - 4)));
    const auto seconds = clockSeconds(trimField(line.substr(colon + 1)));
    if (!lapNumber || !seconds || *seconds <= 0) return std::nullopt;
    return std::pair(*lapNumber, *seconds);
}

struct Columns {
    std::optional<std::size_t> time, utcTime, lap, latitude, longitude, speed, accelX, accelY, lean;
};

// TrackAddict's "Accel X" is the lateral g (it follows the turns of the heading), "Accel Y" the
// longitudinal (it follows the changes of speed); a speed is named by its unit ("KPH", "MPH") or
// carries it ("Speed (Km/h)").
constexpr Spelling<Columns> spellings[] = {
    {"time", &Columns::time},
    {"utctime", &Columns::utcTime},
    {"lap", &Columns::lap},
    {"latitude", &Columns::latitude},
    {"longitude", &Columns::longitude},
    {"speed", &Columns::speed},
    {"kph", &Columns::speed},
    {"mph", &Columns::speed},
    {"accelx", &Columns::accelX},
    {"accely", &Columns::accelY},
    {"leanangle", &Columns::lean},
    {"lean", &Columns::lean},
};

// Metres per second in a unit of the speed column `name`; m/s when it names none.
double speedFactor(std::string_view name)
{
    std::string unit;
    const std::string key = columnKey(name, &unit);
    return metresPerSecondIn(key == "speed" ? std::string_view(unit) : std::string_view(key)).value_or(1.0);
}

}  // namespace

bool recognisesTrackAddict(std::string_view head) { return head.starts_with(signature); }

ZaroSession readTrackAddict(std::string_view text, std::string fileName, unsigned /*threads*/)
{
    Lines lines(text);
    std::string_view line;
    SessionInfo info;
    std::vector<std::string_view> fields;
    while (lines.next(line)) {
        if (line.starts_with(signature)) info.dataSource = appNamed(line);
        if (!line.starts_with('#') && !trimField(line).empty()) break;
    }
    splitFields(line, ',', fields);
    const Columns columns = columnsOf(fields, spellings);
    const double speedScale = columns.speed ? speedFactor(fields[*columns.speed]) : 1.0;
    if (!columns.latitude || !columns.longitude || (!columns.time && !columns.utcTime)) {
        std::vector<std::string> missing;
        if (!columns.time && !columns.utcTime) missing.emplace_back("Time");
        if (!columns.latitude) missing.emplace_back("Latitude");
        if (!columns.longitude) missing.emplace_back("Longitude");
        throw ParseError::missingColumns(std::move(missing));
    }
    // Instants where the file has them, else seconds from an unknown start.
    const std::optional<std::size_t> timeColumn = columns.utcTime ? columns.utcTime : columns.time;
    info.relativeTimes = !columns.utcTime;

    const auto field = [&fields](std::optional<std::size_t> column) -> std::string_view {
        return column && *column < fields.size() ? fields[*column] : std::string_view{};
    };
    const std::size_t needed = fieldsNeeded({columns.time, columns.utcTime, columns.lap, columns.latitude, columns.longitude,
                                                columns.speed, columns.accelX, columns.accelY, columns.lean});
    // Laps come from the "# Lap" lines where there are any; only otherwise from the lap column.
    const bool lapLines = text.find("\n# Lap ", lines.offset() > 0 ? lines.offset() - 1 : 0) != std::string_view::npos;
    SessionBuilder builder(static_cast<std::int64_t>(text.size() - lines.offset()));
    // Each "# Lap" line ends the lap that began where the one before it ended (or with the file).
    std::optional<std::int64_t> lapFrom;
    bool statedLaps = false;
    // In one piece, on one thread: a "# Lap" line ends its lap at the fix before it, where the lap
    // before it ended.
    while (lines.next(line)) {
        if (line.starts_with('#')) {
            const auto lap = lapLine(line);
            if (!lap || !lapFrom || builder.lastTicks() <= lapFrom) continue;
            builder.markLapBoundary(*builder.lastTicks());
            const auto kind = lap->first <= 0 ? ZaroSessionLap::Kind::incomplete : ZaroSessionLap::Kind::lap;
            builder.addStatedLap(kind, lap->first > 0 ? std::optional(lap->first) : std::nullopt, *lapFrom,
                                 *builder.lastTicks(), lap->second);
            lapFrom = builder.lastTicks();
            statedLaps = true;
            continue;
        }
        leadingFields(line, ',', needed, fields);
        const auto lat = number(field(columns.latitude));
        const auto lon = number(field(columns.longitude));
        const auto seconds = number(field(timeColumn));
        const auto ticks = !seconds ? std::nullopt : columns.utcTime ? unixTicks(*seconds) : secondsToTicks(*seconds);
        if (!lat || !lon || !ticks) continue;
        Sample sample{.lat = *lat, .lon = *lon, .ticks = ticks};
        if (const auto speed = number(field(columns.speed))) sample.speedMps = *speed * speedScale;
        sample.gForceX = number(field(columns.accelY));
        sample.gForceY = number(field(columns.accelX));
        sample.leanDeg = number(field(columns.lean));
        if (columns.lap && !lapLines) sample.lap = wholeNumber(field(columns.lap)).value_or(0);
        if (builder.add(sample) && !lapFrom) {
            lapFrom = ticks;
            builder.markLapBoundary(*ticks);
        }
    }
    // The lap under way when the recording stopped.
    if (statedLaps && builder.lastTicks() > lapFrom) {
        builder.addStatedLap(ZaroSessionLap::Kind::incomplete, std::nullopt, *lapFrom, *builder.lastTicks());
    }
    return builder.finish(std::move(fileName), std::move(info));
}

}  // namespace zaro::formats
