// Reading ahead in a child process: what its work returns comes back whole, the child is confined to
// its input before the work starts, and a child that fails or dies is told apart from one that did
// its work.
#include "host/read_ahead.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <linux/landlock.h>

#include <cerrno>
#include <optional>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "base/posix_file.hpp"
#include "host/service.hpp"
#include "support/files.hpp"

namespace zaro {
namespace {

bool kernelHasLandlock()
{
    return ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION) >= 1;
}

TEST(ReadAhead, WhatTheWorkReturnsComesBackWholeOnce)
{
    const support::TemporaryFolder folder;
    const std::filesystem::path input = folder / "in.csv";
    support::writeFile(input, "Time,Latitude,Longitude\n");
    // Far more than a pipe holds, so the child waits for the parent to read.
    const auto work = [](const std::filesystem::path& path) {
        std::string out = support::readFile(path);
        for (int i = 0; out.size() < 3'000'000; ++i) out += std::to_string(i) + ',';
        return out;
    };
    std::unique_ptr<ReadAhead> ahead = ReadAhead::start(input, work);
    ASSERT_TRUE(ahead);
    EXPECT_EQ(ahead->take(), work(input));
    EXPECT_THROW(ahead->take(), ServiceError);

    // The child whose work was taken is reaped with the reading, not left a zombie.
    ahead = ReadAhead::start(input, [](const std::filesystem::path&) { return std::to_string(::getpid()); });
    ASSERT_TRUE(ahead);
    const std::optional<std::string> child = ahead->take();
    ASSERT_TRUE(child);
    ahead.reset();
    EXPECT_EQ(::waitpid(std::stoi(*child), nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(ReadAhead, TheChildReadsItsInputAndNothingElseAndMakesNoProcess)
{
    if (!kernelHasLandlock()) GTEST_SKIP() << "the kernel has no Landlock";
    const support::TemporaryFolder folder;
    support::writeFile(folder / "in.csv", "in");
    support::writeFile(folder / "other.csv", "other");
    const std::unique_ptr<ReadAhead> ahead = ReadAhead::start(folder / "in.csv", [&](const std::filesystem::path& path) {
        std::string seen = support::readFile(path);
        const int other = ::open((folder / "other.csv").c_str(), O_RDONLY | O_CLOEXEC);
        seen += other < 0 && errno == EACCES ? " other refused" : " other opened";
        const pid_t made = ::fork();
        if (made == 0) ::_exit(0);
        seen += made < 0 ? " fork refused" : " fork made";
        return seen;
    });
    ASSERT_TRUE(ahead);
    EXPECT_EQ(ahead->take(), "in other refused fork refused");
}

TEST(ReadAhead, AChildThatThrowsLeavesTheWorkAndOneThatDiesOrMeetsAShrunkenFileIsAnError)
{
    const std::filesystem::path input = "/never/read.csv";
    const std::unique_ptr<ReadAhead> throws =
        ReadAhead::start(input, [](const std::filesystem::path&) -> std::string { throw std::runtime_error("no"); });
    ASSERT_TRUE(throws);
    EXPECT_EQ(throws->take(), std::nullopt);

    const std::unique_ptr<ReadAhead> dies = ReadAhead::start(input, [](const std::filesystem::path&) -> std::string {
        ::kill(::getpid(), SIGKILL);
        return "never";
    });
    ASSERT_TRUE(dies);
    try {
        dies->take();
        ADD_FAILURE() << "a killed child's reading was taken";
    } catch (const ServiceError& error) {
        EXPECT_STREQ(error.what(), "The file could not be read: the process reading it ended early.");
    }

    // A file read mapped that shrinks under the reading ends the child, not the program.
    const support::TemporaryFolder folder;
    const std::filesystem::path shrinking = folder / "shrinking.csv";
    constexpr std::size_t length = 3 * 4096;
    support::writeFile(shrinking, std::string(length, 'x'));
    const std::unique_ptr<ReadAhead> mapped = ReadAhead::start(shrinking, [](const std::filesystem::path& path) {
        // Mapped at its first length, whenever the child comes to it, and touched once it has shrunk.
        const posix::RegularFile file = posix::openRegularFile(path);
        const posix::MappedFile mapping(file.descriptor.get(), length);
        struct stat now {};
        while (::fstat(file.descriptor.get(), &now) == 0 && now.st_size == static_cast<off_t>(length)) ::usleep(1000);
        return std::string(1, mapping.bytes().back());
    });
    ASSERT_TRUE(mapped);
    std::filesystem::resize_file(shrinking, 0);
    EXPECT_THROW(mapped->take(), ServiceError);
}

}  // namespace
}  // namespace zaro
