#include "extension.hpp"

#include "bundle.hpp"
#include "sandbox.hpp"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>

#include "atomic_file.hpp"
#include "bitmap.hpp"
#include "file_url.hpp"
#include "graphics_context.hpp"
#include "png.hpp"

namespace zaro {

namespace {

// How long a provider may keep the completion callback before its request counts as unanswered.
constexpr std::chrono::seconds replyTimeout{30};
// Thumbnail sides a command line may ask for, in pixels.
constexpr int maxThumbnailSide = 4096;
// Cairo's image surfaces are at most this many pixels on a side.
constexpr double maxSurfaceSide = 32767;

constexpr unsigned char pngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// What a provider completes a request with; the first call counts and later ones are ignored.
template <typename Reply>
class Answer {
public:
    void complete(std::optional<Reply> reply, std::exception_ptr error)
    {
        const std::lock_guard lock(mutex_);
        if (done_) return;
        reply_ = std::move(reply);
        error_ = error;
        done_ = true;
        changed_.notify_all();
    }

    // Every copy of the completion callback is gone without a call: no answer can come any more.
    void abandon()
    {
        const std::lock_guard lock(mutex_);
        if (done_) return;
        done_ = true;
        abandoned_ = true;
        changed_.notify_all();
    }

    Reply take(const char* kind)
    {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, replyTimeout, [this] { return done_; }) || abandoned_) {
            throw ServiceError(std::string("The ") + kind + " extension did not answer.");
        }
        if (error_) std::rethrow_exception(error_);
        if (!reply_) throw ServiceError(std::string("The ") + kind + " extension answered without a reply.");
        return std::move(*reply_);
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
    bool abandoned_ = false;
    std::optional<Reply> reply_;
    std::exception_ptr error_;
};

// The completion callback handed to a provider; copies share one guard that gives up the answer
// when the last of them goes.
template <typename Reply>
class Completion {
public:
    explicit Completion(const std::shared_ptr<Answer<Reply>>& answer) : guard_(std::make_shared<Guard>(answer)) {}

    void operator()(std::optional<Reply> reply, std::exception_ptr error) const
    {
        guard_->answer->complete(std::move(reply), error);
    }

private:
    struct Guard {
        explicit Guard(std::shared_ptr<Answer<Reply>> a) : answer(std::move(a)) {}
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;
        ~Guard() { answer->abandon(); }
        std::shared_ptr<Answer<Reply>> answer;
    };
    std::shared_ptr<Guard> guard_;
};

// Creates the principal class, lets it answer through `provide` and releases it before the answer
// is taken.
template <typename Reply, typename Provider, typename Request, typename Handler>
Reply ask(const Extension& extension, const Request& request, const char* kind,
          void (Provider::*provide)(const Request&, const Handler&))
{
    const auto answer = std::make_shared<Answer<Reply>>();
    {
        const std::unique_ptr<PrincipalObject> object = extension.classes.create(extension.principalClass);
        if (!object) throw ServiceError("No class is registered under the name \"" + extension.principalClass + "\".");
        auto* provider = dynamic_cast<Provider*>(object.get());
        if (!provider) {
            throw ServiceError("The class \"" + extension.principalClass + "\" is no " + kind + " provider.");
        }
        (provider->*provide)(request, Completion<Reply>(answer));
    }
    return answer->take(kind);
}

// Runs `work` on a thread of its own, as the services run reply callbacks, and hands back its result
// or its exception.
template <typename Work>
auto onOtherThread(Work work) -> decltype(work())
{
    std::optional<decltype(work())> result;
    std::exception_ptr error;
    std::thread([&] {
        try {
            result.emplace(work());
        } catch (...) {
            error = std::current_exception();
        }
    }).join();
    if (error) std::rethrow_exception(error);
    return std::move(*result);
}

int pixelSide(double points, double scale)
{
    const double pixels = std::round(points * scale);
    if (!std::isfinite(pixels) || pixels < 1 || pixels > maxSurfaceSide) return 0;
    return static_cast<int>(pixels);
}

// ---- Command line -------------------------------------------------------------------------------

struct Invocation {
    std::string_view program;
    std::optional<int> size;
    std::vector<std::string_view> operands;
};

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string_view programName(std::span<char* const> arguments, const Extension& extension)
{
    if (!arguments.empty() && arguments[0] && *arguments[0]) {
        const std::string_view path = arguments[0];
        const std::size_t slash = path.rfind('/');
        return slash == std::string_view::npos ? path : path.substr(slash + 1);
    }
    return extension.point == ExtensionPoint::preview ? "zaro-session-preview" : "zaro-session-thumbnailer";
}

int parseSize(std::string_view text)
{
    int size = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
    if (error != std::errc() || end != text.data() + text.size() || size < 1 || size > maxThumbnailSide) {
        throw UsageError("SIZE must be a whole number of pixels from 1 to " + std::to_string(maxThumbnailSide) + ".");
    }
    return size;
}

Invocation parseArguments(std::span<char* const> arguments, const Extension& extension)
{
    Invocation invocation{programName(arguments, extension), std::nullopt, {}};
    const bool takesSize = extension.point == ExtensionPoint::thumbnail;
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
            invocation.operands.push_back(argument);
        }
    }
    if (invocation.operands.size() != 2) throw UsageError("expected INPUT and OUTPUT.");
    if (takesSize && !invocation.size) throw UsageError("-s SIZE is required.");
    return invocation;
}

std::string usage(std::string_view program, const Extension& extension)
{
    if (extension.point == ExtensionPoint::preview) {
        return "usage: " + std::string(program) + " INPUT OUTPUT\n"
               "  Writes the preview card of INPUT (a path or a file:// URI) as PNG to OUTPUT, or to\n"
               "  standard output when OUTPUT is -, and prints the preview's title.\n";
    }
    return "usage: " + std::string(program) + " -s SIZE INPUT OUTPUT\n"
           "  Writes a SIZE x SIZE PNG thumbnail of INPUT (a path or a file:// URI) to OUTPUT.\n";
}

void writeAll(int fd, std::span<const unsigned char> bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) throw std::system_error(written < 0 ? errno : EIO, std::generic_category());
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
}

// A file name may hold control characters; they are not let through to a terminal.
std::string printable(std::string_view text)
{
    std::string shown;
    shown.reserve(text.size() + 1);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        shown += byte < 0x20 || byte == 0x7F ? '?' : c;
    }
    shown += '\n';
    return shown;
}

void writeText(int fd, std::string_view text)
{
    writeAll(fd, {reinterpret_cast<const unsigned char*>(text.data()), text.size()});
}

// Messages and the title are for people: once the image is out, failing to show them changes nothing.
void tell(std::string_view text, int fd = STDERR_FILENO)
{
    try {
        writeText(fd, text);
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

// From here on the program may read only its input, its resources, fonts and libraries, and write
// only in the folder of its output: it is about to read a file that someone else wrote.
void confine(const std::filesystem::path& input, const std::optional<std::filesystem::path>& output)
{
    sandbox::Policy policy;
    policy.readable = sandbox::systemReadable();
    policy.readable.push_back(input);
    const Bundle bundle = Bundle::main();
    if (bundle.resourceDirectory()) policy.readable.push_back(*bundle.resourceDirectory());
    if (output) policy.writableFolders.push_back(std::filesystem::absolute(*output).parent_path());
    sandbox::confine(policy);
}

void servePreview(const Extension& extension, const Invocation& invocation)
{
    const FilePreviewRequest request{inputLocation(invocation.operands[0])};
    const std::string_view output = invocation.operands[1];
    confine(request.fileURL, output == "-" ? std::nullopt : std::optional<std::filesystem::path>(output));
    const PreviewReply reply = requestPreview(extension, request);
    const std::vector<unsigned char> bytes = previewData(reply);
    if (output == "-") {
        onFile("standard output", [&] { writeAll(STDOUT_FILENO, bytes); });
        tell(printable(reply.title()));
    } else {
        const std::filesystem::path path(output);
        onFile(path, [&] { writeFileAtomically(path, bytes); });
        tell(printable(reply.title()), STDOUT_FILENO);
    }
}

void serveThumbnail(const Extension& extension, const Invocation& invocation)
{
    const std::filesystem::path input = inputLocation(invocation.operands[0]);
    confine(input, std::filesystem::path(invocation.operands[1]));
    bool supported = true;
    if (extension.supportsFile) onFile(input, [&] { supported = extension.supportsFile(input); });
    if (!supported) throw ServiceError(input.string() + ": not a file this thumbnailer is registered for");
    const auto side = static_cast<double>(*invocation.size);
    const FileThumbnailRequest request{input, {side, side}, {0, 0}, 1};
    const ThumbnailReply reply = requestThumbnail(extension, request);
    const std::vector<unsigned char> bytes = thumbnailPng(reply, request.scale);
    const std::filesystem::path output(invocation.operands[1]);
    onFile(output, [&] { writeFileAtomically(output, bytes); });
}

}  // namespace

PreviewReply requestPreview(const Extension& extension, const FilePreviewRequest& request)
{
    return ask<PreviewReply>(extension, request, "preview", &PreviewProviderBase::providePreview);
}

std::vector<unsigned char> previewData(const PreviewReply& reply)
{
    std::vector<unsigned char> bytes = onOtherThread([&reply] { return reply.createData(); });
    const bool isPng = bytes.size() >= sizeof pngSignature
                    && std::equal(std::begin(pngSignature), std::end(pngSignature), bytes.begin());
    if (reply.contentType() == ContentType::png && !isPng) {
        throw ServiceError("The preview's data is not a PNG image.");
    }
    return bytes;
}

ThumbnailReply requestThumbnail(const Extension& extension, const FileThumbnailRequest& request)
{
    return ask<ThumbnailReply>(extension, request, "thumbnail", &ThumbnailProviderBase::provideThumbnail);
}

std::vector<unsigned char> thumbnailPng(const ThumbnailReply& reply, double scale)
{
    const Size size = reply.contextSize();
    const int width = pixelSide(size.width, scale);
    const int height = pixelSide(size.height, scale);
    if (width == 0 || height == 0) throw ServiceError("The thumbnail's size gives no drawing surface.");
    return onOtherThread([&] {
        Bitmap bitmap(width, height);
        bitmap.context().scale(scale, scale);
        GraphicsContext graphics(&bitmap.context());
        const CurrentGraphicsContext current(&graphics);
        if (!reply.draw()) throw ServiceError("The thumbnail extension did not draw.");
        return png::encode(bitmap.pixels());
    });
}

int extensionMain(std::span<char* const> arguments, const Extension& extension)
{
    // A closed pipe on standard output is reported as a failure rather than ending the process.
    ::signal(SIGPIPE, SIG_IGN);
    const std::string_view program = programName(arguments, extension);
    Invocation invocation;
    try {
        invocation = parseArguments(arguments, extension);
    } catch (const UsageError& error) {
        tell(std::string(program) + ": " + error.what() + "\n" + usage(program, extension));
        return 2;
    }
    try {
        if (extension.point == ExtensionPoint::preview) servePreview(extension, invocation);
        else serveThumbnail(extension, invocation);
        return 0;
    } catch (const UsageError& error) {
        tell(std::string(program) + ": " + error.what() + "\n" + usage(program, extension));
        return 2;
    } catch (const std::exception& error) {
        tell(std::string(program) + ": " + error.what() + "\n");
        return 1;
    }
}

}  // namespace zaro
