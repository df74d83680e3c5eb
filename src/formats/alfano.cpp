// Alfano's CSV export: semicolon-separated, a header of the logger's channel names ("Lap;Time Lap;…;
// Lat.;Lon.;…"), one row per sample. A lap's number and time stand on its first row only; `Absolute
// Time` counts seconds from the start of the recording, whose date the file does not give. Numbers
// may carry thousands separators ("4,120" rpm, "17,090.4"), or a decimal comma in exports made
// with a comma locale, which the file's positions tell. Speeds are km/h; `Gf. Y` follows the changes
// of speed (longitudinal g) and `Gf. X` is the lateral g.
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "delimited.hpp"
#include "parser/numbers.hpp"
#include "parser/parse_error.hpp"
#include "readers.hpp"
#include "row_fields.hpp"
#include "session_builder.hpp"

namespace zaro::formats {

namespace {

struct Columns {
    std::optional<std::size_t> lap, lapTime, time, latitude, longitude, speed, gX, gY;
};

constexpr Spelling<Columns> spellings[] = {
    {"lap", &Columns::lap},
    {"timelap", &Columns::lapTime},
    {"absolutetime", &Columns::time},
    {"lat", &Columns::latitude},
    {"lon", &Columns::longitude},
    {"speedgps", &Columns::speed},
    {"gfx", &Columns::gX},
    {"gfy", &Columns::gY},
};

// A number with thousands separators, or with a decimal comma.
std::optional<double> alfanoNumber(std::string_view field, bool decimalComma)
{
    if (decimalComma) return number(field, true);
    if (const auto plain = ZaroSessionParser::readNumber(field)) return plain;
    if (field.find(',') == std::string_view::npos) return std::nullopt;
    std::array<char, 64> digits{};
    std::size_t length = 0;
    for (const char c : field) {
        if (c == ',') continue;
        if (length == digits.size()) return std::nullopt;
        digits[length++] = c;
    }
    return number(std::string_view(digits.data(), length));
}

// Seconds of "87.43" or "1:27.43".
std::optional<double> lapSeconds(std::string_view field, bool decimalComma)
{
    const std::size_t colon = field.find(':');
    if (colon == std::string_view::npos) return alfanoNumber(field, decimalComma);
    const auto minutes = wholeNumber(field.substr(0, colon));
    const auto seconds = alfanoNumber(field.substr(colon + 1), decimalComma);
    if (!minutes || !seconds || *minutes < 0) return std::nullopt;
    return static_cast<double>(*minutes) * 60 + *seconds;
}

}  // namespace

bool recognisesAlfano(std::string_view head)
{
    std::string_view line;
    Lines lines(head);
    if (!lines.next(line) || !line.starts_with("Lap;Time Lap;")) return false;
    std::vector<std::string_view> fields;
    splitFields(line, ';', fields);
    const Columns columns = columnsOf(fields, spellings);
    return columns.latitude && columns.longitude;
}

ZaroSession readAlfano(std::string_view text, std::string fileName, unsigned /*threads*/)
{
    Lines lines(text);
    std::string_view line;
    std::vector<std::string_view> fields;
    lines.next(line);
    splitFields(line, ';', fields);
    const Columns columns = columnsOf(fields, spellings);
    if (!columns.time || !columns.latitude || !columns.longitude) {
        std::vector<std::string> missing;
        if (!columns.time) missing.emplace_back("Absolute Time");
        if (!columns.latitude) missing.emplace_back("Lat.");
        if (!columns.longitude) missing.emplace_back("Lon.");
        throw ParseError::missingColumns(std::move(missing));
    }

    const auto field = [&fields](std::optional<std::size_t> column) -> std::string_view {
        return column && *column < fields.size() ? fields[*column] : std::string_view{};
    };
    const std::size_t needed = fieldsNeeded({columns.lap, columns.lapTime, columns.time, columns.latitude, columns.longitude, columns.speed,
                                                columns.gX, columns.gY});
    SessionBuilder builder(static_cast<std::int64_t>(text.size() - lines.offset()));
    std::optional<bool> decimalComma;  // known from the first position
    // The lap under way: where it began, its number and the time its first row states.
    struct Lap {
        std::int64_t from;
        std::optional<std::int64_t> number;
        std::optional<double> seconds;
    };
    std::optional<Lap> lap;
    const auto endLap = [&builder, &lap](std::int64_t to) {
        if (!lap || to <= lap->from) return;
        // The out-lap (lap 0) and a lap the logger did not time are no laps.
        const bool timed = lap->number && *lap->number > 0 && lap->seconds && *lap->seconds > 0;
        builder.addStatedLap(timed ? ZaroSessionLap::Kind::lap : ZaroSessionLap::Kind::incomplete, timed ? lap->number : std::nullopt,
                             lap->from, to, timed ? lap->seconds : std::nullopt);
    };
    // In one piece, on one thread: the first position tells whether numbers have decimal commas, and
    // a lap's row ends the lap that the one before began.
    while (lines.next(line)) {
        leadingFields(line, ';', needed, fields);
        const std::string_view latText = field(columns.latitude);
        if (!decimalComma && !latText.empty()) {
            decimalComma = latText.find(',') != std::string_view::npos && latText.find('.') == std::string_view::npos;
        }
        const bool comma = decimalComma.value_or(false);
        const auto lat = alfanoNumber(latText, comma);
        const auto lon = alfanoNumber(field(columns.longitude), comma);
        const auto seconds = alfanoNumber(field(columns.time), comma);
        const auto ticks = seconds ? secondsToTicks(*seconds) : std::nullopt;
        if (!ticks) continue;
        bool fix = false;
        if (lat && lon) {
            Sample sample{.lat = *lat, .lon = *lon, .ticks = ticks};
            if (const auto kmh = alfanoNumber(field(columns.speed), comma)) sample.speedMps = *kmh / 3.6;
            sample.gForceX = alfanoNumber(field(columns.gY), comma);
            sample.gForceY = alfanoNumber(field(columns.gX), comma);
            fix = builder.add(sample);
        }
        const std::string_view lapText = field(columns.lap);
        if (lapText.empty()) continue;
        endLap(*ticks);
        lap = Lap{*ticks, wholeNumber(lapText), lapSeconds(field(columns.lapTime), comma)};
        if (fix) builder.markLapBoundary(*ticks);
    }
    if (builder.lastTicks()) endLap(*builder.lastTicks());
    return builder.finish(std::move(fileName), SessionInfo{.dataSource = "Alfano", .relativeTimes = true});
}

}  // namespace zaro::formats
