#include "host/output_writer.hpp"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
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

void writeAndSync(int fd, std::span<const unsigned char> bytes)
{
    posix::writeAll(fd, bytes);
    if (::fsync(fd) != 0) posix::throwSystemError();
}

// Holds back the signals that end a process by default for the few calls that publish a file, so
// that only SIGKILL can come between giving the file a temporary name and renaming it.
class DeferredTermination {
public:
    DeferredTermination()
    {
        sigset_t blocked;
        sigemptyset(&blocked);
        for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2, SIGXFSZ}) {
            sigaddset(&blocked, signal);
        }
        pthread_sigmask(SIG_BLOCK, &blocked, &previous_);
    }
    DeferredTermination(const DeferredTermination&) = delete;
    DeferredTermination& operator=(const DeferredTermination&) = delete;
    ~DeferredTermination() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

private:
    sigset_t previous_;
};

// A name of its own length whatever the output's name is: a name near the longest a folder takes
// leaves no room for a prefix and a suffix.
std::filesystem::path temporaryPath(const std::filesystem::path& path)
{
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device device;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof letters - 2);
    std::string name = ".zaro-session-";
    for (int i = 0; i < 6; ++i) name += letters[pick(device)];
    return folderOf(path) / name;
}

// Names an unnamed file: straight to `path` when that is free, which cannot leave anything behind,
// else through a temporary name and a rename over the existing file.
void publish(int fd, const std::filesystem::path& path)
{
    const std::string procPath = "/proc/self/fd/" + std::to_string(fd);
    const DeferredTermination deferred;
    if (::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return;
    if (errno != EEXIST) posix::throwSystemError();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path temporary = temporaryPath(path);
        if (::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            if (errno == EEXIST) continue;
            posix::throwSystemError();
        }
        if (::rename(temporary.c_str(), path.c_str()) != 0) {
            const int error = errno;
            ::unlink(temporary.c_str());
            posix::throwSystemError(error);
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

}  // namespace

OutputFile OutputFile::open(const std::filesystem::path& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        // Said before anything is made: a confined process would otherwise only learn that it may not
        // replace the folder.
        if (S_ISDIR(status.st_mode)) posix::throwSystemError(EISDIR);
        if (!S_ISREG(status.st_mode)) {
            throw OutputError(path.string() + ": Not a regular file (write to standard output with - instead)");
        }
        if (status.st_size == 0) {
            posix::FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
            struct stat opened {};
            if (file && ::fstat(file.get(), &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_size == 0) {
                return OutputFile(path, std::move(file), true, {});
            }
        }
    }
    // A name is given to a new file, and an existing file is replaced by a rename, which takes its
    // name away; linking needs /proc, without which an unnamed file could never get a name.
    const bool replaces = ::access(path.c_str(), F_OK) == 0;
    posix::FileDescriptor unnamed;
    if (::access("/proc/self/fd", X_OK) == 0) {
        unnamed = posix::FileDescriptor(::open(folderOf(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
        if (!unnamed && !unnamedFilesUnsupported(errno)) posix::throwSystemError();
    }
    if (!unnamed) return OutputFile(path, {}, false, {.make = true, .write = true, .remove = true});
    return OutputFile(path, std::move(unnamed), false, {.make = true, .write = false, .remove = replaces});
}

OutputFile::OutputFile(std::filesystem::path path, posix::FileDescriptor file, bool inPlace, sandbox::FolderRights rights)
    : path_(std::move(path)), file_(std::move(file)), inPlace_(inPlace), rights_(rights)
{
}

std::filesystem::path OutputFile::folder() const { return std::filesystem::absolute(folderOf(path_)); }

void OutputFile::write(std::span<const unsigned char> bytes)
{
    if (!file_) return writeThroughNamedTemporary(path_, bytes);
    writeAndSync(file_.get(), bytes);
    if (!inPlace_) publish(file_.get(), path_);
}

void writeThroughNamedTemporary(const std::filesystem::path& path, std::span<const unsigned char> bytes)
{
    // Created with the usual mode, so that the umask applies and no mode change is needed later.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path temporary = temporaryPath(path);
        const posix::FileDescriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (file.get() < 0) {
            if (errno == EEXIST) continue;
            posix::throwSystemError();
        }
        try {
            writeAndSync(file.get(), bytes);
            const DeferredTermination deferred;
            if (::rename(temporary.c_str(), path.c_str()) != 0) posix::throwSystemError();
        } catch (...) {
            ::unlink(temporary.c_str());
            throw;
        }
        return;
    }
    posix::throwSystemError(EEXIST);
}

}  // namespace zaro
