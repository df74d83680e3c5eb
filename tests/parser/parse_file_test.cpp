// Files: the size limit, what is refused unread, the system's errors, and the test of a file's start.
#include <sys/stat.h>

#include <system_error>

#include <gtest/gtest.h>

#include "parser/zaro_session_parser.hpp"
#include "support/files.hpp"
#include "support/samples.hpp"

namespace zaro {
namespace {

namespace fs = std::filesystem;
using support::writeFile;

std::string failureOf(const fs::path& path)
{
    try {
        ZaroSessionParser::parseFile(path);
    } catch (const std::exception& error) {
        return error.what();
    }
    return "parsed";
}

TEST(ParseFile, ChecksTheSizeBeforeReadingAndNamesTheRecordAfterTheFile)
{
    const support::TemporaryFolder folder;
    writeFile(folder / "a.b.csv", support::plainTrack);
    EXPECT_EQ(ZaroSessionParser::parseFile(folder / "a.b.csv"), ZaroSessionParser::parse(support::plainTrack, "a.b.csv"));
    // Sparse files of zero bytes: the one at the limit is read (and is no session), the one past it is not.
    writeFile(folder / "limit.csv", "");
    fs::resize_file(folder / "limit.csv", ZaroSessionParser::maxPreviewBytes);
    EXPECT_EQ(failureOf(folder / "limit.csv"), ParseError::unsupportedFormat().what());
    writeFile(folder / "over.csv", "");
    fs::resize_file(folder / "over.csv", ZaroSessionParser::maxPreviewBytes + 1);
    ::chmod((folder / "over.csv").c_str(), 0);  // unreadable too: only the size may be looked at
    EXPECT_EQ(failureOf(folder / "over.csv"), ParseError::tooLarge().what());
}

TEST(ParseFile, RefusesWhatIsNoRegularFileAtOnceAndPassesTheSystemsErrorsOn)
{
    const support::TemporaryFolder folder;
    ASSERT_EQ(::mkfifo((folder / "fifo.csv").c_str(), 0600), 0);
    EXPECT_EQ(failureOf(folder / "fifo.csv"), "Not a regular file");
    EXPECT_EQ(failureOf("/dev/zero"), "Not a regular file");
    EXPECT_EQ(failureOf(folder.path()), "Is a directory");
    EXPECT_EQ(failureOf(folder / "missing.csv"), "No such file or directory");
    EXPECT_THROW(ZaroSessionParser::parseFile(folder / "missing.csv"), std::system_error);
}

TEST(ParseFile, ReadsLinesLongerThanItsBufferAcrossChunks)
{
    std::string data = "Format,ZARO CSV\nTrack," + std::string(700000, 'x') + "\nTime,Latitude,Longitude,Lap\n";
    for (int i = 0; i < 40000; ++i) data += "2024-06-01T10:00:" + std::to_string(10 + i % 40) + "Z,52." + std::to_string(i) + ",-1,0\n";
    const support::TemporaryFolder folder;
    writeFile(folder / "long.csv", data);
    EXPECT_EQ(ZaroSessionParser::parseFile(folder / "long.csv"), ZaroSessionParser::parse(data, "long.csv"));
}

// A file's start decides as the whole parse would, for its format and columns, and needs no row.
TEST(IsSessionFile, AgreesWithTheParseOnFormatAndColumnsFromTheFirstBytes)
{
    const support::TemporaryFolder folder;
    const std::pair<std::string, bool> cases[] = {
        {support::zaroExample, true},
        {"Format,RaceBox CSV\nTime,Latitude,Longitude\n", true},
        {"\xEF\xBB\xBF" "Time (s),Latitude (deg),Longitude (deg)", true},  // the whole file: its last line counts
        {"", false},
        {"name,price\napple,1\n", false},
        {"utc time,lat,lon\n1,2,3\n", false},
        {"Format,ZARO CSV\nTimestamp,Latitude,Longitude\n", false},
        {"\xFF\xFE" "T\0i\0m\0e\0,\0L\0a\0t\0i\0t\0u\0d\0e\0,\0L\0o\0n\0g\0i\0t\0u\0d\0e\0\n\0", false},
        // A header row past the bytes looked at is not found.
        {"Format,ZARO CSV\n" + std::string(ZaroSessionParser::sessionHeadBytes, '\n') + "Time,Latitude,Longitude\n", false},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const fs::path file = folder / ("case-" + std::to_string(i) + ".csv");
        writeFile(file, cases[i].first);
        EXPECT_EQ(ZaroSessionParser::isSessionFile(file), cases[i].second) << "case " << i;
    }
    // A header row cut by the end of the bytes looked at is not judged on its first half.
    EXPECT_THROW(ZaroSessionParser::checkFormat("Format,ZARO CSV\nTime,Latitude,Longi", false), ParseError);
    EXPECT_NO_THROW(ZaroSessionParser::checkFormat("Format,ZARO CSV\nTime,Latitude,Longitude\n", false));
    EXPECT_THROW(ZaroSessionParser::isSessionFile(folder / "missing.csv"), std::system_error);
}

}  // namespace
}  // namespace zaro
