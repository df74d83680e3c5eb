// Line enumeration, CSV fields, the field picker and the number readers.
#include <algorithm>
#include <bit>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <random>

#include <gtest/gtest.h>
#include <locale.h>

#include "base/posix_file.hpp"
#include "base/unicode.hpp"
#include "fields.hpp"
#include "lines.hpp"
#include "rows.hpp"
#include "support/cases.hpp"
#include "support/files.hpp"

namespace zaro::ZaroSessionParser::detail {
namespace {

using support::readCases;

TEST(EnumerateLines, CutsAtLineFeedsDropsOneCarriageReturnAndTheFirstByteOrderMarkAndRepairsUtf8)
{
    for (const auto& c : readCases("parser/enumerate_lines.cases")) {
        std::vector<std::optional<std::string>> lines;
        enumerateLines(c[0], std::stoll(c[1]), [&lines](std::string_view line, std::int64_t next) {
            lines.insert(lines.end(), {std::string(line), std::to_string(next)});
            return true;
        });
        EXPECT_EQ(lines, std::vector(c.fields.begin() + 2, c.fields.end())) << c.where;
    }
    int calls = 0;
    enumerateLines("a\nb\nc", 0, [&calls](std::string_view, std::int64_t) { return ++calls < 1; });
    EXPECT_EQ(calls, 1);
}

// Random lines with now and then a byte beyond ASCII, before or after a block of sixteen, and a
// file longer than the file reader's buffer: a line said to be ASCII is, the lines from memory say
// so of every ASCII line, and both readers decode the same lines.
TEST(LineReaders, SayALineIsAsciiOnlyWhenItIsAndDecodeAsTheCheckingDecoderDoes)
{
    std::mt19937 random(77);
    std::string data;
    while (data.size() < 700 * 1024) {
        std::string line(random() % 90, 'a');
        for (char& c : line) c = "a,1.\r"[random() % 5];
        if (!line.empty() && random() % 4 == 0) line[random() % line.size()] = "\xC3\xFF\x80"[random() % 3];
        data += line + "\n";
    }
    data += "tail \xC3\xA9 without a line feed";
    const support::TemporaryFolder folder;
    support::writeFile(folder / "lines.csv", data);
    const posix::RegularFile file = posix::openRegularFile(folder / "lines.csv");

    SpanLines fromMemory(data, 0, static_cast<std::int64_t>(data.size()));
    FileLines fromFile(file.descriptor.get(), 0, static_cast<std::int64_t>(data.size()));
    LineDecoder decoder, checking, fileDecoder;
    RawLine raw, fileRaw;
    std::size_t lines = 0;
    while (fromMemory.next(raw)) {
        ASSERT_TRUE(fromFile.next(fileRaw));
        ASSERT_EQ(raw.ascii, text::isAscii(raw.bytes)) << "line " << lines;
        ASSERT_TRUE(!fileRaw.ascii || text::isAscii(fileRaw.bytes)) << "line " << lines;
        const std::string expected(checking.decode(raw.bytes));
        ASSERT_EQ(decoder.decode(raw), expected) << "line " << lines;
        ASSERT_EQ(fileDecoder.decode(fileRaw), expected) << "line " << lines;
        ASSERT_EQ(fileRaw.next, raw.next);
        ++lines;
    }
    EXPECT_FALSE(fromFile.next(fileRaw));
    EXPECT_GT(lines, 10000U);
}

// Every width of step finds the first line feed and tells whether the bytes before it are ASCII, for
// lines of every length against every alignment of the steps, with a high byte before, at or after it.
TEST(FindLineFeed, AgreesAtEveryWidthOfVector)
{
    std::mt19937 random(31);
    std::string bytes(200, 'a');
    for (int round = 0; round < 20000; ++round) {
        for (char& c : bytes) c = "ab,1.\r"[random() % 6];
        const std::size_t from = random() % 40;
        const std::size_t limit = from + random() % (bytes.size() - from + 1);
        if (random() % 4 != 0) bytes[from + random() % (bytes.size() - from)] = '\n';
        if (random() % 3 == 0) bytes[random() % bytes.size()] = static_cast<char>(0x80 + random() % 128);
        const char* const begin = bytes.data() + from;
        const char* const end = bytes.data() + limit;
        const char* const feed = std::find(begin, end, '\n');
        const bool ascii = text::isAscii(std::string_view(begin, static_cast<std::size_t>(feed - begin)));
        for (int width = 0; width <= static_cast<int>(widestVectors()); ++width) {
            bool found = !ascii;
            ASSERT_EQ(findLineFeed(begin, end, found, static_cast<Vectors>(width)), feed) << round << " " << width;
            ASSERT_EQ(found, ascii) << round << " " << width;
        }
    }
}

TEST(SplitCsvLine, SplitsTrimsAndHonoursQuotes)
{
    for (const auto& c : readCases("parser/split_csv_line.cases")) {
        std::vector<std::string> fields;
        for (std::size_t i = 1; i < c.fields.size(); ++i) fields.push_back(c[i]);
        EXPECT_EQ(splitCsvLine(c[0]), fields) << c.where;
    }
}

TEST(CsvValue, CountsCommasWithoutQuotes)
{
    for (const auto& c : readCases("parser/csv_value.cases")) {
        const auto value = csvValue(c[0], std::stoll(c[1]));
        EXPECT_EQ(value ? std::optional<std::string>(*value) : std::nullopt, c.fields.at(2)) << c.where;
    }
}

// Random ASCII rows of commas, blanks and short words: the picker's fields are csvValue's.
TEST(PickFields, AgreesWithThePlainFieldReaderOnRandomRows)
{
    std::mt19937 random(4242);
    const std::string alphabet = ",,,,  \tab.-0123456789";
    const std::vector<FieldNeed> needs = {{0, Column::time}, {3, Column::latitude}, {17, Column::longitude},
                                          {18, Column::speed}, {40, Column::lap}};
    // One set of slots for every row, as the row pass keeps: a row with fewer fields than the one
    // before it must still leave the fields it lacks empty. Some rows are not ASCII.
    std::array<std::string_view, columnCount> values;
    values.fill("stale");
    std::deque<std::string> rows;  // every row kept, as a slot left alone still views it
    for (int i = 0; i < 20000; ++i) {
        std::string& row = rows.emplace_back(random() % 80, ' ');
        for (char& c : row) c = alphabet[random() % alphabet.size()];
        if (i % 5 == 0) row.insert(random() % (row.size() + 1), "\u00e9");
        pickFields(row, needs, values);
        for (const FieldNeed& need : needs) {
            const std::string_view picked = values[static_cast<std::size_t>(need.column)];
            ASSERT_EQ(picked, csvValue(row, need.position).value_or("")) << "'" << row << "' at " << need.position;
        }
    }
}

TEST(ReadNumber, ReadsWholeCLocaleLiteralsAndNothingElse)
{
    for (const auto& c : readCases("parser/read_number.cases")) {
        const std::optional<double> value = readNumber(c[0]);
        if (!c.fields.at(1) || *c.fields[1] == "nan") {
            EXPECT_EQ(value.has_value() && std::isnan(*value), c.fields[1].has_value()) << c.where;
        } else {
            ASSERT_TRUE(value) << c.where;
            const double expected = std::strtod(c[1].c_str(), nullptr);
            EXPECT_TRUE(*value == expected && std::signbit(*value) == std::signbit(expected)) << c.where;
        }
    }
}

TEST(ReadNumber, AgreesWithStrtodInTheCLocaleOnGeneratedLiterals)
{
    locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    ASSERT_NE(c, nullptr);
    std::mt19937 random(12345);
    // Every kind of literal, short; and plain decimals up to twenty bytes, which are read eight digits at a time.
    const std::string alphabet = "0123456789+-.eEpPxXaAfFinINtyT( )_,";
    const std::string decimals = "01234567890123456789.-";
    for (int i = 0; i < 200000; ++i) {
        const std::string& letters = i % 2 ? alphabet : decimals;
        std::string field(1 + random() % (i % 2 ? 8 : 20), ' ');
        for (char& ch : field) ch = letters[random() % letters.size()];
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

// Every length of whole part and fraction, signed or not, and each with one byte spoilt.
TEST(ReadNumber, ReadsPlainDecimalsOfEveryShapeAsStrtodDoes)
{
    std::mt19937 random(99);
    const auto digits = [&random](std::size_t count) {
        std::string text(count, '0');
        for (char& c : text) c = static_cast<char>('0' + random() % 10);
        return text;
    };
    for (std::size_t whole = 0; whole <= 9; ++whole) {
        for (std::size_t fraction = 0; fraction <= 10; ++fraction) {
            for (int round = 0; round < 20; ++round) {
                std::string field = (round % 2 ? "-" : "") + digits(whole) + "." + digits(fraction);
                if (round >= 10) field[random() % field.size()] = "e+-.x/:"[random() % 7];
                char* end = nullptr;
                const double expected = std::strtod(field.c_str(), &end);
                const auto value = readNumber(field);
                ASSERT_EQ(value.has_value(), end == field.c_str() + field.size()) << field;
                if (value) {
                    ASSERT_EQ(std::bit_cast<std::uint64_t>(*value), std::bit_cast<std::uint64_t>(expected)) << field;
                }
            }
        }
    }
}

TEST(ReadNumber, IgnoresTheProcessLocale)
{
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "no de_DE.UTF-8 locale";
    EXPECT_EQ(readNumber("1.5"), 1.5);
    EXPECT_EQ(readNumber("1,5"), std::nullopt);
    std::setlocale(LC_ALL, previous.c_str());
}

TEST(ReadInteger, ReadsSignAndDigitsWithinSixtyFourBits)
{
    for (const auto& c : readCases("parser/read_integer.cases")) {
        const std::optional<std::int64_t> value = readInteger(c[0]);
        EXPECT_EQ(value ? std::to_string(*value) : "~", c.fields.at(1).value_or("~")) << c.where;
    }
}

}  // namespace
}  // namespace zaro::ZaroSessionParser::detail
