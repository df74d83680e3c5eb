#include "host/extension_main.hpp"

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "base/posix_file.hpp"
#include "base/unicode.hpp"
#include "host/command_line.hpp"
#include "host/file_url.hpp"
#include "host/output_writer.hpp"
#include "host/sandbox.hpp"

namespace zaro {

namespace {

// A file name may hold control characters and escape sequences; a terminal is shown none of them.
std::string printable(std::string_view text)
{
    std::string shown;
    text::appendPrintable(shown, text);
    shown += '\n';
    return shown;
}

// Messages and the title are for people: once the image is out, failing to show them changes nothing.
void tell(std::string_view text, int fd = STDERR_FILENO)
{
    try {
        posix::writeAll(fd, text);
    } catch (const std::system_error&) {
    }
}

// The system's text alone does not say which file it is about.
template <typename Action>
void onFile(const std::filesystem::path& path, Action action)
{
    try {
        action();
    } catch (const std::system_error& error) {
        throw std::system_error(error.code(), path.string());
    }
}

std::filesystem::path inputLocation(std::string_view argument)
{
    std::optional<std::filesystem::path> location = fileLocation(argument);
    if (!location || location->empty()) throw UsageError("INPUT is not a local file: " + std::string(argument));
    return *location;
}

void servePreview(const Extension& extension, const Invocation& invocation)
{
    const FilePreviewRequest request{inputLocation(invocation.input)};
    const bool toStandardOutput = invocation.output == "-";
    sandbox::confine(sandbox::programPolicy(
        request.fileURL, toStandardOutput ? std::nullopt : std::optional<std::filesystem::path>(invocation.output)));
    const PreviewReply reply = requestPreview(extension, request);
    const std::vector<unsigned char> bytes = previewData(reply);
    if (toStandardOutput) {
        onFile("standard output", [&] { posix::writeAll(STDOUT_FILENO, bytes); });
        tell(printable(reply.title()));
    } else {
        const std::filesystem::path path(invocation.output);
        onFile(path, [&] { writeFileAtomically(path, bytes); });
        tell(printable(reply.title()), STDOUT_FILENO);
    }
}

void serveThumbnail(const Extension& extension, const Invocation& invocation)
{
    const std::filesystem::path input = inputLocation(invocation.input);
    const std::filesystem::path output(invocation.output);
    sandbox::confine(sandbox::programPolicy(input, output));
    bool supported = true;
    if (extension.supportsFile) onFile(input, [&] { supported = extension.supportsFile(input); });
    if (!supported) throw ServiceError(input.string() + ": not a file this thumbnailer is registered for");
    const auto side = static_cast<double>(*invocation.size);
    const FileThumbnailRequest request{input, {side, side}, {0, 0}, 1};
    const ThumbnailReply reply = requestThumbnail(extension, request);
    const std::vector<unsigned char> bytes = thumbnailPng(reply, request.scale);
    onFile(output, [&] { writeFileAtomically(output, bytes); });
}

}  // namespace

int extensionMain(std::span<char* const> arguments, const Extension& extension)
{
    // A closed pipe on standard output is reported as a failure rather than ending the process.
    ::signal(SIGPIPE, SIG_IGN);
    const std::string program = programName(arguments, extension.point);
    try {
        const Invocation invocation = parseCommandLine(arguments, extension.point);
        if (extension.point == ExtensionPoint::preview) servePreview(extension, invocation);
        else serveThumbnail(extension, invocation);
        return 0;
    } catch (const UsageError& error) {
        tell(program + ": " + error.what() + "\n" + usage(program, extension.point));
        return 2;
    } catch (const std::exception& error) {
        tell(program + ": " + error.what() + "\n");
        return 1;
    }
}

}  // namespace zaro
