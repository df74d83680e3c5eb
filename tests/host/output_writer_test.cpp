// Output files: made whole before they take their name, a caller's empty file written in place, and
// what is no regular file refused before anything is made.
#include "host/output_writer.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <system_error>

#include <gtest/gtest.h>

#include "support/failure.hpp"
#include "support/files.hpp"

namespace zaro {
namespace {

using support::failureOf;
using support::folderEntries;
using support::readFile;
using support::writeFile;

std::span<const unsigned char> bytesOf(const std::string& text)
{
    return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

std::tuple<bool, bool, bool> rights(const OutputFile& file)
{
    const sandbox::FolderRights r = file.folderRights();
    return {r.make, r.write, r.remove};
}

// XFCE's thumbnail service makes the output first and reads it back through its own descriptor: an
// empty file is written in place.
TEST(OutputWriter, MakesANewFileReplacesOneWholeOrFillsACallersEmptyOneNeedingOnlyTheRightsItUses)
{
    const mode_t previous = ::umask(027);
    const support::TemporaryFolder folder;
    const std::string longName(255, 'n');  // no room left in the name for a temporary suffix
    for (const std::string& name : {std::string("card.png"), longName}) {
        // An unnamed file, linked in; renaming over a file another writer makes meanwhile stays allowed.
        OutputFile fresh = OutputFile::open(folder / name);
        EXPECT_EQ(rights(fresh), std::tuple(true, false, true));
        fresh.write(bytesOf(std::string(300'000, 'a')));
        OutputFile replacing = OutputFile::open(folder / name);
        EXPECT_EQ(rights(replacing), std::tuple(true, false, true));  // and renamed over the old one
        replacing.write(bytesOf("short"));
        EXPECT_EQ(readFile(folder / name), "short");
    }
    writeFile(folder / "thumb.png", "");
    const posix::FileDescriptor callers(::open((folder / "thumb.png").c_str(), O_RDONLY));
    OutputFile inPlace = OutputFile::open(folder / "thumb.png");
    EXPECT_EQ(rights(inPlace), std::tuple(false, false, false));
    inPlace.write(bytesOf("picture"));
    char seen[16] = {};
    EXPECT_EQ(::pread(callers.get(), seen, sizeof seen, 0), 7);
    EXPECT_STREQ(seen, "picture");
    EXPECT_EQ(folderEntries(folder.path()), (std::vector<std::string>{"card.png", longName, "thumb.png"}));
    struct stat status {};
    ASSERT_EQ(::stat((folder / "card.png").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
    ::umask(previous);
}

// What the name leads to is settled when the output is opened, on the folder's descriptor: a link
// that leads nowhere is replaced itself, as mv does, and so is a file another writer makes before
// this one is done; a folder renamed away takes the writing with it, not to a new folder of that name.
TEST(OutputWriter, ReplacesADanglingLinkAndAFileMadeMeanwhileAndWritesIntoTheFolderItOpened)
{
    const support::TemporaryFolder folder;
    std::filesystem::create_symlink(folder / "nowhere", folder / "dangling.png");
    std::filesystem::create_symlink("loop.png", folder / "loop.png");
    for (const std::string name : {"dangling.png", "loop.png"}) {
        OutputFile output = OutputFile::open(folder / name);
        output.write(bytesOf("picture"));
        EXPECT_FALSE(std::filesystem::is_symlink(folder / name)) << name;
        EXPECT_EQ(readFile(folder / name), "picture") << name;
    }
    OutputFile raced = OutputFile::open(folder / "raced.png");
    writeFile(folder / "raced.png", "another writer's");
    raced.write(bytesOf("ours"));
    EXPECT_EQ(readFile(folder / "raced.png"), "ours");
    std::filesystem::create_directory(folder / "a");
    OutputFile moved = OutputFile::open(folder / "a" / "card.png");
    std::filesystem::rename(folder / "a", folder / "b");
    std::filesystem::create_directory(folder / "a");
    moved.write(bytesOf("card"));
    EXPECT_EQ(readFile(folder / "b" / "card.png"), "card");
    EXPECT_EQ(folderEntries(folder / "a"), std::vector<std::string>{});
    EXPECT_EQ(folderEntries(folder.path()),
              (std::vector<std::string>{"a", "b", "dangling.png", "loop.png", "raced.png"}));
}

TEST(OutputWriter, RefusesWhatCanHoldNoWholeFileBeforeMakingAnything)
{
    const support::TemporaryFolder folder;
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mknod((folder / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    writeFile(folder / "file", "x");
    std::filesystem::create_directory(folder / "folder");
    const std::string notRegular = ": Not a regular file (write to standard output with - instead)";
    const std::pair<std::string, std::string> cases[] = {
        {"fifo", (folder / "fifo").string() + notRegular},
        {"null", (folder / "null").string() + notRegular},
        {"folder", "Is a directory"},
        {"file/card.png", "Not a directory"},
        {"missing/card.png", "No such file or directory"},
    };
    for (const auto& [name, message] : cases) {
        EXPECT_EQ(failureOf([&] { OutputFile::open(folder / name).write(bytesOf("png")); }), message) << name;
    }
    EXPECT_EQ(folderEntries(folder.path()), (std::vector<std::string>{"fifo", "file", "folder", "null"}));
}

// A write cut short by the file-size limit fails half-way through the bytes.
TEST(OutputWriter, AWriteThatFailsHalfWayLeavesTheOldFileAndNoOther)
{
    for (const bool named : {false, true}) {
        const support::TemporaryFolder folder;
        writeFile(folder / "card.png", "old");
        const pid_t child = ::fork();
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{4096, 4096};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            const std::string bytes(100'000, 'x');
            const auto write = [&] {
                if (named) writeThroughNamedTemporary(folder / "card.png", bytesOf(bytes));
                else OutputFile::open(folder / "card.png").write(bytesOf(bytes));
            };
            ::_exit(failureOf(write) == "File too large" ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_EQ(status, 0) << named << ": the write did not fail with EFBIG";
        EXPECT_EQ(folderEntries(folder.path()), std::vector<std::string>{"card.png"}) << named;
        EXPECT_EQ(readFile(folder / "card.png"), "old") << named;
    }
}

}  // namespace
}  // namespace zaro
