// The programs' command lines: every way a desktop or a person writes one, what is refused, the file
// an INPUT names and the log lines made from a file's name.
#include "host/command_line.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "host/file_url.hpp"
#include "host/system_log.hpp"
#include "support/cases.hpp"
#include "support/failure.hpp"

namespace zaro {
namespace {

Invocation parsed(std::vector<std::string> words, ExtensionPoint point)
{
    std::vector<char*> arguments;
    for (std::string& word : words) arguments.push_back(word.data());
    return parseCommandLine(arguments, point);
}

TEST(CommandLine, ReadsTheSizeAndTheTwoFilesInAnyOrderOfOptionsAndOperands)
{
    const auto thumbnail = ExtensionPoint::thumbnail;
    for (const auto& words : std::vector<std::vector<std::string>>{{"/usr/bin/t", "-s", "128", "in.csv", "out.png"},
                                                                    {"t", "-s128", "in.csv", "out.png"},
                                                                    {"t", "in.csv", "out.png", "-s", "128"},
                                                                    {"t", "-s", "128", "--", "in.csv", "out.png"}}) {
        const Invocation invocation = parsed(words, thumbnail);
        EXPECT_EQ(invocation.size, 128) << words[1];
        EXPECT_EQ(invocation.input + " " + invocation.output, "in.csv out.png") << words[1];
    }
    EXPECT_EQ(parsed({"/usr/bin/t", "-s", "1", "a", "b"}, thumbnail).program, "t");
    EXPECT_EQ(parsed({"p", "--", "-", "-"}, ExtensionPoint::preview).input, "-");
    EXPECT_EQ(parsed({"t", "--style", "track", "-s", "8", "a", "b"}, thumbnail).style, "track");
    EXPECT_EQ(parsed({"t", "--style=mark", "-s8", "a", "b"}, thumbnail).style, "mark");
    // A question about the program is answered whatever else the line says.
    EXPECT_EQ(parsed({"p", "--version", "x"}, ExtensionPoint::preview).action, Invocation::Action::version);
    EXPECT_EQ(parsed({"t", "a", "--help"}, thumbnail).action, Invocation::Action::help);
}

TEST(CommandLine, RefusesWhatDoesNotStateOneRequest)
{
    for (const support::Case& c : support::readCases("host/refusals.cases")) {
        std::istringstream given(c[0]);
        std::vector<std::string> words;
        for (std::string word; given >> word;) words.push_back(word == "\"\"" ? "" : word);
        const auto point = words.at(0) == "t" ? ExtensionPoint::thumbnail : ExtensionPoint::preview;
        EXPECT_EQ(support::failureOf([&] { parsed(words, point); }, "(accepted)"), c[1]) << c.where;
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
