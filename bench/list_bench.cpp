// zaro-list-bench: zaro-session list over a folder of 500 generated sessions of about 1 MB, on one
// worker and on one a processor; then the time and peak memory of every command of zaro-session on
// 64 MiB files shaped to hurt it.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "session_generator.hpp"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int sessionFiles = 500;
constexpr std::size_t sessionBytes = 1'000'000;
constexpr int listRuns = 3;
constexpr double goalRatio = 1.7;
constexpr std::size_t largestFile = 64 << 20;

struct Usage {
    double seconds = 0;
    double peakMiB = 0;
};

// Runs the program with its output thrown away. A fork, not a spawn that shares this process's
// memory, so that the child's peak is its own; this process holds no large buffer when it forks.
Usage measure(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("cannot fork");
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) throw std::runtime_error("wait4 failed");
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    // list and bests exit 1 when a file failed; only a crash or a missing program is a failure here.
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1) throw std::runtime_error(arguments[0] + " failed");
    return {seconds, static_cast<double>(usage.ru_maxrss) / 1024};
}

void writeFile(const fs::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

// 500 sessions of every shape on a handful of tracks, as a season's folder holds them.
std::uintmax_t writeSeason(const fs::path& folder)
{
    const zaro::SessionGenerator::Shape shapes[] = {zaro::SessionGenerator::Shape::zaroCsv,
                                                    zaro::SessionGenerator::Shape::raceBoxCsv,
                                                    zaro::SessionGenerator::Shape::plainTrack};
    const char* tracks[] = {"Harrowby Park", "Ashcombe Raceway", "Fenwick Downs", "Kelby Heath"};
    std::uintmax_t bytes = 0;
    for (int i = 0; i < sessionFiles; ++i) {
        zaro::SessionGenerator::Options options;
        options.shape = shapes[i % 3];
        options.maxBytes = sessionBytes;
        options.seed = static_cast<std::uint64_t>(i + 1);
        options.trackName = tracks[i % 4];
        options.startUnixMs += std::int64_t{i} * 86'400'000;
        const fs::path path = folder / ("month " + std::to_string(i % 12 + 1)) / ("session " + std::to_string(i) + ".csv");
        fs::create_directories(path.parent_path());
        writeFile(path, zaro::SessionGenerator::generate(options));
        bytes += fs::file_size(path);
    }
    return bytes;
}

double medianSeconds(const std::vector<std::string>& arguments)
{
    std::vector<double> seconds;
    for (int i = 0; i < listRuns; ++i) seconds.push_back(measure(arguments).seconds);
    std::sort(seconds.begin(), seconds.end());
    return seconds[seconds.size() / 2];
}

void benchList(const fs::path& folder)
{
    const double megabytes = static_cast<double>(writeSeason(folder)) / 1e6;
    const unsigned workers = std::max(1U, std::thread::hardware_concurrency());
    const std::string program = ZARO_CLI_PROGRAM;
    measure({program, "list", folder.string()});  // the files and the program in the page cache
    const double one = medianSeconds({program, "list", "--jobs", "1", folder.string()});
    const double all = medianSeconds({program, "list", "--jobs", std::to_string(workers), folder.string()});
    std::printf("list of %d files, %.1f MB, median of %d runs:\n", sessionFiles, megabytes, listRuns);
    std::printf("  1 worker   %6.2f s  %6.1f MB/s\n", one, megabytes / one);
    std::printf("  %u workers  %6.2f s  %6.1f MB/s  %.2f times one worker's rate (goal %.1f: %s)\n", workers, all,
                megabytes / all, one / all, goalRatio, one / all >= goalRatio ? "met" : "MISSED");
}

std::string repeated(const std::string& text, std::size_t times)
{
    std::string all;
    all.reserve(text.size() * times);
    for (std::size_t i = 0; i < times; ++i) all += text;
    return all;
}

void benchLargeFiles(const fs::path& folder)
{
    const std::string preamble = "Format,ZARO CSV\nTrack,Harrowby Park\n";
    const std::string body = "Time,Latitude,Longitude\n2024-06-01T10:15:00Z,52.07,-1.01\n";
    const auto fill = [&](const std::string& head, const std::string& unit, const std::string& tail) {
        return head + repeated(unit, (largestFile - head.size() - tail.size()) / unit.size()) + tail;
    };
    // Each file is made only when its case runs and is gone before the programs start.
    const struct {
        const char* name;
        std::function<std::string()> text;
        double goalSeconds, goalMiB;
    } cases[] = {
        {"one lap of 33.5 million sectors", [&] { return fill(preamble + "Lap 1,90.0,Sectors", ",1", "\n" + body); }, 5, 512},
        {"335 laps of 100,001 sectors",
         [&] {
             std::string text = preamble;
             for (int lap = 1; lap <= 335; ++lap) text += "Lap " + std::to_string(lap) + ",90.0,Sectors" + repeated(",1", 100'001) + "\n";
             return text + body;
         },
         3, 384},
        {"8.4 million laps", [&] { return fill(preamble, "Lap 1,1\n", body); }, 3, 384},
    };
    const std::string program = ZARO_CLI_PROGRAM;
    const fs::path file = folder / "large.csv";
    for (const auto& c : cases) {
        writeFile(file, c.text());
        std::printf("%s (%ju bytes), goal %.0f s and %.0f MiB:\n", c.name, static_cast<std::uintmax_t>(fs::file_size(file)),
                    c.goalSeconds, c.goalMiB);
        for (const std::vector<std::string>& command : {std::vector<std::string>{"summary"}, {"summary", "--json"},
                                                        {"list"}, {"bests"}}) {
            std::vector<std::string> arguments{program};
            arguments.insert(arguments.end(), command.begin(), command.end());
            arguments.push_back(file.string());
            const Usage usage = measure(arguments);
            const bool met = usage.seconds <= c.goalSeconds && usage.peakMiB <= c.goalMiB;
            std::printf("  %-16s %5.2f s  %6.1f MiB  %s\n", command.size() > 1 ? "summary --json" : command[0].c_str(),
                        usage.seconds, usage.peakMiB, met ? "met" : "MISSED");
        }
    }
}

}  // namespace

int main()
{
    try {
        std::string pattern = (fs::temp_directory_path() / "zaro-list-bench.XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
        const fs::path folder = pattern;
        benchList(folder / "season");
        benchLargeFiles(folder);
        fs::remove_all(folder);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zaro-list-bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
