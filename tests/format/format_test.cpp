#include "zaro_session_format.hpp"

#include <gtest/gtest.h>

#include <array>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace {

namespace format = zaro::ZaroSessionFormat;

constexpr std::string_view dash = "\xE2\x80\x94";
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

TEST(ZaroSessionFormat, PlaceholderIsTheEmDash)
{
    EXPECT_EQ(format::placeholder, dash);
}

struct NumberCase {
    double value;
    std::string_view text;
};

const NumberCase lapTimeCases[] = {
    {0, "0.000"},
    {9.87654, "9.877"},
    {59.9996, "60.000"},
    {60, "1:00.000"},
    {83.456, "1:23.456"},
    {119.9996, "1:60.000"},
    {3725.5, "62:05.500"},
    {-0.001, dash},
    {nan, dash},
    {inf, dash},
    {-inf, dash},
    {-0.0, "-0.000"},
    // The stored double is rounded, ties to even as printf does: 0.0625 is exact, 1.0005 just below.
    {0.0625, "0.062"},
    {1.0005, "1.000"},
    {1e18, "16666666666666666:00.000"},
    // Just below 2^63 the minutes times 60 round up in double, leaving a negative rest.
    {0x1p63 - 1024, "153722867280912913:-1024.000"},
    // From 2^63 on: floor(seconds / 60) in double, then the exact remainder.
    {0x1p63, "153722867280912928:08.000"},
    {0x1p64, "307445734561825856:16.000"},
    {1e20, "1666666666666666752:40.000"},
};

TEST(ZaroSessionFormat, LapTimeShowsSecondsBelowAMinuteAndMinutesWithoutHoursAbove)
{
    for (const NumberCase& row : lapTimeCases) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(format::lapTime(row.value), row.text);
    }
}

TEST(ZaroSessionFormat, LapTimeOfTheLargestDoubleHasEveryDigitOfItsMinutes)
{
    const std::string text = format::lapTime(std::numeric_limits<double>::max());
    ASSERT_EQ(text.size(), 307u + 7u);
    EXPECT_EQ(text.substr(0, 20), "29961552247705264713");
    EXPECT_EQ(text.substr(307), ":08.000");
}

struct SpeedCase {
    std::optional<double> metresPerSecond;
    std::string_view text;
};

const SpeedCase speedCases[] = {
    {10, "36.0 km/h"},
    {0, "0.0 km/h"},
    {-1, "-3.6 km/h"},
    {27.7778, "100.0 km/h"},
    {0.0125, "0.0 km/h"},
    // Exactly 0.25 km/h after the multiplication, a tie that printf rounds to even.
    {0.25 / 3.6, "0.2 km/h"},
    {std::nullopt, dash},
    {nan, dash},
    {-inf, dash},
    {inf, dash},
    // Finite, but beyond the doubles once multiplied: printed as printf prints infinity.
    {1e308, "inf km/h"},
};

TEST(ZaroSessionFormat, SpeedIsInKilometresPerHourWithOneDecimal)
{
    for (const SpeedCase& row : speedCases) {
        SCOPED_TRACE(row.metresPerSecond.value_or(-999));
        EXPECT_EQ(format::speedKmh(row.metresPerSecond), row.text);
    }
}

const NumberCase distanceCases[] = {
    {999.4, "999 m"},
    {999.6, "1000 m"},
    {1000, "1.00 km"},
    {15250, "15.25 km"},
    {1234.5, "1.23 km"},
    {-5, "-5 m"},
    {0, "0 m"},
    {-0.0, "-0 m"},
    {0.5, "0 m"},
    {2.5, "2 m"},
    {nan, "nan m"},
    {-inf, "-inf m"},
    {inf, "inf km"},
};

TEST(ZaroSessionFormat, DistanceSwitchesToKilometresFromAThousandMetres)
{
    for (const NumberCase& row : distanceCases) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(format::distance(row.value), row.text);
    }
}

struct DateTimeCase {
    std::string_view timestamp;
    std::string_view text;
};

const DateTimeCase dateTimeCases[] = {
    {"2024-06-01T09:05:03.250Z", "1 Jun 2024 09:05:03 UTC"},
    {"2024-06-01T09:05:03Z", "1 Jun 2024 09:05:03 UTC"},
    {"2024-06-01T11:05:03+02:00", "1 Jun 2024 09:05:03 UTC"},
    {"2024-12-31T23:30:00-01:00", "1 Jan 2025 00:30:00 UTC"},
    {"2024-09-08T07:06:05.999Z", "8 Sep 2024 07:06:05 UTC"},
    {"2024-06-01 09:05:03Z", "2024-06-01 09:05:03Z"},
    {"2024-06-01T09:05:03", "2024-06-01T09:05:03"},
    {" 2024-06-01T09:05:03Z", " 2024-06-01T09:05:03Z"},
    {"yesterday", "yesterday"},
    {"", dash},
};

TEST(ZaroSessionFormat, DateTimeWritesReadableTimestampsInUtcAndKeepsOthersAsTheyAre)
{
    for (const DateTimeCase& row : dateTimeCases) {
        SCOPED_TRACE(row.timestamp);
        EXPECT_EQ(format::dateTime(row.timestamp), row.text);
    }
}

struct DurationCase {
    std::string_view from;
    std::string_view to;
    std::string_view text;
};

const DurationCase durationCases[] = {
    {"2024-06-01T10:00:00Z", "2024-06-01T10:00:00Z", "0:00"},
    {"2024-06-01T10:00:00Z", "2024-06-01T10:01:05Z", "1:05"},
    {"2024-06-01T10:00:00Z", "2024-06-01T10:59:59.4Z", "59:59"},
    {"2024-06-01T10:00:00Z", "2024-06-01T10:59:59.5Z", "1:00:00"},
    {"2024-06-01T10:00:00Z", "2024-06-02T12:03:04Z", "26:03:04"},
    {"0000-01-01T00:00:00Z", "9999-12-31T23:59:59Z", "87658199:59:59"},
    // Halves round away from zero.
    {"2024-06-01T10:00:00Z", "2024-06-01T10:00:00.4Z", "0:00"},
    {"2024-06-01T10:00:00Z", "2024-06-01T10:00:00.5Z", "0:01"},
    {"2024-06-01T10:00:00Z", "2024-06-01T10:00:59.5Z", "1:00"},
    // Offsets are compared as instants.
    {"2024-06-01T12:00:00+02:00", "2024-06-01T10:00:30Z", "0:30"},
    {"2024-06-01T10:00:00.000Z", "2024-06-01T06:01:05-04:00", "1:05"},
    // The end before the start, even by less than half a second.
    {"2024-06-01T10:00:00.3Z", "2024-06-01T10:00:00Z", dash},
    {"2024-06-01T10:00:00Z", "2024-06-01T09:00:00Z", dash},
    {"", "2024-06-01T10:00:00Z", dash},
    {"2024-06-01T10:00:00Z", "", dash},
    {"soon", "2024-06-01T10:00:00Z", dash},
    {"2024-06-01T10:00:00Z", " 2024-06-01T10:01:00Z", dash},
};

TEST(ZaroSessionFormat, DurationCountsWholeSecondsBetweenTwoInstants)
{
    for (const DurationCase& row : durationCases) {
        SCOPED_TRACE(std::string(row.from) + " to " + std::string(row.to));
        EXPECT_EQ(format::duration(row.from, row.to), row.text);
    }
}

// Switches the process to a locale whose decimal separator is a comma for the lifetime of the
// object, and back after.
class DecimalCommaLocale {
public:
    DecimalCommaLocale() : previous_(std::setlocale(LC_ALL, nullptr))
    {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8",
                                 "it_IT.UTF-8", "es_ES.UTF-8", "ru_RU.UTF-8"}) {
            if (std::setlocale(LC_ALL, name) && std::localeconv()->decimal_point == std::string_view(",")) {
                active_ = true;
                return;
            }
        }
        std::setlocale(LC_ALL, previous_.c_str());
    }
    ~DecimalCommaLocale() { std::setlocale(LC_ALL, previous_.c_str()); }
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;

    bool active() const { return active_; }

private:
    std::string previous_;
    bool active_ = false;
};

TEST(ZaroSessionFormat, TextsStayTheSameUnderALocaleWithADecimalComma)
{
    const DecimalCommaLocale locale;
    if (!locale.active()) GTEST_SKIP() << "no locale with a decimal comma is installed";
    std::array<char, 16> probe{};
    std::snprintf(probe.data(), probe.size(), "%.1f", 1.5);
    ASSERT_STREQ(probe.data(), "1,5");

    EXPECT_EQ(format::lapTime(83.456), "1:23.456");
    EXPECT_EQ(format::lapTime(9.87654), "9.877");
    EXPECT_EQ(format::speedKmh(10), "36.0 km/h");
    EXPECT_EQ(format::distance(15250), "15.25 km");
    EXPECT_EQ(format::distance(123456789), "123456.79 km");
    EXPECT_EQ(format::dateTime("2024-03-01T09:05:03.250Z"), "1 Mar 2024 09:05:03 UTC");
    EXPECT_EQ(format::duration("2024-06-01T10:00:00Z", "2024-06-02T12:03:04Z"), "26:03:04");
}

}  // namespace
