#include "iso8601.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace {

using namespace std::string_view_literals;
using zaro::iso8601::Fraction;
using zaro::iso8601::Instant;

constexpr std::int64_t tick = 1;
constexpr std::int64_t second = Instant::ticksPerSecond;
constexpr std::optional<std::int64_t> none;

// 2024-06-01T10:15:30Z in seconds since 1970.
constexpr std::int64_t juneFirst = 1717236930;

std::optional<std::int64_t> ticksOf(std::optional<Instant> instant)
{
    if (!instant) return std::nullopt;
    return instant->ticks;
}

struct ReadCase {
    std::string_view text;
    std::optional<std::int64_t> withFraction;     // read(text, Fraction::required)
    std::optional<std::int64_t> withoutFraction;  // read(text, Fraction::absent)
};

const ReadCase readCases[] = {
    // The two forms, each accepted by its own reader only.
    {"2024-06-01T10:15:30.250Z", juneFirst * second + 2500 * tick, none},
    {"2024-06-01T10:15:30Z", none, juneFirst * second},
    // Fractions of any length; digits beyond the fourth are dropped, not rounded.
    {"2024-06-01T10:15:30.2Z", juneFirst * second + 2000 * tick, none},
    {"2024-06-01T10:15:30.25Z", juneFirst * second + 2500 * tick, none},
    {"2024-06-01T10:15:30.123Z", juneFirst * second + 1230 * tick, none},
    {"2024-06-01T10:15:30.1234Z", juneFirst * second + 1234 * tick, none},
    {"2024-06-01T10:15:30.12345Z", juneFirst * second + 1234 * tick, none},
    {"2024-06-01T10:15:30.123456789Z", juneFirst * second + 1234 * tick, none},
    {"2024-06-01T10:15:30.99999999Z", juneFirst * second + 9999 * tick, none},
    {"2024-06-01T10:15:30.0000Z", juneFirst * second, none},
    // Offsets are converted to UTC, across day boundaries too.
    {"2024-06-01T12:15:30.250+02:00", juneFirst * second + 2500 * tick, none},
    {"2024-06-01T12:15:30+02:00", none, juneFirst * second},
    {"2024-06-01T04:45:30.250-05:30", juneFirst * second + 2500 * tick, none},
    {"2024-06-01T10:15:30+00:00", none, juneFirst * second},
    {"2024-06-01T10:15:30-00:00", none, juneFirst * second},
    {"2024-06-02T10:14:30+23:59", none, juneFirst * second},
    {"2024-05-31T10:16:30-23:59", none, juneFirst * second},
    // Around 1970 and at the ends of the four-digit years.
    {"1970-01-01T00:00:00Z", none, 0},
    {"1970-01-01T00:00:00.0Z", 0, none},
    {"1969-12-31T23:59:59Z", none, -1 * second},
    {"1969-12-31T23:59:59.5Z", -5000 * tick, none},
    {"0000-01-01T00:00:00Z", none, -62167219200 * second},
    {"9999-12-31T23:59:59Z", none, 253402300799 * second},
    // Leap years: every fourth, not centuries, but every fourth century; year 0 is one.
    {"2024-02-29T00:00:00Z", none, 1709164800 * second},
    {"2000-02-29T12:00:00Z", none, 951825600 * second},
    {"1900-02-28T23:59:59Z", none, -2203891201 * second},
    {"0000-02-29T00:00:00Z", none, -62162121600 * second},
    {"2023-02-29T00:00:00Z", none, none},
    {"1900-02-29T00:00:00Z", none, none},
    {"2100-02-29T00:00:00Z", none, none},
    // Impossible dates and times.
    {"2024-00-10T10:15:30Z", none, none},
    {"2024-13-10T10:15:30Z", none, none},
    {"2024-06-00T10:15:30Z", none, none},
    {"2024-01-32T10:15:30Z", none, none},
    {"2024-04-31T10:15:30Z", none, none},
    {"2024-06-31T10:15:30Z", none, none},
    {"2024-06-01T24:00:00Z", none, none},
    {"2024-06-01T10:60:30Z", none, none},
    {"2024-06-01T10:15:60Z", none, none},
    {"2024-06-01T10:15:30+24:00", none, none},
    {"2024-06-01T10:15:30+02:60", none, none},
    // Anything but the exact characters at their places.
    {"", none, none},
    {"2024-06-01", none, none},
    {"2024-06-01T10:15Z", none, none},
    {"2024-06-01T10:15:30", none, none},
    {"2024-06-01T10:15:30.250", none, none},
    {"2024-06-01t10:15:30Z", none, none},
    {"2024-06-01T10:15:30z", none, none},
    {"2024-06-01 10:15:30Z", none, none},
    {" 2024-06-01T10:15:30Z", none, none},
    {"2024-06-01T10:15:30Z ", none, none},
    {"2024-06-01T10:15:30Z\0"sv, none, none},
    {"2024-06-01T10:15:30.25 Z", none, none},
    {"2024-06-01T10:15:30.Z", none, none},
    {"2024-06-01T10:15:30,250Z", none, none},
    {"2024-06-01T10:15:30+0200", none, none},
    {"2024-06-01T10:15:30+02", none, none},
    {"2024-06-01T10:15:30+02:0", none, none},
    {"2024-06-01T10:15:30+02:00Z", none, none},
    {"2024-06-01T10:15:30Z+02:00", none, none},
    {"20240601T101530Z", none, none},
    {"2024-6-01T10:15:30Z", none, none},
    {"+2024-06-01T10:15:30Z", none, none},
    {"202a-06-01T10:15:30Z", none, none},
    {"2024-06-01T1 :15:30Z", none, none},
    {"2024-06-01T10:15:-1Z", none, none},
};

TEST(Iso8601Read, AcceptsExactlyTheInternetDateTimeFormsAndConvertsThemToUtc)
{
    for (const ReadCase& row : readCases) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(ticksOf(zaro::iso8601::read(row.text, Fraction::required)), row.withFraction);
        EXPECT_EQ(ticksOf(zaro::iso8601::read(row.text, Fraction::absent)), row.withoutFraction);
        const auto either = row.withFraction ? row.withFraction : row.withoutFraction;
        EXPECT_EQ(ticksOf(zaro::iso8601::readAny(row.text)), either);
    }
}

TEST(Iso8601Read, KeepsDifferencesOfFourFractionDigitsExact)
{
    const auto start = zaro::iso8601::read("2024-06-01T10:00:00.0000Z", Fraction::required);
    const auto end = zaro::iso8601::read("2024-06-01T12:01:23.4125+02:00", Fraction::required);
    ASSERT_TRUE(start && end);
    EXPECT_EQ(end->ticks - start->ticks, 834125);
    EXPECT_EQ(end->milliseconds() - start->milliseconds(), 83412.5);
    EXPECT_EQ(start->milliseconds(), 1717236000000.0);
}

TEST(Iso8601Read, CountsEveryDayFrom0000To9999AndWritesTheFirstAndLastOfEachMonthBack)
{
    // Walks the calendar day by day: each date one day after the previous. The first and last day
    // of every month are also written back.
    static constexpr std::array<const char*, 12> months = {
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    auto putDigits = [](char* at, int value, int count) {
        for (int i = count - 1; i >= 0; --i, value /= 10) at[i] = static_cast<char>('0' + value % 10);
    };
    std::string text = "0000-01-01T00:00:00Z";
    std::int64_t expected = -62167219200 * second;
    int failures = 0;
    for (int year = 0; year <= 9999 && failures < 5; ++year) {
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        const std::array<int, 12> lengths = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        putDigits(&text[0], year, 4);
        for (int month = 1; month <= 12; ++month) {
            putDigits(&text[5], month, 2);
            const int length = lengths[static_cast<std::size_t>(month - 1)];
            for (int day = 1; day <= length; ++day) {
                putDigits(&text[8], day, 2);
                const auto instant = zaro::iso8601::read(text, Fraction::absent);
                if (!instant || instant->ticks != expected) {
                    ADD_FAILURE() << text << " gave " << ticksOf(instant).value_or(-1) << ", expected " << expected;
                    ++failures;
                } else if (day == 1 || day == length) {
                    std::array<char, 32> written{};
                    std::snprintf(written.data(), written.size(), "%d %s %04d 00:00:00", day,
                                  months[static_cast<std::size_t>(month - 1)], year);
                    EXPECT_EQ(zaro::iso8601::writeDayMonthYearTime(*instant), written.data());
                }
                expected += 86400 * second;
            }
        }
    }
    EXPECT_EQ(expected, 253402300800 * second);
}

struct WriteCase {
    std::int64_t ticks;
    std::string_view text;
};

const WriteCase writeCases[] = {
    {0, "1 Jan 1970 00:00:00"},
    {1717232703 * second, "1 Jun 2024 09:05:03"},
    // The fraction is dropped, toward the earlier second also before 1970.
    {1717232703 * second + 9999 * tick, "1 Jun 2024 09:05:03"},
    {-1 * tick, "31 Dec 1969 23:59:59"},
    {-1 * second, "31 Dec 1969 23:59:59"},
    {-1 * second - 1 * tick, "31 Dec 1969 23:59:58"},
    {1709164800 * second, "29 Feb 2024 00:00:00"},
    // Every month's abbreviation.
    {1673827199 * second, "15 Jan 2023 23:59:59"},
    {1676505599 * second, "15 Feb 2023 23:59:59"},
    {1678924799 * second, "15 Mar 2023 23:59:59"},
    {1681603199 * second, "15 Apr 2023 23:59:59"},
    {1684195199 * second, "15 May 2023 23:59:59"},
    {1686873599 * second, "15 Jun 2023 23:59:59"},
    {1689465599 * second, "15 Jul 2023 23:59:59"},
    {1692143999 * second, "15 Aug 2023 23:59:59"},
    {1694822399 * second, "15 Sep 2023 23:59:59"},
    {1697414399 * second, "15 Oct 2023 23:59:59"},
    {1700092799 * second, "15 Nov 2023 23:59:59"},
    {1702684799 * second, "15 Dec 2023 23:59:59"},
    // Years keep four digits; beyond 0000-9999 they are astronomical and as long as needed.
    {-60741964800 * second, "1 Mar 0045 00:00:00"},
    {-62167219200 * second, "1 Jan 0000 00:00:00"},
    {-62167219260 * second, "31 Dec -0001 23:59:00"},
    {253402300799 * second, "31 Dec 9999 23:59:59"},
    {253402387139 * second, "1 Jan 10000 23:58:59"},
    {std::numeric_limits<std::int64_t>::max(), "17 Jun 29229672 17:31:17"},
    {std::numeric_limits<std::int64_t>::min(), "16 Jul -29225733 06:28:42"},
};

TEST(Iso8601Write, WritesDayMonthYearAndTimeInUtc)
{
    for (const WriteCase& row : writeCases) {
        SCOPED_TRACE(row.ticks);
        EXPECT_EQ(zaro::iso8601::writeDayMonthYearTime(Instant{row.ticks}), row.text);
    }
}

}  // namespace
