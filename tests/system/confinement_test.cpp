// The confinement a previewer applies to itself: what it refuses, and that a card is still drawn.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <functional>

#include <gtest/gtest.h>

#include "host/output_writer.hpp"
#include "base/sandbox.hpp"
#include "parser/zaro_session_parser.hpp"
#include "render/preview_card.hpp"
#include "support/files.hpp"
#include "support/samples.hpp"

namespace fs = std::filesystem;
using namespace zaro;

namespace {

// Runs `body` in a child process and returns its exit status: sandboxes cannot be lifted, so each
// test confines a process of its own.
int inChild(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) _exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

TEST(Confinement, RefusesWhatAPreviewerNeverDoes)
{
    const support::TemporaryFolder root;
    const fs::path input = root / "session.csv", out = root / "out", elsewhere = root / "elsewhere";
    fs::create_directories(out);
    fs::create_directories(elsewhere);
    support::writeFile(input, support::plainTrack);
    support::writeFile(out / "old.png", "old");
    const posix::FileDescriptor outFolder(::open(out.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    const sandbox::Policy rules =
        sandbox::programPolicy(input, sandbox::WritableFolder{outFolder.get(), sandbox::FolderRights{.make = true}});
    const std::pair<const char*, std::function<bool()>> attempts[] = {
        {"create a file elsewhere", [&] { return ::open((elsewhere / "x").c_str(), O_WRONLY | O_CREAT, 0600) >= 0; }},
        {"remove a file in the output's folder", [&] { return ::unlink((out / "old.png").c_str()) == 0; }},
        {"open the input for writing", [&] { return ::open(input.c_str(), O_WRONLY) >= 0; }},
        {"truncate the input", [&] { return ::truncate(input.c_str(), 0) == 0; }},
        {"read /etc/passwd", [] { return ::open("/etc/passwd", O_RDONLY) >= 0; }},
        {"open an internet socket", [] { return ::socket(AF_INET, SOCK_STREAM, 0) >= 0; }},
        {"start a process", [] {
             const pid_t pid = ::fork();
             if (pid == 0) _exit(0);
             return pid > 0;
         }},
        {"run a program", [] {
             char* const argv[] = {const_cast<char*>("/bin/false"), nullptr};  // which exits 1
             ::execv("/bin/false", argv);
             return false;
         }},
    };
    for (const auto& [what, succeeded] : attempts) {
        const int status = inChild([&] {
            const sandbox::Report report = sandbox::confine(rules);
            if (report.landlockAbi == 0 || !report.systemCalls) return 2;
            return succeeded() ? 1 : 0;
        });
        if (status == 2) GTEST_SKIP() << "this kernel offers no Landlock or seccomp";
        EXPECT_EQ(status, 0) << "the sandbox let the process " << what;
    }
    EXPECT_EQ(support::readFile(input), support::plainTrack);
}

// However the input is reached and whatever cannot be searched, Landlock is applied with the rules
// that could be added: the kernel itself then refuses a file made beside the input. The cards are
// a new file, one replacing an old card and a caller's empty file written in place, each confined to
// the folder rights its writer asks for.
TEST(Confinement, NeverFailsOpenAndStillDrawsTheCard)
{
    const support::TemporaryFolder root;
    fs::permissions(root.path(), fs::perms(0755));
    const fs::path out = root / "out";
    fs::create_directories(out);
    fs::permissions(out, fs::perms::all);
    support::writeFile(root / "session.csv", support::plainTrack);
    fs::permissions(root / "session.csv", fs::perms(0644));
    const fs::path unsearchable = root / "home";
    fs::create_directories(unsearchable / ".fonts");
    fs::permissions(unsearchable, fs::perms::none);
    support::writeFile(out / "card-1.png", "old");
    support::writeFile(out / "card-2.png", "");
    fs::permissions(out / "card-2.png", fs::perms(0666));  // writable by nobody
    enum Input { path, memfd, unsearchableHome };
    for (const Input way : {path, memfd, unsearchableHome}) {
        const int status = inChild([&] {
            fs::path input = root / "session.csv";
            if (way == memfd) {
                const int fd = ::memfd_create("session", 0);
                if (::write(fd, support::plainTrack.data(), support::plainTrack.size()) < 0) return 3;
                input = "/proc/self/fd/" + std::to_string(fd);
            }
            if (way == unsearchableHome) {
                // Root searches any folder; nobody cannot search root's home or one without permissions.
                ::setenv("HOME", ::geteuid() == 0 ? "/root" : unsearchable.c_str(), 1);
                if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 3;
            }
            OutputFile output = OutputFile::open(out / ("card-" + std::to_string(way) + ".png"));
            const sandbox::Report report = sandbox::confine(
                sandbox::programPolicy(input, sandbox::WritableFolder{output.folderDescriptor(), output.folderRights()}));
            if (report.landlockOffered == 0) return 2;
            if (report.lessThanOffered()) return 4;
            if (::open((root / "beside.csv").c_str(), O_WRONLY | O_CREAT, 0600) >= 0 || errno != EACCES) return 5;
            output.write(ZaroSessionPreviewCard::pngData(ZaroSessionParser::parseFile(input)));
            return 0;
        });
        if (status == 2) GTEST_SKIP() << "this kernel offers no Landlock";
        EXPECT_EQ(status, 0) << "input reached by way " << way;
    }
    const std::vector<std::string> cards = {"card-0.png", "card-1.png", "card-2.png"};
    EXPECT_EQ(support::folderEntries(out), cards);
    for (const std::string& card : cards) EXPECT_TRUE(support::readFile(out / card).starts_with("\x89PNG")) << card;
    fs::permissions(unsearchable, fs::perms::owner_all);
}
