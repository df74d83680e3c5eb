// zaro-session-preview started as a desktop service or a file manager starts it.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "host/program.hpp"
#include "png.hpp"
#include "preview_card.hpp"
#include "zaro_session_parser.hpp"

namespace zaro {
namespace {

using testing::folderEntries;
using testing::readBytes;
using testing::runProgram;
using testing::RunOptions;
using testing::RunResult;
using testing::TemporaryFolder;
using testing::writeBytes;

const std::string program = ZARO_PREVIEW_PROGRAM;
const std::filesystem::path sundayPractice = std::filesystem::path(ZARO_EXAMPLES_DIR) / "Sunday practice.csv";

std::vector<unsigned char> asBytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<unsigned char> summaryCard(const std::filesystem::path& file)
{
    return ZaroSessionPreviewCard::pngData(ZaroSessionParser::parseFile(file));
}

TEST(PreviewProgram, WritesTheSummaryCardAndPrintsTheTitle)
{
    const TemporaryFolder folder;
    std::filesystem::copy_file(sundayPractice, folder / "a.b.csv");
    const RunResult run = runProgram({program, folder / "a.b.csv", folder / "card.png"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "a.b\n");
    EXPECT_EQ(run.err, "");
    const std::vector<unsigned char> bytes = readBytes(folder / "card.png");
    EXPECT_EQ(bytes, summaryCard(folder / "a.b.csv"));
    const std::optional<png::Image> image = png::decode(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 1680u);
    EXPECT_EQ(image->height, 1440u);
    EXPECT_EQ(folderEntries(folder.path()), (std::vector<std::string>{"a.b.csv", "card.png"}));
}

TEST(PreviewProgram, TakesAFileUriAndWritesToStandardOutputForADash)
{
    const TemporaryFolder folder;
    std::filesystem::copy_file(sundayPractice, folder / "Sunday 50% wet.csv");
    const RunResult run = runProgram({program, "file://" + folder.path().string() + "/Sunday%2050%25%20wet.csv", "-"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(asBytes(run.out), summaryCard(folder / "Sunday 50% wet.csv"));
    EXPECT_EQ(run.err, "Sunday 50% wet\n");
}

TEST(PreviewProgram, AnEmptyFileGivesTheErrorCardAndOneLogLine)
{
    const TemporaryFolder folder;
    writeBytes(folder / "empty.csv", "");
    RunOptions onTerminal;
    onTerminal.stderrOnTerminal = true;
    const RunResult run = runProgram({program, folder / "empty.csv", folder / "card.png"}, onTerminal);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "empty\n");
    EXPECT_EQ(run.err, "preview empty.csv\npreview failed: The ZARO Session file is empty.\n");
    EXPECT_EQ(readBytes(folder / "card.png"), ZaroSessionPreviewCard::errorPngData("The ZARO Session file is empty."));
    // Standard error that is no terminal gets no log lines.
    EXPECT_EQ(runProgram({program, folder / "empty.csv", folder / "card.png"}).err, "");
}

// The journal's socket is stood in for by one of ours, mounted at /dev/log in a bubblewrap sandbox.
TEST(PreviewProgram, WritesItsLogLinesToTheSystemLog)
{
    const std::filesystem::path bwrap = "/usr/bin/bwrap";
    if (!std::filesystem::exists(bwrap)) GTEST_SKIP() << "bubblewrap is not installed";
    const TemporaryFolder folder;
    writeBytes(folder / "empty.csv", "");
    const std::filesystem::path socketPath = folder / "log";
    const int journal = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(journal, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.string().copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(journal, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

    const RunResult run = runProgram({bwrap, "--dev-bind", "/", "/", "--dev", "/dev", "--bind", socketPath, "/dev/log",
                                      program, folder / "empty.csv", folder / "card.png"});
    if (run.exitCode != 0 && run.err.starts_with("bwrap:")) {
        ::close(journal);
        GTEST_SKIP() << "bubblewrap cannot make a sandbox here: " << run.err;
    }
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> lines;
    char buffer[4096];
    for (ssize_t got; (got = ::recv(journal, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) {
        const std::string line(buffer, static_cast<std::size_t>(got));
        // "<priority>timestamp identifier[pid]: message": the timestamp and the process vary.
        const std::size_t identifier = line.find(" io.zaro.session.preview[");
        const std::size_t message = line.find("]: ", identifier);
        ASSERT_NE(message, std::string::npos) << line;
        const std::string priority = line.substr(0, line.find('>') + 1);
        const std::string name = line.substr(identifier, line.find('[', identifier) - identifier);
        lines.push_back(priority + name + line.substr(message + 1));
    }
    ::close(journal);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "<14> io.zaro.session.preview: [preview] preview empty.csv",
                         "<11> io.zaro.session.preview: [preview] preview failed: The ZARO Session file is empty.",
                     }));
}

TEST(PreviewProgram, AFileOverTheLimitGivesTheTooLargeCardWithoutBeingRead)
{
    const TemporaryFolder folder;
    {
        std::ofstream sparse(folder / "huge.csv");
        sparse.seekp(ZaroSessionParser::maxPreviewBytes);
        sparse.put('\n');
    }
    const RunResult run = runProgram({program, folder / "huge.csv", folder / "card.png"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(readBytes(folder / "card.png"),
              ZaroSessionPreviewCard::errorPngData("The ZARO Session file is too large to preview."));
    // Libraries, font configuration and the like are read too; 64 MiB of the file would dwarf them.
    EXPECT_LT(run.bytesRead, 4u << 20);
}

TEST(PreviewProgram, AnOutputFolderThatCannotBeWrittenLeavesNothingAndFails)
{
    const TemporaryFolder folder;
    std::filesystem::create_directory(folder / "locked");
    std::filesystem::create_directory(folder / "card.png");
    RunOptions unprivileged;
    unprivileged.unprivileged = true;
    using std::filesystem::perms;
    std::filesystem::permissions(folder / "locked",
                                 perms::owner_read | perms::owner_exec | perms::others_read | perms::others_exec);
    std::filesystem::copy_file(sundayPractice, folder / "practice.csv");
    // Root may write anywhere, so the locked folder is tried as nobody.
    const std::tuple<std::filesystem::path, std::string, RunOptions> cases[] = {
        {folder / "locked" / "card.png", "Permission denied", unprivileged},
        {folder / "missing" / "card.png", "No such file or directory", {}},
        {folder / "practice.csv" / "card.png", "Not a directory", {}},
        {folder / "card.png", "Is a directory", {}},
    };
    for (const auto& [output, reason, options] : cases) {
        const RunResult run = runProgram({program, folder / "practice.csv", output}, options);
        EXPECT_EQ(run.exitCode, 1) << output;
        EXPECT_EQ(run.out, "") << output;
        EXPECT_EQ(run.err, "zaro-session-preview: " + output.string() + ": " + reason + "\n");
    }
    EXPECT_EQ(folderEntries(folder.path()), (std::vector<std::string>{"card.png", "locked", "practice.csv"}));
    EXPECT_TRUE(std::filesystem::is_empty(folder / "locked"));
    EXPECT_TRUE(std::filesystem::is_empty(folder / "card.png"));
}

TEST(PreviewProgram, AMalformedCommandLineIsAUsageError)
{
    const std::vector<std::vector<std::string>> cases = {
        {program},
        {program, "only-input.csv"},
        {program, "--size", "a.csv", "b.png"},
        {program, "file://elsewhere/a.csv", "b.png"},
    };
    for (const auto& arguments : cases) {
        const RunResult run = runProgram(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments.size();
        EXPECT_NE(run.err.find("usage: zaro-session-preview INPUT OUTPUT\n"), std::string::npos) << run.err;
    }
}

}  // namespace
}  // namespace zaro
