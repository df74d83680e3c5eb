// zaro-session-thumbnailer started as a desktop's thumbnail service starts it.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "png.hpp"
#include "thumbnail/test_mark.hpp"
#include "thumbnail_provider.hpp"

namespace zaro {
namespace {

using testing::folderEntries;
using testing::readBytes;
using testing::runProgram;
using testing::RunResult;
using testing::TemporaryFolder;
using testing::writeBytes;

const std::string program = ZARO_THUMBNAILER_PROGRAM;
const std::filesystem::path sundayPractice = std::filesystem::path(ZARO_EXAMPLES_DIR) / "Sunday practice.csv";

TEST(ThumbnailerProgram, WritesTheMarkAtTheRequestedSizeForEveryArgumentConvention)
{
    ::unsetenv("ZARO_SESSION_RESOURCES");
    const TemporaryFolder folder;
    std::filesystem::copy_file(sundayPractice, folder / "Sunday #1.csv");
    const std::string uri = "file://" + folder.path().string() + "/Sunday%20%231.csv";
    const std::vector<unsigned char> expected =
        thumbnailPng(requestThumbnail(thumbnailExtension(), {sundayPractice, {128, 128}, {0, 0}, 1}), 1);
    const std::vector<std::vector<std::string>> cases = {
        {program, "-s", "128", folder / "Sunday #1.csv", folder / "thumb.png"},
        {program, "-s128", uri, folder / "thumb.png"},
        {program, uri, folder / "thumb.png", "-s", "128"},
        {program, "-s", "128", "--", folder / "Sunday #1.csv", folder / "thumb.png"},
    };
    for (const auto& arguments : cases) {
        std::filesystem::remove(folder / "thumb.png");
        const RunResult run = runProgram(arguments);
        EXPECT_EQ(run.exitCode, 0) << arguments[1];
        EXPECT_EQ(run.out + run.err, "") << arguments[1];
        EXPECT_EQ(readBytes(folder / "thumb.png"), expected) << arguments[1];
    }
    const std::optional<png::Image> image = png::decode(expected);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 128u);
    EXPECT_EQ(image->height, 128u);
}

TEST(ThumbnailerProgram, AMissingMarkGivesABlackThumbnail)
{
    const TemporaryFolder folder;
    std::filesystem::create_directory(folder / "no-resources");
    testing::RunOptions options;
    options.environment = {{"ZARO_SESSION_RESOURCES", folder / "no-resources"}};
    const RunResult run = runProgram({program, "-s", "32", sundayPractice, folder / "thumb.png"}, options);
    EXPECT_EQ(run.exitCode, 0);
    const std::optional<png::Image> image = png::decode(readBytes(folder / "thumb.png"));
    ASSERT_TRUE(image);
    std::vector<unsigned char> allBlack;
    for (int i = 0; i < 32 * 32; ++i) allBlack.insert(allBlack.end(), {0, 0, 0, 255});
    EXPECT_EQ(image->rgba, allBlack);
}

TEST(ThumbnailerProgram, FailsLeavingNothingForAFileThatIsNoSessionOrAnUnwritableOutput)
{
    const TemporaryFolder folder;
    writeBytes(folder / "prices.csv", "name,price\napple,1\n");
    std::filesystem::create_directory(folder / "folder.csv");
    const std::tuple<std::filesystem::path, std::filesystem::path, std::string> cases[] = {
        {folder / "prices.csv", folder / "prices.csv", ": not a file this thumbnailer is registered for\n"},
        {folder / "missing.csv", folder / "missing.csv", ": No such file or directory\n"},
        {folder / "folder.csv", folder / "folder.csv", ": Is a directory\n"},
        {sundayPractice, folder / "folder.csv", ": Is a directory\n"},
    };
    for (const auto& [input, blamed, reason] : cases) {
        const std::filesystem::path output = blamed == input ? folder / "thumb.png" : blamed;
        const RunResult run = runProgram({program, "-s", "256", input, output});
        EXPECT_EQ(run.exitCode, 1) << input;
        EXPECT_EQ(run.err, "zaro-session-thumbnailer: " + blamed.string() + reason);
    }
    EXPECT_EQ(folderEntries(folder.path()), (std::vector<std::string>{"folder.csv", "prices.csv"}));
    EXPECT_TRUE(std::filesystem::is_empty(folder / "folder.csv"));
}

TEST(ThumbnailerProgram, AMalformedCommandLineIsAUsageError)
{
    const std::vector<std::vector<std::string>> cases = {
        {program, sundayPractice, "out.png"},
        {program, "-s", "0", sundayPractice, "out.png"},
        {program, "-s", "4097", sundayPractice, "out.png"},
        {program, "-s", "-5", sundayPractice, "out.png"},
        {program, "-s", "256", sundayPractice},
        {program, "-x", "-s", "256", sundayPractice, "out.png"},
    };
    for (const auto& arguments : cases) {
        const RunResult run = runProgram(arguments);
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_NE(run.err.find("usage: zaro-session-thumbnailer -s SIZE INPUT OUTPUT\n"), std::string::npos) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists("out.png"));
}

}  // namespace
}  // namespace zaro
