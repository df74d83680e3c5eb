// The zaro-session command: reads the arguments and hands them to the command.
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <iostream>
#include <string_view>
#include <vector>

#include "base/sandbox.hpp"
#include "cli/bests.hpp"
#include "cli/command_line.hpp"
#include "cli/folder_reading.hpp"
#include "cli/listing.hpp"
#include "cli/session_reading.hpp"
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

// Before `summary` reads a file: from here on the program can read only the files it was given and the
// system's libraries, and can write nothing but what it already holds open, start no program and open no
// network socket. Other programs run it on files they were handed (KDE's metadata extractor). `list` and
// `bests` stay free to follow links out of the folders they walk, which are the user's own.
void confine(const CommandLine& line)
{
    zaro::sandbox::Policy policy{zaro::sandbox::systemReadable(), std::nullopt};
    for (const auto& operand : line.operands) {
        if (operand != standardInputOperand) policy.readable.emplace_back(operand);
    }
    const zaro::sandbox::Report report = zaro::sandbox::confine(policy);
    if (report.lessThanOffered() && ::isatty(STDERR_FILENO) == 1) {
        std::cerr << "zaro-session: running with less confinement than the kernel offers: " << report.error << '\n';
    }
}

int run(const CommandLine& line)
{
    if (line.command == Command::summary) confine(line);
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
