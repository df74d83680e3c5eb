// The zaro-session command: reads the arguments and hands the files to the summary.
#include <exception>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "summary.hpp"

namespace {

constexpr std::string_view usage =
    "usage: zaro-session summary [--json] FILE...\n"
    "       zaro-session --help\n"
    "\n"
    "summary   prints what the preview card of each session file shows\n"
    "  --json  one JSON object per file, one line each\n";

int usageError(std::string_view problem)
{
    std::cerr << "zaro-session: " << problem << '\n' << usage;
    return 2;
}

bool isHelp(std::string_view arg)
{
    return arg == "--help" || arg == "-h";
}

}  // namespace

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty()) return usageError("no command given");
    if (isHelp(args[0])) {
        std::cout << usage;
        return 0;
    }
    if (args[0] != "summary") return usageError("unknown command '" + std::string(args[0]) + "'");

    auto mode = zaro::cli::OutputMode::text;
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const auto arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            files.emplace_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--json") {
            mode = zaro::cli::OutputMode::json;
        } else if (isHelp(arg)) {
            std::cout << usage;
            return 0;
        } else {
            return usageError("unknown option '" + std::string(arg) + "'");
        }
    }
    if (files.empty()) return usageError("summary needs at least one FILE");

    try {
        return zaro::cli::summarizeFiles(files, mode, std::cout, std::cerr);
    } catch (const std::exception& error) {
        std::cerr << "zaro-session: " << error.what() << '\n';
        return 1;
    }
}
