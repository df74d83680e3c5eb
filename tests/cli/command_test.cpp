#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include <sys/wait.h>

#include <gtest/gtest.h>

#include "json.hpp"
#include "summary.hpp"
#include "zaro_session_parser.hpp"

namespace zaro {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view plainCsv =
    "Time,Latitude,Longitude,Speed\n"
    "2024-06-01T10:15:00Z,0,0,10\n"
    "2024-06-01T10:15:01Z,0,1,20\n";

constexpr std::string_view plainJson =
    R"({"fileName": "Sunday practice.csv", "trackName": "Unknown track", "configuration": null, )"
    R"("sessionType": null, "dataSource": "ZARO track session", "startedAt": "2024-06-01T10:15:00Z", )"
    R"("endedAt": "2024-06-01T10:15:01Z", "lapCount": 0, "bestLapSec": null, "laps": [], )"
    R"("pointCount": 2, "polyline": [[0, 0], [0, 1]], "distanceM": 111194.92664455874, )"
    R"("maxSpeedMps": 20, "avgSpeedMps": 15, "maxAbsGx": null, "maxAbsGy": null, "maxLeanDeg": null, )"
    "\"display\": {\"bestLap\": \"\u2014\", \"laps\": \"0\", \"duration\": \"0:01\", "
    R"("distance": "111.19 km", "maxSpeed": "72.0 km/h", "samples": "2", )"
    R"("startedAt": "1 Jun 2024 10:15:00 UTC", "lapRows": []}})"
    "\n";

constexpr std::string_view plainText =
    "Unknown track\n"
    "Sunday practice.csv  \u00b7  ZARO track session\n"
    "Started    1 Jun 2024 10:15:00 UTC\n"
    "Best lap   \u2014\n"
    "Laps       0\n"
    "Duration   0:01\n"
    "Distance   111.19 km\n"
    "Max speed  72.0 km/h\n"
    "Samples    2\n"
    "\n"
    "  No completed laps\n";

constexpr std::string_view zaroCsv =
    "Format,ZARO CSV\n"
    "Track,Home Circuit\n"
    "Configuration,National\n"
    "Session Type,Practice\n"
    "Data Source,ZARO Lap Timer\n"
    "Date UTC,2024-06-01T10:15:00Z\n"
    "Lap 1,83.456,Sectors,27.9,28.1,27.456\n"
    "Incomplete lap,41.2\n"
    "Lap 2,84.5,Sectors,0,29.8\n"
    "Time,Latitude,Longitude,GForceX,GForceY,LeanAngle\n"
    "2024-06-01T10:15:30Z,0,0,0.5,-1.2,38.5\n"
    "2024-06-01T10:17:00Z,0,0,-0.25,0.8,-41\n";

constexpr std::string_view zaroJson =
    R"({"fileName": "zaro.csv", "trackName": "Home Circuit", "configuration": "National", )"
    R"("sessionType": "Practice", "dataSource": "ZARO Lap Timer", "startedAt": "2024-06-01T10:15:00Z", )"
    R"("endedAt": "2024-06-01T10:17:00Z", "lapCount": 2, "bestLapSec": 83.456, "laps": [)"
    R"({"kind": "lap", "number": 1, "timeSec": 83.456, "sectors": [27.9, 28.1, 27.456]}, )"
    R"({"kind": "incomplete", "number": null, "timeSec": 41.2, "sectors": []}, )"
    R"({"kind": "lap", "number": 2, "timeSec": 84.5, "sectors": [0, 29.8]}], )"
    R"("pointCount": 2, "polyline": [[0, 0], [0, 0]], "distanceM": 0, "maxSpeedMps": null, )"
    R"("avgSpeedMps": null, "maxAbsGx": 0.5, "maxAbsGy": 1.2, "maxLeanDeg": 41, )"
    R"("display": {"bestLap": "1:23.456", "laps": "2", "duration": "2:00", "distance": "0 m", )"
    "\"maxSpeed\": \"\u2014\", \"samples\": \"2\", \"startedAt\": \"1 Jun 2024 10:15:00 UTC\", "
    "\"lapRows\": [{\"name\": \"Lap 1\", \"time\": \"1:23.456\", "
    "\"sectors\": \"27.900  \u00b7  28.100  \u00b7  27.456\"}, "
    R"({"name": "Lap 2", "time": "1:24.500", "sectors": "29.800"}]}})"
    "\n";

constexpr std::string_view zaroText =
    "Home Circuit\n"
    "zaro.csv  \u00b7  ZARO Lap Timer\n"
    "Started    1 Jun 2024 10:15:00 UTC\n"
    "Best lap   1:23.456\n"
    "Laps       2\n"
    "Duration   2:00\n"
    "Distance   0 m\n"
    "Max speed  \u2014\n"
    "Samples    2\n"
    "\n"
    "  Lap 1     1:23.456   27.900  \u00b7  28.100  \u00b7  27.456\n"
    "  Lap 2     1:24.500   29.800\n";

constexpr std::string_view missingTimeCsv =
    "Format,ZARO CSV\n"
    "Latitude,Longitude,Lap time\n"
    "0,0,80.1\n";

std::string shellQuoted(std::string_view text)
{
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the built program over files in a fresh directory, which the test owns and removes.
class SummaryCommand : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "zaro-cli-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    fs::path file(std::string_view name, std::string_view content)
    {
        const auto path = dir_ / name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    fs::path missing() const { return dir_ / "missing.csv"; }

    RunResult run(const std::vector<std::string>& arguments)
    {
        std::string command = "cd " + shellQuoted(dir_.string()) + " && " + shellQuoted(ZARO_CLI_PATH);
        for (const auto& argument : arguments) command += " " + shellQuoted(argument);
        const auto errPath = dir_ / "stderr.txt";
        command += " 2>" + shellQuoted(errPath.string());

        RunResult result;
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) return result;
        char chunk[4096];
        while (const auto n = std::fread(chunk, 1, sizeof chunk, pipe)) result.out.append(chunk, n);
        const int status = pclose(pipe);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.err = readAll(errPath);
        return result;
    }

    fs::path dir_;
};

// The file system's own text for a missing file, as the parser passes it on.
std::string missingFileMessage(const fs::path& path)
{
    try {
        ZaroSessionParser::parseFile(path);
    } catch (const std::system_error& error) {
        return error.what();
    }
    ADD_FAILURE() << "no std::system_error for " << path;
    return {};
}

std::string ioErrorLine(const std::string& message)
{
    std::string line;
    {
        json::Writer writer(line);
        json::writeFailure(writer, {cli::FileFailure::Kind::io, message, {}});
    }
    return line + "\n";
}

TEST_F(SummaryCommand, PrintsOneJsonLineForAPlainTrackCsv)
{
    const auto csv = file("Sunday practice.csv", plainCsv);
    const auto result = run({"summary", "--json", csv.string()});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, plainJson);
    EXPECT_EQ(result.err, "");
}

TEST_F(SummaryCommand, PrintsMetadataLapsAndTheCompletedLapRowsOfAZaroCsvAsJson)
{
    const auto csv = file("zaro.csv", zaroCsv);
    const auto result = run({"summary", "--json", csv.string()});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, zaroJson);
}

TEST_F(SummaryCommand, PrintsTextSummariesSeparatedByABlankLine)
{
    const auto plain = file("Sunday practice.csv", plainCsv);
    const auto zaro = file("zaro.csv", zaroCsv);
    const auto result = run({"summary", plain.string(), zaro.string()});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, std::string(plainText) + "\n" + std::string(zaroText));
    EXPECT_EQ(result.err, "");
}

TEST_F(SummaryCommand, PrintsAnErrorObjectInPlaceOfEachFailedFileAndExitsWithOne)
{
    const auto plain = file("Sunday practice.csv", plainCsv);
    const auto empty = file("empty.csv", "");
    const auto columns = file("columns.csv", missingTimeCsv);
    const auto zaro = file("zaro.csv", zaroCsv);
    const auto result = run({"summary", plain.string(), empty.string(), "--json", missing().string(),
                             columns.string(), zaro.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out,
              std::string(plainJson)
                  + R"({"error": {"kind": "empty", "message": "The ZARO Session file is empty."}})" "\n"
                  + ioErrorLine(missingFileMessage(missing()))
                  + R"({"error": {"kind": "missingColumns", )"
                    R"("message": "The ZARO Session file is missing columns: Time.", "columns": ["Time"]}})" "\n"
                  + std::string(zaroJson));
    EXPECT_EQ(result.err, "");
}

TEST_F(SummaryCommand, ReportsFailedFilesOnStandardErrorInTextMode)
{
    const auto empty = file("empty.csv", "");
    const auto plain = file("Sunday practice.csv", plainCsv);
    const auto result = run({"summary", empty.string(), missing().string(), plain.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, plainText);
    EXPECT_EQ(result.err, empty.string() + ": The ZARO Session file is empty.\n" + missing().string() + ": "
                              + missingFileMessage(missing()) + "\n");
}

TEST_F(SummaryCommand, RejectsBadArgumentsWithStatusTwoAndTheReasonOnStandardError)
{
    const struct {
        std::vector<std::string> arguments;
        std::string_view firstLine;
    } cases[] = {
        {{}, "zaro-session: no command given"},
        {{"preview", "a.csv"}, "zaro-session: unknown command 'preview'"},
        {{"summary"}, "zaro-session: summary needs at least one FILE"},
        {{"summary", "--json"}, "zaro-session: summary needs at least one FILE"},
        {{"summary", "--pretty", "a.csv"}, "zaro-session: unknown option '--pretty'"},
    };
    for (const auto& c : cases) {
        const auto result = run(c.arguments);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.substr(0, result.err.find('\n')), c.firstLine);
    }
}

TEST_F(SummaryCommand, PrintsUsageOnStandardOutputWhenAskedForHelp)
{
    for (const auto& arguments : {std::vector<std::string>{"--help"}, std::vector<std::string>{"summary", "--help"}}) {
        const auto result = run(arguments);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out.substr(0, result.out.find('\n')), "usage: zaro-session summary [--json] FILE...");
        EXPECT_EQ(result.err, "");
    }
}

TEST_F(SummaryCommand, TakesArgumentsAfterADoubleDashAsFiles)
{
    file("--json", plainCsv);
    const auto result = run({"summary", "--", "--json"});
    auto expected = std::string(plainText);
    expected.replace(expected.find("Sunday practice.csv"), 19, "--json");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, expected);
}

TEST_F(SummaryCommand, FailsWhenTheOutputCannotBeWritten)
{
    const std::vector<std::string> files{file("Sunday practice.csv", plainCsv).string()};
    std::ostream unwritable(nullptr);
    std::ostringstream err;
    EXPECT_EQ(cli::summarizeFiles(files, cli::OutputMode::json, unwritable, err), 1);
    EXPECT_EQ(err.str(), "zaro-session: cannot write the output\n");
}

}  // namespace
}  // namespace zaro
