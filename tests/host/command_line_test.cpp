// The programs' command lines: every way a desktop or a person writes one, what is refused, the file
// an INPUT names and the log lines made from a file's name.
#include "host/command_line.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/file_url.hpp"
#include "host/system_log.hpp"
#include "support/cases.hpp"

namespace zaro {
namespace {

Invocation parsed(std::vector<std::string> words, ExtensionPoint point)
{
    std::vector<char*> arguments;
    for (std::string& word : words) arguments.push_back(word.data());
    return parseCommandLine(arguments, point);
}

std::string refusal(std::vector<std::string> words, ExtensionPoint point)
{
    try {
        parsed(std::move(words), point);
    } catch (const UsageError& error) {
        return error.what();
    }
    return "(accepted)";
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
    const auto thumbnail = ExtensionPoint::thumbnail;
    EXPECT_EQ(refusal({"p"}, ExtensionPoint::preview), "expected INPUT and OUTPUT.");
    EXPECT_EQ(refusal({"p", "a", "b", "c"}, ExtensionPoint::preview), "expected INPUT and OUTPUT.");
    EXPECT_EQ(refusal({"p", "a", ""}, ExtensionPoint::preview), "INPUT and OUTPUT must not be empty.");
    EXPECT_EQ(refusal({"p", "-s", "8", "a", "b"}, ExtensionPoint::preview), "unknown option -s.");
    EXPECT_EQ(refusal({"t", "a", "b"}, thumbnail), "-s SIZE is required.");
    EXPECT_EQ(refusal({"t", "a", "b", "-s"}, thumbnail), "-s needs a value.");
    EXPECT_EQ(refusal({"p", "--style", "track", "a", "b"}, ExtensionPoint::preview), "unknown option --style.");
    for (const char* size : {"0", "4097", "-5", "12px", ""}) {
        EXPECT_EQ(refusal({"t", "-s", size, "a", "b"}, thumbnail),
                  "SIZE must be a whole number of pixels from 1 to 4096.");
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
