// Work on a thread of its own, or on the waiting thread when no thread can be had.
#include "base/background.hpp"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "support/failure.hpp"

namespace zaro {
namespace {

TEST(Background, RunsTheWorkOnAThreadOfItsOwnAndRethrowsItsFailureOnWaiting)
{
    std::thread::id ranOn;
    Background work([&] { ranOn = std::this_thread::get_id(); });
    work.wait();
    EXPECT_NE(ranOn, std::this_thread::get_id());
    Background failing([] { throw std::runtime_error("the work's own failure"); });
    EXPECT_EQ(support::failureOf([&] { failing.wait(); }), "the work's own failure");
    EXPECT_EQ(support::failureOf([&] { failing.wait(); }), "(no failure)");  // thrown once
}

// The address space is limited to what the process has mapped plus a little, and threads ask for stacks
// larger than any the C library keeps from earlier threads: no thread's stack fits, so the work waits
// for wait() and runs there.
TEST(Background, RunsTheWorkWhenWaitedForWhenNoThreadCanBeHad)
{
    const pid_t child = ::fork();
    if (child == 0) {
        std::ifstream statm("/proc/self/statm");
        unsigned long pages = 0;
        statm >> pages;
        const rlim_t limit = pages * static_cast<unsigned long>(::sysconf(_SC_PAGESIZE)) + (1 << 20);
        const rlimit tight{limit, limit};
        pthread_attr_t large;
        ::pthread_attr_init(&large);
        ::pthread_attr_setstacksize(&large, 64 << 20);
        ::pthread_setattr_default_np(&large);
        ::setrlimit(RLIMIT_AS, &tight);
        std::thread::id ranOn;
        Background work([&] { ranOn = std::this_thread::get_id(); });
        const bool notYet = ranOn == std::thread::id();
        work.wait();
        ::_exit(notYet && ranOn == std::this_thread::get_id() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace zaro
