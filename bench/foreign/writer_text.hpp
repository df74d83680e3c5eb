// Numbers, dates and laps as the loggers' writers need them.
#pragma once

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "foreign_writers.hpp"

namespace zaro::SessionGenerator::text {

/// `value` with `decimals` digits after the point; -0 is written as 0.
inline void fixed(std::string& out, double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    const double rounded = std::round(value * scale) / scale + 0.0;
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), rounded, std::chars_format::fixed, decimals);
    out.append(buffer.data(), result.ptr);
}

/// `value` with at most `decimals` digits after the point, trailing zeros (and a bare point) dropped.
inline void trimmed(std::string& out, double value, int decimals)
{
    const std::size_t from = out.size();
    fixed(out, value, decimals);
    if (out.find('.', from) == std::string::npos) return;
    while (out.back() == '0') out.pop_back();
    if (out.back() == '.') out.pop_back();
}

inline void integer(std::string& out, std::int64_t value)
{
    std::array<char, 24> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out.append(buffer.data(), result.ptr);
}

inline void twoDigits(std::string& out, std::int64_t value)
{
    out.push_back(static_cast<char>('0' + value / 10 % 10));
    out.push_back(static_cast<char>('0' + value % 10));
}

/// The calendar day and time of day of a Unix time in milliseconds.
struct Civil {
    int year, month, day;
    std::int64_t msOfDay;
    int weekday;  // 0 Sunday … 6 Saturday
};

inline Civil civil(std::int64_t unixMs)
{
    constexpr std::int64_t msPerDay = 86'400'000;
    std::int64_t days = unixMs / msPerDay;
    std::int64_t msOfDay = unixMs % msPerDay;
    if (msOfDay < 0) {
        msOfDay += msPerDay;
        --days;
    }
    const int weekday = static_cast<int>(((days + 4) % 7 + 7) % 7);  // 1970-01-01 was a Thursday
    days += 719'468;
    const std::int64_t era = (days >= 0 ? days : days - 146'096) / 146'097;
    const std::int64_t dayOfEra = days - era * 146'097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const auto day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    const auto month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const auto year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    return {year, month, day, msOfDay, weekday};
}

/// "HH:MM:SS.sss" of a duration in milliseconds.
inline void clock(std::string& out, std::int64_t ms)
{
    twoDigits(out, ms / 3'600'000);
    out += ':';
    twoDigits(out, ms / 60'000 % 60);
    out += ':';
    twoDigits(out, ms / 1000 % 60);
    out += '.';
    out.push_back(static_cast<char>('0' + ms % 1000 / 100));
    twoDigits(out, ms % 100);
}

/// Great-circle metres between two positions, as the parse measures them.
inline double metres(double lat1, double lon1, double lat2, double lon2)
{
    constexpr double pi = 3.141592653589793;
    const double dLat = (lat2 - lat1) * pi / 180, dLon = (lon2 - lon1) * pi / 180;
    const double a = std::pow(std::sin(dLat * 0.5), 2) +
                     std::cos(lat1 * pi / 180) * std::cos(lat2 * pi / 180) * std::pow(std::sin(dLon * 0.5), 2);
    return 12742000.0 * std::asin(std::fmin(std::sqrt(a), 1.0));
}

/// Degrees from north of the way from one position to the next.
inline double bearing(double lat1, double lon1, double lat2, double lon2)
{
    constexpr double pi = 3.141592653589793;
    const double y = std::sin((lon2 - lon1) * pi / 180) * std::cos(lat2 * pi / 180);
    const double x = std::cos(lat1 * pi / 180) * std::sin(lat2 * pi / 180) -
                     std::sin(lat1 * pi / 180) * std::cos(lat2 * pi / 180) * std::cos((lon2 - lon1) * pi / 180);
    return std::fmod(std::atan2(y, x) * 180 / pi + 360, 360);
}

/// The rows' laps as lap timers count them: 0 before the first crossing, then 1, 2, … on, the in-lap
/// being the lap after the last timed one.
inline std::vector<std::int64_t> countedLaps(const std::vector<Row>& rows)
{
    std::vector<std::int64_t> laps;
    laps.reserve(rows.size());
    std::int64_t latest = 0;
    for (const Row& row : rows) {
        if (row.lap > 0) latest = row.lap;
        laps.push_back(row.lap > 0 ? row.lap : latest > 0 ? latest + 1 : 0);
    }
    return laps;
}

/// Where each counted lap begins: the index of its first row.
inline std::vector<std::size_t> lapStarts(const std::vector<std::int64_t>& laps)
{
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < laps.size(); ++i) {
        if (i == 0 || laps[i] != laps[i - 1]) starts.push_back(i);
    }
    return starts;
}

}  // namespace zaro::SessionGenerator::text
