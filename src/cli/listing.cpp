#include "cli/listing.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <variant>

#include "base/unicode.hpp"
#include "cli/json.hpp"
#include "cli/numbers.hpp"
#include "cli/text_table.hpp"
#include "format/zaro_session_format.hpp"

namespace zaro::cli {

namespace {

namespace format = ZaroSessionFormat;

// A sort key that puts an absent or unreadable figure after every present one.
std::pair<bool, double> presentFirst(std::optional<double> value)
{
    const bool absent = !value || std::isnan(*value);
    return {absent, absent ? 0 : *value};
}

std::pair<bool, std::int64_t> startKey(const SessionRow& row)
{
    return {!row.startTicks, row.startTicks.value_or(0)};
}

constexpr TableColumn tableColumns[] = {
    {"Started"}, {"Track"}, {"Session"}, {"Laps", true}, {"Best lap", true}, {"Theoretical", true},
    {"Top speed", true}, {"Duration", true}, {"Distance", true}, {"File"},
};

TableRow tableRow(const SessionRow& row, format::Units units)
{
    return {
        format::dateTime(row.startedAt),
        trackText(row.trackName, row.configuration),
        row.sessionType.value_or(std::string(format::placeholder)),
        std::to_string(row.lapCount),
        format::lapTime(row.bestLapSec),
        format::lapTime(row.theoreticalBestSec),
        format::speed(row.maxSpeedMps, units),
        format::duration(row.startedAt, row.endedAt),
        format::distance(row.distanceM, units),
        row.path,
    };
}

// A raw figure of a row: none, a text, a whole number or a number.
using Raw = std::variant<std::monostate, std::string, std::int64_t, double>;

template <typename T>
Raw raw(const std::optional<T>& value)
{
    return value ? Raw(*value) : Raw();
}

// The figures of the machine-readable formats, under their names, in their order.
std::vector<std::pair<std::string_view, Raw>> rawFields(const SessionRow& row)
{
    return {
        {"path", row.path},
        {"startedAt", row.startedAt},
        {"trackName", row.trackName},
        {"configuration", raw(row.configuration)},
        {"sessionType", raw(row.sessionType)},
        {"lapCount", row.lapCount},
        {"bestLapSec", raw(row.bestLapSec)},
        {"theoreticalBestSec", raw(row.theoreticalBestSec)},
        {"maxSpeedMps", raw(row.maxSpeedMps)},
        {"durationSec", raw(format::elapsedSec(row.startedAt, row.endedAt))},
        {"distanceM", row.distanceM},
    };
}

// One field of RFC 4180: quoted when it holds a comma or a quote, quotes doubled. Texts are made
// printable first, so no line break is left in them.
void appendCsvField(std::string& line, const Raw& value)
{
    if (const auto* text = std::get_if<std::string>(&value)) {
        std::string printable;
        text::appendPrintable(printable, *text);
        if (printable.find_first_of(",\"") == std::string::npos) {
            line += printable;
            return;
        }
        line += '"';
        for (char c : printable) {
            if (c == '"') line += '"';
            line += c;
        }
        line += '"';
    } else if (const auto* whole = std::get_if<std::int64_t>(&value)) {
        line += std::to_string(*whole);
    } else if (const auto* number = std::get_if<double>(&value)) {
        const auto name = nonFiniteName(*number);
        if (name.empty()) appendShortest(line, *number);
        line += name;
    }
}

void writeCsv(std::ostream& out, const std::vector<SessionRow>& rows)
{
    std::string line;
    for (const auto& [name, value] : rawFields(SessionRow{})) {  // the names, from any row
        line += line.empty() ? "" : ",";
        line += name;
    }
    out << line << "\r\n";
    for (const SessionRow& row : rows) {
        line.clear();
        bool first = true;
        for (const auto& [name, value] : rawFields(row)) {
            if (!std::exchange(first, false)) line += ',';
            appendCsvField(line, value);
        }
        out << line << "\r\n";
    }
}

void writeJsonLines(std::ostream& out, const std::vector<SessionRow>& rows)
{
    json::Writer writer(out);  // hands each finished object on before the line feed is written
    for (const SessionRow& row : rows) {
        writer.beginObject();
        for (const auto& [name, value] : rawFields(row)) {
            writer.key(name);
            std::visit([&writer](const auto& v) {
                using T = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<T, std::monostate>) writer.null();
                else if constexpr (std::is_same_v<T, std::string>) writer.string(v);
                else if constexpr (std::is_same_v<T, std::int64_t>) writer.integer(v);
                else writer.number(v);
            }, value);
        }
        writer.endObject();
        out << '\n';
    }
}

}  // namespace

void sortRows(std::vector<SessionRow>& rows, ListOrder order)
{
    std::stable_sort(rows.begin(), rows.end(), [](const SessionRow& a, const SessionRow& b) { return a.path < b.path; });
    const auto sortBy = [&rows](auto key) {
        std::stable_sort(rows.begin(), rows.end(), [&key](const SessionRow& a, const SessionRow& b) { return key(a) < key(b); });
    };
    switch (order) {
    case ListOrder::started: sortBy(startKey); break;
    case ListOrder::best: sortBy([](const SessionRow& row) { return presentFirst(row.bestLapSec); }); break;
    case ListOrder::track:
        sortBy(startKey);
        sortBy([](const SessionRow& row) { return std::tie(row.trackName, row.configuration); });
        break;
    case ListOrder::file: break;
    }
}

void writeListing(std::ostream& out, std::vector<SessionRow> rows, const CommandLine& line)
{
    sortRows(rows, line.order);
    switch (line.format) {
    case ListFormat::table: {
        std::vector<TableRow> cells;
        cells.reserve(rows.size());
        for (const SessionRow& row : rows) cells.push_back(tableRow(row, line.units));
        writeTable(out, tableColumns, std::move(cells));
        break;
    }
    case ListFormat::csv: writeCsv(out, rows); break;
    case ListFormat::json: writeJsonLines(out, rows); break;
    }
}

}  // namespace zaro::cli
