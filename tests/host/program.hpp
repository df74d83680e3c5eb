// Starting a built program as a desktop service would, and looking at what it left behind.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <grp.h>

extern char** environ;

namespace zaro::testing {

struct RunOptions {
    std::vector<std::pair<std::string, std::string>> environment;  // set on top of ours
    bool stderrOnTerminal = false;      // standard error is a pseudo-terminal rather than a pipe
    bool unprivileged = false;          // when we are root, run as nobody, who holds no override
};

struct RunResult {
    int exitCode = -1;        // -1 when the program did not exit normally
    std::string out;
    std::string err;          // from a terminal: without the carriage returns it adds
    std::uint64_t bytesRead = 0;  // rchar of /proc/PID/io: all the program read through read(2)
};

inline void drain(int fd, std::string& into, bool& open)
{
    char buffer[65536];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) into.append(buffer, static_cast<std::size_t>(got));
    else if (got == 0 || (errno != EINTR && errno != EAGAIN)) open = false;  // a closed terminal reads EIO
}

inline std::uint64_t readBytesOf(pid_t pid)
{
    std::ifstream io("/proc/" + std::to_string(pid) + "/io");
    for (std::string key; io >> key;) {
        std::uint64_t value = 0;
        io >> value;
        if (key == "rchar:") return value;
    }
    return 0;
}

/// Runs `arguments` (the program first), waits for it, and collects its outputs.
inline RunResult runProgram(const std::vector<std::string>& arguments, const RunOptions& options = {})
{
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        // Under the sanitizers, the list of suppressed library leaks would join the program's stderr.
        if (entry.starts_with("LSAN_OPTIONS=")) entry += ":print_suppressions=0";
        if (std::none_of(options.environment.begin(), options.environment.end(),
                         [&](const auto& kv) { return entry.starts_with(kv.first + "="); }))
            environment.push_back(entry);
    }
    for (const auto& [key, value] : options.environment) environment.push_back(key + "=" + value);
    std::vector<char*> argv;
    std::vector<char*> envp;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 ||
        (options.stderrOnTerminal ? ::openpty(&err[0], &err[1], nullptr, nullptr, nullptr) : ::pipe2(err, O_CLOEXEC)) != 0)
        return {};
    const bool dropPrivileges = options.unprivileged && ::geteuid() == 0;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        if (dropPrivileges) {
            constexpr uid_t nobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0) ::_exit(126);
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    RunResult result;
    bool outOpen = true, errOpen = true;
    while (outOpen || errOpen) {
        pollfd fds[2] = {{outOpen ? out[0] : -1, POLLIN, 0}, {errOpen ? err[0] : -1, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
        if (fds[0].revents) drain(out[0], result.out, outOpen);
        if (fds[1].revents) drain(err[0], result.err, errOpen);
    }
    ::close(out[0]), ::close(err[0]);
    siginfo_t info{};
    ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
    result.bytesRead = readBytesOf(pid);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (options.stderrOnTerminal) std::erase(result.err, '\r');
    return result;
}

/// The names in a folder, sorted.
inline std::vector<std::string> folderEntries(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

inline std::vector<unsigned char> readBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeBytes(const std::filesystem::path& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

/// A fresh folder under the system's temporary folder, removed with everything in it.
class TemporaryFolder {
public:
    TemporaryFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "zaro-test.XXXXXX").string();
        if (::mkdtemp(pattern.data())) path_ = pattern;
        // Readable by anyone but writable only by us, so that a program run as nobody can read here.
        std::filesystem::permissions(path_, std::filesystem::perms(0755));
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    ~TemporaryFolder() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

}  // namespace zaro::testing
