// A Harry's LapTimer export: the title line, the upper-case header, and one row per fix with its lap
// index, the UTC date and time and the time into its lap. The way out of the pits is lap 0, the way
// back in the lap after the last timed one.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "foreign_writers.hpp"
#include "writer_text.hpp"

namespace zaro::SessionGenerator {

namespace {

// "01-JUN-24" of a Unix time.
void appendDate(std::string& out, std::int64_t unixMs)
{
    static constexpr const char* months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    const text::Civil day = text::civil(unixMs);
    text::twoDigits(out, day.day);
    out += '-';
    out += months[day.month - 1];
    out += '-';
    text::twoDigits(out, day.year % 100);
}

// "10:15:00.240" of milliseconds since midnight, or "01:23.456" of a lap's milliseconds.
void appendClock(std::string& out, std::int64_t ms, bool hours)
{
    if (hours) {
        text::twoDigits(out, ms / 3'600'000);
        out += ':';
    }
    text::twoDigits(out, hours ? ms / 60'000 % 60 : ms / 60'000);
    out += ':';
    text::twoDigits(out, ms / 1000 % 60);
    out += '.';
    const std::int64_t fraction = ms % 1000;
    out += static_cast<char>('0' + fraction / 100);
    text::twoDigits(out, fraction % 100);
}

}  // namespace

std::string writeHarrys(const std::vector<Row>& rows, const Options&)
{
    std::string out = "Harry's GPS LapTimer\n"
                      "INDEX,LAPINDEX,DATE,TIME,TIME_LAP,LATITUDE,LONGITUDE,SPEED_KPH,SPEED_MPH,HEADING_DEG,"
                      "ACCELERATIONSOURCE[CALCULATED/MEASURED/UNDEFINED],LINEALG,LATERALG,LEAN\n";
    out.reserve(rows.size() * 120 + out.size());
    std::int64_t highest = 0;
    for (const Row& row : rows) highest = std::max(highest, row.lap);
    std::int64_t index = -1;
    std::int64_t lapStartMs = 0;
    bool timed = false;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        timed = timed || row.lap > 0;
        const std::int64_t lapIndex = row.lap > 0 ? row.lap : (timed ? highest + 1 : 0);
        if (lapIndex != index) {
            index = lapIndex;
            lapStartMs = row.unixMs;
        }
        out += std::to_string(i);
        out += ',';
        out += std::to_string(lapIndex);
        out += ',';
        appendDate(out, row.unixMs);
        out += ',';
        appendClock(out, row.unixMs % 86'400'000, true);
        out += ',';
        appendClock(out, row.unixMs - lapStartMs, false);
        out += ',';
        text::fixed(out, row.lat, 7);
        out += ',';
        text::fixed(out, row.lon, 7);
        out += ',';
        text::fixed(out, row.speedKmh, 2);
        out += ',';
        text::fixed(out, row.speedKmh / 1.609344, 2);
        out += ',';
        double heading = 0;
        if (i > 0) heading = std::fmod(std::atan2(row.lon - rows[i - 1].lon, row.lat - rows[i - 1].lat) * 57.29577951308232 + 360, 360);
        text::fixed(out, heading, 1);
        out += ",1,";
        text::fixed(out, row.gForceX, 2);
        out += ',';
        text::fixed(out, row.gForceY, 2);
        out += ',';
        text::fixed(out, row.leanDeg, 1);
        out += '\n';
    }
    return out;
}

}  // namespace zaro::SessionGenerator
