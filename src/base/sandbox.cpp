#include "base/sandbox.hpp"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <linux/landlock.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "base/bundle.hpp"
#include "base/c_handle.hpp"
#include "base/posix_file.hpp"

#if defined(__SANITIZE_ADDRESS__)
#define ZARO_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZARO_LEAK_CHECKED 1
#endif
#endif

#ifdef ZARO_LEAK_CHECKED
#include <atomic>

namespace {
std::atomic<bool> processConfined{false};
}  // namespace

// In sanitizer builds the leak checker inspects the process at exit from a helper process that
// traces it; a confined process may do neither, so it is not leak-checked (its code is, in the tests).
extern "C" int __lsan_is_turned_off()
{
    return processConfined.load() ? 1 : 0;
}
#endif

namespace zaro::sandbox {

namespace fs = std::filesystem;

namespace {

// Rights of later Landlock versions, for kernel headers that predate them.
constexpr std::uint64_t accessFsTruncate = 1ULL << 14;   // version 3
constexpr std::uint64_t accessFsIoctlDev = 1ULL << 15;   // version 5
constexpr std::uint64_t accessNetBindTcp = 1ULL << 0;    // version 4
constexpr std::uint64_t accessNetConnectTcp = 1ULL << 1; // version 4
constexpr std::uint64_t scopeAbstractUnixSocket = 1ULL << 0;  // version 6
constexpr std::uint64_t scopeSignal = 1ULL << 1;              // version 6

// The ruleset attribute as version 6 knows it; older kernels are handed only its leading fields.
struct RulesetAttr {
    std::uint64_t handledAccessFs;
    std::uint64_t handledAccessNet;
    std::uint64_t scoped;
};

struct PathBeneathAttr {
    std::uint64_t allowedAccess;
    std::int32_t parentFd;
} __attribute__((packed));

constexpr std::uint64_t readRights = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;
constexpr std::uint64_t fileRights =
    LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_READ_FILE | accessFsTruncate | accessFsIoctlDev;

std::uint64_t fsRightsOf(int abi)
{
    std::uint64_t rights = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_READ_FILE
        | LANDLOCK_ACCESS_FS_READ_DIR | LANDLOCK_ACCESS_FS_REMOVE_DIR | LANDLOCK_ACCESS_FS_REMOVE_FILE
        | LANDLOCK_ACCESS_FS_MAKE_CHAR | LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG
        | LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO | LANDLOCK_ACCESS_FS_MAKE_BLOCK
        | LANDLOCK_ACCESS_FS_MAKE_SYM;
    if (abi >= 2) rights |= LANDLOCK_ACCESS_FS_REFER;
    if (abi >= 3) rights |= accessFsTruncate;
    if (abi >= 5) rights |= accessFsIoctlDev;
    return rights;
}

std::string systemError(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

// Grants `rights` beneath `path` (only the file rights when it is a file). The rule names what the
// path leads to now, through a descriptor, so a path changed later reaches nothing new. A path that
// cannot be opened or named grants nothing and is reported.
bool allowBeneath(int ruleset, int fd, std::uint64_t rights)
{
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0) return false;
    if (!S_ISDIR(status.st_mode)) rights &= fileRights;
    PathBeneathAttr rule{rights, fd};
    return ::syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) == 0;
}

void allow(int ruleset, const fs::path& path, std::uint64_t rights, Report& report)
{
    const posix::FileDescriptor fd(::open(path.c_str(), O_PATH | O_CLOEXEC));
    if (fd && allowBeneath(ruleset, fd.get(), rights)) return;
    if (errno == EMFILE || errno == ENFILE || errno == ENOMEM) {
        if (report.exhausted.empty()) report.exhausted = systemError(path.c_str());
        return;
    }
    // A missing font folder is the usual case and says nothing about the confinement.
    if (errno != ENOENT && errno != ENOTDIR) report.skippedRules.push_back(systemError(path.c_str()));
}

// The rights the writer needs in the output's folder, and no others: no truncation (it never
// shrinks a file), no folders, links or special files.
std::uint64_t writeRights(const FolderRights& needed)
{
    std::uint64_t rights = 0;
    // Linking the finished unnamed file under the output's name, or creating a named temporary one.
    if (needed.make) rights |= LANDLOCK_ACCESS_FS_MAKE_REG;
    // Opening that named temporary file for writing; an unnamed file is opened before confinement.
    if (needed.write) rights |= LANDLOCK_ACCESS_FS_WRITE_FILE;
    // Renaming the new file over the old output, or removing a named temporary file after a failure.
    if (needed.remove) rights |= LANDLOCK_ACCESS_FS_REMOVE_FILE;
    return rights;
}

void applyLandlock(const Policy& policy, Report& report)
{
    const long abi = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1) return;  // the kernel offers none
    report.landlockOffered = static_cast<int>(abi);
    const int version = report.landlockOffered;
    const std::uint64_t handled = fsRightsOf(version);
    RulesetAttr attr{handled, 0, 0};
    std::size_t attrSize = sizeof attr.handledAccessFs;
    if (version >= 4) {
        // No TCP rule follows: binding and connecting are refused outright.
        attr.handledAccessNet = accessNetBindTcp | accessNetConnectTcp;
        attrSize += sizeof attr.handledAccessNet;
    }
    if (version >= 6) {
        attr.scoped = scopeAbstractUnixSocket | scopeSignal;
        attrSize += sizeof attr.scoped;
    }
    const posix::FileDescriptor ruleset(static_cast<int>(::syscall(SYS_landlock_create_ruleset, &attr, attrSize, 0)));
    if (!ruleset) {
        report.error = systemError("landlock_create_ruleset");
        return;
    }
    for (const fs::path& path : policy.readable) allow(ruleset.get(), path, readRights & handled, report);
    if (policy.writable) {
        const std::uint64_t granted = writeRights(policy.writable->rights) & handled;
        if (granted && !allowBeneath(ruleset.get(), policy.writable->descriptor, granted)) {
            report.skippedRules.push_back(systemError("the output's folder"));
        }
    }
    if (!report.exhausted.empty()) return;
    if (::syscall(SYS_landlock_restrict_self, ruleset.get(), 0) != 0) {
        report.error = systemError("landlock_restrict_self");
        return;
    }
    report.landlockAbi = version;
}

bool applySeccomp()
{
    const CHandle<void, seccomp_release> filter(seccomp_init(SCMP_ACT_ALLOW));
    if (!filter) return false;
    scmp_filter_ctx ctx = filter.get();
    const auto refuse = [ctx](int call) { return seccomp_rule_add(ctx, SCMP_ACT_ERRNO(EPERM), call, 0) == 0; };
    bool ok = true;
    // Local sockets stay: syslog(3) writes to /dev/log through one.
    ok &= seccomp_rule_add(ctx, SCMP_ACT_ERRNO(EACCES), SCMP_SYS(socket), 1, SCMP_A0(SCMP_CMP_NE, AF_UNIX)) == 0;
    ok &= seccomp_rule_add(ctx, SCMP_ACT_ERRNO(EACCES), SCMP_SYS(socketpair), 1, SCMP_A0(SCMP_CMP_NE, AF_UNIX)) == 0;
    // Threads may still be made; processes may not. clone3 passes its flags in memory that a filter
    // cannot read, so it reports itself missing and the C library falls back to clone.
    ok &= seccomp_rule_add(ctx, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(clone), 1,
                           SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0)) == 0;
    ok &= seccomp_rule_add(ctx, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0) == 0;
    for (const int call : {SCMP_SYS(fork), SCMP_SYS(vfork), SCMP_SYS(execve), SCMP_SYS(execveat),
                           SCMP_SYS(truncate), SCMP_SYS(ftruncate), SCMP_SYS(ptrace), SCMP_SYS(process_vm_readv),
                           SCMP_SYS(process_vm_writev), SCMP_SYS(mount), SCMP_SYS(umount2), SCMP_SYS(pivot_root),
                           SCMP_SYS(chroot), SCMP_SYS(unshare), SCMP_SYS(setns), SCMP_SYS(bpf), SCMP_SYS(perf_event_open),
                           SCMP_SYS(keyctl), SCMP_SYS(add_key), SCMP_SYS(request_key), SCMP_SYS(init_module),
                           SCMP_SYS(finit_module), SCMP_SYS(delete_module), SCMP_SYS(kexec_load),
                           SCMP_SYS(kexec_file_load), SCMP_SYS(reboot), SCMP_SYS(swapon), SCMP_SYS(swapoff),
                           SCMP_SYS(userfaultfd), SCMP_SYS(io_uring_setup), SCMP_SYS(personality),
                           SCMP_SYS(chmod), SCMP_SYS(fchmod), SCMP_SYS(fchmodat), SCMP_SYS(chown), SCMP_SYS(fchown),
                           SCMP_SYS(fchownat), SCMP_SYS(lchown)}) {
        ok &= refuse(call);
    }
    return ok && seccomp_load(ctx) == 0;
}

}  // namespace

std::vector<fs::path> systemReadable()
{
    std::vector<fs::path> paths = {
        "/usr/lib", "/usr/lib64", "/usr/lib32", "/lib", "/lib64",     // libraries and locale data
        "/usr/share/fonts", "/usr/local/share/fonts", "/usr/share/fontconfig",
        "/etc/fonts", "/var/cache/fontconfig",
        "/etc/localtime", "/usr/share/zoneinfo",                       // the system log's time stamps
    };
    if (const char* home = std::getenv("HOME"); home && *home) {
        paths.push_back(fs::path(home) / ".local/share/fonts");
        paths.push_back(fs::path(home) / ".fonts");
        paths.push_back(fs::path(home) / ".cache/fontconfig");
    }
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache) paths.push_back(fs::path(cache) / "fontconfig");
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) paths.push_back(fs::path(data) / "fonts");
    return paths;
}

Policy programPolicy(const fs::path& input, const std::optional<WritableFolder>& output)
{
    Policy policy{systemReadable(), output};
    policy.readable.push_back(input);
    const Bundle bundle = Bundle::main();
    if (bundle.resourceDirectory()) policy.readable.push_back(*bundle.resourceDirectory());
    return policy;
}

Report confine(const Policy& policy)
{
    Report report;
    // Both mechanisms need it, and it keeps set-user-ID programs from lifting the confinement.
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        report.error = systemError("PR_SET_NO_NEW_PRIVS");
        return report;
    }
    applyLandlock(policy, report);
    if (!report.exhausted.empty()) return report;
    report.systemCalls = applySeccomp();
    if (!report.systemCalls && report.error.empty()) report.error = "the seccomp filter could not be installed";
#ifdef ZARO_LEAK_CHECKED
    processConfined = true;
#endif
    return report;
}

}  // namespace zaro::sandbox
