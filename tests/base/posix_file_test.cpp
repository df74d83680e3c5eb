// Reading and writing through file descriptors: bounded reads, and whole writes to a pipe that is full.
#include "base/posix_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "support/files.hpp"

namespace zaro {
namespace {

TEST(PosixFile, ReadsAPrefixOrAllOfAFileButNeverMoreThanTheLimit)
{
    const support::TemporaryFolder folder;
    support::writeFile(folder / "ten", "0123456789");
    const auto open = [&] { return posix::openRegularFile(folder / "ten"); };
    EXPECT_EQ(open().size, 10);
    EXPECT_EQ(posix::readPrefix(open().descriptor.get(), 4), "0123");
    EXPECT_EQ(posix::readPrefix(open().descriptor.get(), 64), "0123456789");
    EXPECT_EQ(posix::readAll(open().descriptor.get(), 10), "0123456789");
    EXPECT_EQ(posix::readAll(open().descriptor.get(), 9), std::nullopt);
    // /dev/zero never ends: the limit alone ends the read.
    const posix::FileDescriptor zero(::open("/dev/zero", O_RDONLY));
    EXPECT_EQ(posix::readAll(zero.get(), 1 << 20), std::nullopt);
}

TEST(PosixFile, WritesEverythingToANonBlockingPipeByWaitingWhenItIsFull)
{
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    const posix::FileDescriptor reader(ends[0]), writer(ends[1]);
    ::fcntl(writer.get(), F_SETFL, ::fcntl(writer.get(), F_GETFL) | O_NONBLOCK);
    const std::string bytes(1 << 20, 'z');  // sixteen times what a pipe holds
    std::string received;
    std::thread drain([&] {
        char buffer[4096];
        for (ssize_t got; received.size() < bytes.size() && (got = ::read(reader.get(), buffer, sizeof buffer)) > 0;) {
            received.append(buffer, static_cast<std::size_t>(got));
        }
    });
    posix::writeAll(writer.get(), bytes);
    drain.join();
    EXPECT_EQ(received, bytes);
}

}  // namespace
}  // namespace zaro
