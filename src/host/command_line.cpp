#include "host/command_line.hpp"

#include <charconv>

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
    Invocation invocation{programName(arguments, point), std::nullopt, {}, {}};
    const bool takesSize = point == ExtensionPoint::thumbnail;
    std::vector<std::string_view> operands;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && takesSize && argument == "-s") {
            if (i + 1 == arguments.size()) throw UsageError("-s needs a SIZE.");
            invocation.size = parseSize(arguments[++i]);
        } else if (!optionsEnded && takesSize && argument.starts_with("-s")) {
            invocation.size = parseSize(argument.substr(2));
        } else if (!optionsEnded && argument.size() > 1 && argument.starts_with('-')) {
            throw UsageError("unknown option " + std::string(argument) + ".");
        } else {
            operands.push_back(argument);
        }
    }
    if (operands.size() != 2) throw UsageError("expected INPUT and OUTPUT.");
    if (operands[0].empty() || operands[1].empty()) throw UsageError("INPUT and OUTPUT must not be empty.");
    if (takesSize && !invocation.size) throw UsageError("-s SIZE is required.");
    invocation.input = operands[0];
    invocation.output = operands[1];
    return invocation;
}

std::string usage(std::string_view program, ExtensionPoint point)
{
    if (point == ExtensionPoint::preview) {
        return "usage: " + std::string(program) + " INPUT OUTPUT\n"
               "  Writes the preview card of INPUT (a path or a file:// URI) as PNG to OUTPUT, or to\n"
               "  standard output when OUTPUT is -, and prints the preview's title.\n";
    }
    return "usage: " + std::string(program) + " -s SIZE INPUT OUTPUT\n"
           "  Writes a SIZE x SIZE PNG thumbnail of INPUT (a path or a file:// URI) to OUTPUT.\n";
}

}  // namespace zaro
