#include "base/posix_file.hpp"

#include <algorithm>

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace zaro::posix {

namespace {

class NotRegularFileCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "zaro.file"; }
    std::string message(int) const override { return "Not a regular file"; }
};

const std::error_category& notRegularFile()
{
    static const NotRegularFileCategory category;
    return category;
}

}  // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

FileDescriptor::~FileDescriptor()
{
    if (fd_ >= 0) ::close(fd_);
}

int FileDescriptor::release() noexcept
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void throwSystemError(int error) { throw std::system_error(error, std::generic_category()); }

void throwSystemError() { throwSystemError(errno); }

RegularFile openRegularFile(const std::filesystem::path& path)
{
    // Non-blocking, so that opening a FIFO cannot wait for a writer; reads of a regular file ignore it.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd) throwSystemError();
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) throwSystemError();
    if (S_ISDIR(status.st_mode)) throwSystemError(EISDIR);
    if (!S_ISREG(status.st_mode)) throw std::system_error(1, notRegularFile());
    return {std::move(fd), static_cast<std::int64_t>(status.st_size)};
}

namespace {

// Appends what one read(2) gives, at most `room` bytes; false at the end of the file.
bool readSome(int fd, std::string& into, std::size_t room)
{
    const std::size_t filled = into.size();
    into.resize(filled + room);
    ssize_t got;
    do {
        got = ::read(fd, into.data() + filled, room);
    } while (got < 0 && errno == EINTR);
    into.resize(filled + static_cast<std::size_t>(got > 0 ? got : 0));
    if (got < 0) throwSystemError();
    return got > 0;
}

}  // namespace

MappedFile::MappedFile(int fd, std::size_t size) : size_(size)
{
    if (size == 0) return;
    data_ = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (data_ == MAP_FAILED) {
        data_ = nullptr;
        throwSystemError();
    }
    ::madvise(data_, size, MADV_SEQUENTIAL);
}

MappedFile::~MappedFile()
{
    if (data_) ::munmap(data_, size_);
}

std::string readPrefix(int fd, std::size_t limit)
{
    // A MiB at a time: the room a read is offered is cleared first, and a small file under a large
    // limit should not pay for clearing the whole limit.
    std::string bytes;
    bytes.reserve(limit);
    appendPrefix(fd, bytes, limit);
    return bytes;
}

std::size_t readInto(int fd, char* into, std::size_t room)
{
    std::size_t filled = 0;
    while (filled < room) {
        const ssize_t got = ::read(fd, into + filled, room - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throwSystemError();
        if (got == 0) break;
        filled += static_cast<std::size_t>(got);
    }
    return filled;
}

void appendPrefix(int fd, std::string& into, std::size_t limit)
{
    constexpr std::size_t chunk = 1024 * 1024;
    while (into.size() < limit && readSome(fd, into, std::min(limit - into.size(), chunk))) {
    }
}

std::optional<std::string> readAll(int fd, std::size_t limit)
{
    constexpr std::size_t chunk = 64 * 1024;
    std::string bytes;
    while (readSome(fd, bytes, chunk)) {
        if (bytes.size() > limit) return std::nullopt;
    }
    return bytes;
}

void writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // A non-blocking descriptor that is full for now: wait until it takes more.
            pollfd ready{fd, POLLOUT, 0};
            if (::poll(&ready, 1, -1) < 0 && errno != EINTR) throwSystemError();
            continue;
        }
        if (written < 0) throwSystemError();
        if (written == 0) throwSystemError(EIO);
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

}  // namespace zaro::posix
