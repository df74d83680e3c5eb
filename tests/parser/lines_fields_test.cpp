// Line enumeration, CSV fields and the number readers.
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <random>

#include <gtest/gtest.h>
#include <locale.h>

#include "parser_internal.hpp"

using namespace zaro::ZaroSessionParser::detail;

namespace {

struct Walked {
    std::string text;
    std::int64_t next;
    friend bool operator==(const Walked&, const Walked&) = default;
};

std::vector<Walked> walk(std::string_view data, std::int64_t from = 0)
{
    std::vector<Walked> lines;
    enumerateLines(data, from, [&lines](std::string_view line, std::int64_t next) {
        lines.push_back({std::string(line), next});
        return true;
    });
    return lines;
}

}  // namespace

TEST(EnumerateLines, SplitsAtLineFeedsAndDropsOneCarriageReturn)
{
    EXPECT_EQ(walk("a\r\nb"), (std::vector<Walked>{{"a", 3}, {"b", 4}}));
    EXPECT_EQ(walk("\n"), (std::vector<Walked>{{"", 1}}));
    EXPECT_EQ(walk("a\n"), (std::vector<Walked>{{"a", 2}}));
    EXPECT_EQ(walk(""), std::vector<Walked>{});
    EXPECT_EQ(walk("abc", 3), std::vector<Walked>{});
    EXPECT_EQ(walk("a\r\r\n"), (std::vector<Walked>{{"a\r", 4}}));
    EXPECT_EQ(walk("a\rb"), (std::vector<Walked>{{"a\rb", 3}}));
    EXPECT_EQ(walk("\n\r\nx"), (std::vector<Walked>{{"", 1}, {"", 3}, {"x", 4}}));
}

TEST(EnumerateLines, DropsAByteOrderMarkOnlyAtTheStartOfTheData)
{
    EXPECT_EQ(walk("\xEF\xBB\xBF" "a\n\xEF\xBB\xBF" "b"), (std::vector<Walked>{{"a", 5}, {"\uFEFF" "b", 9}}));
    EXPECT_EQ(walk("x\n\xEF\xBB\xBF" "b", 2), (std::vector<Walked>{{"\uFEFF" "b", 6}}));
}

TEST(EnumerateLines, ReplacesEachMaximalIllFormedSubpart)
{
    EXPECT_EQ(walk("\xC3\x28"), (std::vector<Walked>{{"\uFFFD(", 2}}));
    // A truncated three-byte sequence is one subpart; a stray continuation byte is another.
    EXPECT_EQ(walk("a\xE2\x82" "b\x80" "c"), (std::vector<Walked>{{"a\uFFFD" "b\uFFFD" "c", 6}}));
    // Surrogates and overlong forms are ill-formed byte by byte.
    EXPECT_EQ(walk("\xED\xA0\x80"), (std::vector<Walked>{{"\uFFFD\uFFFD\uFFFD", 3}}));
    EXPECT_EQ(walk("\xC0\xAF"), (std::vector<Walked>{{"\uFFFD\uFFFD", 2}}));
    EXPECT_EQ(walk("\xF4\x90\x80\x80"), (std::vector<Walked>{{"\uFFFD\uFFFD\uFFFD\uFFFD", 4}}));
    EXPECT_EQ(walk("\xF0\x9F\x98"), (std::vector<Walked>{{"\uFFFD", 3}}));
}

TEST(EnumerateLines, StopsWhenTheBodySaysSo)
{
    int calls = 0;
    enumerateLines("a\nb\nc", 0, [&calls](std::string_view, std::int64_t) {
        ++calls;
        return false;
    });
    EXPECT_EQ(calls, 1);
}

TEST(SplitCsvLine, SplitsTrimsAndHonoursQuotes)
{
    using Fields = std::vector<std::string>;
    const std::vector<std::pair<std::string, Fields>> cases = {
        {"", {""}},
        {"a,,b", {"a", "", "b"}},
        {"  a ,\tb  ", {"a", "b"}},
        {"\u00A0a\u3000,b", {"a", "b"}},
        {"\"a,b\",c", {"a,b", "c"}},
        {"\"say \"\"hi\"\"\",x", {"say \"hi\"", "x"}},
        {"\"  padded  \",x", {"padded", "x"}},
        {"\"quoted\"tail,x", {"quotedtail", "x"}},
        {"mid\"dle,still\"open", {"middle,stillopen"}},
        {"\"never closed,a,b", {"never closed,a,b"}},
        {",", {"", ""}},
        // A comma fused with a combining mark is part of the field.
        {"a,\u0301b,c", {"a,\u0301b", "c"}},
        // So is a quote: this one does not close the field, and the comma after it stays inside.
        {"\"a\"\u0301,b", {"a\"\u0301,b"}},
    };
    for (const auto& [line, fields] : cases) EXPECT_EQ(splitCsvLine(line), fields) << line;
}

TEST(CsvValue, CountsCommasWithoutQuotes)
{
    const std::vector<std::tuple<std::string, std::int64_t, std::optional<std::string>>> cases = {
        {"a,b,c", 0, "a"},
        {"a,b,c", 1, "b"},
        {"a,b,c", 2, "c"},
        {"a,b,c", 3, std::nullopt},
        {"a,b,c", -1, std::nullopt},
        {"a,,c", 1, std::nullopt},
        {"", 0, std::nullopt},
        {"a, \t,c", 1, std::nullopt},
        {"\"x,y\",z", 0, "\"x"},
        {"\"x,y\",z", 1, "y\""},
        {"a,\u0301b,c", 1, "c"},
    };
    for (const auto& [line, at, expected] : cases) {
        const auto value = csvValue(line, at);
        EXPECT_EQ(value ? std::optional<std::string>(*value) : std::nullopt, expected) << line << " at " << at;
    }
}

TEST(ReadNumber, ReadsWholeCLocaleLiterals)
{
    const std::vector<std::pair<std::string, std::optional<double>>> cases = {
        {"1e3", 1000},
        {"7", 7},
        {"7.0", 7},
        {"+7", 7},
        {"-2.5", -2.5},
        {".5", 0.5},
        {"5.", 5},
        {"3.703358336E1", 37.03358336},
        {"0x1p3", 8},
        {"-0X1.8p1", -3},
        {"0x.8", 0.5},
        {"inf", INFINITY},
        {"-Infinity", -INFINITY},
        {"1e999", INFINITY},
        {"-1e999", -INFINITY},
        {"1e-400", 0},
        {"9223372036854775808", 9223372036854775808.0},
        {"", std::nullopt},
        {" 1", std::nullopt},
        {"\t1", std::nullopt},
        {"1 ", std::nullopt},
        {"1,5", std::nullopt},
        {"+-1", std::nullopt},
        {"--1", std::nullopt},
        {"0x", std::nullopt},
        {"0xg", std::nullopt},
        {"0x-1", std::nullopt},
        {"1e", std::nullopt},
        {"infinit", std::nullopt},
        {"abc", std::nullopt},
        {"12 km/h", std::nullopt},
    };
    for (const auto& [field, expected] : cases) EXPECT_EQ(readNumber(field), expected) << field;
    for (const std::string field : {"nan", "NaN", "-nan", "nan(123)", "NAN(abc_1)"}) {
        const auto value = readNumber(field);
        ASSERT_TRUE(value.has_value()) << field;
        EXPECT_TRUE(std::isnan(*value)) << field;
    }
    EXPECT_FALSE(readNumber("nan(").has_value());
    EXPECT_TRUE(std::signbit(*readNumber("-0")));
}

TEST(ReadNumber, AgreesWithStrtodInTheCLocaleOnGeneratedLiterals)
{
    locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    ASSERT_NE(c, nullptr);
    std::mt19937 random(12345);
    const std::string alphabet = "0123456789+-.eEpPxXaAfFinINtyT( )_,";
    for (int i = 0; i < 200000; ++i) {
        std::string field;
        const int length = 1 + static_cast<int>(random() % 8);
        for (int k = 0; k < length; ++k) field.push_back(alphabet[random() % alphabet.size()]);
        char* end = nullptr;
        const double expected = strtod_l(field.c_str(), &end, c);
        const bool whole = end == field.c_str() + field.size() && field.front() != ' ';
        const auto value = readNumber(field);
        ASSERT_EQ(value.has_value(), whole) << field;
        if (whole && !std::isnan(expected)) {
            ASSERT_EQ(*value, expected) << field;
        }
    }
    freelocale(c);
}

TEST(ReadNumber, IgnoresTheProcessLocale)
{
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "no de_DE.UTF-8 locale";
    EXPECT_EQ(readNumber("1.5"), 1.5);
    EXPECT_EQ(readNumber("1,5"), std::nullopt);
    EXPECT_EQ(readNumber("1e999"), INFINITY);
    std::setlocale(LC_ALL, previous.c_str());
}

TEST(ReadInteger, ReadsSignAndDigitsWithinSixtyFourBits)
{
    const std::vector<std::pair<std::string, std::optional<std::int64_t>>> cases = {
        {"7", 7},
        {"+7", 7},
        {"-7", -7},
        {"007", 7},
        {"9223372036854775807", INT64_MAX},
        {"-9223372036854775808", INT64_MIN},
        {"9223372036854775808", std::nullopt},
        {"7.0", std::nullopt},
        {"1e3", std::nullopt},
        {" 7", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"+-7", std::nullopt},
        {"-+7", std::nullopt},
        {"", std::nullopt},
        {"0x10", std::nullopt},
    };
    for (const auto& [field, expected] : cases) EXPECT_EQ(readInteger(field), expected) << field;
}
