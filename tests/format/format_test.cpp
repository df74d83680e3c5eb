#include "format/zaro_session_format.hpp"

#include <gtest/gtest.h>

#include <array>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "support/cases.hpp"

namespace {

namespace format = zaro::ZaroSessionFormat;


// "0x1p63 - 1024" stands for the double just below 2^63.
double number(const std::string& literal)
{
    const std::size_t minus = literal.find(" - ");
    if (minus != std::string::npos) return number(literal.substr(0, minus)) - number(literal.substr(minus + 3));
    return std::strtod(literal.c_str(), nullptr);
}

TEST(ZaroSessionFormat, WritesLapTimesSpeedsDistancesDatesDurationsAndGapsAsTheyArePrinted)
{
    for (const auto& c : zaro::support::readCases("format/texts.cases")) {
        const std::string& operation = c[0];
        std::string text;
        const auto optional = c.fields.at(1) ? std::optional(number(c[1])) : std::nullopt;
        if (operation == "lapTime") text = format::lapTime(number(c[1]));
        if (operation == "speedKmh") text = format::speedKmh(optional);
        if (operation == "speedMph") text = format::speed(optional, format::Units::imperial);
        if (operation == "distance") text = format::distance(number(c[1]));
        if (operation == "distanceMiles") text = format::distance(number(c[1]), format::Units::imperial);
        if (operation == "lapDelta") text = format::lapDelta(optional);
        if (operation == "acceleration") text = format::acceleration(number(c[1]));
        if (operation == "angle") text = format::angle(number(c[1]));
        if (operation == "dateTime") text = format::dateTime(c[1]);
        if (operation == "duration") text = format::duration(c[1], c[2]);
        EXPECT_EQ(text, c.fields.back()) << c.where;
    }
    const std::string largest = format::lapTime(std::numeric_limits<double>::max());
    EXPECT_EQ(largest.substr(0, 20) + "..." + largest.substr(307), "29961552247705264713...:08.000") << largest.size();
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
