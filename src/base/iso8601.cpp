#include "base/iso8601.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>

namespace zaro::iso8601 {

namespace {

constexpr std::int64_t secondsPerDay = 86400;
constexpr std::int64_t daysPer400Years = 146097;
// Days from 0000-03-01 to 1970-01-01: the proleptic year is counted from March so that a leap
// day falls at the end of it.
constexpr std::int64_t epochShiftDays = 719468;

// The value of `count` decimal digits at `at`, or -1 when any of them is not a digit.
// The caller has checked that the text is long enough.
int digitsAt(std::string_view text, std::size_t at, std::size_t count)
{
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        const int digit = text[i] - '0';
        if (digit < 0 || digit > 9) return -1;
        value = value * 10 + digit;
    }
    return value;
}

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    static constexpr std::array<int, 12> days = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[static_cast<std::size_t>(month - 1)];
}

// Days since 1970-01-01 of a valid proleptic Gregorian date.
std::int64_t daysFromCivil(int year, int month, int day)
{
    const int marchYear = month <= 2 ? year - 1 : year;
    const int era = (marchYear >= 0 ? marchYear : marchYear - 399) / 400;
    const int yearOfEra = marchYear - era * 400;
    const int dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return std::int64_t{era} * daysPer400Years + dayOfEra - epochShiftDays;
}

struct CivilDate {
    std::int64_t year;
    int month;
    int day;
};

// The proleptic Gregorian date of a day count since 1970-01-01; any int64 tick count's day fits.
CivilDate civilFromDays(std::int64_t days)
{
    const std::int64_t shifted = days + epochShiftDays;
    const std::int64_t era = (shifted >= 0 ? shifted : shifted - (daysPer400Years - 1)) / daysPer400Years;
    const auto dayOfEra = static_cast<int>(shifted - era * daysPer400Years);
    const int yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int marchMonth = (5 * dayOfYear + 2) / 153;
    const int day = dayOfYear - (153 * marchMonth + 2) / 5 + 1;
    const int month = marchMonth < 10 ? marchMonth + 3 : marchMonth - 9;
    return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

std::int64_t floorDivide(std::int64_t value, std::int64_t divisor)
{
    const std::int64_t quotient = value / divisor;
    return value % divisor < 0 ? quotient - 1 : quotient;
}

// Fixed positions: YYYY-MM-DDTHH:MM:SS, an optional .fraction, then Z or ±HH:MM, nothing else.
constexpr std::size_t minuteEnd = 16;
constexpr std::size_t secondsEnd = 19;

// The seconds since 1970 of the date, hour and minute that begin `text` (at least secondsEnd + 1
// bytes long), or no value when they are not a real minute.
std::optional<std::int64_t> readMinute(std::string_view text)
{
    if (text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':') return std::nullopt;
    const int year = digitsAt(text, 0, 4);
    const int month = digitsAt(text, 5, 2);
    const int day = digitsAt(text, 8, 2);
    const int hour = digitsAt(text, 11, 2);
    const int minute = digitsAt(text, 14, 2);
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month)) return std::nullopt;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59) return std::nullopt;
    return daysFromCivil(year, month, day) * secondsPerDay + hour * 3600 + minute * 60;
}

// The instant of `text` whose minute, read already, is `minuteSeconds`: the seconds, fraction and zone.
std::optional<Instant> readAfterMinute(std::string_view text, std::int64_t minuteSeconds)
{
    if (text[minuteEnd] != ':') return std::nullopt;
    const int second = digitsAt(text, 17, 2);
    if (second < 0 || second > 59) return std::nullopt;

    std::size_t at = secondsEnd;
    std::int64_t fractionTicks = 0;
    if (text[at] == '.') {
        const std::size_t firstDigit = ++at;
        std::int64_t scale = Instant::ticksPerSecond / 10;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
            fractionTicks += (text[at] - '0') * scale;
            scale /= 10;
        }
        if (at == firstDigit) return std::nullopt;
    }

    std::int64_t offsetSeconds = 0;
    if (at == text.size()) return std::nullopt;
    if (text[at] == 'Z') {
        if (at + 1 != text.size()) return std::nullopt;
    } else if (text[at] == '+' || text[at] == '-') {
        if (at + 6 != text.size() || text[at + 3] != ':') return std::nullopt;
        const int zoneHour = digitsAt(text, at + 1, 2);
        const int zoneMinute = digitsAt(text, at + 4, 2);
        if (zoneHour < 0 || zoneHour > 23 || zoneMinute < 0 || zoneMinute > 59) return std::nullopt;
        offsetSeconds = zoneHour * 3600 + zoneMinute * 60;
        if (text[at] == '-') offsetSeconds = -offsetSeconds;
    } else {
        return std::nullopt;
    }
    return Instant{(minuteSeconds + second - offsetSeconds) * Instant::ticksPerSecond + fractionTicks};
}

char* writeTwoDigits(char* out, int value)
{
    *out++ = static_cast<char>('0' + value / 10);
    *out++ = static_cast<char>('0' + value % 10);
    return out;
}

}  // namespace

// The forms with and without a fraction exclude each other, so one pass that takes either is the same as
// trying one reader and then the other.
std::optional<Instant> readAny(std::string_view text)
{
    if (text.size() < secondsEnd + 1) return std::nullopt;
    const std::optional<std::int64_t> minute = readMinute(text);
    return minute ? readAfterMinute(text, *minute) : std::nullopt;
}

std::optional<Instant> SequenceReader::read(std::string_view text)
{
    if (text.size() < secondsEnd + 1) return std::nullopt;
    if (!minute_ || text.compare(0, minuteEnd, std::string_view(minuteText_.data(), minuteEnd)) != 0) {
        minute_ = readMinute(text);
        if (!minute_) return std::nullopt;
        text.copy(minuteText_.data(), minuteEnd);
    }
    return readAfterMinute(text, *minute_);
}

std::string writeDayMonthYearTime(Instant instant)
{
    static constexpr std::array<std::string_view, 12> months = {
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

    const std::int64_t seconds = floorDivide(instant.ticks, Instant::ticksPerSecond);
    const std::int64_t days = floorDivide(seconds, secondsPerDay);
    const auto secondOfDay = static_cast<int>(seconds - days * secondsPerDay);
    const CivilDate date = civilFromDays(days);

    // "31 Dec -29227475 23:59:59" is about the longest: a tick count's year has at most eight digits.
    std::array<char, 40> buffer{};
    char* out = buffer.data();
    char* const end = buffer.data() + buffer.size();
    out = std::to_chars(out, end, date.day).ptr;
    *out++ = ' ';
    const std::string_view month = months[static_cast<std::size_t>(date.month - 1)];
    for (const char c : month) *out++ = c;
    *out++ = ' ';
    // Years outside 0000-9999 arise only from zone offsets or tick counts beyond that range; they
    // are written astronomically, with a minus sign before year 0 and as many digits as they need.
    if (date.year < 0) *out++ = '-';
    const std::int64_t yearDigits = date.year < 0 ? -date.year : date.year;
    for (std::int64_t bound = 1000; bound > 1 && yearDigits < bound; bound /= 10) *out++ = '0';
    out = std::to_chars(out, end, yearDigits).ptr;
    *out++ = ' ';
    out = writeTwoDigits(out, secondOfDay / 3600);
    *out++ = ':';
    out = writeTwoDigits(out, secondOfDay / 60 % 60);
    *out++ = ':';
    out = writeTwoDigits(out, secondOfDay % 60);
    return std::string(buffer.data(), out);
}

std::optional<Instant> fromCivil(int year, int month, int day, int hour, int minute, double second)
{
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month)) return std::nullopt;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || !(second >= 0 && second < 60)) return std::nullopt;
    const std::int64_t seconds = daysFromCivil(year, month, day) * secondsPerDay + hour * 3600 + minute * 60;
    return Instant{seconds * Instant::ticksPerSecond + static_cast<std::int64_t>(std::llround(second * Instant::ticksPerSecond))};
}

std::optional<std::string> writeInternetDateTime(Instant instant, bool utc)
{
    // Rounded to the millisecond first, so that 59.9996 s carries into the next minute.
    const std::int64_t milliseconds = floorDivide(instant.ticks + 5, 10);
    const std::int64_t seconds = floorDivide(milliseconds, 1000);
    const std::int64_t days = floorDivide(seconds, secondsPerDay);
    const auto secondOfDay = static_cast<int>(seconds - days * secondsPerDay);
    const CivilDate date = civilFromDays(days);
    if (date.year < 0 || date.year > 9999) return std::nullopt;
    std::array<char, 32> buffer{};
    char* out = buffer.data();
    const auto year = static_cast<int>(date.year);
    out = writeTwoDigits(out, year / 100);
    out = writeTwoDigits(out, year % 100);
    *out++ = '-';
    out = writeTwoDigits(out, date.month);
    *out++ = '-';
    out = writeTwoDigits(out, date.day);
    *out++ = 'T';
    out = writeTwoDigits(out, secondOfDay / 3600);
    *out++ = ':';
    out = writeTwoDigits(out, secondOfDay / 60 % 60);
    *out++ = ':';
    out = writeTwoDigits(out, secondOfDay % 60);
    *out++ = '.';
    const auto millisecond = static_cast<int>(milliseconds - seconds * 1000);
    *out++ = static_cast<char>('0' + millisecond / 100);
    out = writeTwoDigits(out, millisecond % 100);
    if (utc) *out++ = 'Z';
    return std::string(buffer.data(), out);
}

}  // namespace zaro::iso8601
