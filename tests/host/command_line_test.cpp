// The programs' command lines: every way a desktop or a person writes one, what is refused, the file
// an INPUT names and the log lines made from a file's name.
#include "host/command_line.hpp"

#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <string>
#include <vector>

#include "host/file_url.hpp"
#include "host/system_log.hpp"
#include "support/cases.hpp"
#include "support/failure.hpp"

namespace zaro {
namespace {

// What a command line of the case files asks for, as they write it, or the reason it is refused.
std::string outcomeOf(const std::string& line)
{
    std::istringstream given(line);
    std::vector<std::string> words;
    for (std::string word; given >> word;) words.push_back(word == "\"\"" ? "" : word);
    std::vector<char*> arguments;
    for (std::string& word : words) arguments.push_back(word.data());
    const auto point = words.at(0).ends_with('t') ? ExtensionPoint::thumbnail : ExtensionPoint::preview;
    std::string asked;
    const std::string refusal = support::failureOf([&] {
        const Invocation i = parseCommandLine(arguments, point);
        const auto text = [](const std::string& word) { return word.empty() ? "~" : word; };
        asked = std::array{"serve", "help", "version"}[static_cast<int>(i.action)] + (" by " + i.program) + ": "
              + text(i.input) + " to " + text(i.output) + ", size " + (i.size ? std::to_string(*i.size) : "~")
              + ", style " + i.style.value_or("~") + (i.name ? ", name " + text(*i.name) : "");
    }, "");
    return refusal + asked;
}

TEST(CommandLine, ReadsEveryWayOfWritingOneRequestAndRefusesWhatDoesNotStateOne)
{
    for (const support::Case& c : support::readCases("host/command_lines.cases")) {
        EXPECT_EQ(outcomeOf(c[0]), c[1]) << c.where;
    }
}

TEST(FileLocation, DecodesFileUrisAndTakesOtherArgumentsAsWritten)
{
    for (const support::Case& c : support::readCases("host/file_location.cases")) {
        const std::optional<std::filesystem::path> location = fileLocation(c[0]);
        EXPECT_EQ(location ? std::optional(location->string()) : std::nullopt, c.fields.at(1)) << c.where;
    }
}

TEST(FormatLogMessage, WritesTheArgumentInPlaceOfItsDirective)
{
    for (const support::Case& c : support::readCases("host/log_message.cases")) {
        EXPECT_EQ(formatLogMessage(c[0], c[1]), c[2]) << c.where;
    }
}

}  // namespace
}  // namespace zaro
