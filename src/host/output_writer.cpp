#include "host/output_writer.hpp"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

#include "base/posix_file.hpp"

namespace zaro {

namespace {

std::filesystem::path folderOf(const std::filesystem::path& path)
{
    std::filesystem::path folder = path.parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}



constexpr int endingSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2, SIGXFSZ};

volatile std::sig_atomic_t deferredSignal = 0;

extern "C" void deferSignal(int signal) { deferredSignal = signal; }

// Holds back the signals that end a process by default while a file has a temporary name, so that
// only SIGKILL can come between giving it that name and renaming or removing it. A signal sent to the
// process may reach any of its threads, so the signals are caught process-wide and the first one is
// raised again once the name is settled; those that are ignored or handled already stay as they are.
class DeferredTermination {
public:
    DeferredTermination()
    {
        deferredSignal = 0;
        struct sigaction deferring {};
        deferring.sa_handler = deferSignal;
        deferring.sa_flags = SA_RESTART;
        sigfillset(&deferring.sa_mask);
        for (std::size_t i = 0; i < std::size(endingSignals); ++i) {
            struct sigaction current {};
            replaced_[i] = ::sigaction(endingSignals[i], nullptr, &current) == 0 && current.sa_handler == SIG_DFL
                        && ::sigaction(endingSignals[i], &deferring, &previous_[i]) == 0;
        }
    }
    DeferredTermination(const DeferredTermination&) = delete;
    DeferredTermination& operator=(const DeferredTermination&) = delete;
    ~DeferredTermination()
    {
        for (std::size_t i = 0; i < std::size(endingSignals); ++i) {
            if (replaced_[i]) ::sigaction(endingSignals[i], &previous_[i], nullptr);
        }
        if (const int signal = deferredSignal) ::raise(signal);
    }

private:
    struct sigaction previous_[std::size(endingSignals)] {};
    bool replaced_[std::size(endingSignals)] {};
};

// A name of its own length whatever the output's name is: a name near the longest a folder takes
// leaves no room for a prefix and a suffix.
std::string temporaryName()
{
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device device;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof letters - 2);
    std::string name = ".zaro-session-";
    for (int i = 0; i < 6; ++i) name += letters[pick(device)];
    return name;
}

std::string procPathOf(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// Names an unnamed file: straight to `name` when that is free, which cannot leave anything behind,
// else through a temporary name and a rename over whatever has the name now: the old output, a link
// that leads nowhere, or a file another writer made since the output was opened.
void publish(int fd, int folder, const std::string& name)
{
    const std::string procPath = procPathOf(fd);
    const DeferredTermination deferred;
    if (::linkat(AT_FDCWD, procPath.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return;
    if (errno != EEXIST) posix::throwSystemError();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary = temporaryName();
        if (::linkat(AT_FDCWD, procPath.c_str(), folder, temporary.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            if (errno == EEXIST) continue;
            posix::throwSystemError();
        }
        if (::renameat(folder, temporary.c_str(), folder, name.c_str()) != 0) {
            const int error = errno;
            ::unlinkat(folder, temporary.c_str(), 0);
            posix::throwSystemError(error);
        }
        return;
    }
    posix::throwSystemError(EEXIST);
}

// Made with the usual mode, so that the umask applies and no mode change is needed later. The
// signals that end a process wait until the file has its name or is gone again.
void writeNamedTemporary(int folder, const std::string& name, std::span<const unsigned char> bytes)
{
    const DeferredTermination deferred;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary = temporaryName();
        const posix::FileDescriptor file(
            ::openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
        if (!file) {
            if (errno == EEXIST) continue;
            posix::throwSystemError();
        }
        try {
            posix::writeAll(file.get(), bytes);
            if (::renameat(folder, temporary.c_str(), folder, name.c_str()) != 0) posix::throwSystemError();
        } catch (...) {
            ::unlinkat(folder, temporary.c_str(), 0);
            throw;
        }
        return;
    }
    posix::throwSystemError(EEXIST);
}

bool unnamedFilesUnsupported(int error)
{
    // EISDIR: kernels without O_TMPFILE read it as O_DIRECTORY; the others: file systems without it.
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOSYS;
}

posix::FileDescriptor openFolder(const std::filesystem::path& path)
{
    posix::FileDescriptor folder(::open(folderOf(path).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder) posix::throwSystemError();
    return folder;
}

// The name the output takes in its folder; a path that ends in a folder ("out/", "..") names no file.
std::string outputName(const std::filesystem::path& path)
{
    const std::string name = path.filename().string();
    if (name.empty() || name == "." || name == "..") posix::throwSystemError(EISDIR);
    return name;
}

// The caller's empty file, opened for writing: the very file `existing` is, reopened through /proc,
// else by its name and kept only when it is still that file.
posix::FileDescriptor reopenForWriting(int existing, const struct stat& status, int folder, const std::string& name)
{
    constexpr int flags = O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    posix::FileDescriptor file(::open(procPathOf(existing).c_str(), flags));
    if (!file) file = posix::FileDescriptor(::openat(folder, name.c_str(), flags));
    struct stat opened {};
    if (!file || ::fstat(file.get(), &opened) != 0 || opened.st_dev != status.st_dev || opened.st_ino != status.st_ino
        || opened.st_size != 0) {
        return {};
    }
    return file;
}

}  // namespace

OutputFile OutputFile::open(const std::filesystem::path& path)
{
    posix::FileDescriptor folder = openFolder(path);
    const std::string name = outputName(path);
    const posix::FileDescriptor existing(::openat(folder.get(), name.c_str(), O_PATH | O_CLOEXEC));
    if (existing) {
        struct stat status {};
        if (::fstat(existing.get(), &status) != 0) posix::throwSystemError();
        // Said before anything is made: a confined process would otherwise only learn that it may not
        // replace the folder.
        if (S_ISDIR(status.st_mode)) posix::throwSystemError(EISDIR);
        if (!S_ISREG(status.st_mode)) {
            throw OutputError(path.string() + ": Not a regular file (write to standard output with - instead)");
        }
        if (status.st_size == 0) {
            if (posix::FileDescriptor file = reopenForWriting(existing.get(), status, folder.get(), name)) {
                return OutputFile(std::move(folder), name, std::move(file), Way::inPlace, {});
            }
        }
    } else if (errno != ENOENT && errno != ELOOP) {
        // ENOENT: nothing, or a symbolic link that leads nowhere; ELOOP: a link in a loop. Such a link
        // is replaced itself, as `mv` does.
        posix::throwSystemError();
    }
    // The unnamed file takes the name by a link when the name is free, else by a rename over what has
    // it by then, which takes that name away: both rights are kept whether or not a file is there
    // now, so that another writer making the output meanwhile cannot make this one fail. Linking
    // needs /proc, without which an unnamed file could never get a name.
    posix::FileDescriptor unnamed;
    if (::access("/proc/self/fd", X_OK) == 0) {
        unnamed = posix::FileDescriptor(::openat(folder.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
        if (!unnamed && !unnamedFilesUnsupported(errno)) posix::throwSystemError();
    }
    if (!unnamed) {
        return OutputFile(std::move(folder), name, {}, Way::namedTemporary, {.make = true, .write = true, .remove = true});
    }
    return OutputFile(std::move(folder), name, std::move(unnamed), Way::unnamed, {.make = true, .write = false, .remove = true});
}

OutputFile::OutputFile(posix::FileDescriptor folder, std::string name, posix::FileDescriptor file, Way way,
                       sandbox::FolderRights rights)
    : folder_(std::move(folder)), name_(std::move(name)), file_(std::move(file)), way_(way), rights_(rights)
{
}

void OutputFile::write(std::span<const unsigned char> bytes)
{
    switch (way_) {
    case Way::namedTemporary: return writeNamedTemporary(folder_.get(), name_, bytes);
    case Way::inPlace: return posix::writeAll(file_.get(), bytes);
    case Way::unnamed:
        posix::writeAll(file_.get(), bytes);
        publish(file_.get(), folder_.get(), name_);
        return;
    }
}

void writeThroughNamedTemporary(const std::filesystem::path& path, std::span<const unsigned char> bytes)
{
    const posix::FileDescriptor folder = openFolder(path);
    writeNamedTemporary(folder.get(), outputName(path), bytes);
}

}  // namespace zaro
