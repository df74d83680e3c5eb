#include "base/iso8601.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "support/cases.hpp"

namespace {

using zaro::iso8601::Instant;

constexpr std::int64_t second = Instant::ticksPerSecond;  // a tick is 100 microseconds
constexpr std::optional<std::int64_t> none;

std::optional<std::int64_t> ticksOf(std::optional<Instant> instant)
{
    return instant ? std::optional(instant->ticks) : std::nullopt;
}

TEST(Iso8601Read, AcceptsExactlyTheInternetDateTimeFormsAndConvertsThemToUtc)
{
    const auto ticks = [](const std::optional<std::string>& field) {
        return field ? std::optional(std::stoll(*field)) : std::nullopt;
    };
    // The reader of a sequence gives the same, whatever it read before: each case follows the one before
    // and itself, and follows it again with another second.
    zaro::iso8601::SequenceReader sequence;
    for (const zaro::support::Case& c : zaro::support::readCases("base/iso8601_read.cases")) {
        const auto expected = ticks(c.fields.at(1));
        EXPECT_EQ(ticksOf(zaro::iso8601::readAny(c[0])), expected) << c.where;
        EXPECT_EQ(ticksOf(sequence.read(c[0])), expected) << c.where;
        EXPECT_EQ(ticksOf(sequence.read(c[0])), expected) << c.where;
        if (std::string other = c[0]; other.size() > 18 && other[17] == '0') {
            other[17] = '1';
            EXPECT_EQ(ticksOf(sequence.read(other)), ticksOf(zaro::iso8601::readAny(other))) << c.where;
        }
    }
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
                const auto instant = zaro::iso8601::readAny(text.data());
                ASSERT_EQ(ticksOf(instant), expected) << text.data();
                if (day > 1 && day < lengths[month - 1]) continue;
                std::array<char, 32> written{};
                std::snprintf(written.data(), written.size(), "%d %s %04d 00:00:00", day, months[month - 1], year);
                EXPECT_EQ(zaro::iso8601::writeDayMonthYearTime(*instant), written.data());
            }
            text[8] = static_cast<char>('0' + (lengths[month - 1] + 1) / 10);  // the day after the last
            text[9] = static_cast<char>('0' + (lengths[month - 1] + 1) % 10);
            EXPECT_EQ(ticksOf(zaro::iso8601::readAny(text.data())), none) << text.data();
        }
    }
    EXPECT_EQ(expected, 253402300800 * second);
}

TEST(Iso8601Write, DropsTheFractionAndWritesYearsBeyondFourDigitsAstronomically)
{
    for (const zaro::support::Case& c : zaro::support::readCases("base/iso8601_write.cases")) {
        EXPECT_EQ(zaro::iso8601::writeDayMonthYearTime(Instant{std::stoll(c[0])}), c[1]) << c.where;
    }
}

}  // namespace
