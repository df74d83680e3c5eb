// A program's output file: settled before the process confines itself, written whole or not at all.
#pragma once

#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>

#include "base/posix_file.hpp"
#include "base/sandbox.hpp"

namespace zaro {

/// An output that the programs refuse to write, with the reason the user reads.
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// An output file. What its name leads to when it is opened decides how it is written, once, from
/// descriptors: the output's folder, and the file that is there when there is one.
//
// - nothing, a symbolic link that leads nowhere, or a regular file with something in it: an unnamed
//   file is made in the folder now and takes the name once it is whole, replacing whatever has the
//   name then (the link itself, as `mv` does; a file another writer made meanwhile);
// - an empty regular file: it is written in place, so that a caller reading it through a descriptor
//   of its own (as XFCE's thumbnail service does) sees the picture; it holds nothing to lose.
//
// Every later step works on the folder's descriptor, never on its path again. Where the file system
// has no unnamed files, a named temporary file ".zaro-session-XXXXXX" stands in; it is removed on
// every failure, and the signals that end a process are held back while it exists, so only a kill
// can leave it. With unnamed files a temporary name exists only for the one rename over an old file,
// with those signals held back too.
//
// The bytes are not forced to the disk: readers, and a process killed at any moment, only ever see
// the old file or the whole new one. A crash of the machine itself may lose the newest picture, which
// the desktop then draws again; forcing it out would cost more than drawing it.
class OutputFile {
public:
    /// Opens what writing `path` will need. Throws std::system_error with the system's text (EISDIR
    /// for a folder), and OutputError for a FIFO, device or socket, which would never hold a whole file.
    static OutputFile open(const std::filesystem::path& path);

    /// What must still be allowed in the output's folder after confinement.
    sandbox::FolderRights folderRights() const { return rights_; }
    /// The output's folder, opened when the output was: the confinement's rule names it by this.
    int folderDescriptor() const { return folder_.get(); }

    /// Writes `bytes` and gives them the output's name; throws std::system_error.
    void write(std::span<const unsigned char> bytes);

private:
    enum class Way : unsigned char { unnamed, inPlace, namedTemporary };

    OutputFile(posix::FileDescriptor folder, std::string name, posix::FileDescriptor file, Way way,
               sandbox::FolderRights rights);

    posix::FileDescriptor folder_;  // O_PATH
    std::string name_;              // the output's name in it
    posix::FileDescriptor file_;    // the caller's empty file, or an unnamed file in the folder, or none
    Way way_;
    sandbox::FolderRights rights_;
};

/// Writes through a named temporary file in the folder of `path`, renamed over it once whole.
void writeThroughNamedTemporary(const std::filesystem::path& path, std::span<const unsigned char> bytes);

}  // namespace zaro
