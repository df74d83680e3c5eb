// The reader of last resort: any delimited log with a latitude and a longitude column, as phone apps,
// stand-alone GPS loggers, OBD apps and data loggers write them. It knows no logger, only the names
// such files give their columns and the ways they write times, hemispheres and units.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/iso8601.hpp"
#include "delimited.hpp"
#include "parser/numbers.hpp"
#include "parser/parse_error.hpp"
#include "parser/session_fold.hpp"
#include "readers.hpp"
#include "row_fields.hpp"
#include "row_pieces.hpp"
#include "session_builder.hpp"

namespace zaro::formats {

namespace {

// ---- Columns ---------------------------------------------------------------------------------

enum class Column : std::uint8_t {
    latitude, longitude, northSouth, eastWest, time, date, hour, minute, second, speed, gForceX, gForceY, lean, lap,
};

struct Spelling {
    std::string_view key;  // as columnKey writes it, without a "gps" in front
    Column column;
};

constexpr std::array<Spelling, 44> spellings = {{
    {"latitude", Column::latitude}, {"lat", Column::latitude}, {"latituden/s", Column::latitude},
    {"latdeg", Column::latitude},
    {"longitude", Column::longitude}, {"lon", Column::longitude}, {"lng", Column::longitude},
    {"long", Column::longitude}, {"longitudee/w", Column::longitude}, {"londeg", Column::longitude},
    {"n/s", Column::northSouth}, {"e/w", Column::eastWest},
    {"time", Column::time}, {"timestamp", Column::time}, {"utc", Column::time}, {"utctime", Column::time},
    {"devicetime", Column::time}, {"datetime", Column::time}, {"date/time", Column::time},
    {"date", Column::date}, {"utcdate", Column::date},
    {"hour", Column::hour}, {"minute", Column::minute}, {"second", Column::second},
    {"speed", Column::speed}, {"groundspeed", Column::speed}, {"gndspd", Column::speed},
    {"velocity", Column::speed}, {"kph", Column::speed}, {"mph", Column::speed}, {"km/h", Column::speed},
    {"gforcex", Column::gForceX}, {"gx", Column::gForceX}, {"longitudinalacceleration", Column::gForceX},
    {"gforcey", Column::gForceY}, {"gy", Column::gForceY}, {"lateralacceleration", Column::gForceY},
    {"leanangle", Column::lean}, {"leandeg", Column::lean}, {"lean", Column::lean},
    {"lap", Column::lap}, {"lapnumber", Column::lap}, {"lapindex", Column::lap}, {"lap#", Column::lap},
}};

// Speeds: metres per second per unit, by the unit's spellings in a column's name or after a value.
struct SpeedUnit {
    std::string_view spelling;
    double metresPerSecond;
};

constexpr double kilometresPerHour = 1 / 3.6;
constexpr double milesPerHour = 1 / 2.2369362921;  // as the parse converts miles per hour
constexpr double knots = 1852.0 / 3600.0;

constexpr std::array<SpeedUnit, 11> speedUnits = {{
    {"km/h", kilometresPerHour}, {"kmh", kilometresPerHour}, {"kph", kilometresPerHour},
    {"mph", milesPerHour}, {"mi/h", milesPerHour}, {"knots", knots}, {"knot", knots}, {"kts", knots},
    {"kt", knots}, {"m/s", 1.0}, {"mps", 1.0},
}};

std::optional<double> speedFactor(std::string_view unit)
{
    if (unit.empty()) return std::nullopt;
    if (unit == "kn") return knots;
    for (const SpeedUnit& known : speedUnits) {
        if (unit.find(known.spelling) != std::string_view::npos) return known.metresPerSecond;
    }
    return std::nullopt;
}

// The app a comment or title line names; the version that follows the name goes with it.
constexpr std::array<std::string_view, 8> apps = {
    "Sensor Logger", "phyphox", "Torque Pro", "Torque", "Telemetry Overlay", "Qstarz", "Columbus", "GPS Logger",
};

char lowered(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::optional<std::string> appNamedIn(std::string_view line)
{
    line = line.substr(0, 256);  // a name stands near the start; a long line is not searched through
    for (const std::string_view app : apps) {
        for (std::size_t at = 0; at + app.size() <= line.size(); ++at) {
            if (!std::equal(app.begin(), app.end(), line.begin() + static_cast<std::ptrdiff_t>(at),
                            [](char a, char b) { return lowered(a) == lowered(b); })) {
                continue;
            }
            const std::size_t end = at + app.size();
            if ((at > 0 && isLetter(line[at - 1])) || (end < line.size() && isLetter(line[end]))) continue;
            std::string named(app);
            std::size_t from = end;
            while (from < line.size() && line[from] == ' ') ++from;
            std::size_t to = from;
            if (to < line.size() && (line[to] == 'v' || line[to] == 'V')) ++to;
            const std::size_t digitsFrom = to;
            while (to < line.size() && (isDigit(line[to]) || line[to] == '.')) ++to;
            if (to > digitsFrom && isDigit(line[digitsFrom])) named += " " + std::string(line.substr(from, to - from));
            return named;
        }
    }
    return std::nullopt;
}

struct TimeColumn {
    std::size_t index;
    double secondsPerUnit;  // of a count from the start; Unix times go by their magnitude
    bool utc;               // the name says the times are UTC
};

// Where a file's values stand, as its header row names them.
struct Layout {
    std::size_t bodyOffset = 0;
    char separator = ',';
    bool decimalComma = false;
    std::optional<std::size_t> latitude, longitude, northSouth, eastWest, date, hour, minute, second, speed, gForceX,
        gForceY, lean, lap;
    std::vector<TimeColumn> times;  // in the header's order, the first that reads wins
    std::optional<double> speedFactor;  // none: from the values' units, else as for a bare "Speed"
    bool speedFromGps = false;
    double gForceXFactor = 1;
    double gForceYFactor = 1;
    std::string app;
    std::size_t columnsRead = 0;  // fields of a row up to the last column read
};

// A file names few time columns; a header of a million "time" columns must not make each row try them all.
constexpr std::size_t maxTimeColumns = 8;
// Columns beyond these are no header's: a line of millions of commas is no header, and is not split.
constexpr std::size_t maxHeaderFields = std::size_t{1} << 21;
constexpr double standardGravity = 9.80665;

double secondsPerUnit(std::string_view unit)
{
    if (unit == "ms") return 1e-3;
    if (unit == "us" || unit == "\xC2\xB5s" || unit == "\xCE\xBCs") return 1e-6;
    if (unit == "ns") return 1e-9;
    return 1;
}

void mapColumn(std::string_view name, std::size_t index, Layout& layout)
{
    std::string unit;
    std::string key = columnKey(name, &unit);
    const bool gps = key.size() > 3 && key.starts_with("gps");
    if (gps) key.erase(0, 3);
    std::optional<Column> column;
    for (const Spelling& spelling : spellings) {
        if (spelling.key == key) {
            column = spelling.column;
            break;
        }
    }
    // "speed_kmh", "SpeedKPH": a speed with its unit run into the name (and nothing else: "speedlimitkmh" is none).
    const auto isSpeedUnit = [](std::string_view text) {
        return text == "kn" || std::any_of(speedUnits.begin(), speedUnits.end(), [text](const SpeedUnit& u) { return u.spelling == text; });
    };
    if (!column && key.starts_with("speed") && isSpeedUnit(std::string_view(key).substr(5))) {
        column = Column::speed;
        unit = key.substr(5);
    }
    if (!column) return;
    const auto take = [index](std::optional<std::size_t>& slot) {
        if (!slot) slot = index;
        return slot == index;
    };
    switch (*column) {
    case Column::latitude: take(layout.latitude); break;
    case Column::longitude: take(layout.longitude); break;
    case Column::northSouth: take(layout.northSouth); break;
    case Column::eastWest: take(layout.eastWest); break;
    case Column::date: take(layout.date); break;
    case Column::hour: take(layout.hour); break;
    case Column::minute: take(layout.minute); break;
    case Column::second: take(layout.second); break;
    case Column::lean: take(layout.lean); break;
    case Column::lap: take(layout.lap); break;
    case Column::gForceX:
        if (take(layout.gForceX) && unit.find("m/s") != std::string::npos) layout.gForceXFactor = 1 / standardGravity;
        break;
    case Column::gForceY:
        if (take(layout.gForceY) && unit.find("m/s") != std::string::npos) layout.gForceYFactor = 1 / standardGravity;
        break;
    case Column::time:
        if (layout.times.size() < maxTimeColumns) {
            const bool utc = gps || key.find("utc") != std::string::npos;
            layout.times.push_back({index, secondsPerUnit(unit), utc});
        }
        break;
    case Column::speed: {
        // A speed the GPS measured is preferred to another (a car's own, say).
        const bool measured = gps || key == "groundspeed" || key == "gndspd";
        if (layout.speed && (layout.speedFromGps || !measured)) break;
        layout.speed = index;
        layout.speedFromGps = measured;
        layout.speedFactor = speedFactor(unit.empty() && (key == "kph" || key == "mph" || key == "km/h") ? key : unit);
        break;
    }
    }
}

// The header row: the first line, after comment lines and at most one title line, that names a
// latitude and a longitude column. None when the text has no such line there.
std::optional<Layout> findLayout(std::string_view text)
{
    Lines lines(text);
    std::vector<std::string_view> fields;
    std::string app;
    bool titled = false;
    std::string_view line;
    while (lines.next(line)) {
        const std::string_view trimmed = trimField(line);
        if (trimmed.empty()) continue;
        if (trimmed.front() == '#') {
            if (app.empty()) app = appNamedIn(trimmed).value_or("");
            continue;
        }
        Layout layout;
        layout.separator = likelySeparator(trimmed);
        splitFields(trimmed, layout.separator, fields, maxHeaderFields);
        for (std::size_t i = 0; i < fields.size(); ++i) mapColumn(fields[i], i, layout);
        if (layout.latitude && layout.longitude) {
            for (const auto& column : {layout.latitude, layout.longitude, layout.northSouth, layout.eastWest, layout.date,
                                       layout.hour, layout.minute, layout.second, layout.speed, layout.gForceX,
                                       layout.gForceY, layout.lean, layout.lap}) {
                if (column) layout.columnsRead = std::max(layout.columnsRead, *column + 1);
            }
            for (const TimeColumn& time : layout.times) layout.columnsRead = std::max(layout.columnsRead, time.index + 1);
            layout.bodyOffset = lines.offset();
            layout.decimalComma = layout.separator != ',';
            layout.app = std::move(app);
            return layout;
        }
        // A title is one text; a line of several fields (a "Format" line, say) is no title.
        if (titled || fields.size() > 1) return std::nullopt;
        titled = true;
        if (app.empty()) app = appNamedIn(trimmed).value_or("");
    }
    return std::nullopt;
}

// ---- Times -----------------------------------------------------------------------------------

constexpr std::int64_t ticksPerSecond = iso8601::Instant::ticksPerSecond;

// A cursor over a date or time text.
struct Scan {
    std::string_view text;
    std::size_t at = 0;

    char peek() const { return at < text.size() ? text[at] : '\0'; }
    bool done() const { return at == text.size(); }
    std::size_t digitRun() const
    {
        std::size_t end = at;
        while (end < text.size() && isDigit(text[end])) ++end;
        return end - at;
    }
    int take(std::size_t digits)
    {
        int value = 0;
        for (std::size_t i = 0; i < digits; ++i) value = value * 10 + (text[at++] - '0');
        return value;
    }
    bool eat(char c)
    {
        if (peek() != c) return false;
        ++at;
        return true;
    }
    void skipSpaces()
    {
        while (peek() == ' ') ++at;
    }
};

constexpr std::array<std::string_view, 12> monthNames = {"jan", "feb", "mar", "apr", "may", "jun",
                                                          "jul", "aug", "sep", "oct", "nov", "dec"};

int fullYear(int year, std::size_t digits) { return digits == 2 ? (year < 80 ? 2000 + year : 1900 + year) : year; }

// 2024-06-01, 2024/06/01, 240601 (YYMMDD), 20240601, 01/06/2024, 01.06.2024, 21-Aug-2012: the ticks of
// its midnight.
std::optional<std::int64_t> scanDate(Scan& scan)
{
    const std::size_t run = scan.digitRun();
    int year = 0, month = 0, day = 0;
    if (run == 8 || run == 6) {
        const std::size_t yearDigits = run - 4;
        year = fullYear(scan.take(yearDigits), yearDigits);
        month = scan.take(2);
        day = scan.take(2);
    } else if (run == 4) {
        year = scan.take(4);
        const char separator = scan.peek();
        if (separator != '-' && separator != '/' && separator != '.') return std::nullopt;
        ++scan.at;
        const std::size_t monthDigits = scan.digitRun();
        if (monthDigits < 1 || monthDigits > 2) return std::nullopt;
        month = scan.take(monthDigits);
        if (!scan.eat(separator)) return std::nullopt;
        const std::size_t dayDigits = scan.digitRun();
        if (dayDigits < 1 || dayDigits > 2) return std::nullopt;
        day = scan.take(dayDigits);
    } else if (run == 1 || run == 2) {
        day = scan.take(run);
        const char separator = scan.peek();
        if (separator != '-' && separator != '/' && separator != '.') return std::nullopt;
        ++scan.at;
        if (isLetter(scan.peek())) {
            if (scan.at + 3 > scan.text.size()) return std::nullopt;
            const std::string name{lowered(scan.text[scan.at]), lowered(scan.text[scan.at + 1]), lowered(scan.text[scan.at + 2])};
            const auto found = std::find(monthNames.begin(), monthNames.end(), name);
            if (found == monthNames.end()) return std::nullopt;
            month = static_cast<int>(found - monthNames.begin()) + 1;
            scan.at += 3;
        } else {
            const std::size_t monthDigits = scan.digitRun();
            if (monthDigits < 1 || monthDigits > 2) return std::nullopt;
            month = scan.take(monthDigits);
        }
        if (!scan.eat(separator)) return std::nullopt;
        const std::size_t yearDigits = scan.digitRun();
        if (yearDigits != 4 && yearDigits != 2) return std::nullopt;
        year = fullYear(scan.take(yearDigits), yearDigits);
    } else {
        return std::nullopt;
    }
    const auto midnight = iso8601::fromCivil(year, month, day, 0, 0, 0);
    if (!midnight) return std::nullopt;
    return midnight->ticks;
}

// 10:15:30, 10:15:30.250, 10:15, 101530, 101530.25: the ticks since midnight.
std::optional<std::int64_t> scanClock(Scan& scan)
{
    const std::size_t run = scan.digitRun();
    int hour = 0, minute = 0, second = 0;
    if (run == 6) {
        hour = scan.take(2);
        minute = scan.take(2);
        second = scan.take(2);
    } else if (run == 1 || run == 2) {
        hour = scan.take(run);
        if (!scan.eat(':') || scan.digitRun() != 2) return std::nullopt;
        minute = scan.take(2);
        if (scan.eat(':')) {
            if (scan.digitRun() != 2) return std::nullopt;
            second = scan.take(2);
        }
    } else {
        return std::nullopt;
    }
    if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
    std::int64_t fraction = 0;
    if ((scan.peek() == '.' || scan.peek() == ',') && scan.at + 1 < scan.text.size() && isDigit(scan.text[scan.at + 1])) {
        ++scan.at;
        std::int64_t scale = ticksPerSecond;
        while (isDigit(scan.peek())) {
            scale /= 10;  // digits beyond a tick's are dropped
            fraction += (scan.text[scan.at++] - '0') * scale;
        }
    }
    return (static_cast<std::int64_t>(hour) * 3600 + minute * 60 + second) * ticksPerSecond + fraction;
}

// Z, UTC, GMT, +02:00, +0200, -05: the offset from UTC in ticks; none when the text names no zone.
std::optional<std::int64_t> scanZone(Scan& scan)
{
    const std::size_t from = scan.at;
    scan.skipSpaces();
    const std::string_view rest = scan.text.substr(scan.at);
    if (rest.starts_with('Z')) {
        ++scan.at;
        return 0;
    }
    if (rest.starts_with("UTC") || rest.starts_with("GMT")) {
        scan.at += 3;
        if (scan.peek() != '+' && scan.peek() != '-') return 0;
    }
    if (scan.peek() == '+' || scan.peek() == '-') {
        const bool west = scan.peek() == '-';
        ++scan.at;
        if (scan.digitRun() != 2 && scan.digitRun() != 4) {
            scan.at = from;
            return std::nullopt;
        }
        const int hours = scan.take(2);
        scan.eat(':');
        const int minutes = scan.digitRun() == 2 ? scan.take(2) : 0;
        const std::int64_t offset = (hours * 60 + minutes) * 60 * ticksPerSecond;
        return west ? -offset : offset;
    }
    scan.at = from;
    return std::nullopt;
}

struct Stamp {
    std::int64_t ticks;
    bool zoned;
};

// A date and a time of day in one field, joined by a T or by spaces, with or without a zone.
std::optional<Stamp> readDateTime(std::string_view field)
{
    Scan scan{field};
    const auto midnight = scanDate(scan);
    if (!midnight) return std::nullopt;
    if (!scan.eat('T')) {
        if (scan.peek() != ' ') return std::nullopt;
        scan.skipSpaces();
    }
    const auto clock = scanClock(scan);
    if (!clock) return std::nullopt;
    const auto zone = scanZone(scan);
    scan.skipSpaces();
    if (!scan.done()) return std::nullopt;
    return Stamp{*midnight + *clock - zone.value_or(0), zone.has_value()};
}

std::optional<std::int64_t> readDate(std::string_view field)
{
    Scan scan{field};
    const auto midnight = scanDate(scan);
    if (!midnight || !scan.done()) return std::nullopt;
    return midnight;
}

std::optional<Stamp> readClock(std::string_view field)
{
    Scan scan{field};
    const auto clock = scanClock(scan);
    if (!clock) return std::nullopt;
    const auto zone = scanZone(scan);
    scan.skipSpaces();
    if (!scan.done()) return std::nullopt;
    return Stamp{*clock - zone.value_or(0), zone.has_value()};
}

// How a file states its rows' times, settled by the first row whose time reads.
enum class TimeForm : std::uint8_t {
    undecided,
    unix,              // seconds, milliseconds, microseconds or nanoseconds since 1970
    dateTime,          // a date and time in one field
    dateAndClock,      // a date column and a time-of-day column
    dateAndHms,        // a date column and columns of hours, minutes and seconds
    sinceStart,        // a count of seconds (or of the column's unit) from the start
    timeOfDay,         // a time of day with no date
};

struct TimeSource {
    TimeForm form = TimeForm::undecided;
    std::size_t column = 0;
    double secondsPerUnit = 1;
    std::int64_t offset = 0;  // ticks added to counts from the start that a wall clock anchors
    Clock clock = Clock::utc;
    bool relative = false;  // the times are from an unknown start
};

// ---- Rows ------------------------------------------------------------------------------------

// number(text, true), a short field read without a copy of the field's own.
std::optional<double> commaNumber(std::string_view text)
{
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos) return ZaroSessionParser::readNumber(text);
    std::array<char, 32> copy;  // NOLINT(cppcoreguidelines-pro-type-member-init): written before read
    if (text.size() <= copy.size() && text.find(',', comma + 1) == std::string_view::npos) {
        std::memcpy(copy.data(), text.data(), text.size());
        copy[comma] = '.';
        if (const auto value = ZaroSessionParser::readNumber(std::string_view(copy.data(), text.size()))) return value;
    }
    return number(text, true);
}

// Reads rows one by one. Once the time form is settled, a row's sample depends on that row alone:
// a copy of the reader then reads any rows of the file, and keeps what rows repeat for itself.
class RowReader {
public:
    explicit RowReader(const Layout& layout) : layout_(layout) {}

    /// Fills in the sample of a line; false when its position does not read.
    bool operator()(std::string_view line, Sample& sample)
    {
        if (line.empty()) return false;
        leadingFields(line, layout_.separator, layout_.columnsRead, fields_);
        const std::vector<std::string_view>& fields = fields_;
        const auto lat = coordinate(field(fields, layout_.latitude), 'S', field(fields, layout_.northSouth));
        if (!lat) return false;
        const auto lon = coordinate(field(fields, layout_.longitude), 'W', field(fields, layout_.eastWest));
        if (!lon) return false;
        sample.lat = *lat;
        sample.lon = *lon;
        sample.ticks = time_.form == TimeForm::undecided ? decideTime(fields) : ticks(fields, time_);
        sample.speedMps = speed(field(fields, layout_.speed));
        sample.gForceX = scaled(field(fields, layout_.gForceX), layout_.gForceXFactor);
        sample.gForceY = scaled(field(fields, layout_.gForceY), layout_.gForceYFactor);
        sample.leanDeg = scaled(field(fields, layout_.lean), 1);
        sample.lap = layout_.lap ? std::optional(wholeNumber(field(fields, layout_.lap)).value_or(0)) : std::nullopt;
        return true;
    }

    const TimeSource& time() const { return time_; }
    /// Whether a speed had no unit, in its column's name or after it: then the session's speeds
    /// are taken as a bare "Speed" column's.
    bool bareSpeeds() const { return bareSpeeds_; }

private:
    static std::string_view field(const std::vector<std::string_view>& fields, std::optional<std::size_t> index)
    {
        return index && *index < fields.size() ? fields[*index] : std::string_view();
    }

    // A plain number, as most values are, is read in line; its decimal comma is a point.
    std::optional<double> plainNumber(std::string_view text) const
    {
        return layout_.decimalComma ? commaNumber(text) : ZaroSessionParser::readNumber(text);
    }

    std::optional<double> coordinate(std::string_view text, char negative, std::string_view hemisphere) const
    {
        double degrees = 0;
        char letter = hemisphere.empty() ? '\0' : hemisphere.front();
        if (const auto plain = plainNumber(text)) {
            degrees = *plain;
        } else {
            const auto value = quantity(text, layout_.decimalComma);  // "31.769598N"
            if (!value) return std::nullopt;
            degrees = value->value;
            if (!value->unit.empty()) letter = value->unit.front();
        }
        if (letter == negative || letter == negative + 32) degrees = -std::fabs(degrees);
        return degrees;
    }

    std::optional<double> scaled(std::string_view text, double factor) const
    {
        if (text.empty()) return std::nullopt;
        if (const auto plain = plainNumber(text)) return *plain * factor;
        const auto value = quantity(text, layout_.decimalComma);  // "0.31 g", "38.5°"
        if (!value) return std::nullopt;
        return value->value * factor;
    }

    std::optional<double> speed(std::string_view text)
    {
        if (text.empty()) return std::nullopt;
        auto value = plainNumber(text);
        std::string_view unit;
        if (!value) {
            const auto withUnit = quantity(text, layout_.decimalComma);  // "10.120 km/h"
            if (!withUnit) return std::nullopt;
            value = withUnit->value;
            unit = withUnit->unit;
        }
        if (layout_.speedFactor) return plausible(*value * *layout_.speedFactor);
        if (!unit.empty()) {
            if (unit != valueUnit_) {  // rows mostly repeat the unit
                valueUnit_ = unit;
                valueUnitFactor_ = speedFactor(unit);
            }
            if (valueUnitFactor_) return plausible(*value * *valueUnitFactor_);
        }
        bareSpeeds_ = true;
        // In km/h or in m/s, decided once the fastest is known; above the bound in either it is no speed.
        return plausible(*value / 3.6) ? value : std::nullopt;
    }

    // A logger's speed column can hold values that lost their decimal point when a phone wrote them in
    // another locale ("71919" for 71.919 km/h); nothing a GPS logger rides goes faster than 2000 km/h.
    static std::optional<double> plausible(double speed)
    {
        constexpr double fastestMps = 2000 / 3.6;
        return std::fabs(speed) <= fastestMps ? std::optional(speed) : std::nullopt;
    }

    std::optional<std::int64_t> ticks(const std::vector<std::string_view>& fields, const TimeSource& source)
    {
        const std::string_view text = field(fields, source.column);
        switch (source.form) {
        case TimeForm::undecided: return std::nullopt;
        case TimeForm::unix: {
            if (const auto whole = ZaroSessionParser::readInteger(text)) return wholeUnixTicks(*whole);
            const auto value = plainNumber(text);
            return value ? unixTicks(*value) : std::nullopt;
        }
        case TimeForm::dateTime: {
            const auto stamp = readDateTime(text);
            return stamp ? std::optional(stamp->ticks) : std::nullopt;
        }
        case TimeForm::dateAndClock: {
            const auto midnight = dateOf(field(fields, layout_.date));
            const auto clock = readClock(text);
            return midnight && clock ? std::optional(*midnight + clock->ticks) : std::nullopt;
        }
        case TimeForm::dateAndHms: return wallClock(fields);
        case TimeForm::sinceStart: {
            const auto value = plainNumber(text);
            if (!value) return std::nullopt;
            const auto since = secondsToTicks(*value * source.secondsPerUnit);
            return since ? std::optional(*since + source.offset) : std::nullopt;
        }
        case TimeForm::timeOfDay: {
            const auto clock = readClock(text);
            return clock ? std::optional(clock->ticks + source.offset) : std::nullopt;
        }
        }
        return std::nullopt;
    }

    // The date column with hours, minutes and seconds in columns of their own.
    std::optional<std::int64_t> wallClock(const std::vector<std::string_view>& fields)
    {
        if (!layout_.date || !layout_.hour || !layout_.minute || !layout_.second) return std::nullopt;
        const auto midnight = dateOf(field(fields, layout_.date));
        const auto hour = wholeNumber(field(fields, layout_.hour));
        const auto minute = wholeNumber(field(fields, layout_.minute));
        const auto second = number(field(fields, layout_.second), layout_.decimalComma);
        if (!midnight || !hour || !minute || !second) return std::nullopt;
        if (*hour < 0 || *hour > 23 || *minute < 0 || *minute > 59 || !(*second >= 0 && *second < 60)) return std::nullopt;
        return *midnight + (*hour * 3600 + *minute * 60) * ticksPerSecond + std::llround(*second * ticksPerSecond);
    }

    // Tries the time columns in turn, in each of the forms a time may take; the first that reads
    // settles how every row's time is read.
    std::optional<std::int64_t> decideTime(const std::vector<std::string_view>& fields)
    {
        for (const TimeColumn& column : layout_.times) {
            if (const auto ticks = decide(fields, column)) return ticks;
        }
        if (layout_.date) {
            TimeSource source{.form = TimeForm::dateTime, .column = *layout_.date};
            if (const auto stamp = readDateTime(field(fields, *layout_.date))) {
                source.clock = stamp->zoned ? Clock::utc : Clock::local;
                time_ = source;
                return stamp->ticks;
            }
        }
        if (const auto wall = wallClock(fields)) {
            time_ = {.form = TimeForm::dateAndHms, .clock = Clock::local};
            return wall;
        }
        return std::nullopt;
    }

    std::optional<std::int64_t> decide(const std::vector<std::string_view>& fields, const TimeColumn& column)
    {
        const std::string_view text = field(fields, column.index);
        if (text.empty()) return std::nullopt;
        TimeSource source{.column = column.index, .secondsPerUnit = column.secondsPerUnit};
        if (const auto stamp = readDateTime(text)) {
            source.form = TimeForm::dateTime;
            source.clock = stamp->zoned || column.utc ? Clock::utc : Clock::local;
            time_ = source;
            return stamp->ticks;
        }
        if (layout_.date) {
            source.form = TimeForm::dateAndClock;
            if (const auto ticks = this->ticks(fields, source)) {
                source.clock = readClock(text)->zoned || column.utc ? Clock::utc : Clock::local;
                time_ = source;
                return ticks;
            }
        }
        if (const auto value = plainNumber(text)) {
            const auto whole = ZaroSessionParser::readInteger(text);
            if (const auto unix = whole ? wholeUnixTicks(*whole) : unixTicks(*value)) {
                source.form = TimeForm::unix;
                time_ = source;
                return unix;
            }
            source.form = TimeForm::sinceStart;
        } else if (readClock(text)) {
            source.form = TimeForm::timeOfDay;
        } else {
            return std::nullopt;
        }
        const auto since = ticks(fields, source);
        if (!since) return std::nullopt;
        // Counted from the start: a wall clock in the same row says when that was.
        if (const auto wall = wallClock(fields)) {
            source.offset = *wall - *since;
            source.clock = Clock::local;
        } else {
            source.relative = true;
        }
        time_ = source;
        return *since + source.offset;
    }

    // readDate, of which rows mostly repeat the last one's.
    std::optional<std::int64_t> dateOf(std::string_view text)
    {
        if (text != lastDate_) {
            lastDate_ = text;
            lastMidnight_ = readDate(text);
        }
        return lastMidnight_;
    }

    const Layout& layout_;
    std::vector<std::string_view> fields_;
    TimeSource time_;
    bool bareSpeeds_ = false;
    // The last of each that rows repeat, within the file's text.
    std::string_view valueUnit_;
    std::optional<double> valueUnitFactor_;
    std::string_view lastDate_;
    std::optional<std::int64_t> lastMidnight_;
};

}  // namespace

bool recognisesGpsTrack(std::string_view head) { return findLayout(head).has_value(); }

ZaroSession readGpsTrack(std::string_view text, std::string fileName, unsigned threads)
{
    const std::optional<Layout> layout = findLayout(text);
    if (!layout) throw ParseError::unsupportedFormat();
    RowReader reader(*layout);
    SessionBuilder builder(static_cast<std::int64_t>(text.size() - layout->bodyOffset));
    // The rows up to the first whose time reads, which settles how every time reads, in order; the
    // rows after it stand alone, and are read in pieces.
    Lines lines(text, layout->bodyOffset);
    std::string_view line;
    Sample sample;
    while (reader.time().form == TimeForm::undecided && lines.next(line)) {
        if (reader(line, sample)) builder.add(sample);
    }
    const std::vector<RowReader> pieces = foldRows(text, lines.offset(), reader, builder, threads);
    const bool bareSpeeds = reader.bareSpeeds() ||
                            std::any_of(pieces.begin(), pieces.end(), [](const RowReader& piece) { return piece.bareSpeeds(); });
    SessionInfo info;
    info.dataSource = layout->app.empty() ? "GPS track" : layout->app;
    info.clock = reader.time().clock;
    info.relativeTimes = reader.time().relative;
    ZaroSession session = builder.finish(std::move(fileName), std::move(info));
    if (bareSpeeds && session.maxSpeedMps) {
        const double factor = ZaroSessionParser::speedConversion("", *session.maxSpeedMps);
        *session.maxSpeedMps *= factor;
        if (session.avgSpeedMps) *session.avgSpeedMps *= factor;
    }
    return session;
}

}  // namespace zaro::formats
