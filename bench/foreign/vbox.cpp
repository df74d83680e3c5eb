// A Racelogic VBOX .vbo file: the creation line, the sections a VBOX writes, and space-separated rows
// with positions in minutes (longitude positive to the west), UTC times of day and km/h. Laps are
// left to a start line in [laptiming], laid across the track where the first timed lap begins.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "foreign_writers.hpp"
#include "writer_text.hpp"

namespace zaro::SessionGenerator {

namespace {

constexpr double pi = 3.141592653589793;

void appendFixed(std::string& out, double value, int decimals, int width = 0, bool sign = false)
{
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::fixed, decimals);
    const std::size_t length = static_cast<std::size_t>(end - buffer);
    if (sign || value < 0) out += value < 0 ? '-' : '+';
    for (std::size_t pad = length; static_cast<int>(pad) < width; ++pad) out += '0';
    out.append(buffer, length);
}

// The start line: 30 m across the track through the first fix of lap 1, as "Start lon lat lon lat"
// in minutes.
std::string startLine(const std::vector<Row>& rows)
{
    std::size_t first = 1;
    while (first < rows.size() && rows[first].lap != 1) ++first;
    if (first >= rows.size()) return "Start  -000.000000 +0000.000000 -000.000000 +0000.000000 \xC2\xAC Start / Finish\n";
    const Row& at = rows[first];
    const Row& before = rows[first - 1];
    const double cosLat = std::cos(at.lat * pi / 180);
    const double east = (at.lon - before.lon) * cosLat, north = at.lat - before.lat;
    const double length = std::hypot(east, north);
    const double halfWidthDeg = 15.0 / 111'320.0;
    // Perpendicular to the way the trace goes there.
    const double dLat = length > 0 ? -east / length * halfWidthDeg : halfWidthDeg;
    const double dLon = length > 0 ? north / length * halfWidthDeg / cosLat : 0;
    std::string line = "Start  ";
    for (const int side : {-1, 1}) {
        appendFixed(line, -(at.lon + side * dLon) * 60, 6, 0, true);
        line += ' ';
        appendFixed(line, (at.lat + side * dLat) * 60, 6, 0, true);
        line += ' ';
    }
    line += "\xC2\xAC Start / Finish\n";
    return line;
}

}  // namespace

std::string writeVbox(const std::vector<Row>& rows, const Options& options)
{
    std::string out;
    out.reserve(rows.size() * 96 + 1024);
    const std::int64_t startMs = rows.empty() ? options.startUnixMs : rows.front().unixMs;
    const text::Civil started = text::civil(startMs);
    const std::int64_t year = started.year, month = started.month, day = started.day;
    const std::int64_t secondOfDay = startMs / 1000 % 86'400;
    out += "File created on ";
    text::twoDigits(out, day);
    out += '/';
    text::twoDigits(out, month);
    out += '/';
    out += std::to_string(year);
    out += " @ ";
    text::twoDigits(out, secondOfDay / 3600);
    out += ':';
    text::twoDigits(out, secondOfDay / 60 % 60);
    out += ':';
    text::twoDigits(out, secondOfDay % 60);
    out += "\n\n[header]\nsatellites\ntime\nlatitude\nlongitude\nvelocity kmh\nheading\nheight\nvertical velocity kmh\n"
           "Longitudinal acceleration\nLateral acceleration\n\n[channel units]\ng\ng\n\n[comments]\n(c) Racelogic Ltd\n"
           "VBOX 3i Version 1.2\nLog Rate (Hz) : ";
    appendFixed(out, options.sampleHz, 2);
    out += "\n\n[laptiming]\n";
    out += startLine(rows);
    out += "\n[column names]\nsats time lat long velocity heading height vert-vel longacc latacc\n\n[data]\n";

    double heading = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        if (i > 0) {
            const double east = (row.lon - rows[i - 1].lon) * std::cos(row.lat * pi / 180), north = row.lat - rows[i - 1].lat;
            if (east != 0 || north != 0) heading = std::fmod(std::atan2(east, north) * 180 / pi + 360, 360);
        }
        const std::int64_t msOfDay = row.unixMs % 86'400'000;
        out += "011 ";
        text::twoDigits(out, msOfDay / 3'600'000);
        text::twoDigits(out, msOfDay / 60'000 % 60);
        appendFixed(out, static_cast<double>(msOfDay % 60'000) / 1000, 3, 6);
        out += ' ';
        appendFixed(out, row.lat * 60, 8, 14, true);
        out += ' ';
        appendFixed(out, -row.lon * 60, 8, 14, true);
        out += ' ';
        appendFixed(out, row.speedKmh, 3, 7);
        out += ' ';
        appendFixed(out, heading, 3, 7);
        out += " +00096.00 +000.000 ";
        appendFixed(out, row.gForceX, 3, 0, true);
        out += ' ';
        appendFixed(out, row.gForceY, 3, 0, true);
        out += '\n';
    }
    return out;
}

}  // namespace zaro::SessionGenerator
