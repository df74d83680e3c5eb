// The zaro-session command: reads the arguments and hands them to the command.
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <iostream>
#include <string_view>
#include <vector>

#include "cli/bests.hpp"
#include "cli/command_line.hpp"
#include "cli/folder_reading.hpp"
#include "cli/listing.hpp"
#include "cli/summary.hpp"

namespace {

using namespace zaro::cli;

// Bold colour only on a terminal, and never with NO_COLOR in the environment.
bool colourWanted()
{
    return ::isatty(STDOUT_FILENO) == 1 && std::getenv("NO_COLOR") == nullptr;
}

FolderReading readOperands(const CommandLine& line)
{
    ProgressLine progress(std::cerr, ::isatty(STDERR_FILENO) == 1);
    return readSessionFiles(line.operands, line.jobs.value_or(defaultWorkers()), progress);
}

int outputStatus()
{
    std::cout.flush();
    if (std::cout) return 0;
    std::cerr << "zaro-session: cannot write the output\n";
    return 1;
}

// The output first, then the files that gave none, so that a terminal shows them last.
int finish(const FolderReading& reading)
{
    const int written = outputStatus();
    return reportUnread(reading, std::cerr) | written;
}

int run(const CommandLine& line)
{
    switch (line.command) {
    case Command::help: std::cout << usage; return outputStatus();
    case Command::version: std::cout << "zaro-session " ZARO_VERSION "\n"; return outputStatus();
    case Command::summary:
        return summarizeFiles(line.operands, line.mode, TextStyle{line.units, colourWanted()}, std::cout, std::cerr);
    case Command::list: {
        FolderReading reading = readOperands(line);
        writeListing(std::cout, std::move(reading.rows), line);
        return finish(reading);
    }
    case Command::bests: {
        FolderReading reading = readOperands(line);
        writeBests(std::cout, bestsByTrack(std::move(reading.rows)));
        return finish(reading);
    }
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    try {
        return run(readCommandLine(args));
    } catch (const UsageError& error) {
        std::cerr << "zaro-session: " << error.what() << '\n' << usage;
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "zaro-session: " << error.what() << '\n';
        return 1;
    }
}
