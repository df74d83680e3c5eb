// ISO 8601 internet date-times read as instants, and instants written as day, month, year and time.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zaro::iso8601 {

/// An instant counted in ticks of 100 microseconds since 1970-01-01T00:00:00Z. Whole ticks keep
/// differences of timestamps with up to four fraction digits exact.
struct Instant {
    static constexpr std::int64_t ticksPerSecond = 10000;
    std::int64_t ticks = 0;

    friend bool operator==(Instant, Instant) = default;
};

/// Reads an extended ISO 8601 date-time with a zone designator (Z or ±HH:MM), its seconds with or
/// without a decimal fraction ("2024-06-01T10:15:30.250Z", "2024-06-01T10:15:30+02:00"). Impossible
/// dates and times give no value; digits beyond the fourth of a fraction are dropped.
std::optional<Instant> readAny(std::string_view text);

/// readAny for the date-times of a log's rows, which mostly share their minute with the row before:
/// the date, hour and minute last read are kept, and read again only when they change.
class SequenceReader {
public:
    std::optional<Instant> read(std::string_view text);

private:
    std::array<char, 16> minuteText_{};  // "YYYY-MM-DDTHH:MM" of minute_
    std::optional<std::int64_t> minute_;  // its seconds since 1970
};

/// The instant of a date and time of day on the proleptic Gregorian calendar, read as UTC; no value
/// for a date or time that does not exist (month 13, 30 February, hour 24, second 60 or more).
std::optional<Instant> fromCivil(int year, int month, int day, int hour, int minute, double second);

/// "2024-06-01T10:15:30.250Z": the instant in UTC to the millisecond, with the zone designator Z, or
/// without any zone for a local time (`utc` false) read as if it were UTC. Years 0000 to 9999 only;
/// none for others.
std::optional<std::string> writeInternetDateTime(Instant instant, bool utc);

/// "d MMM yyyy HH:mm:ss" in UTC with English month abbreviations, e.g. "1 Jun 2024 09:05:03".
std::string writeDayMonthYearTime(Instant instant);

}  // namespace zaro::iso8601
