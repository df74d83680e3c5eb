#include "desktop/installed_tree.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

namespace zaro::desktop {

namespace fs = std::filesystem;

namespace {

// A pipe end, closed when it goes out of scope.
struct Fd {
    int fd = -1;

    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }

    void reset()
    {
        if (fd >= 0) close(fd);
        fd = -1;
    }
};

struct Pipe {
    Fd read;
    Fd write;
};

bool openPipe(Pipe& pipe)
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return false;
    pipe.read.fd = ends[0];
    pipe.write.fd = ends[1];
    return true;
}

std::vector<char*> pointers(const std::vector<std::string>& strings)
{
    std::vector<char*> out;
    out.reserve(strings.size() + 1);
    for (const std::string& s : strings) out.push_back(const_cast<char*>(s.c_str()));
    out.push_back(nullptr);
    return out;
}

struct SpawnActions {
    posix_spawn_file_actions_t actions;
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
};

// Reads both pipes to their end, so a chatty program never blocks on a full pipe; false on the deadline.
bool drain(Pipe& out, Pipe& err, std::string& outText, std::string& errText,
           std::chrono::steady_clock::time_point deadline)
{
    while (out.read.fd >= 0 || err.read.fd >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd fds[2] = {{out.read.fd, POLLIN, 0}, {err.read.fd, POLLIN, 0}};
        if (poll(fds, 2, static_cast<int>(left.count())) < 0) return false;
        Pipe* pipes[2] = {&out, &err};
        std::string* texts[2] = {&outText, &errText};
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char chunk[65536];
            const ssize_t n = ::read(fds[i].fd, chunk, sizeof chunk);
            if (n > 0) texts[i]->append(chunk, static_cast<std::size_t>(n));
            else pipes[i]->read.reset();
        }
    }
    return true;
}

}  // namespace

Exit run(const std::vector<std::string>& argv, const std::vector<std::string>& environment)
{
    Exit result;
    Pipe out, err;
    if (argv.empty() || !openPipe(out) || !openPipe(err)) return result;

    SpawnActions spawn;
    posix_spawn_file_actions_addopen(&spawn.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&spawn.actions, out.write.fd, 1);
    posix_spawn_file_actions_adddup2(&spawn.actions, err.write.fd, 2);
    const std::vector<char*> args = pointers(argv);
    const std::vector<char*> env = pointers(environment);
    pid_t pid = 0;
    if (const int error = posix_spawn(&pid, args[0], &spawn.actions, nullptr, args.data(), env.data())) {
        result.err = "cannot start " + argv[0] + ": " + std::generic_category().message(error);
        return result;
    }
    out.write.reset();
    err.write.reset();

    const bool finished =
        drain(out, err, result.out, result.err, std::chrono::steady_clock::now() + std::chrono::minutes(1));
    if (!finished) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (finished && WIFEXITED(status)) result.code = WEXITSTATUS(status);
    if (!finished) result.err += "\n(killed after a minute)";
    return result;
}

fs::path findOnPath(std::string_view name)
{
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty()) continue;
        const fs::path candidate = fs::path(dir) / name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

ScratchDir::ScratchDir()
{
    std::string pattern = (fs::temp_directory_path() / "zaro-desktop-test-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
}

ScratchDir::~ScratchDir()
{
    if (path_.empty()) return;
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

Exit installInto(const fs::path& prefix)
{
    return run({ZARO_CMAKE_COMMAND, "--install", ZARO_BUILD_DIR, "--prefix", prefix.string()},
               {"PATH=/usr/bin:/bin", "LANG=C.UTF-8"});
}

fs::path binDir(const fs::path& prefix) { return prefix / ZARO_INSTALL_BINDIR; }

fs::path dataDir(const fs::path& prefix) { return prefix / ZARO_INSTALL_DATADIR; }

ThumbnailerEntry readThumbnailerEntry(const fs::path& file)
{
    ThumbnailerEntry entry;
    std::istringstream lines(readFile(file));
    std::string line;
    bool inGroup = false;
    while (std::getline(lines, line)) {
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            inGroup = line == "[Thumbnailer Entry]";
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inGroup || equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        if (key == "TryExec") entry.tryExec = value;
        if (key == "Exec") entry.exec = value;
        if (key == "MimeType") {
            std::istringstream types(value);
            std::string type;
            while (std::getline(types, type, ';')) {
                if (!type.empty()) entry.mimeTypes.push_back(type);
            }
        }
    }
    return entry;
}

std::vector<std::string> expandExec(std::string_view exec, int size, const std::string& inputPath,
                                    const std::string& outputPath)
{
    std::vector<std::string> words;
    std::istringstream split{std::string(exec)};
    std::string word;
    while (split >> word) {
        std::string expanded;
        for (std::size_t i = 0; i < word.size(); ++i) {
            if (word[i] != '%' || i + 1 == word.size()) {
                expanded += word[i];
                continue;
            }
            switch (word[++i]) {
            case 's': expanded += std::to_string(size); break;
            case 'u': expanded += "file://" + inputPath; break;
            case 'i': expanded += inputPath; break;
            case 'o': expanded += outputPath; break;
            case '%': expanded += '%'; break;
            default: break;
            }
        }
        words.push_back(expanded);
    }
    return words;
}

std::string readFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> namesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace zaro::desktop
