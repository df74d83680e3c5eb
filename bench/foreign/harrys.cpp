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

namespace zaro::SessionGenerator {

namespace {

void appendFixed(std::string& out, double value, int decimals)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    out.append(buffer, result.ptr);
}

void appendTwoDigits(std::string& out, std::int64_t value)
{
    out += static_cast<char>('0' + value / 10 % 10);
    out += static_cast<char>('0' + value % 10);
}

// "01-JUN-24" of days since 1970.
void appendDate(std::string& out, std::int64_t days)
{
    static constexpr const char* months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    days += 719'468;
    const std::int64_t era = (days >= 0 ? days : days - 146'096) / 146'097;
    const std::int64_t dayOfEra = days - era * 146'097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    appendTwoDigits(out, dayOfYear - (153 * mp + 2) / 5 + 1);
    out += '-';
    out += months[month - 1];
    out += '-';
    appendTwoDigits(out, year % 100);
}

// "10:15:00.240" of milliseconds since midnight, or "01:23.456" of a lap's milliseconds.
void appendClock(std::string& out, std::int64_t ms, bool hours)
{
    if (hours) {
        appendTwoDigits(out, ms / 3'600'000);
        out += ':';
    }
    appendTwoDigits(out, hours ? ms / 60'000 % 60 : ms / 60'000);
    out += ':';
    appendTwoDigits(out, ms / 1000 % 60);
    out += '.';
    const std::int64_t fraction = ms % 1000;
    out += static_cast<char>('0' + fraction / 100);
    appendTwoDigits(out, fraction % 100);
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
        appendDate(out, row.unixMs / 86'400'000);
        out += ',';
        appendClock(out, row.unixMs % 86'400'000, true);
        out += ',';
        appendClock(out, row.unixMs - lapStartMs, false);
        out += ',';
        appendFixed(out, row.lat, 7);
        out += ',';
        appendFixed(out, row.lon, 7);
        out += ',';
        appendFixed(out, row.speedKmh, 2);
        out += ',';
        appendFixed(out, row.speedKmh / 1.609344, 2);
        out += ',';
        double heading = 0;
        if (i > 0) heading = std::fmod(std::atan2(row.lon - rows[i - 1].lon, row.lat - rows[i - 1].lat) * 57.29577951308232 + 360, 360);
        appendFixed(out, heading, 1);
        out += ",1,";
        appendFixed(out, row.gForceX, 2);
        out += ',';
        appendFixed(out, row.gForceY, 2);
        out += ',';
        appendFixed(out, row.leanDeg, 1);
        out += '\n';
    }
    return out;
}

}  // namespace zaro::SessionGenerator
