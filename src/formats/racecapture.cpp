// RaceCapture logs: a header of `"Name"|"Unit"|min|max|rate` cells, then rows in which each channel
// has a value only when it was sampled, at its own rate. Rows with a position are the trace; the
// speed and accelerations seen last are carried to them.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "delimited.hpp"
#include "parser/numbers.hpp"
#include "parser/parse_error.hpp"
#include "readers.hpp"
#include "row_fields.hpp"
#include "session_builder.hpp"

namespace zaro::formats {

namespace {

// Speed units as the logger labels them, to m/s.
struct SpeedUnit {
    std::string_view label;
    double factor;
};
constexpr std::array speedUnits{SpeedUnit{"mph", 0.44704}, SpeedUnit{"kph", 1 / 3.6}, SpeedUnit{"km/h", 1 / 3.6},
                                SpeedUnit{"kmh", 1 / 3.6}, SpeedUnit{"m/s", 1.0}, SpeedUnit{"knots", 1852.0 / 3600}};
constexpr double mphPerMps = 0.44704;  // the logger's own unit when a speed has no label

std::string_view unquoted(std::string_view text)
{
    text = trimField(text);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
    return trimField(text);
}

std::string lowerCase(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    return lower;
}

// A header cell: `"Latitude"|"Degrees"|-180.0|180.0|10`, the rate optional.
struct Channel {
    std::string name;  // lower case
    std::string unit;  // lower case
};

std::optional<Channel> channelOf(std::string_view cell)
{
    cell = trimField(cell);
    if (cell.size() < 2 || cell.front() != '"') return std::nullopt;
    const std::size_t bar = cell.find("\"|", 1);
    if (bar == std::string_view::npos) return std::nullopt;
    Channel channel{lowerCase(unquoted(cell.substr(0, bar + 1))), {}};
    std::string_view rest = cell.substr(bar + 2);
    const std::size_t next = rest.find('|');
    if (next == std::string_view::npos) return std::nullopt;  // a unit and at least the minimum follow
    channel.unit = lowerCase(unquoted(rest.substr(0, next)));
    return channel;
}

// The cells of a line at its commas; the header's names hold none. Cells are short, so a plain loop
// beats a library search.
void splitCells(std::string_view line, std::size_t limit, std::vector<std::string_view>& cells)
{
    cells.clear();
    const char* const begin = line.data();
    const char* const end = begin + line.size();
    const char* from = begin;
    for (const char* p = begin; cells.size() + 1 < limit && p != end; ++p) {
        if (*p != ',') continue;
        cells.emplace_back(from, static_cast<std::size_t>(p - from));
        from = p + 1;
    }
    if (limit > 0) {
        const char* stop = from;
        while (stop != end && *stop != ',') ++stop;
        cells.emplace_back(from, static_cast<std::size_t>(stop - from));
    }
}

struct Columns {
    std::optional<std::size_t> utc, interval, latitude, longitude, speed, accelX, accelY, lapCount, lapTime;
    double speedFactor = mphPerMps;
    std::size_t needed = 0;
};

Columns readHeader(std::string_view line)
{
    Columns columns;
    std::vector<std::string_view> cells;
    splitCells(line, 4096, cells);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const auto channel = channelOf(cells[i]);
        if (!channel) continue;
        const auto take = [i](std::optional<std::size_t>& slot) {
            if (!slot) slot = i;
        };
        const std::string& name = channel->name;
        if (name == "utc") take(columns.utc);
        if (name == "interval") take(columns.interval);
        if (name == "latitude") take(columns.latitude);
        if (name == "longitude") take(columns.longitude);
        if (name == "accelx") take(columns.accelX);
        if (name == "accely") take(columns.accelY);
        if (name == "lapcount") take(columns.lapCount);
        if (name == "laptime") take(columns.lapTime);
        if ((name == "speed" || name == "gpsspeed") && !columns.speed) {
            columns.speed = i;
            for (const SpeedUnit& unit : speedUnits) {
                if (channel->unit == unit.label) columns.speedFactor = unit.factor;
            }
        }
    }
    for (const auto& column : {columns.utc, columns.interval, columns.latitude, columns.longitude, columns.speed, columns.accelX,
                               columns.accelY, columns.lapCount, columns.lapTime}) {
        if (column) columns.needed = std::max(columns.needed, *column + 1);
    }
    return columns;
}

// The laps between the crossings of the start line, where the lap count goes up. The first crossing
// ends the way out of the pits; each later one ends the lap the one before began, in the time the
// logger gives it when it comes; what follows the last is unfinished.
class Laps {
public:
    explicit Laps(SessionBuilder& builder) : builder_(builder) {}

    void crossed(std::int64_t ticks)
    {
        builder_.markLapBoundary(ticks);
        flush();
        if (!crossings_ && builder_.firstTicks()) {
            builder_.addStatedLap(ZaroSessionLap::Kind::incomplete, std::nullopt, *builder_.firstTicks(), ticks);
        }
        if (crossings_) pending_ = {true, lastCrossing_, ticks};
        lastCrossing_ = ticks;
        ++crossings_;
    }
    void lapTime(double minutes)
    {
        if (!pending_.open) return;
        if (minutes > 0) stated_ = minutes * 60;
        flush();
    }
    void finish()
    {
        flush();
        if (crossings_ && builder_.lastTicks()) {
            builder_.addStatedLap(ZaroSessionLap::Kind::incomplete, std::nullopt, lastCrossing_, *builder_.lastTicks());
        }
    }

private:
    void flush()
    {
        if (!pending_.open) return;
        builder_.addStatedLap(ZaroSessionLap::Kind::lap, ++number_, pending_.from, pending_.to, stated_);
        pending_.open = false;
        stated_.reset();
    }

    SessionBuilder& builder_;
    std::int64_t crossings_ = 0;
    std::int64_t lastCrossing_ = 0;
    struct Span {
        bool open = false;
        std::int64_t from = 0;
        std::int64_t to = 0;
    };
    Span pending_;  // a lap whose time may follow
    std::optional<double> stated_;
    std::int64_t number_ = 0;
};

}  // namespace

bool recognisesRaceCapture(std::string_view head)
{
    Lines lines(head);
    std::string_view raw;
    while (lines.next(raw)) {
        const std::string_view line = trimField(raw);
        if (line.empty()) continue;
        std::vector<std::string_view> cells;
        splitCells(line, 2, cells);
        return cells.size() == 2 && channelOf(cells[0]) && channelOf(cells[1]);
    }
    return false;
}

ZaroSession readRaceCapture(std::string_view text, std::string fileName, unsigned /*threads*/)
{
    Lines lines(text);
    std::string_view raw;
    while (lines.next(raw) && trimField(raw).empty()) {
    }
    const Columns columns = readHeader(trimField(raw));
    if (!columns.latitude || !columns.longitude) {
        std::vector<std::string> missing;
        if (!columns.latitude) missing.emplace_back("Latitude");
        if (!columns.longitude) missing.emplace_back("Longitude");
        throw ParseError::missingColumns(std::move(missing));
    }

    SessionBuilder builder(static_cast<std::int64_t>(text.size() - lines.offset()));
    std::vector<std::string_view> cells;
    // A cell's number into `number`, whether there is one: no optional between the reading and the
    // row, which would stall every row on its store.
    const auto read = [&cells](const std::optional<std::size_t>& column, double& number) {
        if (!column || *column >= cells.size() || cells[*column].empty()) return false;
        if (ZaroSessionParser::readShortDecimal(cells[*column], number)) return true;
        std::optional<double> parsed = ZaroSessionParser::readNumber(cells[*column]);
        if (!parsed) {
            const std::string_view trimmed = trimField(cells[*column]);
            if (trimmed.empty() || trimmed.size() == cells[*column].size()) return false;
            parsed = ZaroSessionParser::readNumber(trimmed);
        }
        if (parsed) number = *parsed;
        return parsed.has_value();
    };
    const auto value = [&read](const std::optional<std::size_t>& column) -> std::optional<double> {
        double number = 0;
        return read(column, number) ? std::optional(number) : std::nullopt;
    };
    std::optional<double> speed, accelX, accelY;
    std::optional<std::int64_t> lapCount;
    Laps laps(builder);
    bool utcTimes = false;
    // Utc is 0 until the GPS has a fix; without it the uptime still orders the rows. Read only for
    // the rows that need a time.
    const auto timeOfRow = [&]() -> std::optional<std::int64_t> {
        if (const auto utc = value(columns.utc); utc && *utc >= 1e11) {
            const auto ticks = secondsToTicks(*utc / 1000);
            utcTimes = utcTimes || ticks.has_value();
            return ticks;
        }
        if (columns.utc) return std::nullopt;
        const auto interval = value(columns.interval);
        return interval ? secondsToTicks(*interval / 1000) : std::nullopt;
    };
    // In one piece, on one thread: channels logged at lower rates leave cells empty, and a row carries
    // the speed and accelerations of the rows before; a lap ends where the count grows past the last.
    while (lines.next(raw)) {
        leadingFields(raw, ',', columns.needed, cells);
        double number = 0;
        if (read(columns.speed, number)) speed = number * columns.speedFactor;
        if (read(columns.accelX, number)) accelX = number;
        if (read(columns.accelY, number)) accelY = number;
        double lat = 0;
        double lon = 0;
        double count = 0;
        const bool fix = read(columns.latitude, lat) && read(columns.longitude, lon);
        const bool counted = read(columns.lapCount, count);
        const std::optional<std::int64_t> ticks = counted || fix ? timeOfRow() : std::nullopt;

        if (counted && ticks && std::fabs(count) < 1e15) {
            const auto whole = static_cast<std::int64_t>(count);
            if (lapCount && whole > *lapCount) laps.crossed(*ticks);
            lapCount = whole;
        }
        if (read(columns.lapTime, number)) laps.lapTime(number);
        if (!fix) continue;
        builder.add({.lat = lat, .lon = lon, .ticks = ticks, .speedMps = speed, .gForceX = accelX, .gForceY = accelY});
    }

    laps.finish();

    SessionInfo info{.dataSource = "RaceCapture"};
    info.relativeTimes = !utcTimes;
    return builder.finish(std::move(fileName), std::move(info));
}

}  // namespace zaro::formats
