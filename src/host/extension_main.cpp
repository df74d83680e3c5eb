#include "host/extension_main.hpp"

#include <fcntl.h>
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <new>
#include <vector>

#include "base/posix_file.hpp"
#include "base/unicode.hpp"
#include "host/command_line.hpp"
#include "host/file_url.hpp"
#include "host/output_writer.hpp"
#include "host/read_ahead.hpp"
#include "base/sandbox.hpp"
#include "host/system_log.hpp"

namespace zaro {

namespace {

constexpr std::size_t threadStackBytes = 1 << 20;

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

// A program started with a standard descriptor closed would give that number to the next file it
// opens (the system log's socket, say) and could write its picture there; such descriptors are
// opened on /dev/null instead. Returns whether standard output was closed.
bool reopenClosedStandardDescriptors()
{
    bool outputClosed = false;
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        outputClosed = outputClosed || fd == STDOUT_FILENO;
        const int opened = ::open("/dev/null", O_RDWR);  // the lowest free number: this one
        if (opened >= 0 && opened != fd) ::close(opened);
    }
    return outputClosed;
}

// The session file is only ever read, whatever path names it as the output.
void refuseToReplace(const std::filesystem::path& input, const std::filesystem::path& output)
{
    struct stat in {}, out {};
    if (::stat(input.c_str(), &in) == 0 && ::stat(output.c_str(), &out) == 0 && in.st_dev == out.st_dev
        && in.st_ino == out.st_ino) {
        throw UsageError("OUTPUT is the INPUT file, which is only ever read.");
    }
}

// From here on the program may read only its input, its resources, fonts and libraries, and do in
// its output's folder only what its writer still needs: it is about to read a file someone else wrote.
void confine(const Extension& extension, const std::filesystem::path& input, const std::optional<OutputFile>& file)
{
    const sandbox::Report report = sandbox::confine(sandbox::programPolicy(
        input, file ? std::optional(sandbox::WritableFolder{file->folderDescriptor(), file->folderRights()})
                    : std::nullopt));
    if (!report.exhausted.empty()) throw std::runtime_error(report.exhausted);
    if (report.lessThanOffered()) {
        const Logger log(extension.bundleIdentifier, "sandbox");
        log.error("running with less confinement than the kernel offers: %{public}s", report.error);
    }
}

struct Output {
    std::optional<OutputFile> file;  // none for standard output
    bool closed = false;             // standard output was closed when the program started
};

void write(Output& output, const std::filesystem::path& path, std::span<const unsigned char> bytes)
{
    if (output.closed) throw OutputError("standard output is closed");
    if (!output.file) return onFile("standard output", [&] { posix::writeAll(STDOUT_FILENO, bytes); });
    onFile(path, [&] { output.file->write(bytes); });
}

// The extension with the principal class the invocation's style names.
Extension styled(const Extension& extension, const std::optional<std::string>& style)
{
    if (!style) return extension;
    std::string known;
    for (const auto& [name, principalClass] : extension.styles) {
        if (name == *style) {
            Extension chosen = extension;
            chosen.principalClass = principalClass;
            return chosen;
        }
        known += (known.empty() ? "" : ", ") + name;
    }
    throw UsageError("unknown style " + *style + "; the styles are " + known + ".");
}

void serve(const Extension& given, const Invocation& invocation, bool outputClosed)
{
    const Extension extension = styled(given, invocation.style);
    const std::filesystem::path input = inputLocation(invocation.input);
    const std::filesystem::path outputPath = invocation.output;
    Output output{std::nullopt, outputClosed && invocation.output == "-"};
    if (invocation.output != "-") refuseToReplace(input, outputPath);
    // The reading goes on in a child of its own while this process loads what it draws with. It is
    // started while the process has no other thread, and before the output is opened, which the
    // child is not to hold.
    std::shared_ptr<ReadAhead> readAhead;
    // A thumbnail's child first answers whether the file is one the extension is registered for
    // ('Y' or 'N' ahead of its work's result), which spares this process reading its start again.
    const bool childAsks = extension.point == ExtensionPoint::thumbnail && extension.supportsFile;
    if (extension.readAhead) {
        if (ReadAhead::Work work = extension.readAhead(extension.principalClass)) {
            if (childAsks) {
                work = [supports = extension.supportsFile, work](const std::filesystem::path& file) {
                    return supports(file) ? 'Y' + work(file) : std::string(1, 'N');
                };
            }
            readAhead = ReadAhead::start(input, work);
        }
    }
    ReadAheadResult readAheadResult;
    if (readAhead) readAheadResult = [readAhead] { return readAhead->take(); };
    if (invocation.output != "-") {
        onFile(outputPath, [&] { output.file = OutputFile::open(outputPath); });
    }
    if (extension.prepare) extension.prepare(extension.principalClass, invocation.size);
    confine(extension, input, output.file);
    if (extension.point == ExtensionPoint::preview) {
        const PreviewReply reply = requestPreview(extension, {input, invocation.name, readAheadResult});
        write(output, outputPath, previewData(reply));
        tell(printable(reply.title()), output.file ? STDOUT_FILENO : STDERR_FILENO);
        return;
    }
    bool supported = true;
    bool asked = false;
    if (readAhead && childAsks) {
        std::optional<std::string> answer;
        try {
            answer = readAhead->take();
        } catch (const ServiceError& error) {
            throw ServiceError(input.string() + ": " + error.what());
        }
        // A child that could not ask (the question failed, say) leaves both to this process.
        if (answer && !answer->empty()) {
            supported = answer->front() == 'Y';
            answer->erase(0, 1);
            asked = true;
        } else {
            answer.reset();
        }
        readAheadResult = [answer = std::move(answer)] { return answer; };
    }
    if (!asked && extension.supportsFile) onFile(input, [&] { supported = extension.supportsFile(input); });
    if (!supported) throw ServiceError(input.string() + ": not a file this thumbnailer is registered for");
    const auto side = static_cast<double>(*invocation.size);
    const FileThumbnailRequest request{input, {side, side}, {0, 0}, 1, readAheadResult};
    const ThumbnailReply reply = requestThumbnail(extension, request);
    std::vector<unsigned char> png;
    try {
        png = thumbnailPng(reply, request.scale, extension.rasterise);
    } catch (const std::system_error& error) {
        throw std::system_error(error.code(), input.string());
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& error) {
        // What kept the thumbnail from being drawn, a file that does not parse say, is about the input.
        throw ServiceError(input.string() + ": " + error.what());
    }
    write(output, outputPath, png);
}

}  // namespace

int extensionMain(std::span<char* const> arguments, const Extension& extension)
{
    // Threads of this program and of the libraries it draws with need little stack; reserving the
    // usual 8 MiB for each makes a small address-space limit fail their creation, which some libraries
    // cannot survive.
    // Every thread that allocates would otherwise reserve an arena of 64 MiB of address space of its
    // own: under an address-space limit those reservations take the room the libraries' allocations
    // need, and some of them (fontconfig's) cannot survive a failed one. One arena is plenty here.
    ::mallopt(M_ARENA_MAX, 1);
    pthread_attr_t threads;
    if (::pthread_attr_init(&threads) == 0) {
        ::pthread_attr_setstacksize(&threads, threadStackBytes);
        ::pthread_setattr_default_np(&threads);
        ::pthread_attr_destroy(&threads);
    }
    // A closed pipe on standard output, and an output beyond the file-size limit, are reported as
    // failures rather than ending the process.
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
    const bool outputClosed = reopenClosedStandardDescriptors();
    const std::string program = programName(arguments, extension.point);
    try {
        const Invocation invocation = parseCommandLine(arguments, extension.point);
        if (invocation.action == Invocation::Action::serve) {
            serve(extension, invocation, outputClosed);
        } else {
            const bool help = invocation.action == Invocation::Action::help;
            tell(help ? usage(program, extension.point) : versionLine(program), STDOUT_FILENO);
        }
        return 0;
    } catch (const UsageError& error) {
        tell(printable(program + ": " + error.what()) + usage(program, extension.point));
        return 2;
    } catch (const std::bad_alloc&) {
        tell(printable(program + ": There is not enough memory to do this."));
        return 1;
    } catch (const std::exception& error) {
        tell(printable(program + ": " + error.what()));
        return 1;
    }
}

}  // namespace zaro
