// The arguments of zaro-session: which command, its options and its operands.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cli/summary.hpp"
#include "format/zaro_session_format.hpp"

namespace zaro::cli {

enum class Command : std::uint8_t { help, version, summary, list, bests };
enum class ListOrder : std::uint8_t { started, best, track, file };
enum class ListFormat : std::uint8_t { table, csv, json };

struct CommandLine {
    Command command = Command::help;
    OutputMode mode = OutputMode::text;
    ZaroSessionFormat::Units units = ZaroSessionFormat::Units::metric;
    ListOrder order = ListOrder::started;
    ListFormat format = ListFormat::table;
    std::optional<unsigned> jobs;  // none: one worker per processor
    std::vector<std::string> operands;
};

/// A command line that cannot be followed; the message is the sentence the user reads.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The most workers `--jobs` may ask for.
inline constexpr unsigned maxJobs = 256;

/// What `--help` prints: every command and option.
extern const std::string_view usage;

/// Reads the arguments after the program's name. Throws UsageError.
CommandLine readCommandLine(std::span<const std::string_view> args);

}  // namespace zaro::cli
