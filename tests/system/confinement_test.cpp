// The confinement a previewer applies to itself: what it refuses, and that a card is still drawn.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <functional>

#include <gtest/gtest.h>

#include "host/sandbox.hpp"
#include "parser/zaro_session_parser.hpp"
#include "render/preview_card.hpp"
#include "support/files.hpp"
#include "support/samples.hpp"

namespace fs = std::filesystem;
using namespace zaro;

namespace {

struct Attempt {
    const char* what;
    std::function<bool()> succeeded;
};

// Runs `body` in a child process and returns its exit status: sandboxes cannot be lifted, so each
// test confines a process of its own.
int inChild(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) _exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

TEST(Confinement, RefusesWhatAPreviewerNeverDoesAndStillDrawsTheCard)
{
    const support::TemporaryFolder root;
    const fs::path input = root / "session.csv", out = root / "out", elsewhere = root / "elsewhere";
    fs::create_directories(out);
    fs::create_directories(elsewhere);
    support::writeFile(input, support::plainTrack);
    const sandbox::Policy rules = sandbox::programPolicy(input, out / "card.png");
    const std::vector<Attempt> attempts = {
        {"create a file elsewhere", [&] { return ::open((elsewhere / "x").c_str(), O_WRONLY | O_CREAT, 0600) >= 0; }},
        {"open the input for writing", [&] { return ::open(input.c_str(), O_WRONLY) >= 0; }},
        {"truncate the input", [&] { return ::truncate(input.c_str(), 0) == 0; }},
        {"truncate an open input", [&] {
             const int fd = ::open(input.c_str(), O_RDONLY);
             return fd >= 0 && ::ftruncate(fd, 0) == 0;
         }},
        {"read /etc/passwd", [] { return ::open("/etc/passwd", O_RDONLY) >= 0; }},
        {"open an internet socket", [] { return ::socket(AF_INET, SOCK_STREAM, 0) >= 0; }},
        {"open an internet6 socket", [] { return ::socket(AF_INET6, SOCK_DGRAM, 0) >= 0; }},
        {"start a process", [] {
             const pid_t pid = ::fork();
             if (pid == 0) _exit(0);
             return pid > 0;
         }},
        {"run a program", [] {
             char* const argv[] = {const_cast<char*>("/bin/true"), nullptr};
             ::execv("/bin/true", argv);
             return false;
         }},
    };
    for (std::size_t i = 0; i < attempts.size(); ++i) {
        const int status = inChild([&] {
            const sandbox::Report report = sandbox::confine(rules);
            if (report.landlockAbi == 0 || !report.systemCalls) return 2;
            return attempts[i].succeeded() ? 1 : 0;
        });
        if (status == 2) GTEST_SKIP() << "this kernel offers no Landlock or seccomp";
        EXPECT_EQ(status, 0) << "the sandbox let the process " << attempts[i].what;
    }

    const int drawn = inChild([&] {
        if (sandbox::confine(rules).landlockAbi == 0) return 2;
        const auto png = ZaroSessionPreviewCard::pngData(ZaroSessionParser::parseFile(input));
        std::ofstream file(out / "card.png", std::ios::binary);
        file.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
        // The IHDR chunk holds the width and height, big-endian, at bytes 16 and 20.
        const auto at = [&png](std::size_t i) { return png[i] << 24 | png[i + 1] << 16 | png[i + 2] << 8 | png[i + 3]; };
        return file.good() && png.size() > 24 && at(16) == 1680 && at(20) == 1440 ? 0 : 1;
    });
    EXPECT_EQ(drawn, 0);
    EXPECT_TRUE(fs::exists(out / "card.png"));
    EXPECT_EQ(support::readFile(input), support::plainTrack);
}
