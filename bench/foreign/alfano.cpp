// Alfano's CSV export: semicolons, the logger's channel names with the UTC time of day of the start in
// the last header cell, and a lap's number and time on its first row only (no time for the out-lap
// and for a lap not finished). Large numbers carry thousands separators ("4,120" rpm).
#include <algorithm>
#include <cmath>

#include "foreign_writers.hpp"
#include "writer_text.hpp"

namespace zaro::SessionGenerator {

namespace {

// "17,090.4": thousands set apart by commas, at most one decimal.
void withThousands(std::string& out, double value)
{
    std::string digits;
    text::trimmed(digits, value, 1);
    const std::size_t point = std::min(digits.find('.'), digits.size());
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && i < point && (point - i) % 3 == 0 && digits[i - 1] != '-') out += ',';
        out += digits[i];
    }
}

}  // namespace

std::string writeAlfano(const std::vector<Row>& rows, const Options&)
{
    std::string out;
    out.reserve(rows.size() * 110 + 512);
    const std::vector<std::int64_t> laps = text::countedLaps(rows);
    const std::vector<std::size_t> starts = text::lapStarts(laps);
    const std::int64_t firstMs = rows.empty() ? 0 : rows.front().unixMs;
    const std::int64_t startOfDay = text::civil(firstMs).msOfDay;
    out += "Lap;Time Lap;Strip;Time Strip;Absolute Time;Time;Distance;RPM;Speed GPS;T1;T2;Gf. X;Gf. Y;Orientation;Speed rear;Lat.;Lon.;"
           "Altitude;UTC time : ";
    text::twoDigits(out, startOfDay / 3'600'000);
    text::twoDigits(out, startOfDay / 60'000 % 60);
    text::twoDigits(out, startOfDay / 1000 % 60);
    out += '.';
    text::twoDigits(out, startOfDay % 1000 / 10);
    out += '\n';

    std::size_t lap = 0;  // index into starts
    double distance = 0, heading = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        if (i > 0) {
            distance += text::metres(rows[i - 1].lat, rows[i - 1].lon, row.lat, row.lon);
            if (rows[i - 1].lat != row.lat || rows[i - 1].lon != row.lon) {
                heading = text::bearing(rows[i - 1].lat, rows[i - 1].lon, row.lat, row.lon);
            }
        }
        if (lap + 1 < starts.size() && i == starts[lap + 1]) ++lap;
        const std::int64_t lapStartMs = rows[starts[lap]].unixMs;
        if (i == starts[lap]) {
            distance = 0;
            text::integer(out, laps[i]);
            out += ';';
            // Timed: a lap after the out-lap that ended with a crossing.
            if (laps[i] > 0 && lap + 1 < starts.size()) text::fixed(out, static_cast<double>(rows[starts[lap + 1]].unixMs - lapStartMs) / 1000, 2);
            out += ";;;";
        } else {
            out += ";;;;";
        }
        text::trimmed(out, static_cast<double>(row.unixMs - firstMs) / 1000, 3);
        out += ';';
        text::trimmed(out, static_cast<double>(row.unixMs - lapStartMs) / 1000, 3);
        out += ';';
        text::trimmed(out, distance, 2);
        out += ';';
        withThousands(out, std::round(2000 + row.speedKmh * 80));
        out += ';';
        text::trimmed(out, row.speedKmh, 1);
        out += ";0;0;";
        text::trimmed(out, row.gForceY, 2);
        out += ';';
        text::trimmed(out, row.gForceX, 2);
        out += ';';
        withThousands(out, heading * 100);
        out += ";0;";
        text::fixed(out, row.lat, 7);
        out += ';';
        text::fixed(out, row.lon, 7);
        out += ";515;\n";
    }
    return out;
}

}  // namespace zaro::SessionGenerator
