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

TEST(ZaroSessionFormat, LapTimeShowsSecondsBelowAMinuteAndMinutesWithoutHoursAbove)
{
    const struct {
        double seconds;
        std::string_view text;
    } cases[] = {
        {0, "0.000"},           {9.87654, "9.877"},      {59.9996, "60.000"},     {60, "1:00.000"},
        {83.456, "1:23.456"},   {119.9996, "1:60.000"},  {3725.5, "62:05.500"},   {-0.0, "-0.000"},
        {-0.001, dash},         {nan, dash},             {inf, dash},             {-inf, dash},
        {0.0625, "0.062"},  // the stored value is rounded, ties to even, as printf does
        // Just below 2^63 the minutes times 60 round up in double, leaving a negative rest.
        {0x1p63 - 1024, "153722867280912913:-1024.000"},
        // From 2^63 on, where no whole part fits 64 bits: floor(seconds / 60), then the exact rest.
        {0x1p63, "153722867280912928:08.000"},
        {1e20, "1666666666666666752:40.000"},
    };
    for (const auto& c : cases) EXPECT_EQ(format::lapTime(c.seconds), c.text) << c.seconds;
    const std::string largest = format::lapTime(std::numeric_limits<double>::max());
    EXPECT_EQ(largest.substr(0, 20) + "..." + largest.substr(307), "29961552247705264713...:08.000") << largest.size();
}

TEST(ZaroSessionFormat, SpeedIsInKilometresPerHourWithOneDecimal)
{
    const struct {
        std::optional<double> metresPerSecond;
        std::string_view text;
    } cases[] = {
        {10, "36.0 km/h"}, {0, "0.0 km/h"}, {-1, "-3.6 km/h"}, {std::nullopt, dash}, {nan, dash}, {-inf, dash},
        {0.25 / 3.6, "0.2 km/h"},  // exactly 0.25 once multiplied: a tie, rounded to even
        {1e308, "inf km/h"},       // finite, but not once multiplied
    };
    for (const auto& c : cases) EXPECT_EQ(format::speedKmh(c.metresPerSecond), c.text) << c.text;
}

TEST(ZaroSessionFormat, DistanceSwitchesToKilometresFromAThousandUnroundedMetres)
{
    const struct {
        double metres;
        std::string_view text;
    } cases[] = {
        {999.4, "999 m"}, {999.6, "1000 m"}, {1000, "1.00 km"}, {15250, "15.25 km"}, {-5, "-5 m"},
        {2.5, "2 m"},     {nan, "nan m"},    {-inf, "-inf m"},  {inf, "inf km"},
    };
    for (const auto& c : cases) EXPECT_EQ(format::distance(c.metres), c.text) << c.metres;
}

TEST(ZaroSessionFormat, DateTimeWritesReadableTimestampsInUtcAndKeepsOthersAsTheyAre)
{
    const struct {
        std::string_view timestamp;
        std::string_view text;
    } cases[] = {
        {"2024-06-01T09:05:03.250Z", "1 Jun 2024 09:05:03 UTC"},
        {"2024-06-01T09:05:03Z", "1 Jun 2024 09:05:03 UTC"},
        {"2024-06-01T11:05:03+02:00", "1 Jun 2024 09:05:03 UTC"},
        {"2024-12-31T23:30:00-01:00", "1 Jan 2025 00:30:00 UTC"},
        {"2024-06-01 09:05:03Z", "2024-06-01 09:05:03Z"},
        {"2024-06-01T09:05:03", "2024-06-01T09:05:03"},
        {" 2024-06-01T09:05:03Z", " 2024-06-01T09:05:03Z"},
        {"", dash},
    };
    for (const auto& c : cases) EXPECT_EQ(format::dateTime(c.timestamp), c.text) << c.timestamp;
}

TEST(ZaroSessionFormat, DurationCountsWholeSecondsBetweenTwoInstants)
{
    const struct {
        std::string_view from, to, text;
    } cases[] = {
        {"2024-06-01T10:00:00Z", "2024-06-01T10:00:00Z", "0:00"},
        {"2024-06-01T10:00:00Z", "2024-06-01T10:01:05Z", "1:05"},
        {"2024-06-01T10:00:00Z", "2024-06-01T10:59:59.4Z", "59:59"},
        {"2024-06-01T10:00:00Z", "2024-06-01T10:59:59.5Z", "1:00:00"},  // halves away from zero
        {"2024-06-01T10:00:00Z", "2024-06-02T12:03:04Z", "26:03:04"},
        {"0000-01-01T00:00:00Z", "9999-12-31T23:59:59Z", "87658199:59:59"},
        {"2024-06-01T12:00:00+02:00", "2024-06-01T10:00:30Z", "0:30"},  // instants, whatever the offsets
        {"2024-06-01T10:00:00.3Z", "2024-06-01T10:00:00Z", dash},  // the end before the start, if only just
        {"", "2024-06-01T10:00:00Z", dash},
        {"2024-06-01T10:00:00Z", "soon", dash},
    };
    for (const auto& c : cases) EXPECT_EQ(format::duration(c.from, c.to), c.text) << c.from << " to " << c.to;
}

TEST(ZaroSessionFormat, TextsStayTheSameUnderALocaleWithADecimalComma)
{
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    bool comma = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8", "ru_RU.UTF-8"}) {
        comma = std::setlocale(LC_ALL, name) && std::localeconv()->decimal_point == std::string_view(",");
        if (comma) break;
    }
    if (!comma) {
        std::setlocale(LC_ALL, previous.c_str());
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    }
    std::array<char, 16> probe{};
    std::snprintf(probe.data(), probe.size(), "%.1f", 1.5);
    const std::array texts = {format::lapTime(83.456), format::lapTime(9.87654), format::speedKmh(10),
                              format::distance(123456789), format::dateTime("2024-03-01T09:05:03.250Z"),
                              format::duration("2024-06-01T10:00:00Z", "2024-06-02T12:03:04Z")};
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_STREQ(probe.data(), "1,5");
    EXPECT_EQ(texts, (std::array<std::string, 6>{"1:23.456", "9.877", "36.0 km/h", "123456.79 km",
                                                 "1 Mar 2024 09:05:03 UTC", "26:03:04"}));
}

}  // namespace
