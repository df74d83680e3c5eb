#include "cli/command_line.hpp"

#include <charconv>
#include <utility>

namespace zaro::cli {

const std::string_view usage =
    "usage: zaro-session summary [--json] [--units metric|imperial] FILE...\n"
    "       zaro-session list [--sort started|best|track|file] [--format table|csv|json]\n"
    "                         [--units metric|imperial] [--jobs N] PATH...\n"
    "       zaro-session bests [--jobs N] PATH...\n"
    "       zaro-session --help | --version\n"
    "\n"
    "summary  prints what the preview card of each session file shows, with the theoretical best\n"
    "         (the sum of the best sectors), each lap's gap to the best lap, the best sector of\n"
    "         each index marked (bold on a terminal, '*' otherwise or when NO_COLOR is set), and\n"
    "         the consistency of the clean laps (those within 107 % of the best lap); FILE - reads\n"
    "         standard input\n"
    "  --json           one JSON object per file, one line each, in SI units\n"
    "  --units UNITS    metric (km/h and km, the default) or imperial (mph and miles), for the text\n"
    "list     one row per session: started, track, session type, laps, best lap, theoretical best,\n"
    "         top speed, duration, distance and the file; a PATH that is a folder is searched with\n"
    "         its subfolders for files named *.csv in any case, not following symbolic links to\n"
    "         folders; any other PATH is read as it is\n"
    "  --sort KEY       started (the default), best (best lap), track (and configuration), or file\n"
    "                   (path)\n"
    "  --format FORMAT  table (the default, aligned columns), csv (RFC 4180 with a header row and\n"
    "                   SI numbers) or json (one object a line, with \"path\")\n"
    "  --units UNITS    as for summary, for the table\n"
    "  --jobs N         read N files at a time (1 to 256; the default is one per processor)\n"
    "bests    one row per track and configuration: the best lap, the date and file it was set\n"
    "         in, the best theoretical best and the number of sessions; PATH as for list\n"
    "  --jobs N         as for list\n"
    "\n"
    "Options may also be written --sort=KEY; -- ends the options. -h is --help.\n"
    "Files that cannot be read are named on standard error with the reason. list and bests show\n"
    "their progress on standard error when it is a terminal and the run takes over half a second.\n"
    "Exit status: 0 when every file was read, 1 when any could not be, 2 for a usage error.\n";

namespace {

bool isHelp(std::string_view arg)
{
    return arg == "--help" || arg == "-h";
}

Command commandNamed(std::string_view name)
{
    if (name == "summary") return Command::summary;
    if (name == "list") return Command::list;
    if (name == "bests") return Command::bests;
    throw UsageError("unknown command '" + std::string(name) + "'");
}

template <typename Value>
struct Choice {
    std::string_view name;
    Value value;
};

template <typename Value, std::size_t count>
Value chosen(std::string_view option, std::string_view text, const Choice<Value> (&choices)[count])
{
    std::string names;  // "a, b or c"
    for (std::size_t i = 0; i < count; ++i) {
        if (text == choices[i].name) return choices[i].value;
        if (i > 0) names += i + 1 == count ? " or " : ", ";
        names += choices[i].name;
    }
    throw UsageError(std::string(option) + " takes " + names + ", not '" + std::string(text) + "'");
}

unsigned jobCount(std::string_view text)
{
    unsigned jobs = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), jobs);
    if (error != std::errc() || end != text.data() + text.size() || jobs < 1 || jobs > maxJobs) {
        throw UsageError("--jobs takes a whole number from 1 to " + std::to_string(maxJobs) + ", not '"
                         + std::string(text) + "'");
    }
    return jobs;
}

// Walks the arguments after the command: options, their values ("--sort best" or "--sort=best")
// and operands.
class Arguments {
public:
    explicit Arguments(std::span<const std::string_view> args) : args_(args) {}

    // The next option's name, or none when the next argument is an operand (or there is none).
    std::optional<std::string_view> nextOption()
    {
        while (next_ < args_.size()) {
            const std::string_view arg = args_[next_++];
            if (optionsEnded_ || arg.size() < 2 || arg[0] != '-') {
                operands_.emplace_back(arg);
            } else if (arg == "--") {
                optionsEnded_ = true;
            } else {
                const auto equals = arg.find('=');
                if (equals != std::string_view::npos) attached_ = arg.substr(equals + 1);
                return arg.substr(0, equals);
            }
        }
        return std::nullopt;
    }

    // The value of the option just read.
    std::string_view value(std::string_view option)
    {
        if (attached_) return *std::exchange(attached_, std::nullopt);
        if (next_ == args_.size()) throw UsageError(std::string(option) + " needs a value");
        return args_[next_++];
    }

    // Refuses a value given to an option that takes none.
    void noValue(std::string_view option) const
    {
        if (attached_) throw UsageError(std::string(option) + " takes no value");
    }

    std::vector<std::string> takeOperands() { return std::move(operands_); }

private:
    std::span<const std::string_view> args_;
    std::size_t next_ = 0;
    bool optionsEnded_ = false;
    std::optional<std::string_view> attached_;
    std::vector<std::string> operands_;
};

}  // namespace

CommandLine readCommandLine(std::span<const std::string_view> args)
{
    if (args.empty()) throw UsageError("no command given");
    CommandLine line;
    if (isHelp(args[0])) return line;
    if (args[0] == "--version") {
        line.command = Command::version;
        return line;
    }
    line.command = commandNamed(args[0]);
    const bool summary = line.command == Command::summary;
    const bool list = line.command == Command::list;

    Arguments arguments(args.subspan(1));
    while (const auto option = arguments.nextOption()) {
        if (isHelp(*option)) {
            return CommandLine{};
        } else if (summary && option == "--json") {
            arguments.noValue(*option);
            line.mode = OutputMode::json;
        } else if ((summary || list) && option == "--units") {
            using enum ZaroSessionFormat::Units;
            line.units = chosen<ZaroSessionFormat::Units>(*option, arguments.value(*option),
                                                          {{"metric", metric}, {"imperial", imperial}});
        } else if (list && option == "--sort") {
            using enum ListOrder;
            line.order = chosen<ListOrder>(*option, arguments.value(*option),
                                           {{"started", started}, {"best", best}, {"track", track}, {"file", file}});
        } else if (list && option == "--format") {
            using enum ListFormat;
            line.format =
                chosen<ListFormat>(*option, arguments.value(*option), {{"table", table}, {"csv", csv}, {"json", json}});
        } else if (!summary && option == "--jobs") {
            line.jobs = jobCount(arguments.value(*option));
        } else {
            throw UsageError("unknown option '" + std::string(*option) + "'");
        }
    }
    line.operands = arguments.takeOperands();
    if (line.operands.empty()) {
        throw UsageError(std::string(args[0]) + (summary ? " needs at least one FILE" : " needs at least one PATH"));
    }
    return line;
}

}  // namespace zaro::cli
