// File descriptors and the few file operations the programs need, failing with the system's errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zaro::posix {

/// Owns one file descriptor and closes it.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor();

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    /// Gives the descriptor up without closing it.
    int release() noexcept;

private:
    int fd_ = -1;
};

/// Throws std::system_error for `error` (errno by default), whose text is the system's.
[[noreturn]] void throwSystemError(int error);
[[noreturn]] void throwSystemError();

/// An open regular file and its size when it was opened.
struct RegularFile {
    FileDescriptor descriptor;
    std::int64_t size = 0;
};

/// Opens a regular file for reading. A FIFO, device or socket is refused without waiting for it
/// ("Not a regular file"), a folder with EISDIR; other failures are the system's own.
RegularFile openRegularFile(const std::filesystem::path& path);

/// A regular file's first bytes mapped read-only into memory, unmapped with it. Touching a byte the
/// file no longer holds (it shrank since) raises SIGBUS: only a process that may end of that maps one.
class MappedFile {
public:
    /// The first `size` bytes of the regular file open on `fd`; throws std::system_error.
    MappedFile(int fd, std::size_t size);
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();

    std::string_view bytes() const { return {static_cast<const char*>(data_), size_}; }

private:
    void* data_ = nullptr;
    std::size_t size_ = 0;
};

/// Reads on from `fd`'s offset until `limit` bytes or the end of the file, whichever comes first.
std::string readPrefix(int fd, std::size_t limit);

/// Reads on from where `fd` stands, appending to `into` until it holds `limit` bytes or the file ends.
void appendPrefix(int fd, std::string& into, std::size_t limit);

/// Reads on from where `fd` stands into `into` until `room` bytes have come or the file ends; returns
/// how many came.
std::size_t readInto(int fd, char* into, std::size_t room);

/// Reads `fd` to its end; no value as soon as more than `limit` bytes have come, so a stream without
/// end costs at most that much memory.
std::optional<std::string> readAll(int fd, std::size_t limit);

/// Writes every byte, waiting for a descriptor that is not ready (a non-blocking pipe); throws
/// std::system_error when the system refuses, EIO when it takes nothing.
void writeAll(int fd, std::string_view bytes);
inline void writeAll(int fd, std::span<const unsigned char> bytes)
{
    writeAll(fd, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace zaro::posix
