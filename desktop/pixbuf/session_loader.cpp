// The GdkPixbuf loader of session files: any program that loads pictures through GdkPixbuf (GNOME's
// space-bar previewer, image viewers) gets the summary card, or the error card, as a 1680 x 1440 picture.
//
// Nothing is parsed in the host's process. The bytes the loader is given go into a memfd, and the
// installed, confined `zaro-session-preview --name NAME /proc/self/fd/3 -` draws the card from it; its PNG
// is decoded by GdkPixbuf's own PNG loader. A program that is missing, fails or runs past the time limit
// becomes a GError with its message: the host is never kept waiting long and never brought down.
// The module's side of GdkPixbuf (GdkPixbufModule and its functions) is declared only for backends.
#define GDK_PIXBUF_ENABLE_BACKEND
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "loader_config.hpp"

namespace {

// The preview refuses files above 64 MiB; one byte more than that is enough for it to say so.
constexpr std::size_t maxInputBytes = (std::size_t{64} << 20) + 1;
// A card is a few hundred KB; anything far larger is no card of ours.
constexpr std::size_t maxOutputBytes = std::size_t{64} << 20;
constexpr int defaultTimeoutMs = 20000;

void fail(GError** error, const std::string& message)
{
    g_set_error_literal(error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_FAILED, message.c_str());
}

// zaro-session-preview beside this module's prefix: the module lies in PREFIX/<libdir>/.../loaders and
// the program in PREFIX/bin, whatever PREFIX is.
std::string previewProgram()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&previewProgram), &info) == 0 || !info.dli_fname) {
        return zaro::loader::installedPreview;
    }
    std::string folder = info.dli_fname;
    folder.erase(folder.rfind('/') + 1);
    return folder + zaro::loader::previewFromModule;
}

int timeoutMs()
{
    const char* given = std::getenv("ZARO_SESSION_LOADER_TIMEOUT_MS");
    const long value = given ? std::strtol(given, nullptr, 10) : 0;
    return value > 0 && value < 600000 ? static_cast<int>(value) : defaultTimeoutMs;
}

// The file an open descriptor names, without its folder; none for a pipe, a socket or a memfd.
std::optional<std::string> fileNameOf(int fd)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[4096];
    const ssize_t length = ::readlink(link, target, sizeof target - 1);
    if (length <= 0 || target[0] != '/') return std::nullopt;
    std::string path(target, static_cast<std::size_t>(length));
    if (path.ends_with(" (deleted)")) path.resize(path.size() - 10);
    std::string name = path.substr(path.rfind('/') + 1);
    if (name.empty()) return std::nullopt;
    return name;
}

long long nowMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

// The last line the program wrote on standard error that says something.
std::string lastLine(const std::string& text)
{
    std::size_t end = text.find_last_not_of("\n\r\t ");
    if (end == std::string::npos) return {};
    const std::size_t start = text.rfind('\n', end);
    const std::size_t first = start == std::string::npos ? 0 : start + 1;
    return text.substr(first, end - first + 1);
}

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(); }
    int get() const { return fd_; }
    void reset()
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

bool writeAll(int fd, const unsigned char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Runs the preview on `input` (a memfd) and returns its PNG, or sets `error` and returns nothing.
std::optional<std::string> runPreview(int input, const std::optional<std::string>& name, GError** error)
{
    const std::string program = previewProgram();
    std::vector<std::string> words{program};
    words.push_back("--name");
    words.push_back(name.value_or(""));
    words.push_back("/proc/self/fd/3");
    words.push_back("-");
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    const gint sourceFds[] = {input};
    const gint targetFds[] = {3};
    GPid pid = 0;
    gint outFd = -1, errFd = -1;
    GError* spawnError = nullptr;
    const auto flags = static_cast<GSpawnFlags>(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDIN_FROM_DEV_NULL);
    if (!g_spawn_async_with_pipes_and_fds(nullptr, argv.data(), nullptr, flags, nullptr, nullptr, -1, -1, -1,
                                          sourceFds, targetFds, 1, &pid, nullptr, &outFd, &errFd, &spawnError)) {
        fail(error, "zaro-session-preview could not be started: " + std::string(spawnError->message));
        g_error_free(spawnError);
        return std::nullopt;
    }
    Descriptor out(outFd), err(errFd);
    std::string png, message;
    bool timedOut = false, tooLarge = false;
    const long long deadline = nowMs() + timeoutMs();
    while (out.get() >= 0 || err.get() >= 0) {
        const long long left = deadline - nowMs();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd fds[2] = {{out.get(), POLLIN, 0}, {err.get(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) {
            timedOut = true;  // nothing more can be waited for: stopped like a program that hangs
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char chunk[65536];
            const ssize_t got = ::read(fds[i].fd, chunk, sizeof chunk);
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (got <= 0) {
                (i == 0 ? out : err).reset();
                continue;
            }
            std::string& into = i == 0 ? png : message;
            into.append(chunk, static_cast<std::size_t>(got));
            if (i == 1 && message.size() > 65536) message.erase(0, message.size() - 65536);
            if (png.size() > maxOutputBytes) tooLarge = true;
        }
        if (tooLarge) break;
    }
    if (timedOut || tooLarge) ::kill(pid, SIGKILL);
    // The pipes closed, but the program may not have ended: it too is waited for only until the
    // deadline, and then stopped, so that the host never hangs.
    int status = 0;
    pid_t waited = 0;
    while ((waited = ::waitpid(pid, &status, WNOHANG)) == 0 && !timedOut) {
        if (nowMs() >= deadline) {
            timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        ::usleep(1000);
    }
    if (waited == 0 || (waited < 0 && errno == EINTR)) {
        do {
            waited = ::waitpid(pid, &status, 0);
        } while (waited < 0 && errno == EINTR);
    }
    g_spawn_close_pid(pid);
    if (timedOut) {
        fail(error, "zaro-session-preview did not finish within " + std::to_string(timeoutMs() / 1000.0).substr(0, 4)
                        + " s and was stopped");
        return std::nullopt;
    }
    if (tooLarge) {
        fail(error, "zaro-session-preview wrote more than a card");
        return std::nullopt;
    }
    // A host that ignores SIGCHLD has its children reaped for it: then the picture is the judge.
    const bool exited = waited == pid ? WIFEXITED(status) && WEXITSTATUS(status) == 0 : !png.empty();
    if (!exited || png.empty()) {
        std::string reason = lastLine(message);
        if (reason.empty()) {
            reason = WIFSIGNALED(status)
                       ? "zaro-session-preview was ended by signal " + std::to_string(WTERMSIG(status))
                       : "zaro-session-preview drew no card";
        }
        fail(error, reason);
        return std::nullopt;
    }
    return png;
}

GdkPixbuf* decodePng(const std::string& png, GError** error)
{
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", error);
    if (!loader) return nullptr;
    const auto* bytes = reinterpret_cast<const guchar*>(png.data());
    const bool written = gdk_pixbuf_loader_write(loader, bytes, png.size(), error);
    const bool closed = gdk_pixbuf_loader_close(loader, written ? error : nullptr);
    GdkPixbuf* pixbuf = written && closed ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
    if (pixbuf) g_object_ref(pixbuf);
    g_object_unref(loader);
    if (!pixbuf && error && !*error) fail(error, "zaro-session-preview's picture could not be read");
    return pixbuf;
}

// The card of the bytes in `input`, or nothing with `error` set.
GdkPixbuf* cardOf(int input, const std::optional<std::string>& name, GError** error)
{
    const std::optional<std::string> png = runPreview(input, name, error);
    return png ? decodePng(*png, error) : nullptr;
}

int newMemfd(GError** error)
{
    const int fd = ::memfd_create("zaro-session", MFD_CLOEXEC);
    if (fd < 0) fail(error, std::string("no memory file for the session's bytes: ") + std::strerror(errno));
    return fd;
}

// gdk_pixbuf_new_from_file: the whole file at once, through a FILE* whose descriptor names the file.
GdkPixbuf* loadFile(FILE* file, GError** error)
{
    Descriptor input(newMemfd(error));
    if (input.get() < 0) return nullptr;
    std::vector<unsigned char> chunk(65536);
    std::size_t total = 0;
    while (total < maxInputBytes) {
        const std::size_t got = std::fread(chunk.data(), 1, std::min(chunk.size(), maxInputBytes - total), file);
        if (got == 0) break;
        if (!writeAll(input.get(), chunk.data(), got)) {
            fail(error, std::string("the session's bytes could not be kept: ") + std::strerror(errno));
            return nullptr;
        }
        total += got;
    }
    if (std::ferror(file)) {
        fail(error, "the session file could not be read");
        return nullptr;
    }
    return cardOf(input.get(), fileNameOf(fileno(file)), error);
}

// GdkPixbufLoader and streams: the bytes come in pieces and no file name comes with them.
struct Incremental {
    GdkPixbufModuleSizeFunc size;
    GdkPixbufModulePreparedFunc prepared;
    GdkPixbufModuleUpdatedFunc updated;
    gpointer userData;
    int input = -1;
    std::size_t total = 0;
};

gpointer beginLoad(GdkPixbufModuleSizeFunc size, GdkPixbufModulePreparedFunc prepared,
                   GdkPixbufModuleUpdatedFunc updated, gpointer userData, GError** error)
{
    const int input = newMemfd(error);
    if (input < 0) return nullptr;
    auto* state = new Incremental{size, prepared, updated, userData};
    state->input = input;
    return state;
}

gboolean loadIncrement(gpointer context, const guchar* data, guint size, GError** error)
{
    auto* state = static_cast<Incremental*>(context);
    const std::size_t kept = std::min<std::size_t>(size, maxInputBytes - std::min(state->total, maxInputBytes));
    if (kept > 0 && !writeAll(state->input, data, kept)) {
        fail(error, std::string("the session's bytes could not be kept: ") + std::strerror(errno));
        return FALSE;
    }
    state->total += kept;
    return TRUE;
}

gboolean stopLoad(gpointer context, GError** error)
{
    auto* state = static_cast<Incremental*>(context);
    GdkPixbuf* pixbuf = cardOf(state->input, std::nullopt, error);
    if (pixbuf) {
        int width = gdk_pixbuf_get_width(pixbuf), height = gdk_pixbuf_get_height(pixbuf);
        if (state->size) state->size(&width, &height, state->userData);
        if (state->prepared) state->prepared(pixbuf, nullptr, state->userData);
        if (state->updated) {
            state->updated(pixbuf, 0, 0, gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf), state->userData);
        }
        g_object_unref(pixbuf);
    }
    ::close(state->input);
    delete state;
    return pixbuf != nullptr;
}

}  // namespace

extern "C" {

G_MODULE_EXPORT void fill_vtable(GdkPixbufModule* module);
G_MODULE_EXPORT void fill_info(GdkPixbufFormat* info);

void fill_vtable(GdkPixbufModule* module)
{
    module->load = loadFile;
    module->begin_load = beginLoad;
    module->stop_load = stopLoad;
    module->load_increment = loadIncrement;
}

void fill_info(GdkPixbufFormat* info)
{
    // The first bytes of a file that begins with its Format line; GdkPixbuf goes by the content type first.
    static GdkPixbufModulePattern signature[] = {
        {const_cast<char*>("Format,ZARO CSV"), nullptr, 100},
        {const_cast<char*>("Format,RaceBox CSV"), nullptr, 100},
        {const_cast<char*>("\xef\xbb\xbf" "Format,ZARO CSV"), nullptr, 100},
        {const_cast<char*>("\xef\xbb\xbf" "Format,RaceBox CSV"), nullptr, 100},
        {nullptr, nullptr, 0},
    };
    // Our types only, never text/csv: a spreadsheet stays a spreadsheet.
    static const char* mimeTypes[] = {ZARO_SESSION_MIME_TYPES nullptr};
    static const char* extensions[] = {nullptr};
    info->name = const_cast<char*>("zaro-session");
    info->signature = signature;
    info->domain = nullptr;
    info->description = const_cast<char*>("Track session log (the zaro-session card)");
    info->mime_types = const_cast<char**>(mimeTypes);
    info->extensions = const_cast<char**>(extensions);
    info->flags = GDK_PIXBUF_FORMAT_THREADSAFE;
    info->license = const_cast<char*>("MIT");
}

}  // extern "C"
