// zaro-parse-bench: how fast the parser reads session files and how much memory one parse takes,
// for realistic logs and for inputs shaped to hurt.
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "foreign_writers.hpp"
#include "formats/session_reading.hpp"
#include "session_generator.hpp"
#include "parser/zaro_session_parser.hpp"

namespace {

namespace fs = std::filesystem;
using zaro::ZaroSessionParser::maxPreviewBytes;

constexpr double goalSeconds = 5.0;
constexpr long goalPeakKiB = 512L * 1024;
// A child that runs away is stopped long before it could take the machine with it.
constexpr unsigned childTimeLimitSeconds = 60;
constexpr rlim_t childAddressSpaceLimit = rlim_t{4} * 1024 * 1024 * 1024;
constexpr auto largestFile = static_cast<std::size_t>(maxPreviewBytes);

#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif
#else
constexpr bool sanitized = false;
#endif

std::system_error lastSystemError(const std::string& what)
{
    return {errno, std::generic_category(), what};
}

// A private folder for the generated files, removed with everything in it on every way out.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "zaro-parse-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw lastSystemError("cannot create a folder for the benchmark files");
        }
        path_ = pattern;
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir()
    {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }

    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

void writeFile(const fs::path& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        throw std::system_error(std::make_error_code(std::errc::io_error), "cannot write " + path.string());
    }
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && !in) {
        throw std::system_error(std::make_error_code(std::errc::io_error), "cannot read " + path.string());
    }
    return bytes;
}

double secondsOf(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string describe(const zaro::ZaroSession& session)
{
    return "parsed: " + std::to_string(session.pointCount) + " GPS rows, " + std::to_string(session.laps.size()) + " laps, " +
           std::to_string(session.polyline.size()) + " track points";
}

struct ChildRun {
    bool finished = false;  // the child reported back rather than dying
    double seconds = 0;
    long peakKiB = 0;
    std::string outcome;
};

void writeAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t written = write(fd, text.data(), text.size());
        if (written <= 0) {
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

// Runs `work` in a child process of its own, so that its peak resident memory is measured apart
// from the benchmark's own buffers; the child reports its time and outcome through a pipe.
ChildRun runInChild(const std::function<std::string()>& work)
{
    std::array<int, 2> pipeEnds{};
    if (pipe(pipeEnds.data()) != 0) {
        throw lastSystemError("cannot create a pipe");
    }
    std::fflush(stdout);
    // The child starts with the pages this process holds; the freed ones go back first.
    malloc_trim(0);
    const pid_t pid = fork();
    if (pid < 0) {
        throw lastSystemError("cannot start a child process");
    }
    if (pid == 0) {
        close(pipeEnds[0]);
        alarm(childTimeLimitSeconds);
        if (!sanitized) {
            const rlimit limit{childAddressSpaceLimit, childAddressSpaceLimit};
            setrlimit(RLIMIT_AS, &limit);
        }
        std::string outcome;
        const auto start = std::chrono::steady_clock::now();
        try {
            outcome = work();
        } catch (const zaro::ParseError& error) {
            outcome = "ParseError: " + error.errorDescription();
        } catch (const std::bad_alloc&) {
            outcome = "out of memory (std::bad_alloc)";
        } catch (const std::exception& error) {
            outcome = std::string("exception: ") + error.what();
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::array<char, 32> figure{};
        std::snprintf(figure.data(), figure.size(), "%.9f\n", seconds);
        writeAll(pipeEnds[1], std::string(figure.data()) + outcome);
        _exit(0);
    }

    close(pipeEnds[1]);
    std::string report;
    std::array<char, 4096> chunk{};
    for (;;) {
        const ssize_t got = read(pipeEnds[0], chunk.data(), chunk.size());
        if (got > 0) {
            report.append(chunk.data(), static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    close(pipeEnds[0]);

    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            throw lastSystemError("cannot wait for the child process");
        }
    }
    ChildRun run;
    run.peakKiB = usage.ru_maxrss;  // kibibytes on Linux
    const auto newline = report.find('\n');
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && newline != std::string::npos) {
        run.finished = true;
        run.seconds = std::strtod(report.c_str(), nullptr);
        run.outcome = report.substr(newline + 1);
    } else if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) {
        run.outcome = "stopped after " + std::to_string(childTimeLimitSeconds) + " s";
    } else if (WIFSIGNALED(status)) {
        run.outcome = std::string("died of signal ") + strsignal(WTERMSIG(status));
    } else {
        run.outcome = "exited with status " + std::to_string(WEXITSTATUS(status));
    }
    return run;
}

ChildRun parseFileInChild(const fs::path& path)
{
    return runInChild([&] { return describe(zaro::ZaroSessionParser::parseFile(path)); });
}

double mebibytes(long kib)
{
    return static_cast<double>(kib) / 1024.0;
}

bool meetsGoals(const ChildRun& run)
{
    return run.finished && run.seconds < goalSeconds && run.peakKiB < goalPeakKiB;
}

// Realistic logs ------------------------------------------------------------------------------

struct RealisticCase {
    const char* label;
    const char* fileName;
    zaro::SessionGenerator::Shape shape;
    std::size_t maxBytes;
    int runs;
};

// Median, least and most of `runs` timings of `work`, as MB/s of `bytes`.
void printThroughput(const char* call, double bytes, int runs, const std::function<void()>& work, double* medianSeconds = nullptr)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) times.push_back(secondsOf(work));
    const double m = median(times);
    std::printf("%-26s %10s  %-24s %4d %10.1f %9.1f  (%.1f to %.1f)\n", "", "", call, runs, m * 1000.0, bytes / 1e6 / m,
                bytes / 1e6 / *std::max_element(times.begin(), times.end()), bytes / 1e6 / *std::min_element(times.begin(), times.end()));
    if (medianSeconds) *medianSeconds = m;
}

// The peer a user would run instead, as a whole process, against the parse of the same file.
void comparePandas(const fs::path& path, double bytes, double oneThreadSeconds, double parallelSeconds)
{
    const fs::path peer = ZARO_PEERS_DIR "/pandas_summary.py";
    if (!fs::exists(peer) || std::system("/usr/bin/python3 -c 'import pandas' >/dev/null 2>&1") != 0) {
        std::printf("%-26s %10s  pandas_summary.py: skipped (no ../shared/peers or no python3-pandas)\n", "", "");
        return;
    }
    const std::string command = "/usr/bin/python3 '" + peer.string() + "' '" + path.string() + "' >/dev/null";
    std::vector<double> times;
    for (int i = 0; i < 11; ++i) {
        times.push_back(secondsOf([&] {
            if (std::system(command.c_str()) != 0) throw std::runtime_error("pandas_summary.py failed");
        }));
    }
    const double m = median(times);
    std::printf("%-26s %10s  %-24s %4d %10.1f %9.1f  parse is %.1f times faster on one thread, %.1f on all\n", "", "",
                "pandas_summary.py", 11, m * 1000.0, bytes / 1e6 / m, m / oneThreadSeconds, m / parallelSeconds);
}

bool benchRealistic(const fs::path& folder, const RealisticCase& item)
{
    const fs::path path = folder / item.fileName;
    {
        zaro::SessionGenerator::Options options;
        options.shape = item.shape;
        options.maxBytes = item.maxBytes;
        options.trackName = "Harrowby Park";
        writeFile(path, zaro::SessionGenerator::generate(options));
    }
    const auto bytes = static_cast<double>(fs::file_size(path));

    // One untimed pass warms the page cache and the allocator, and shows what was parsed.
    const std::string parsed = describe(zaro::ZaroSessionParser::parseFile(path));
    std::printf("%-26s %10.0f  %s\n", item.label, bytes, parsed.c_str());
    double oneThread = 0;
    double parallel = 0;
    printThroughput("parseFile, one thread", bytes, item.runs, [&] { (void)zaro::ZaroSessionParser::parseFile(path, 1); }, &oneThread);
    printThroughput("parseFile, all threads", bytes, item.runs, [&] { (void)zaro::ZaroSessionParser::parseFile(path); }, &parallel);
    {
        const std::string data = readFile(path);
        printThroughput("parse in memory, all", bytes, item.runs, [&] { (void)zaro::ZaroSessionParser::parse(data, item.fileName); });
    }
    if (item.shape == zaro::SessionGenerator::Shape::plainTrack) comparePandas(path, bytes, oneThread, parallel);
    const ChildRun child = parseFileInChild(path);
    fs::remove(path);
    std::printf("%-26s %10s  one parseFile in a child: %.1f ms, peak RSS %.1f MiB%s\n", "", "", child.seconds * 1000.0,
                mebibytes(child.peakKiB), child.finished ? "" : ("; " + child.outcome).c_str());
    return meetsGoals(child) && parallel < goalSeconds;
}

// Other loggers' exports -----------------------------------------------------------------------

struct ForeignCase {
    const char* label;
    const char* fileName;
    zaro::SessionGenerator::Foreign family;
};

// The same session as another logger writes it, 64 MiB long, read through the readers: its rate on
// one thread against the parse's on the ZARO CSV at `zaroPath`, the two timed in turns so that a busy
// machine slows both alike.
bool benchForeign(const fs::path& folder, const ForeignCase& item, const fs::path& zaroPath)
{
    const fs::path path = folder / item.fileName;
    {
        zaro::SessionGenerator::Options options;
        options.maxBytes = largestFile;
        options.trackName = "Harrowby Park";
        writeFile(path, zaro::SessionGenerator::generateForeign(item.family, options));
    }
    const auto bytes = static_cast<double>(fs::file_size(path));
    const std::string read = describe(zaro::formats::readSessionFile(path));
    std::printf("%-26s %10.0f  %s\n", item.label, bytes, read.c_str());
    std::vector<double> foreignTimes, zaroTimes;
    for (int i = 0; i < 7; ++i) {
        zaroTimes.push_back(secondsOf([&] { (void)zaro::ZaroSessionParser::parseFile(zaroPath, 1); }));
        foreignTimes.push_back(secondsOf([&] { (void)zaro::formats::readSessionFile(path, 1); }));
    }
    const double oneThread = median(foreignTimes);
    const double zaroMBps = static_cast<double>(fs::file_size(zaroPath)) / 1e6 / median(zaroTimes);
    std::printf("%-26s %10s  %-24s %4d %10.1f %9.1f  (ZARO CSV in turns: %.1f MB/s)\n", "", "", "readSessionFile, one", 7,
                oneThread * 1000.0, bytes / 1e6 / oneThread, zaroMBps);
    printThroughput("readSessionFile, all", bytes, 5, [&] { (void)zaro::formats::readSessionFile(path); });
    const ChildRun child = runInChild([&] { return describe(zaro::formats::readSessionFile(path)); });
    fs::remove(path);
    const double ratio = bytes / 1e6 / oneThread / zaroMBps;
    const bool met = ratio >= 0.6 && meetsGoals(child);
    std::printf("%-26s %10s  one thread at %.2f of ZARO CSV's rate (goal 0.60); in a child %.1f ms, peak RSS %.1f MiB  %s\n", "", "",
                ratio, child.seconds * 1000.0, mebibytes(child.peakKiB), met ? "met" : "MISSED");
    return met;
}

// Hostile inputs ------------------------------------------------------------------------------

constexpr std::string_view oneRow = "2024-06-01T10:15:30.240Z,52.0712,-1.0143\n";

// Repeats `unit` (its text made by `unitAt` for the running index) while the file stays within
// `limit` bytes once `tail` is added.
std::string repeatWithin(std::size_t limit, std::string head, const std::function<std::string(std::size_t)>& unitAt, std::string_view tail = {})
{
    std::string data = std::move(head);
    data.reserve(limit);
    for (std::size_t i = 0;; ++i) {
        const std::string unit = unitAt(i);
        if (data.size() + unit.size() + tail.size() > limit) {
            break;
        }
        data += unit;
    }
    data += tail;
    return data;
}

std::string headerOfCommas()
{
    std::string data = "Time,Latitude,Longitude,";
    data.append(largestFile - data.size() - 1 - oneRow.size(), ',');
    data += '\n';
    data += oneRow;
    return data;
}

std::string distinctMetadataKeys()
{
    return repeatWithin(largestFile, {}, [](std::size_t i) {
        std::string line = "k";
        line += std::to_string(i);
        line += ",v\n";
        return line;
    });
}

std::string millionsOfLapRows()
{
    const std::string tail = "Format,ZARO CSV\nTime,Latitude,Longitude\n" + std::string(oneRow);
    return repeatWithin(largestFile, {}, [](std::size_t) { return std::string("Lap 1,1\n"); }, tail);
}

std::string distinctLapNumbers()
{
    // One row a second from 2024-06-01T00:00:00Z, each with a lap number of its own. At 33 bytes or
    // more a row, the file holds fewer rows than June has seconds, so every date is real.
    return repeatWithin(largestFile, "Time,Latitude,Longitude,Lap\n", [](std::size_t i) {
        std::array<char, 96> row{};
        const int written = std::snprintf(row.data(), row.size(), "2024-06-%02zuT%02zu:%02zu:%02zuZ,52.07,-1.01,%zu\n", 1 + i / 86'400,
                                          i / 3600 % 24, i / 60 % 60, i % 60, i + 1);
        return std::string(row.data(), static_cast<std::size_t>(written));
    });
}

std::string oneLongLine()
{
    return repeatWithin(largestFile, {}, [](std::size_t) { return std::string("lorem ipsum dolor,"); });
}

std::string oneLongInvalidUtf8Line()
{
    return std::string(largestFile, '\xFF');
}

std::string whitespaceOnly()
{
    return repeatWithin(largestFile, {}, [](std::size_t) { return std::string(" \t \r\n"); });
}

std::string hugeTimeField()
{
    std::string data = "Time,Latitude,Longitude\n2024-06-01T10:15:30.240Z";
    const std::string_view position = ",52.0712,-1.0143\n";
    data.append(largestFile - data.size() - position.size(), '9');
    data += position;
    return data;
}

struct HostileCase {
    const char* label;
    std::string (*make)();
};

constexpr std::array<HostileCase, 8> hostileCases{{
    {"header of commas", headerOfCommas},
    {"distinct metadata keys", distinctMetadataKeys},
    {"millions of lap rows", millionsOfLapRows},
    {"distinct lap numbers", distinctLapNumbers},
    {"one line, no newline", oneLongLine},
    {"one line of invalid UTF-8", oneLongInvalidUtf8Line},
    {"whitespace only", whitespaceOnly},
    {"one huge Time field", hugeTimeField},
}};

bool benchHostile(const fs::path& folder, const HostileCase& item)
{
    const fs::path path = folder / "hostile.csv";
    writeFile(path, item.make());
    const auto bytes = fs::file_size(path);
    const ChildRun run = parseFileInChild(path);
    fs::remove(path);
    const bool met = meetsGoals(run);
    if (run.finished) {
        std::printf("%-26s %10ju %10.1f %10.1f MiB  %-6s %s\n", item.label, static_cast<std::uintmax_t>(bytes), run.seconds * 1000.0,
                    mebibytes(run.peakKiB), met ? "met" : "MISSED", run.outcome.c_str());
    } else {
        std::printf("%-26s %10ju %10s %10.1f MiB  %-6s %s\n", item.label, static_cast<std::uintmax_t>(bytes), "-", mebibytes(run.peakKiB),
                    "MISSED", run.outcome.c_str());
    }
    return met;
}

int runBenchmarks()
{
#ifdef NDEBUG
    const char* build = "optimised (NDEBUG)";
#else
    const char* build = "with assertions (not NDEBUG): figures are not representative";
#endif
    std::printf("zaro-parse-bench: build %s%s\n", build, sanitized ? ", sanitizers on: figures are not representative" : "");
    std::printf("goals: every parse under %.0f s and under %ld MiB peak resident memory\n", goalSeconds, goalPeakKiB / 1024);
    std::printf("MB = 10^6 bytes; times are medians with the page cache warm; peak RSS is ru_maxrss of a child\n");
    std::printf("process doing one parseFile (a child that parses nothing peaks at %.1f MiB)\n\n",
                mebibytes(runInChild([] { return std::string("nothing"); }).peakKiB));

    const TempDir folder;
    bool allMet = true;
    std::printf("%-26s %10s  %-24s %4s %10s %9s  %s\n", "realistic session", "bytes", "call", "runs", "median ms", "MB/s",
                "(slowest to fastest run)");
    using Shape = zaro::SessionGenerator::Shape;
    const std::array<RealisticCase, 3> realistic{{
        {"ZARO CSV, 25 Hz, 5 MB", "session-5MB.csv", Shape::zaroCsv, 5'000'000, 21},
        {"ZARO CSV, 25 Hz, 64 MiB", "session-64MiB.csv", Shape::zaroCsv, largestFile, 11},
        {"plain track + Lap, 64 MiB", "plain-64MiB.csv", Shape::plainTrack, largestFile, 11},
    }};
    for (const RealisticCase& item : realistic) {
        allMet = benchRealistic(folder.path(), item) && allMet;
    }
    const fs::path zaroPath = folder.path() / "zaro-64MiB.csv";
    {
        zaro::SessionGenerator::Options options;
        options.maxBytes = largestFile;
        options.trackName = "Harrowby Park";
        writeFile(zaroPath, zaro::SessionGenerator::generate(options));
    }

    std::printf("\n%-26s %10s  %-24s %4s %10s %9s  %s\n", "other loggers, 64 MiB", "bytes", "call", "runs", "median ms", "MB/s",
                "(slowest to fastest run)");
    using Foreign = zaro::SessionGenerator::Foreign;
    const std::array<ForeignCase, 8> foreign{{
        {"RaceChrono CSV v3", "racechrono.csv", Foreign::raceChrono},
        {"TrackAddict", "trackaddict.csv", Foreign::trackAddict},
        {"AiM Race Studio CSV", "aim.csv", Foreign::aim},
        {"VBOX .vbo", "session.vbo", Foreign::vbox},
        {"Harry's LapTimer", "harrys.csv", Foreign::harrys},
        {"RaceCapture", "racecapture.log", Foreign::raceCapture},
        {"Alfano", "alfano.csv", Foreign::alfano},
        {"GPS track CSV", "gps.csv", Foreign::gpsTrack},
    }};
    for (const ForeignCase& item : foreign) {
        try {
            allMet = benchForeign(folder.path(), item, zaroPath) && allMet;
        } catch (const std::exception& error) {
            std::printf("%-26s %10s  MISSED: %s\n", item.label, "", error.what());
            allMet = false;
        }
    }

    std::printf("\n%-26s %10s %10s %14s  %-6s %s\n", "hostile input (parseFile)", "bytes", "ms", "peak RSS", "goals", "outcome");
    for (const HostileCase& item : hostileCases) {
        allMet = benchHostile(folder.path(), item) && allMet;
    }
    std::printf("\n%s\n", allMet ? "all goals met" : "some goals MISSED");
    return allMet ? 0 : 1;
}

}  // namespace

int main()
{
    try {
        return runBenchmarks();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zaro-parse-bench: %s\n", error.what());
        return 2;
    }
}
