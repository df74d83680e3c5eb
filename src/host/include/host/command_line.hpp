// The programs' command line: what a preview or thumbnail request is asked for by its arguments.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "host/provider.hpp"

namespace zaro {

/// A command line that does not say what to do: the programs answer with their usage and status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Thumbnail sides a command line may ask for, in pixels.
inline constexpr int maxThumbnailSide = 4096;

/// One request as a command line states it, or a question about the program.
struct Invocation {
    enum class Action : std::uint8_t { serve, help, version };

    std::string program;               // the name the program was started by, for its messages
    Action action = Action::serve;
    std::optional<int> size;           // -s SIZE, thumbnails only
    std::optional<std::string> style;  // --style NAME, thumbnails only
    std::optional<std::string> name;   // --name NAME, previews only: the file's name on the card ("" for none)
    std::string input;                 // a path or a file:// URI, as given
    std::string output;                // a path, or "-" for standard output
};

/// The name of the running program: the last part of `arguments[0]`, or the usual name.
std::string programName(std::span<char* const> arguments, ExtensionPoint point);

/// Reads `PROGRAM [--name NAME] INPUT OUTPUT` (previews) or `PROGRAM [--style NAME] -s SIZE INPUT OUTPUT`
/// (thumbnails), or `--help` or `--version` anywhere; `--` ends the options. Throws UsageError saying
/// what is wrong.
Invocation parseCommandLine(std::span<char* const> arguments, ExtensionPoint point);

/// How the program is used: its synopsis, what it does, its options and its exit statuses.
std::string usage(std::string_view program, ExtensionPoint point);

/// "PROGRAM VERSION", the project's version.
std::string versionLine(std::string_view program);

}  // namespace zaro
