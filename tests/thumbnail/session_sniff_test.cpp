#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <system_error>

#include "host/program.hpp"
#include "session_sniff.hpp"

namespace zaro {
namespace {

using testing::TemporaryFolder;
using testing::writeBytes;

struct SniffCase {
    std::string head;
    bool complete;
    bool session;
};

std::string utf16le(std::string_view ascii)
{
    std::string text = "\xFF\xFE";
    for (const char c : ascii) text += {c, '\0'};
    return text;
}

TEST(SessionSniff, KnowsASessionByItsFormatLineOrItsTrackHeader)
{
    const SniffCase cases[] = {
        {"Format,ZARO CSV\nTrack,Ashcombe\n", true, true},
        {"Format,RaceBox CSV\r\nData Source,RaceBox\r\n", true, true},
        {"\"Format\",\"zaro csv\"\n", true, true},
        {"Track,Ashcombe\nFormat, ZARO CSV \n", true, true},
        {"Time,Latitude,Longitude,Speed (km/h)\n1,2,3,4\n", true, true},
        {"utc time,lat,lon\n", true, true},
        {"\xEF\xBB\xBFTime,Latitude,Longitude\n", true, true},
        {utf16le("Time,Latitude,Longitude\r\n"), true, true},
        {"Time,Latitude,Longitude", true, true},
        {"Time,Latitude,Longitude", false, false},
        {"Format,GPX\n", true, false},
        {"Latitude,Longitude\n", true, false},
        {"name,price,latitude\n", true, false},
        {"", true, false},
    };
    for (const SniffCase& c : cases) EXPECT_EQ(looksLikeSessionText(c.head, c.complete), c.session) << c.head;
}

TEST(SessionSniff, ReadsTheStartOfARegularFileOnly)
{
    for (const auto& entry : std::filesystem::directory_iterator(ZARO_EXAMPLES_DIR)) {
        EXPECT_TRUE(looksLikeSessionFile(entry.path())) << entry.path();
    }
    const TemporaryFolder folder;
    writeBytes(folder / "prices.csv", "name,price\napple,1\n");
    EXPECT_FALSE(looksLikeSessionFile(folder / "prices.csv"));
    // A header beyond the first 16 KiB is not looked for.
    writeBytes(folder / "late.csv", std::string(sniffBytes, '\n') + "Time,Latitude,Longitude\n");
    EXPECT_FALSE(looksLikeSessionFile(folder / "late.csv"));
    ASSERT_EQ(::mkfifo((folder / "pipe.csv").c_str(), 0600), 0);
    EXPECT_FALSE(looksLikeSessionFile(folder / "pipe.csv"));
    EXPECT_THROW(looksLikeSessionFile(folder / "missing.csv"), std::system_error);
    EXPECT_THROW(looksLikeSessionFile(folder.path()), std::system_error);
}

}  // namespace
}  // namespace zaro
