#include "host/command_line.hpp"

#include <charconv>
#include <vector>

namespace zaro {

namespace {

int parseSize(std::string_view text)
{
    int size = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
    if (error != std::errc() || end != text.data() + text.size() || size < 1 || size > maxThumbnailSide) {
        throw UsageError("SIZE must be a whole number of pixels from 1 to " + std::to_string(maxThumbnailSide) + ".");
    }
    return size;
}

}  // namespace

std::string programName(std::span<char* const> arguments, ExtensionPoint point)
{
    if (!arguments.empty() && arguments[0] && *arguments[0]) {
        const std::string_view path = arguments[0];
        const std::size_t slash = path.rfind('/');
        return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
    }
    return point == ExtensionPoint::preview ? "zaro-session-preview" : "zaro-session-thumbnailer";
}

Invocation parseCommandLine(std::span<char* const> arguments, ExtensionPoint point)
{
    Invocation invocation{programName(arguments, point), Invocation::Action::serve, {}, {}, {}, {}, {}};
    const bool thumbnail = point == ExtensionPoint::thumbnail;
    std::vector<std::string_view> operands;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        const auto value = [&](std::string_view option) {
            if (argument.size() > option.size()) return argument.substr(option.size() + (argument[option.size()] == '='));
            if (i + 1 == arguments.size()) throw UsageError(std::string(option) + " needs a value.");
            return std::string_view(arguments[++i]);
        };
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            operands.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help" || argument == "-h") {
            invocation.action = Invocation::Action::help;
        } else if (argument == "--version") {
            invocation.action = Invocation::Action::version;
        } else if (thumbnail && argument.starts_with("-s") && (argument.size() == 2 || argument[2] != '-')) {
            invocation.size = parseSize(value("-s"));
        } else if (thumbnail && (argument == "--style" || argument.starts_with("--style="))) {
            invocation.style = std::string(value("--style"));
        } else if (!thumbnail && (argument == "--name" || argument.starts_with("--name="))) {
            invocation.name = std::string(value("--name"));
        } else {
            throw UsageError("unknown option " + std::string(argument) + ".");
        }
    }
    if (invocation.action != Invocation::Action::serve) return invocation;
    if (operands.size() != 2) throw UsageError("expected INPUT and OUTPUT.");
    if (operands[0].empty() || operands[1].empty()) throw UsageError("INPUT and OUTPUT must not be empty.");
    if (thumbnail && !invocation.size) throw UsageError("-s SIZE is required.");
    invocation.input = operands[0];
    invocation.output = operands[1];
    return invocation;
}

std::string usage(std::string_view program, ExtensionPoint point)
{
    const std::string name(program);
    if (point == ExtensionPoint::preview) {
        return "usage: " + name + " [--name NAME] INPUT OUTPUT\n"
               "       " + name + " --help | --version\n"
               "Writes the preview card of the session file INPUT (a path or a file:// URI) as a 1680 x 1440\n"
               "PNG to OUTPUT, or to standard output when OUTPUT is -, and prints the preview's title. A file\n"
               "that cannot be shown gets a card saying why. --name shows NAME as the file's name on the card\n"
               "instead of INPUT's (none when NAME is empty), for a caller that passes the bytes of a file.\n"
               "Exit status: 0 when a card was written, 1 when nothing could be, 2 for a usage error.\n";
    }
    return "usage: " + name + " [--style mark|track] -s SIZE INPUT OUTPUT\n"
           "       " + name + " --help | --version\n"
           "Writes a SIZE x SIZE PNG thumbnail (SIZE from 1 to " + std::to_string(maxThumbnailSide) + ") of the session\n"
           "file INPUT (a path or a file:// URI) to OUTPUT: the brand mark (--style mark, the default), or the\n"
           "session's track with its best lap (--style track). A file that is no session file gets none.\n"
           "Exit status: 0 when the thumbnail was written, 1 when none was, 2 for a usage error.\n";
}

std::string versionLine(std::string_view program) { return std::string(program) + " " ZARO_VERSION "\n"; }

}  // namespace zaro
