// A RaceCapture log: the header of `"Name"|"Unit"|min|max|rate` cells and rows in which each channel
// is present only when sampled. Positions and speed come at the rows' rate, the accelerometer at
// twice that (a row of its own between two fixes), the lap count and lap time (in minutes) once a
// second.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "foreign_writers.hpp"
#include "writer_text.hpp"

namespace zaro::SessionGenerator {

namespace {

void appendTimes(std::string& out, std::int64_t unixMs, std::int64_t startMs)
{
    out += std::to_string(unixMs - startMs + 402);  // uptime
    out += ',';
    out += std::to_string(unixMs);
    out += ',';
}

}  // namespace

std::string writeRaceCapture(const std::vector<Row>& rows, const Options& options)
{
    const int gpsRate = static_cast<int>(std::lround(options.sampleHz));
    std::string out = "\"Interval\"|\"ms\"|0|0|1,\"Utc\"|\"ms\"|0|0|1,\"AccelX\"|\"G\"|-3.0|3.0|" + std::to_string(2 * gpsRate)
        + ",\"AccelY\"|\"G\"|-3.0|3.0|" + std::to_string(2 * gpsRate) + ",\"Latitude\"|\"Degrees\"|-180.0|180.0|"
        + std::to_string(gpsRate) + ",\"Longitude\"|\"Degrees\"|-180.0|180.0|" + std::to_string(gpsRate)
        + ",\"Speed\"|\"KPH\"|0.0|300.0|" + std::to_string(gpsRate)
        + ",\"LapCount\"|\"\"|0|0|1,\"LapTime\"|\"Min\"|0.0|0.0|1\n";
    out.reserve(rows.size() * 110 + out.size());
    const std::int64_t startMs = rows.empty() ? 0 : rows.front().unixMs;
    std::int64_t crossings = 0;
    std::int64_t lapStartMs = 0;
    double lastLapMinutes = 0;
    std::int64_t nextSecondMs = startMs;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        if (i > 0 && row.lap != rows[i - 1].lap) {
            if (rows[i - 1].lap > 0) lastLapMinutes = static_cast<double>(row.unixMs - lapStartMs) / 60'000;
            lapStartMs = row.unixMs;
            ++crossings;
        }
        appendTimes(out, row.unixMs, startMs);
        text::fixed(out, row.gForceX, 2);
        out += ',';
        text::fixed(out, row.gForceY, 2);
        out += ',';
        text::fixed(out, row.lat, 6);
        out += ',';
        text::fixed(out, row.lon, 6);
        out += ',';
        text::fixed(out, row.speedKmh, 2);
        out += ',';
        if (row.unixMs >= nextSecondMs) {
            nextSecondMs += 1000;
            out += std::to_string(crossings);
            out += ',';
            text::fixed(out, lastLapMinutes, 4);
        } else {
            out += ',';
        }
        out += '\n';
        if (i + 1 < rows.size()) {
            // The accelerometer's sample between this fix and the next.
            const Row& next = rows[i + 1];
            appendTimes(out, (row.unixMs + next.unixMs) / 2, startMs);
            text::fixed(out, (row.gForceX + next.gForceX) / 2, 2);
            out += ',';
            text::fixed(out, (row.gForceY + next.gForceY) / 2, 2);
            out += ",,,,,\n";
        }
    }
    return out;
}

}  // namespace zaro::SessionGenerator
