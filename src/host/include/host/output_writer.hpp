// A program's output file: settled before the process confines itself, written whole or not at all.
#pragma once

#include <filesystem>
#include <span>
#include <stdexcept>

#include "base/posix_file.hpp"
#include "host/sandbox.hpp"

namespace zaro {

/// An output that the programs refuse to write, with the reason the user reads.
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// An output file. What is at its path when it is opened decides how it is written:
//
// - nothing: an unnamed file is made in the folder now and takes the name once it is whole;
// - a regular file with something in it: the same, and the new file then replaces the old one;
// - an empty regular file: it is written in place, so that a caller reading it through a descriptor
//   of its own (as XFCE's thumbnail service does) sees the picture; it holds nothing to lose.
//
// Where the file system has no unnamed files, a named temporary file ".zaro-session-XXXXXX" stands in,
// removed on every failure. A kill leaves nothing behind, but a kill of that fallback between its
// creation and its rename.
class OutputFile {
public:
    /// Opens what writing `path` will need. Throws std::system_error with the system's text (EISDIR
    /// for a folder), and OutputError for a FIFO, device or socket, which would never hold a whole file.
    static OutputFile open(const std::filesystem::path& path);

    /// What must still be allowed in the output's folder after confinement.
    sandbox::FolderRights folderRights() const { return rights_; }
    /// The folder the output lies in.
    std::filesystem::path folder() const;

    /// Writes `bytes` and gives them the output's name; throws std::system_error.
    void write(std::span<const unsigned char> bytes);

private:
    OutputFile(std::filesystem::path path, posix::FileDescriptor file, bool inPlace, sandbox::FolderRights rights);

    std::filesystem::path path_;
    posix::FileDescriptor file_;  // the caller's empty file, or an unnamed file in the folder, or none
    bool inPlace_;
    sandbox::FolderRights rights_;
};

/// Writes through a named temporary file in the folder of `path`, renamed over it once whole.
void writeThroughNamedTemporary(const std::filesystem::path& path, std::span<const unsigned char> bytes);

}  // namespace zaro
