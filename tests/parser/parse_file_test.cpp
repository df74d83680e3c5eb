// File intake: the size limit, file kinds that must fail at once, and the system's own errors.
#include <fstream>
#include <system_error>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "zaro_session_parser.hpp"

using namespace zaro;
namespace fs = std::filesystem;

namespace {

class ParseFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("zaro-parse-file-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path write(const std::string& name, const std::string& content)
    {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    fs::path sparse(const std::string& name, std::int64_t size)
    {
        const fs::path path = write(name, "");
        fs::resize_file(path, static_cast<std::uintmax_t>(size));
        return path;
    }

    fs::path dir_;
};

std::string failureOf(const fs::path& path)
{
    try {
        ZaroSessionParser::parseFile(path);
    } catch (const std::exception& error) {
        return error.what();
    }
    return "parsed";
}

}  // namespace

TEST_F(ParseFile, NamesTheRecordAfterTheFileWithItsExtension)
{
    const fs::path path = write("a.b.csv", "Time,Latitude,Longitude\nt,1,2\n");
    const ZaroSession session = ZaroSessionParser::parseFile(path);
    EXPECT_EQ(session.fileName, "a.b.csv");
    EXPECT_EQ(session, ZaroSessionParser::parse("Time,Latitude,Longitude\nt,1,2\n", "a.b.csv"));
}

TEST_F(ParseFile, ChecksTheSizeBeforeReading)
{
    // Sparse files of zero bytes: the one at the limit is read (and is no session), the one past it is not.
    EXPECT_EQ(failureOf(sparse("limit.csv", ZaroSessionParser::maxPreviewBytes)), ParseError::unsupportedFormat().what());
    const fs::path over = sparse("over.csv", ZaroSessionParser::maxPreviewBytes + 1);
    ::chmod(over.c_str(), 0);  // unreadable too: only the size may be looked at
    EXPECT_EQ(failureOf(over), ParseError::tooLarge().what());
    EXPECT_EQ(failureOf(write("empty.csv", "")), ParseError::empty().what());
}

TEST_F(ParseFile, FailsAtOnceForWhatIsNotARegularFile)
{
    EXPECT_EQ(failureOf(dir_), "Is a directory");
    EXPECT_EQ(failureOf("/dev/zero"), "Not a regular file");
    const fs::path fifo = dir_ / "fifo.csv";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(failureOf(fifo), "Not a regular file");
}

TEST_F(ParseFile, PassesTheSystemsErrorsOn)
{
    EXPECT_EQ(failureOf(dir_ / "missing.csv"), "No such file or directory");
    try {
        ZaroSessionParser::parseFile(dir_ / "missing.csv");
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code(), std::errc::no_such_file_or_directory);
    }
}

TEST_F(ParseFile, ReadsLinesLongerThanItsBufferAcrossChunks)
{
    std::string data = "Format,ZARO CSV\nTrack," + std::string(700000, 'x') + "\nTime,Latitude,Longitude,Lap\n";
    for (int i = 0; i < 40000; ++i) data += "2024-06-01T10:00:" + std::to_string(10 + i % 40) + "Z,52." + std::to_string(i) + ",-1,0\n";
    const fs::path path = write("long.csv", data);
    EXPECT_EQ(ZaroSessionParser::parseFile(path), ZaroSessionParser::parse(data, "long.csv"));
}
