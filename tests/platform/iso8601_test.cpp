#include "iso8601.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace {

using namespace std::string_view_literals;
using zaro::iso8601::Fraction;
using zaro::iso8601::Instant;

constexpr std::int64_t second = Instant::ticksPerSecond;  // a tick is 100 microseconds
constexpr std::optional<std::int64_t> none;
constexpr std::int64_t juneFirst = 1717236930 * second;  // 2024-06-01T10:15:30Z

std::optional<std::int64_t> ticksOf(std::optional<Instant> instant)
{
    return instant ? std::optional(instant->ticks) : std::nullopt;
}

TEST(Iso8601Read, AcceptsExactlyTheInternetDateTimeFormsAndConvertsThemToUtc)
{
    const struct {
        std::string_view text;
        std::optional<std::int64_t> withFraction, withoutFraction;  // read with Fraction::required, ::absent
    } cases[] = {
        // Each form is read by its own reader only; digits beyond the fourth are dropped, not rounded.
        {"2024-06-01T10:15:30.250Z", juneFirst + 2500, none},
        {"2024-06-01T10:15:30Z", none, juneFirst},
        {"2024-06-01T10:15:30.2Z", juneFirst + 2000, none},
        {"2024-06-01T10:15:30.99999999Z", juneFirst + 9999, none},
        // Offsets are converted to UTC, across day boundaries too.
        {"2024-06-01T04:45:30.250-05:30", juneFirst + 2500, none},
        {"2024-06-02T10:14:30+23:59", none, juneFirst},
        {"2024-06-01T10:15:30-00:00", none, juneFirst},
        // Before 1970, and the ends of the four-digit years.
        {"1969-12-31T23:59:59.5Z", -5000, none},
        {"0000-01-01T00:00:00Z", none, -62167219200 * second},
        {"9999-12-31T23:59:59Z", none, 253402300799 * second},
        // Impossible dates, times and offsets; the days of each month are walked below.
        {"2024-13-10T10:15:30Z", none, none},
        {"2024-06-00T10:15:30Z", none, none},
        {"2024-06-01T24:00:00Z", none, none},
        {"2024-06-01T10:15:60Z", none, none},
        {"2024-06-01T10:15:30+24:00", none, none},
        // Anything but the exact characters at their places.
        {"", none, none},
        {"2024-06-01T10:15:30", none, none},
        {"2024-06-01t10:15:30Z", none, none},
        {"2024-06-01 10:15:30Z", none, none},
        {" 2024-06-01T10:15:30Z", none, none},
        {"2024-06-01T10:15:30Z\0"sv, none, none},
        {"2024-06-01T10:15:30.Z", none, none},
        {"2024-06-01T10:15:30,250Z", none, none},
        {"2024-06-01T10:15:30+0200", none, none},
        {"2024-06-01T10:15:30+02:00Z", none, none},
        {"2024-6-01T10:15:30Z", none, none},
        {"+2024-06-01T10:15:30Z", none, none},
        {"2024-06-01T1 :15:30Z", none, none},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ticksOf(zaro::iso8601::read(c.text, Fraction::required)), c.withFraction) << c.text;
        EXPECT_EQ(ticksOf(zaro::iso8601::read(c.text, Fraction::absent)), c.withoutFraction) << c.text;
        EXPECT_EQ(ticksOf(zaro::iso8601::readAny(c.text)), c.withFraction ? c.withFraction : c.withoutFraction);
    }
}

TEST(Iso8601Read, KeepsDifferencesOfFourFractionDigitsExact)
{
    const auto start = zaro::iso8601::read("2024-06-01T10:00:00.0000Z", Fraction::required);
    const auto end = zaro::iso8601::read("2024-06-01T12:01:23.4125+02:00", Fraction::required);
    ASSERT_TRUE(start && end);
    EXPECT_EQ(end->milliseconds() - start->milliseconds(), 83412.5);
}

TEST(Iso8601, CountsEveryDayOfTheYears0000To9999AndNamesEachMonth)
{
    // Every date read against a running count, the first and last of each month written back, and the
    // day after each month's last refused: the calendar arithmetic checked both ways for every month.
    constexpr std::array months = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::int64_t expected = -62167219200 * second;
    for (int year = 0; year <= 9999 && !HasFailure(); ++year) {
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        const std::array lengths = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        for (int month = 1; month <= 12; ++month) {
            std::array<char, 32> text{};
            std::snprintf(text.data(), text.size(), "%04d-%02d-01T00:00:00Z", year, month);
            for (int day = 1; day <= lengths[month - 1]; ++day, expected += 86400 * second) {
                text[8] = static_cast<char>('0' + day / 10);
                text[9] = static_cast<char>('0' + day % 10);
                const auto instant = zaro::iso8601::read(text.data(), Fraction::absent);
                ASSERT_EQ(ticksOf(instant), expected) << text.data();
                if (day > 1 && day < lengths[month - 1]) continue;
                std::array<char, 32> written{};
                std::snprintf(written.data(), written.size(), "%d %s %04d 00:00:00", day, months[month - 1], year);
                EXPECT_EQ(zaro::iso8601::writeDayMonthYearTime(*instant), written.data());
            }
            text[8] = static_cast<char>('0' + (lengths[month - 1] + 1) / 10);  // the day after the last
            text[9] = static_cast<char>('0' + (lengths[month - 1] + 1) % 10);
            EXPECT_EQ(ticksOf(zaro::iso8601::read(text.data(), Fraction::absent)), none) << text.data();
        }
    }
    EXPECT_EQ(expected, 253402300800 * second);
}

TEST(Iso8601Write, DropsTheFractionAndWritesYearsBeyondFourDigitsAstronomically)
{
    const struct {
        std::int64_t ticks;
        std::string_view text;
    } cases[] = {
        {0, "1 Jan 1970 00:00:00"},
        {1717232703 * second + 9999, "1 Jun 2024 09:05:03"},
        {-1, "31 Dec 1969 23:59:59"},  // toward the earlier second before 1970 too
        {-1 * second - 1, "31 Dec 1969 23:59:58"},
        {-60741964800 * second, "1 Mar 0045 00:00:00"},
        {-62167219260 * second, "31 Dec -0001 23:59:00"},
        {253402387139 * second, "1 Jan 10000 23:58:59"},
        {std::numeric_limits<std::int64_t>::max(), "17 Jun 29229672 17:31:17"},
        {std::numeric_limits<std::int64_t>::min(), "16 Jul -29225733 06:28:42"},
    };
    for (const auto& c : cases) EXPECT_EQ(zaro::iso8601::writeDayMonthYearTime(Instant{c.ticks}), c.text) << c.ticks;
}

}  // namespace
