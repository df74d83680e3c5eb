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

/// "d MMM yyyy HH:mm:ss" in UTC with English month abbreviations, e.g. "1 Jun 2024 09:05:03".
std::string writeDayMonthYearTime(Instant instant);

}  // namespace zaro::iso8601
