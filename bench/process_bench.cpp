// zaro-process-bench: whole-process time of the programs as a desktop or a user starts them:
// zaro-session summary --json on a 64 MiB session against the pandas script a user would write instead,
// zaro-session-preview on a 5 MB and a 64 MiB session, zaro-session-thumbnailer -s 256 in both styles,
// each in turns with GNOME's image thumbnailer on the card's PNG and as a ratio to it.
// Usage: zaro-process-bench [RUNS] [--paired] (--paired: only the table against the image thumbnailer).
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <zlib.h>

#include "render/png.hpp"
#include "session_generator.hpp"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int defaultRuns = 21;
constexpr const char* GDK_PIXBUF_THUMBNAILER = "/usr/bin/gdk-pixbuf-thumbnailer";

struct Case {
    const char* name;
    double goalMs;
    std::vector<std::string> arguments;
};

// A command measured in turns with GNOME's own image thumbnailer on the card's PNG, so that both see
// the same load on the machine; the ratio of the medians is the figure.
struct Paired {
    const char* name;
    double targetRatio;
    std::vector<std::string> arguments;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Run {
    double wallMs = 0;  // from spawn to exit
    double cpuMs = 0;   // user and system time of the program, which other load on the machine barely changes
};

double milliseconds(const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3; }

// Starts the program with its output thrown away and waits for it.
Run runOnce(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw std::runtime_error(arguments[0] + ": " + std::strerror(error));
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) throw std::runtime_error("wait4 failed");
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(arguments[0] + " failed");
    return {ms, milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime)};
}

void writeFile(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

// The median wall time, in ms.
double measure(const Case& c, int runs)
{
    runOnce(c.arguments);  // the program, its libraries and the input in the page cache
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int i = 0; i < runs; ++i) {
        const Run run = runOnce(c.arguments);
        wall.push_back(run.wallMs);
        cpu.push_back(run.cpuMs);
    }
    const double m = median(wall);
    std::printf("%-34s median %6.1f ms  min %6.1f  max %6.1f  cpu %6.1f ms", c.name, m,
                *std::min_element(wall.begin(), wall.end()), *std::max_element(wall.begin(), wall.end()), median(cpu));
    if (c.goalMs > 0) std::printf("  goal %3.0f ms %s", c.goalMs, m <= c.goalMs ? "met" : "MISSED");
    std::printf("\n");
    return m;
}

// The commands in turns with the reference, round after round: each round runs the reference, then
// the first command, the reference, the second command, and so on, so that every row of the table
// sees the same stretch of the machine's load, and each command the runs of the reference beside its
// own. `runs` rounds after one warm-up; a row of the table for each command.
void measurePaired(std::span<const Paired> commands, const std::vector<std::string>& reference, int runs)
{
    struct Runs {
        std::vector<double> ours, theirs, ourCpu, theirCpu;
    };
    std::vector<Runs> measured(commands.size());
    runOnce(reference);
    for (const Paired& c : commands) runOnce(c.arguments);
    for (int i = 0; i < runs; ++i) {
        for (std::size_t k = 0; k < commands.size(); ++k) {
            const Run a = runOnce(reference);
            const Run b = runOnce(commands[k].arguments);
            measured[k].theirs.push_back(a.wallMs);
            measured[k].theirCpu.push_back(a.cpuMs);
            measured[k].ours.push_back(b.wallMs);
            measured[k].ourCpu.push_back(b.cpuMs);
        }
    }
    for (std::size_t k = 0; k < commands.size(); ++k) {
        const Paired& c = commands[k];
        const Runs& r = measured[k];
        const double ratio = median(r.ours) / median(r.theirs);
        std::printf("| %-46s | %7.1f | %7.1f | %5.2f | %5.2f | %-6s | cpu %5.1f / %5.1f ms |\n", c.name, median(r.ours),
                    median(r.theirs), ratio, c.targetRatio, ratio <= c.targetRatio ? "met" : "MISSED", median(r.ourCpu),
                    median(r.theirCpu));
    }
    std::fflush(stdout);
}

void appendBigEndian(std::string& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(value >> shift));
}

void appendChunk(std::string& png, const char* type, const std::string& data)
{
    appendBigEndian(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = png.size();
    png += type;
    png += data;
    const auto* bytes = reinterpret_cast<const Bytef*>(png.data() + start);
    appendBigEndian(png, static_cast<std::uint32_t>(crc32(0, bytes, static_cast<uInt>(png.size() - start))));
}

// The yardstick's picture: the card our preview draws, written as the preview wrote its PNGs when
// the targets were set (8-bit RGB rows without filters, zlib at level 1, one IDAT), so that how our
// own encoder lays out its bytes, which changes what decoding them costs, does not move the yardstick.
std::string yardstickPng(const std::filesystem::path& card)
{
    std::ifstream in(card, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::optional<zaro::png::Image> image =
        zaro::png::decode({reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()});
    if (!image) throw std::runtime_error("the card is not a PNG");
    std::string rows;
    for (std::uint32_t y = 0; y < image->height; ++y) {
        rows.push_back(0);
        for (std::uint32_t x = 0; x < image->width; ++x) rows.append(reinterpret_cast<const char*>(&image->rgba[(y * image->width + x) * 4]), 3);
    }
    uLongf size = compressBound(static_cast<uLong>(rows.size()));
    std::string deflated(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(deflated.data()), &size, reinterpret_cast<const Bytef*>(rows.data()),
                  static_cast<uLong>(rows.size()), 1) != Z_OK) {
        throw std::runtime_error("zlib failed");
    }
    deflated.resize(size);
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    appendBigEndian(header, image->width);
    appendBigEndian(header, image->height);
    header += std::string("\x08\x02\x00\x00\x00", 5);
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", deflated);
    appendChunk(png, "IEND", "");
    return png;
}

// Whether the system's python3 has pandas, which the peer script needs.
bool havePandas()
{
    return std::system("/usr/bin/python3 -c 'import pandas' >/dev/null 2>&1") == 0;
}

// zaro-session summary --json on the plain 64 MiB file, its rate, and the pandas script on the same file.
void measureSummary(const Case& summary, const std::filesystem::path& plain, int runs)
{
    const double plainMB = static_cast<double>(std::filesystem::file_size(plain)) / 1e6;
    const double summaryMs = measure(summary, runs);
    std::printf("%-34s %6.0f MB/s  goal 700 MB/s\n", "  ... throughput", plainMB / summaryMs * 1e3);
    const std::filesystem::path peer = ZARO_PEERS_DIR "/pandas_summary.py";
    if (std::filesystem::exists(peer) && havePandas()) {
        const Case pandas{"pandas_summary.py, the same file", 0, {"/usr/bin/python3", peer.string(), plain.string()}};
        const double pandasMs = measure(pandas, std::max(11, runs / 2));
        std::printf("%-34s %6.1f times faster  goal 12 %s\n", "  zaro-session summary --json is", pandasMs / summaryMs,
                    pandasMs / summaryMs >= 12 ? "met" : "MISSED");
    } else {
        std::printf("pandas_summary.py: skipped (%s)\n",
                    std::filesystem::exists(peer) ? "python3-pandas is not installed" : "no ../shared/peers");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : defaultRuns;
        const bool pairedOnly = argc > 2 && std::strcmp(argv[2], "--paired") == 0;
        // The programs run from the build tree, whose resources lie where the build put them.
        ::setenv("ZARO_SESSION_RESOURCES", ZARO_RESOURCES_DIR, 0);
        std::string pattern = (std::filesystem::temp_directory_path() / "zaro-process-bench.XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
        const std::filesystem::path dir = pattern;

        zaro::SessionGenerator::Options options;
        const std::filesystem::path small = dir / "practice 5 MB.csv";
        writeFile(small, zaro::SessionGenerator::generate(options));
        options.maxBytes = 64 << 20;
        const std::filesystem::path large = dir / "endurance 64 MiB.csv";
        writeFile(large, zaro::SessionGenerator::generate(options));
        // The shape the pandas script reads: a plain track with a lap column.
        options.shape = zaro::SessionGenerator::Shape::plainTrack;
        const std::filesystem::path plain = dir / "endurance plain 64 MiB.csv";
        writeFile(plain, zaro::SessionGenerator::generate(options));
        const std::filesystem::path card = dir / "card.png";
        const std::filesystem::path thumb = dir / "thumbnail.png";

        std::printf("zaro-process-bench: %d runs each after one warm-up; outputs written (and flushed) in %s\n", runs,
                    dir.c_str());
        std::printf("inputs: ZARO CSV %ju and %ju bytes, plain track with a lap column %ju bytes\n",
                    static_cast<std::uintmax_t>(std::filesystem::file_size(small)),
                    static_cast<std::uintmax_t>(std::filesystem::file_size(large)),
                    static_cast<std::uintmax_t>(std::filesystem::file_size(plain)));
        const double plainMB = static_cast<double>(std::filesystem::file_size(plain)) / 1e6;
        const Case start{"process start of /bin/true", 0, {"/bin/true"}};
        const Case summary{"zaro-session summary --json, 64 MiB", 1e3 * plainMB / 700,
                           {ZARO_CLI_PROGRAM, "summary", "--json", plain.string()}};
        const Paired paired[] = {
            {"zaro-session-thumbnailer -s 256 (mark)", 0.25,
             {ZARO_THUMBNAILER_PROGRAM, "-s", "256", small.string(), thumb.string()}},
            {"zaro-session-thumbnailer --style track -s 256, 5 MB", 0.6,
             {ZARO_THUMBNAILER_PROGRAM, "--style", "track", "-s", "256", small.string(), thumb.string()}},
            {"zaro-session-preview, 5 MB", 1.0, {ZARO_PREVIEW_PROGRAM, small.string(), card.string()}},
            {"zaro-session-preview, 64 MiB", 2.5, {ZARO_PREVIEW_PROGRAM, large.string(), card.string()}},
        };
        measure(start, runs);
        if (!pairedOnly) measureSummary(summary, plain, runs);
        // GNOME's own image thumbnailer on the card's PNG, the cost a desktop pays for any picture.
        const std::filesystem::path referenceCard = dir / "CARD.png";
        runOnce({ZARO_PREVIEW_PROGRAM, small.string(), referenceCard.string()});
        writeFile(referenceCard, yardstickPng(referenceCard));
        const std::vector<std::string> reference = {GDK_PIXBUF_THUMBNAILER, "-s", "256", referenceCard.string(),
                                                    (dir / "reference.png").string()};
        std::printf("\neach command alternated with: gdk-pixbuf-thumbnailer -s 256 CARD.png OUT.png, all four in each of %d rounds\n",
                    runs);
        std::printf("CARD.png: the 5 MB session's card, %ju bytes as RGB rows without filters at zlib level 1\n",
                    static_cast<std::uintmax_t>(std::filesystem::file_size(referenceCard)));
        std::printf("| %-46s | %7s | %7s | %5s | %5s | %-6s | %-21s |\n", "command", "ms", "gdk ms", "ratio", "target",
                    "", "cpu ours / gdk");
        std::printf("|%s|---------|---------|-------|-------|--------|-----------------------|\n",
                    std::string(48, '-').c_str());
        measurePaired(paired, reference, runs);
        std::printf("outputs: card %ju bytes, thumbnail %ju bytes\n",
                    static_cast<std::uintmax_t>(std::filesystem::file_size(card)),
                    static_cast<std::uintmax_t>(std::filesystem::file_size(thumb)));
        std::filesystem::remove_all(dir);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zaro-process-bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
