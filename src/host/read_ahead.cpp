#include "host/read_ahead.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string_view>

#include "base/sandbox.hpp"
#include "host/service.hpp"

namespace zaro {

namespace {

// The child's reply: one byte for whether it did the work, then the result's length and the result.
constexpr char didWork = 'D';
constexpr char didNothing = 'N';
constexpr std::size_t lengthBytes = sizeof(std::uint64_t);
// A session packed from the largest file a preview reads takes about twice the file's bytes.
constexpr std::uint64_t maxResultBytes = std::uint64_t{1} << 30;

// A file the work reads mapped that shrinks meanwhile raises SIGBUS: the child ends without a word,
// and its parent says the reading ended early. No core is left behind.
void endOnBusError(int)
{
    ::_exit(2);
}

[[noreturn]] void runChild(const std::filesystem::path& input, const ReadAhead::Work& work, int reply, pid_t parent)
{
    // A parent that is gone has no use for the work.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(0);
    struct sigaction busError {};
    busError.sa_handler = endOnBusError;
    ::sigaction(SIGBUS, &busError, nullptr);
    std::string result;
    char outcome = didNothing;
    try {
        // The file is not opened before the child is confined; a child that cannot be leaves the work
        // to its parent, which confines itself before it does it.
        const sandbox::Report report = sandbox::confine(sandbox::programPolicy(input, std::nullopt));
        if (report.exhausted.empty()) {
            result = work(input);
            outcome = didWork;
        }
    } catch (...) {
        result.clear();
        outcome = didNothing;
    }
    try {
        char head[1 + lengthBytes];
        head[0] = outcome;
        const auto length = static_cast<std::uint64_t>(result.size());
        std::memcpy(head + 1, &length, lengthBytes);
        posix::writeAll(reply, std::string_view(head, sizeof head));
        posix::writeAll(reply, result);
    } catch (...) {
        ::_exit(1);
    }
    ::_exit(0);
}

}  // namespace

std::unique_ptr<ReadAhead> ReadAhead::start(const std::filesystem::path& input, const Work& work)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return nullptr;
    posix::FileDescriptor results(ends[0]);
    posix::FileDescriptor reply(ends[1]);
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child < 0) return nullptr;
    if (child == 0) runChild(input, work, reply.get(), parent);
    reply = posix::FileDescriptor();
    return std::unique_ptr<ReadAhead>(new ReadAhead(child, std::move(results)));
}

// A child that has handed its work over, or ended trying, is reaped; one still at work is not waited for.
ReadAhead::~ReadAhead()
{
    if (!taken_) return;
    int status = 0;
    while (::waitpid(child_, &status, 0) < 0 && errno == EINTR) {
    }
}

std::optional<std::string> ReadAhead::take()
{
    if (!results_) throw ServiceError("The file's reading was already taken.");
    const posix::FileDescriptor results = std::move(results_);
    // The child ends once it has written its last byte; it is reaped later, so that its ending (the
    // mapping of a large file given back) is not waited for here.
    taken_ = true;
    const auto endedEarly = [] { return ServiceError("The file could not be read: the process reading it ended early."); };

    char head[1 + lengthBytes];
    if (posix::readInto(results.get(), head, sizeof head) != sizeof head) throw endedEarly();
    std::uint64_t length = 0;
    std::memcpy(&length, head + 1, lengthBytes);
    if ((head[0] != didWork && head[0] != didNothing) || length > maxResultBytes) {
        throw ServiceError("The file's reading came back damaged.");
    }
    // Room grows with what comes, not with what the length claims.
    std::string result;
    posix::appendPrefix(results.get(), result, static_cast<std::size_t>(length));
    if (result.size() != length) throw endedEarly();
    if (head[0] == didNothing) return std::nullopt;
    return result;
}

}  // namespace zaro
