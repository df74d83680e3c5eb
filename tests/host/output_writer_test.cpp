#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <system_error>
#include <vector>

#include "host/output_writer.hpp"
#include "support/files.hpp"

namespace zaro {
namespace {

using support::folderEntries;
using support::readFile;
using support::TemporaryFolder;
using support::writeFile;

using Writer = void (*)(const std::filesystem::path&, std::span<const unsigned char>);

struct Method {
    const char* name;
    Writer write;
};

const Method methods[] = {
    {"unnamed temporary file", writeFileAtomically},
    {"named temporary file", writeFileThroughNamedTemporary},
};

std::vector<unsigned char> somePng(std::size_t size)
{
    std::vector<unsigned char> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 3);
    return bytes;
}

int errorOf(const Method& method, const std::filesystem::path& path, std::span<const unsigned char> bytes)
{
    try {
        method.write(path, bytes);
    } catch (const std::system_error& error) {
        return error.code().value();
    }
    return 0;
}

// Writes a new file, then replaces it with a shorter one, under a umask a new file would get.
TEST(OutputWriter, WritesOrReplacesTheFileWholeWithTheModeOfANewFile)
{
    const mode_t previous = ::umask(027);
    for (const Method& method : methods) {
        const TemporaryFolder folder;
        for (const std::size_t size : {300'000, 1000}) {
            const std::vector<unsigned char> bytes = somePng(size);
            method.write(folder / "card.png", bytes);
            EXPECT_EQ(readFile(folder / "card.png"), support::asString(bytes)) << method.name;
            EXPECT_EQ(folderEntries(folder.path()), std::vector<std::string>{"card.png"}) << method.name;
        }
        struct stat status {};
        ASSERT_EQ(::stat((folder / "card.png").c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0640u) << method.name;
    }
    ::umask(previous);
}

TEST(OutputWriter, FailsWithTheSystemErrorAndLeavesNothingBehind)
{
    for (const Method& method : methods) {
        const TemporaryFolder folder;
        const std::vector<unsigned char> bytes = somePng(1000);
        EXPECT_EQ(errorOf(method, folder / "missing" / "card.png", bytes), ENOENT) << method.name;
        writeFile(folder / "file", "x");
        EXPECT_EQ(errorOf(method, folder / "file" / "card.png", bytes), ENOTDIR) << method.name;
        std::filesystem::create_directory(folder / "card.png");
        EXPECT_EQ(errorOf(method, folder / "card.png", bytes), EISDIR) << method.name;
        EXPECT_EQ(folderEntries(folder.path()), (std::vector<std::string>{"card.png", "file"})) << method.name;
        EXPECT_TRUE(std::filesystem::is_empty(folder / "card.png")) << method.name;
    }
}

// A write cut short by the file-size limit fails half-way through the bytes.
TEST(OutputWriter, AWriteThatFailsHalfWayLeavesTheOldFileAndNoOther)
{
    for (const Method& method : methods) {
        const TemporaryFolder folder;
        writeFile(folder / "card.png", "old");
        const pid_t child = ::fork();
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{4096, 4096};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            ::_exit(errorOf(method, folder / "card.png", somePng(100'000)) == EFBIG ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_EQ(status, 0) << method.name << ": the write did not fail with EFBIG";
        EXPECT_EQ(folderEntries(folder.path()), std::vector<std::string>{"card.png"}) << method.name;
        EXPECT_EQ(readFile(folder / "card.png"), "old") << method.name;
    }
}

}  // namespace
}  // namespace zaro
