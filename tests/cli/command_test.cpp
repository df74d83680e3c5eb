// The built zaro-session program run as a user would, over files in a fresh folder.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include <sys/wait.h>

#include <gtest/gtest.h>

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

const std::string noSuchFile = std::generic_category().message(ENOENT);

struct Outcome {
    int status;
    std::string out;
    std::string err;

    friend bool operator==(const Outcome&, const Outcome&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Outcome& r)
    {
        return os << "status " << r.status << "\nout:\n" << r.out << "\nerr:\n" << r.err;
    }
};

// A fresh folder holding a session file and an empty file, where the built program runs.
class Command : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(mkdtemp(dir_.data()), nullptr);
        write("Sunday practice.csv", plainCsv);
        write("empty.csv", "");
    }
    void TearDown() override { fs::remove_all(dir_); }
    void write(const std::string& name, std::string_view content) { std::ofstream(dir_ + "/" + name) << content; }

    // Runs the program in the folder with these arguments, each single-quoted for the shell.
    Outcome run(const std::vector<std::string>& arguments) const
    {
        std::string command = "cd '" + dir_ + "' && '" ZARO_CLI_PATH "'";
        for (const auto& argument : arguments) command += " '" + argument + "'";
        const int status = std::system((command + " >out.txt 2>err.txt").c_str());
        const auto read = [&](const char* name) {
            std::ifstream in(dir_ + "/" + name);
            return std::string(std::istreambuf_iterator<char>(in), {});
        };
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read("out.txt"), read("err.txt")};
    }

    std::string dir_ = fs::temp_directory_path() / "zaro-cli-test-XXXXXX";
};

TEST_F(Command, PrintsOneJsonLinePerFileWithAnErrorObjectForEachFailureAndExitsWithOneIfAnyFailed)
{
    EXPECT_EQ(run({"summary", "--json", "Sunday practice.csv"}), (Outcome{0, std::string(plainJson), ""}));
    const std::string failures = R"({"error": {"kind": "empty", "message": "The ZARO Session file is empty."}})" "\n"
                                 R"({"error": {"kind": "io", "message": ")" + noSuchFile + "\"}}\n";
    EXPECT_EQ(run({"summary", "Sunday practice.csv", "empty.csv", "--json", "missing.csv"}),
              (Outcome{1, std::string(plainJson) + failures, ""}));
}

TEST_F(Command, PrintsTextSummariesSeparatedByABlankLineAndFailuresWithoutControlCharactersOnStandardError)
{
    const std::string evil = "bad\xff\x1b]0;\xc2\x9b.csv";  // broken UTF-8, an escape, a C1 control
    write(evil, "");
    EXPECT_EQ(run({"summary", "Sunday practice.csv", evil, "missing.csv", "Sunday practice.csv"}),
              (Outcome{1, std::string(plainText) + "\n" + std::string(plainText),
                       "bad\uFFFD\uFFFD]0;\uFFFD.csv: The ZARO Session file is empty.\n"
                       "missing.csv: " + noSuchFile + "\n"}));
}

TEST_F(Command, RejectsBadArgumentsWithStatusTwoAndTheReasonOnStandardError)
{
    const struct {
        std::vector<std::string> arguments;
        Outcome firstLines;
    } cases[] = {
        {{}, {2, "", "zaro-session: no command given\n"}},
        {{"preview", "a.csv"}, {2, "", "zaro-session: unknown command 'preview'\n"}},
        {{"summary", "--json"}, {2, "", "zaro-session: summary needs at least one FILE\n"}},
        {{"summary", "--pretty", "a.csv"}, {2, "", "zaro-session: unknown option '--pretty'\n"}},
        {{"summary", "--help"}, {0, "usage: zaro-session summary [--json] FILE...\n", ""}},
        {{"summary", "--", "--json"}, {1, "", "--json: " + noSuchFile + "\n"}},  // a file, after "--"
    };
    const auto firstLine = [](const std::string& text) { return text.substr(0, text.find('\n') + 1); };
    for (const auto& c : cases) {
        const Outcome r = run(c.arguments);
        EXPECT_EQ((Outcome{r.status, firstLine(r.out), firstLine(r.err)}), c.firstLines);
    }
}

}  // namespace
}  // namespace zaro
