// Files: the size limit, what is no regular file, lines longer than the buffer, and the test of a file's start.
// The system's errors reach the programs' messages as the system tests show.
#include <sys/stat.h>

#include <bit>
#include <cstdint>
#include <string>
#include <system_error>

#include <gtest/gtest.h>

#include "parser/zaro_session_parser.hpp"
#include "support/cases.hpp"
#include "support/failure.hpp"
#include "support/files.hpp"

namespace zaro {
namespace {

namespace fs = std::filesystem;
using support::writeFile;

std::string failureOf(const fs::path& path)
{
    return support::failureOf([&] { ZaroSessionParser::parseFile(path); }, "parsed");
}

TEST(ParseFile, ChecksTheSizeAndTheKindBeforeReadingAndReadsLinesLongerThanItsBufferAndNamesTheRecordAfterTheFile)
{
    std::string data = "Format,ZARO CSV\nTrack," + std::string(700000, 'x') + "\nTime,Latitude,Longitude,Lap\n";
    for (int i = 0; i < 40000; ++i) {
        data += "2024-06-01T10:00:" + std::to_string(10 + i % 40) + "Z,52." + std::to_string(i) + ",-1,0\n";
    }
    const support::TemporaryFolder folder;
    writeFile(folder / "a.b.csv", data);
    EXPECT_EQ(ZaroSessionParser::parseFile(folder / "a.b.csv"), ZaroSessionParser::parse(data, "a.b.csv"));
    // Sparse files of zero bytes: the one at the limit is read (and is no session), the one past it is not.
    writeFile(folder / "limit.csv", "");
    fs::resize_file(folder / "limit.csv", ZaroSessionParser::maxPreviewBytes);
    EXPECT_EQ(failureOf(folder / "limit.csv"), ParseError::unsupportedFormat().what());
    writeFile(folder / "over.csv", "");
    fs::resize_file(folder / "over.csv", ZaroSessionParser::maxPreviewBytes + 1);
    ::chmod((folder / "over.csv").c_str(), 0);  // unreadable too: only the size may be looked at
    EXPECT_EQ(failureOf(folder / "over.csv"), ParseError::tooLarge().what());
    EXPECT_EQ(failureOf("/dev/zero"), "Not a regular file");  // a device, never read; FIFOs are in the system tests
}

// A file's start decides as the whole parse would, for its format and columns, and needs no row.
TEST(ParseFile, FewerStatisticsGiveTheSameTraceLapsTextsAndTheStatisticsKeptInOnePieceOrMany)
{
    const support::TemporaryFolder folder;
    std::string data = "Format,ZARO CSV\nTrack,Ashcombe\nTime,Latitude,Longitude,Speed (km/h),GForceX,GForceY,LeanAngle,Lap\n";
    for (int i = 0; i < 60000; ++i) {
        const int lap = i / 7000;
        data += "2024-06-01T10:" + std::to_string(10 + i / 1200 % 50) + ":" + std::to_string(10 + i / 20 % 50) + "." +
                std::to_string(i % 20 * 5 + 100) + "Z,52." + std::to_string(7000 + i % 7000 * 3 % 997) + ",-1.0" +
                std::to_string(i % 7000 * 7 % 1009) + "," + std::to_string(100 + i % 97) + ",0.1,-0." +
                std::to_string(i % 9) + ",12," + std::to_string(lap) + "\n";
    }
    writeFile(folder / "rows.csv", data);
    std::vector<fs::path> files = {folder / "rows.csv"};
    for (const auto& entry : fs::directory_iterator(support::examples)) files.push_back(entry.path());
    int parsed = 0;
    for (const fs::path& file : files) {
        for (const unsigned threads : {1u, 4u}) {
            ZaroSession all;
            try {
                all = ZaroSessionParser::parseFile(file, threads);
            } catch (const ParseError&) {
                continue;  // a file the parse refuses, which it refuses either way
            }
            ++parsed;
            const std::string where = file.string() + ", " + std::to_string(threads) + " threads";
            // The card's statistics are those of the whole parse, to the bit.
            const ZaroSession card = ZaroSessionParser::parseFile(file, threads, ZaroSessionParser::Statistics::card);
            EXPECT_FALSE(card.avgSpeedMps || card.maxAbsGx || card.maxAbsGy || card.maxLeanDeg) << where;
            ZaroSession expected = all;
            expected.avgSpeedMps = expected.maxAbsGx = expected.maxAbsGy = expected.maxLeanDeg = std::nullopt;
            EXPECT_EQ(card, expected) << where;
            EXPECT_EQ(std::bit_cast<std::uint64_t>(card.distanceM), std::bit_cast<std::uint64_t>(all.distanceM)) << where;

            const ZaroSession none = ZaroSessionParser::parseFile(file, threads, ZaroSessionParser::Statistics::none);
            EXPECT_EQ(none.distanceM, 0) << file;
            EXPECT_FALSE(none.maxSpeedMps || none.avgSpeedMps || none.maxAbsGx || none.maxAbsGy || none.maxLeanDeg) << file;
            expected.distanceM = 0;
            expected.maxSpeedMps = std::nullopt;
            EXPECT_EQ(none, expected) << where;
        }
    }
    EXPECT_GE(parsed, 6);
}

TEST(IsSessionFile, AgreesWithTheParseOnFormatAndColumnsFromTheFirstBytes)
{
    const support::TemporaryFolder folder;
    for (const support::Case& c : support::readCases("parser/is_session_file.cases")) {
        writeFile(folder / "case.csv", c[0]);
        EXPECT_EQ(ZaroSessionParser::isSessionFile(folder / "case.csv"), c[1] == "yes") << c.where;
    }
    // A preamble longer than the bytes looked at goes by its Format line: the header row lies further on.
    std::string laps;
    while (laps.size() <= ZaroSessionParser::sessionHeadBytes) laps += "Lap 1,80.125\n";
    for (const auto& [format, session] : {std::pair{"ZARO CSV", true}, {"Other CSV", false}}) {
        writeFile(folder / "late.csv", "Format," + std::string(format) + "\n" + laps + "Time,Latitude,Longitude\n");
        EXPECT_EQ(ZaroSessionParser::isSessionFile(folder / "late.csv"), session) << format;
    }
    // A header row cut by the end of the bytes looked at is not judged on its first half.
    EXPECT_NO_THROW(ZaroSessionParser::checkFormat("Format,ZARO CSV\nTime,Latitude,Longi", false));
    EXPECT_THROW(ZaroSessionParser::checkFormat("Track,Home\nTime,Latitude,Longi", false), ParseError);
    EXPECT_THROW(ZaroSessionParser::isSessionFile(folder / "missing.csv"), std::system_error);
}

}  // namespace
}  // namespace zaro
