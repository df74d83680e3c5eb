// Hostile and broken session files, run through the preview program as a desktop would: every one
// ends in its exact error card or in a summary card, promptly and in bounded memory, never in a crash.
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "../host/program.hpp"

namespace fs = std::filesystem;
using namespace zaro::testing;
using namespace std::string_literals;

namespace {

const std::string program = ZARO_PREVIEW_PROGRAM;

constexpr std::int64_t mib = 1024 * 1024;
constexpr std::int64_t largestPreview = 64 * mib;
// Bounds that tell a hang or unbounded memory from honest work, with room for a busy machine.
constexpr std::int64_t wallLimitMs = 5000;
constexpr std::int64_t peakLimitMiB = 512;
// A program stuck past this is killed so that the suite itself cannot hang.
constexpr auto killAfter = std::chrono::seconds(30);

const std::string emptyFile = "The ZARO Session file is empty.";
const std::string tooLarge = "The ZARO Session file is too large to preview.";
const std::string noGpsRows = "The ZARO Session file has no GPS rows.";
const std::string unsupported = "Unsupported ZARO Session format. Expected ZARO or RaceBox CSV.";
const std::string card = "card";
// For a file that changes while it is read: any whole card will do.
const std::string anyCard = "any card";

std::string missing(std::string_view columns)
{
    return "The ZARO Session file is missing columns: " + std::string(columns) + ".";
}

// Makes the input at (or instead of) `suggested` and gives the path to hand to the program.
using Maker = std::function<fs::path(const fs::path& suggested)>;

using Meddler = std::function<void(const fs::path& input, std::atomic<bool>& stop)>;

struct HostileCase {
    HostileCase(std::string name_, Maker make_, std::string expected_, bool unprivileged_ = false,
                std::optional<std::uint64_t> maxBytesRead_ = std::nullopt, Meddler meddler_ = {})
        : name(std::move(name_)), make(std::move(make_)), expected(std::move(expected_)), unprivileged(unprivileged_),
          maxBytesRead(maxBytesRead_), meddler(std::move(meddler_))
    {
    }
    std::string name;
    Maker make;
    std::string expected;  // the failure message, `card` or `anyCard`
    bool unprivileged;
    std::optional<std::uint64_t> maxBytesRead;  // for files that must be refused unread
    Meddler meddler;  // runs beside the program, changing the input
};

// Writes a file through a buffer, so generating 64 MiB costs neither memory nor many system calls.
class FileWriter {
public:
    explicit FileWriter(const fs::path& path) : out_(path, std::ios::binary) {}
    ~FileWriter() { flush(); }
    FileWriter& operator<<(std::string_view bytes)
    {
        buffer_.append(bytes);
        if (buffer_.size() >= 1 << 20) flush();
        return *this;
    }
    std::int64_t size() const { return written_ + static_cast<std::int64_t>(buffer_.size()); }

private:
    void flush()
    {
        out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        written_ += static_cast<std::int64_t>(buffer_.size());
        buffer_.clear();
    }
    std::ofstream out_;
    std::string buffer_;
    std::int64_t written_ = 0;
};

Maker bytes(std::string content)
{
    return [content = std::move(content)](const fs::path& suggested) {
        writeBytes(suggested, content);
        return suggested;
    };
}

Maker generated(std::function<void(FileWriter&)> write)
{
    return [write = std::move(write)](const fs::path& suggested) {
        FileWriter writer(suggested);
        write(writer);
        return suggested;
    };
}

Maker sparse(std::int64_t size)
{
    return [size](const fs::path& suggested) {
        writeBytes(suggested, "");
        fs::resize_file(suggested, static_cast<std::uintmax_t>(size));
        return suggested;
    };
}

Maker existing(fs::path path)
{
    return [path = std::move(path)](const fs::path&) { return path; };
}

std::string repeat(std::string_view piece, std::size_t times)
{
    std::string result;
    result.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) result.append(piece);
    return result;
}

const std::string zaroPreamble = "Format,ZARO CSV\nTrack,Ashcombe Raceway\nDate UTC,2024-06-02T09:30:00Z\n";
const std::string plainHeader = "Time,Latitude,Longitude,Speed (km/h),GForceX,GForceY,LeanAngle,Lap\n";
const std::string gpsRows = "2024-06-02T09:30:00.000Z,52.0735698,-1.0197718,154.40,-0.023,0.024,1.2,0\n"
                            "2024-06-02T09:30:00.200Z,52.0734974,-1.0198132,154.27,0.017,0.042,2.4,0\n"
                            "2024-06-02T09:30:00.400Z,52.0734282,-1.0198546,154.72,0.004,0.000,0.7,1\n";
const std::string plainTrack = plainHeader + gpsRows;

std::string utf16(std::string_view ascii, bool bigEndian, bool byteOrderMark)
{
    std::string result = byteOrderMark ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
    for (const char c : ascii) {
        if (bigEndian) result += '\0';
        result += c;
        if (!bigEndian) result += '\0';
    }
    return result;
}

// The time of row `i`, 20 ms apart, within one day.
std::string rowTime(std::int64_t i)
{
    const std::int64_t ms = i * 20;
    char text[40];
    std::snprintf(text, sizeof text, "2024-06-02T%02lld:%02lld:%02lld.%03lldZ", static_cast<long long>(ms / 3600000),
                  static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                  static_cast<long long>(ms % 1000));
    return text;
}

// Rows whose every numeric column holds `value`, the position too unless `keepPosition`.
std::string extremeRows(std::string_view value, bool keepPosition)
{
    const std::string v(value);
    const std::string position = keepPosition ? "52.0735698,-1.0197718" : v + "," + v;
    std::string rows = plainHeader;
    for (int i = 0; i < 3; ++i) rows += rowTime(i) + "," + position + "," + v + "," + v + "," + v + "," + v + "," + v + "\n";
    return rows;
}

std::string positions(std::initializer_list<std::pair<double, double>> points)
{
    std::string rows = "Time,Latitude,Longitude\n";
    std::int64_t i = 0;
    for (const auto& [lat, lon] : points) {
        char row[96];
        std::snprintf(row, sizeof row, "%s,%.7f,%.7f\n", rowTime(i++).c_str(), lat, lon);
        rows += row;
    }
    return rows;
}

std::string timed(std::initializer_list<std::string_view> times)
{
    std::string rows = "Time,Latitude,Longitude,Lap\n";
    int lap = 0;
    for (const std::string_view time : times) rows += std::string(time) + ",52.07357,-1.01977," + std::to_string(lap++ / 2) + "\n";
    return rows;
}

struct Measured {
    int exitCode = -1;          // -1 when the program did not exit normally
    std::string failure;        // the text after "preview failed: ", empty when there is none
    int failureLines = 0;
    std::int64_t wallMs = 0;
    double peakMiB = 0;
    std::uint64_t bytesRead = 0;
};

// Like runProgram, with standard error on a terminal, but measures the program's peak memory
// through wait4 and kills it if it never ends.
Measured runMeasured(const std::vector<std::string>& arguments, bool unprivileged)
{
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int terminal = -1;
    int replica = -1;
    if (::openpty(&terminal, &replica, nullptr, nullptr, nullptr) != 0) return {};
    const bool dropPrivileges = unprivileged && ::geteuid() == 0;
    const auto began = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(replica, STDERR_FILENO);
        if (dropPrivileges) {
            constexpr uid_t nobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0) ::_exit(126);
        }
        ::execve(argv[0], argv.data(), environ);
        ::_exit(127);
    }
    ::close(replica);
    std::string err;
    for (bool open = true; open;) {
        const auto left = killAfter - (std::chrono::steady_clock::now() - began);
        if (left <= std::chrono::steady_clock::duration::zero()) {
            ::kill(pid, SIGKILL);
            break;
        }
        pollfd fd{terminal, POLLIN, 0};
        const int ready = ::poll(&fd, 1, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(left).count()) + 1);
        if (ready > 0) drain(terminal, err, open);
        else if (ready < 0 && errno != EINTR) break;
    }
    ::close(terminal);
    siginfo_t info{};
    ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
    Measured result;
    result.bytesRead = readBytesOf(pid);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    result.wallMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began).count();
    result.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::erase(err, '\r');
    std::istringstream lines(err);
    constexpr std::string_view prefix = "preview failed: ";
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with(prefix)) continue;
        ++result.failureLines;
        result.failure = line.substr(prefix.size());
    }
    return result;
}

// A whole PNG of the card: signature, a 1680 × 1440 header and the closing IEND chunk.
bool isWholeCard(const std::vector<unsigned char>& png)
{
    const auto at = [&png](std::size_t i) {
        return std::uint32_t{png[i]} << 24 | std::uint32_t{png[i + 1]} << 16 | std::uint32_t{png[i + 2]} << 8 | png[i + 3];
    };
    static constexpr unsigned char signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    static constexpr unsigned char end[] = {'I', 'E', 'N', 'D'};
    return png.size() > 60 && std::equal(std::begin(signature), std::end(signature), png.begin()) && at(16) == 1680
        && at(20) == 1440 && std::equal(std::begin(end), std::end(end), png.end() - 8);
}

std::string row(const std::string& name, const std::string& result, std::int64_t ms, double mb)
{
    char figures[48];
    std::snprintf(figures, sizeof figures, " | %lld | %.1f |", static_cast<long long>(ms), mb);
    return "| " + name + " | " + result + figures;
}

// The table file gathers the rows of every group, whichever test process writes first, in the
// order of `groupOrder`; the lock keeps two processes from losing each other's rows.
const std::vector<std::string> groupOrder = {"parse errors", "files", "big inputs", "extreme values", "changing files"};
const fs::path tablePath = "/tmp/hostile-table.txt";

void recordTable(const std::string& group, const std::vector<std::string>& rows)
{
    const int fd = ::open(tablePath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    ::flock(fd, LOCK_EX);
    std::string old;
    bool open = true;
    while (open) drain(fd, old, open);
    std::map<std::string, std::string> sections;
    std::string current;
    std::istringstream lines(old);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("<!-- ")) {
            current = line.substr(5, line.size() - 9);
        } else if (!current.empty() && line.starts_with("| ")) {
            sections[current] += line + "\n";
        }
    }
    sections[group].clear();
    for (const std::string& r : rows) sections[group] += r + "\n";
    std::string text = "| case | result | wall ms | peak MiB |\n|---|---|---|---|\n";
    for (const std::string& name : groupOrder) {
        if (sections.contains(name)) text += "<!-- " + name + " -->\n" + sections[name];
    }
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, text.data(), text.size(), 0) < 0) std::cerr << "cannot write " << tablePath << "\n";
    ::close(fd);
}

// Runs every case, checks its ending, prints and records its row.
void runCases(const std::string& group, const std::vector<HostileCase>& cases)
{
    const TemporaryFolder folder;
    // Writable by anyone, so that a program run as nobody can write its card here.
    const fs::path outputs = folder / "out";
    fs::create_directory(outputs);
    fs::permissions(outputs, fs::perms::all);
    std::vector<std::string> rows;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const HostileCase& c = cases[i];
        SCOPED_TRACE(c.name);
        const fs::path input = c.make(folder / ("input-" + std::to_string(i) + ".csv"));
        const fs::path output = outputs / ("card-" + std::to_string(i) + ".png");
        std::atomic<bool> stop = false;
        std::jthread meddler;
        if (c.meddler) meddler = std::jthread([&] { c.meddler(input, stop); });
        const Measured run = runMeasured({program, input.string(), output.string()}, c.unprivileged);
        stop = true;
        if (meddler.joinable()) meddler.join();

        const std::string result = run.failureLines == 0 ? card : run.failure;
        rows.push_back(row(c.name, result, run.wallMs, run.peakMiB));
        std::cout << rows.back() << std::endl;
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_LE(run.failureLines, 1);
        if (c.expected != anyCard) {
            EXPECT_EQ(result, c.expected);
        }
        EXPECT_TRUE(isWholeCard(readBytes(output)));
        EXPECT_LT(run.wallMs, wallLimitMs);
        EXPECT_LT(run.peakMiB, static_cast<double>(peakLimitMiB));
        if (c.maxBytesRead) {
            EXPECT_LT(run.bytesRead, *c.maxBytesRead);
        }
        std::error_code ignored;
        fs::remove(output, ignored);
        if (input.parent_path() == folder.path()) fs::remove_all(input, ignored);
    }
    recordTable(group, rows);
}

}  // namespace

TEST(HostileInputs, ParseErrorsEndInTheirOwnErrorCards)
{
    const std::string header = "Time,Latitude,Longitude\n";
    runCases("parse errors", {
        {"0 bytes", bytes(""), emptyFile},
        {"blank lines and spaces only", bytes("\n\n   \n\t\t\n \r\n"), emptyFile},
        {"one carriage return", bytes("\r"), emptyFile},
        {"millions of empty lines", generated([](FileWriter& w) { w << repeat("\n", 8 * mib); }), emptyFile},
        {"text without a header row", bytes("hello, world\nthis is not a session\n"), unsupported},
        {"header row without a format line", bytes("Note,one\n" + plainTrack), unsupported},
        {"unknown format name", bytes("Format,ZARO CSV 2\n" + plainTrack), unsupported},
        {"format line after the header row", bytes(plainTrack + "Format,ZARO CSV\n"), card},
        {"a PNG picture", bytes("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\x06\0\0\0"s), unsupported},
        {"header names split by NUL bytes", bytes("Ti\0me,Lati\0tude,Longi\0tude\n"s + gpsRows), unsupported},
        {"UTF-16 LE with byte-order mark", bytes(utf16(zaroPreamble + plainTrack, false, true)), unsupported},
        {"UTF-16 BE with byte-order mark", bytes(utf16(zaroPreamble + plainTrack, true, true)), unsupported},
        {"UTF-16 LE without byte-order mark", bytes(utf16(plainTrack, false, false)), unsupported},
        {"UTF-16 BE without byte-order mark", bytes(utf16(plainTrack, true, false)), unsupported},
        {"missing Time", bytes("Format,ZARO CSV\nTimestamp,Latitude,Longitude\n" + gpsRows), missing("Time")},
        {"missing Latitude and Longitude", bytes("Format,RaceBox CSV\nTime,Latitude x,Longitude x\n" + gpsRows),
         missing("Latitude, Longitude")},
        {"missing all three in one field", bytes("Format,ZARO CSV\nTimeLatitudeLongitude\n1,2,3\n"),
         missing("Time, Latitude, Longitude")},
        {"header and nothing else", bytes(zaroPreamble + header), noGpsRows},
        {"rows without a time", bytes(header + ",52.07,-1.01\n,52.08,-1.02\n"), noGpsRows},
        {"positions out of range", bytes(header + "t,90.0000001,0\nt,0,180.0000001\nt,-91,-181\n"), noGpsRows},
        {"positions that are not numbers", bytes(header + "t,north,west\nt,52.07 ,-1.01x\nt,5 2,1\n"), noGpsRows},
        {"NUL bytes inside every position", bytes(header + "t,52.0\0007,-1.01\nt,52.07,-1\0.01\n"s), noGpsRows},
        {"NUL bytes in spare columns", bytes(plainHeader + "t,52.07,-1.01,\0\0\0,\0,1\0,x,\0\n"s), card},
        {"invalid UTF-8 in every field", bytes(header + "\xFF" "t,52.07\xC0,-1.01\xED\xA0\x80\nt\xFE,\xE2\x82,\xF4\x90\x80\x80\n"),
         noGpsRows},
        {"invalid UTF-8 in the metadata and spare columns",
         bytes("Format,ZARO CSV\nTrack,\xFF\xFE\xC0\xAF track\xE2\x82\nSession Type,\xED\xA0\x80\n"
               "Time,Latitude,Longitude,Note\n2024-06-02T09:30:00Z\xFF,52.07,-1.01,\xC3\n2024-06-02T09:30:01Z,52.08,-1.02,\xF8\x88\x80\x80\x80\n"),
         card},
        {"a file ending in a cut UTF-8 sequence", bytes(plainTrack + "\xE2\x82"), card},
        {"only invalid UTF-8", generated([](FileWriter& w) { w << repeat("\xFF\xC0\x80\xED\xA0\x80\n", 100000); }),
         unsupported},
        {"an unbalanced quote in the header", bytes("\"Time,Latitude,Longitude\n" + gpsRows), unsupported},
    });
}

TEST(HostileInputs, FilesThatCannotBeReadEndInTheSystemsMessage)
{
    runCases("files", {
        {"a missing file", [](const fs::path& p) { return p.parent_path() / "no such file.csv"; }, "No such file or directory"},
        {"a path through a file",
         [](const fs::path& p) {
             writeBytes(p, plainTrack);
             return p / "inside.csv";
         },
         "Not a directory"},
        {"a symbolic link loop",
         [](const fs::path& p) {
             fs::create_symlink(p, p);
             return p;
         },
         "Too many levels of symbolic links"},
        {"an unreadable file (run as nobody)",
         [](const fs::path& p) {
             writeBytes(p, plainTrack);
             fs::permissions(p, fs::perms::none);
             return p;
         },
         "Permission denied", true},
        {"a directory",
         [](const fs::path& p) {
             fs::create_directory(p);
             return p;
         },
         "Is a directory"},
        {"a FIFO with no writer",
         [](const fs::path& p) {
             ::mkfifo(p.c_str(), 0600);
             return p;
         },
         "Not a regular file"},
        {"/dev/zero", existing("/dev/zero"), "Not a regular file"},
        {"/dev/null", existing("/dev/null"), "Not a regular file"},
    });
}

TEST(HostileInputs, BigInputsStayWithinTimeAndMemory)
{
    const auto rowsUpTo = [](FileWriter& w, std::int64_t limit, auto&& rowOf) {
        for (std::int64_t i = 0;; ++i) {
            const std::string r = rowOf(i);
            if (w.size() + static_cast<std::int64_t>(r.size()) > limit) break;
            w << r;
        }
    };
    runCases("big inputs", {
        {"exactly 64 MiB of zeros (sparse)", sparse(largestPreview), unsupported},
        {"64 MiB + 1 (never read)", sparse(largestPreview + 1), tooLarge, false, 4 * mib},
        {"1 TiB sparse (never read)", sparse(1024 * 1024 * mib), tooLarge, false, 4 * mib},
        {"one 64 MiB line", generated([](FileWriter& w) { w << std::string(largestPreview, 'A'); }), unsupported},
        {"one 64 MiB line after a format line",
         generated([](FileWriter& w) { w << "Format,ZARO CSV\n" << std::string(largestPreview - 16, 'x'); }), unsupported},
        {"a 64 MiB header of commas",
         generated([](FileWriter& w) { w << "Time,Latitude,Longitude" << std::string(largestPreview - 24 - gpsRows.size(), ',') << "\n" << gpsRows; }),
         card},
        {"a 64 MiB header of commas only", generated([](FileWriter& w) { w << std::string(largestPreview - 1, ',') << "\n"; }),
         unsupported},
        {"64 MiB of commas in every row",
         generated([](FileWriter& w) {
             w << plainHeader;
             for (int i = 0; i < 16; ++i) w << rowTime(i) << ",52.07,-1.01" << std::string(4 * mib - 64, ',') << "\n";
         }),
         card},
        {"millions of lap rows",
         generated([&](FileWriter& w) {
             w << zaroPreamble;
             rowsUpTo(w, largestPreview - 1000, [](std::int64_t i) { return "Lap " + std::to_string(i + 1) + ",91.264,Sectors,31.4,27.2\n"; });
             w << plainTrack;
         }),
         card},
        {"millions of distinct lap numbers",
         generated([&](FileWriter& w) {
             w << "Time,Latitude,Longitude,Lap\n";
             rowsUpTo(w, largestPreview, [](std::int64_t i) { return rowTime(i) + ",52.07,-1.01," + std::to_string(i) + "\n"; });
         }),
         card},
        {"millions of GPS rows",
         generated([&](FileWriter& w) {
             w << plainHeader;
             rowsUpTo(w, largestPreview, [](std::int64_t i) {
                 return rowTime(i) + ",52." + std::to_string(i % 10000) + ",-1." + std::to_string(i % 7919) + ",150,0.1,0.2,3,0\n";
             });
         }),
         card},
        {"millions of metadata lines",
         generated([&](FileWriter& w) {
             w << zaroPreamble;
             rowsUpTo(w, largestPreview - 1000, [](std::int64_t i) { return "Track,Track number " + std::to_string(i) + "\n"; });
             w << plainTrack;
         }),
         card},
        {"a track name of 1 MB", bytes("Format,ZARO CSV\nTrack," + std::string(1000000, 'W') + "\n" + plainTrack), card},
        {"a track name of 1 MB of words", bytes("Format,ZARO CSV\nTrack," + repeat("Ashcombe ", 111112) + "\n" + plainTrack), card},
        {"a track name of 1 MB of combining marks",
         bytes("Format,ZARO CSV\nTrack,a" + repeat("\xCC\x81", 500000) + "\n" + plainTrack), card},
        {"a track name of 1 MB of emoji", bytes("Format,ZARO CSV\nTrack," + repeat("\xF0\x9F\x8F\x81", 250000) + "\n" + plainTrack), card},
        {"a session type of 1 MB", bytes("Format,ZARO CSV\nSession Type," + std::string(1000000, 'S') + "\n" + plainTrack), card},
        {"a 1 MB time", bytes("Time,Latitude,Longitude\n" + std::string(1000000, '9') + ",52.07,-1.01\n"), card},
    });
}

TEST(HostileInputs, ExtremeValuesStillGiveTheirCards)
{
    std::vector<HostileCase> cases;
    struct Extreme {
        std::string value;
        std::string positionResult;  // the result when the position holds it too
    };
    for (const Extreme& e : std::vector<Extreme>{{"1e308", noGpsRows},
                                                 {"-1e308", noGpsRows},
                                                 {"1e309", noGpsRows},
                                                 {"-0", card},
                                                 {"nan", noGpsRows},
                                                 {"-nan", noGpsRows},
                                                 {"inf", noGpsRows},
                                                 {"-infinity", noGpsRows},
                                                 {"0x1p3", card},
                                                 {"4.9e-324", card},
                                                 {"99999999999999999999999", noGpsRows}}) {
        cases.push_back({e.value + " in every column", bytes(extremeRows(e.value, false)), e.positionResult});
        cases.push_back({e.value + " in every column but the position", bytes(extremeRows(e.value, true)), card});
    }
    const std::vector<HostileCase> more = {
        {"extreme lap rows and metadata",
         bytes("Format,ZARO CSV\nLaps,1e308\nBest Lap Time,nan\nLap 1,inf\nLap 2,-0\nLap 3,1e308\nLap 4,0x1p3\nLap 5,-1e308\n"
               "Lap 99999999999999999999,1\n" + plainTrack),
         card},
        {"extreme lap numbers",
         bytes(timed({"2024-06-02T09:30:00Z", "2024-06-02T09:30:01Z"}) + "2024-06-02T09:30:02Z,52.07,-1.01,9223372036854775807\n"
               "2024-06-02T09:30:03Z,52.07,-1.01,-9223372036854775808\n2024-06-02T09:30:04Z,52.07,-1.01,99999999999999999999\n"),
         card},
        {"the north pole", bytes(positions({{90, 0}, {90, 90}, {90, 180}, {89.9999, -180}})), card},
        {"the south pole", bytes(positions({{-90, 0}, {-90, -90}, {-89.9999, 45}, {-90, 180}})), card},
        {"across the antimeridian", bytes(positions({{-16.5, 179.9990}, {-16.5, 179.9999}, {-16.5, -179.9999}, {-16.5, -179.9990}})), card},
        {"pole to pole", bytes(positions({{90, 0}, {-90, 0}, {90, 180}, {-90, -180}})), card},
        {"the four corners of the map", bytes(positions({{90, 180}, {-90, -180}, {90, -180}, {-90, 180}})), card},
        {"one point", bytes(positions({{0, 0}})), card},
        {"the same point a thousand times", bytes(positions({{51.5, -0.1}}) + repeat(rowTime(1) + ",51.5,-0.1\n", 1000)), card},
        {"points a nanometre apart", bytes(positions({{51.5, -0.1}}) + rowTime(1) + ",51.500000000000001,-0.1\n"), card},
        {"the year 9999 and after",
         bytes(timed({"9999-12-31T23:59:59.999Z", "10000-01-01T00:00:00Z", "99999999999-01-01T00:00:00Z"})), card},
        {"the year 0 and before", bytes(timed({"0000-01-01T00:00:00Z", "-0001-12-31T23:59:59Z", "-99999-01-01T00:00:00Z"})), card},
        {"impossible dates and times",
         bytes(timed({"2024-13-45T25:61:61Z", "2024-02-30T00:00:00Z", "2024-06-02T09:30:00+99:99", "2024-06-02T09:30:00.9999999999999999999Z"})),
         card},
        {"times going backwards",
         bytes(timed({"2024-06-02T09:30:00Z", "1970-01-01T00:00:00Z", "2024-06-02T09:30:00Z", "1900-01-01T00:00:00Z"})), card},
        {"times that are numbers", bytes(timed({"1e308", "-1e308", "nan", "inf", "0x1p3", "-0"})), card},
        {"a date out of range in the metadata",
         bytes("Format,ZARO CSV\nDate UTC,99999-99-99T99:99:99Z\n" + timed({"nonsense", "more nonsense"})), card},
    };
    cases.insert(cases.end(), more.begin(), more.end());
    runCases("extreme values", cases);
}

TEST(HostileInputs, AFileChangingWhileReadGivesAWholeCard)
{
    const std::string body = repeat(rowTime(5) + ",52.0735698,-1.0197718,154.40,-0.023,0.024,1.2,0\n", 20000);
    // Big enough that reading it takes a good part of a second, so that the changes meet the reads.
    const auto writeStart = [&](const fs::path& p) {
        FileWriter w(p);
        w << zaroPreamble << plainTrack;
        for (int i = 0; i < 24; ++i) w << body;
        return p;
    };
    runCases("changing files", {
        {"a file that grows while read", writeStart, anyCard, false, std::nullopt,
         [&](const fs::path& p, std::atomic<bool>& stop) {
             // Kept under the size limit, so that the growth happens while the rows are read.
             std::ofstream out(p, std::ios::binary | std::ios::app);
             while (!stop && fs::file_size(p) < static_cast<std::uintmax_t>(largestPreview - 2 * mib)) {
                 out << body << std::flush;
                 std::this_thread::sleep_for(std::chrono::milliseconds(2));
             }
         }},
        {"a file that shrinks while read", writeStart, anyCard, false, std::nullopt,
         [&](const fs::path& p, std::atomic<bool>& stop) {
             for (std::uintmax_t size = fs::file_size(p); !stop && size > 0; size /= 2) {
                 fs::resize_file(p, size);
                 std::this_thread::sleep_for(std::chrono::milliseconds(20));
             }
         }},
        {"a file truncated and rewritten while read", writeStart, anyCard, false, std::nullopt,
         [&](const fs::path& p, std::atomic<bool>& stop) {
             while (!stop) {
                 fs::resize_file(p, 0);
                 std::ofstream out(p, std::ios::binary | std::ios::app);
                 out << zaroPreamble << plainTrack;
                 for (int i = 0; i < 24 && !stop; ++i) out << body;
             }
         }},
        {"a file turned to garbage while read", writeStart, anyCard, false, std::nullopt,
         [&](const fs::path& p, std::atomic<bool>& stop) {
             const std::string garbage(65536, '\xFF');
             std::fstream out(p, std::ios::binary | std::ios::in | std::ios::out);
             for (std::uintmax_t at = 0; !stop && at < fs::file_size(p); at += garbage.size()) {
                 out.write(garbage.data(), static_cast<std::streamsize>(garbage.size())).flush();
             }
         }},
    });
}
