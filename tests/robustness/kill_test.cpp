// A preview killed at any moment leaves the output folder with the old picture or a whole new one,
// never a partial or temporary file, and the session file as it was.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace fs = std::filesystem;

extern char** environ;

namespace {

std::string bytesOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A whole PNG of the card: signature, a 1680 × 1440 header and the closing IEND chunk.
bool isWholeCard(const std::string& png)
{
    const auto at = [&png](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(png[i])) << 24
            | static_cast<std::uint32_t>(static_cast<unsigned char>(png[i + 1])) << 16
            | static_cast<std::uint32_t>(static_cast<unsigned char>(png[i + 2])) << 8
            | static_cast<unsigned char>(png[i + 3]);
    };
    return png.size() > 60 && png.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0 && at(16) == 1680 && at(20) == 1440
        && png.compare(png.size() - 8, 4, "IEND") == 0;
}

}  // namespace

TEST(KillAtRandom, NeverLeavesAPartialOutputOrTouchesTheInput)
{
    const fs::path dir = fs::temp_directory_path() / ("zaro-kill-" + std::to_string(::getpid()));
    fs::create_directories(dir / "out");
    const fs::path input = dir / "Sunday practice.csv";
    fs::copy_file(fs::path(ZARO_EXAMPLES_DIR) / "Sunday practice.csv", input);
    const std::string inputBytes = bytesOf(input);
    const fs::path output = dir / "out" / "card.png";
    std::ofstream(output, std::ios::binary) << "an older picture";

    const std::string program = ZARO_PREVIEW_PROGRAM;
    const std::string in = input.string();
    const std::string out = output.string();
    char* const argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(in.c_str()),
                          const_cast<char*>(out.c_str()), nullptr};
    const auto start = [&argv] {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        return failed ? -1 : pid;
    };

    // Kill points spread over a little more than one whole preview on this machine.
    const auto began = std::chrono::steady_clock::now();
    int status = 0;
    ::waitpid(start(), &status, 0);
    const auto wholeRun = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - began);
    std::ofstream(output, std::ios::binary) << "an older picture";

    std::mt19937 random(20241206);
    std::uniform_int_distribution<long> delayUs(0, wholeRun.count() * 6 / 5);
    std::string current = bytesOf(output);
    int replaced = 0;
    for (int run = 0; run < 200; ++run) {
        const pid_t pid = start();
        ASSERT_GT(pid, 0);
        const long us = delayUs(random);
        const timespec delay{0, us * 1000};
        ::nanosleep(&delay, nullptr);
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);

        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir / "out")) names.push_back(entry.path().filename().string());
        ASSERT_EQ(names, std::vector<std::string>{"card.png"}) << "run " << run << " after " << us << " us";
        const std::string now = bytesOf(output);
        if (now != current) {
            ASSERT_TRUE(isWholeCard(now)) << "run " << run << " left a partial picture of " << now.size() << " bytes";
            current = now;
            ++replaced;
        }
        ASSERT_EQ(bytesOf(input), inputBytes) << "run " << run;
    }
    fs::remove_all(dir);
    // The delays reach past a whole preview, so some runs finish and replace the picture.
    EXPECT_GT(replaced, 0);
}
