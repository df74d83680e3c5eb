// Confines the running process before it reads a file it was handed: Landlock for the file system,
// seccomp for the system calls a previewer never needs.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zaro::sandbox {

/// What may be done to the entries of a folder (and, as Landlock grants it, of every folder beneath).
struct FolderRights {
    bool make = false;    // give a new regular file a name: create one, or link an unnamed one in
    bool write = false;   // open a file there for writing
    bool remove = false;  // take a name away: unlink, or rename a file, over another or not
};

/// A folder, by a descriptor opened on it (O_PATH will do), and what may be done in it.
struct WritableFolder {
    int descriptor = -1;
    FolderRights rights;
};

struct Policy {
    /// Files and folders the process may read (folders with everything beneath them).
    std::vector<std::filesystem::path> readable;
    /// A folder in which the process may do what its rights say, if any. It is named by the
    /// descriptor, so what its path leads to later does not matter.
    std::optional<WritableFolder> writable;
};

/// How much of the confinement the running kernel offered and took.
struct Report {
    int landlockOffered = 0;  // the kernel's Landlock version; 0 when it has none
    int landlockAbi = 0;      // the version applied; 0 when file access is not confined
    bool systemCalls = false; // the seccomp filter is installed
    std::vector<std::string> skippedRules;  // paths that could not be reached: nothing beneath them is allowed
    std::string error;        // why Landlock or seccomp was not applied, when it was not
    /// A rule that could not be added for want of descriptors or memory: nothing was applied, and a
    /// process this short of them cannot do its work either.
    std::string exhausted;

    /// Whether the process runs with less than the kernel offers.
    bool lessThanOffered() const { return landlockAbi < landlockOffered || !systemCalls; }
};

/// The fonts, font configuration and shared libraries a program that draws text reads.
std::vector<std::filesystem::path> systemReadable();

/// What a preview or thumbnail program may touch: read its input, its resources, and the fonts and
/// libraries of systemReadable; in its output's folder, only what its writer still needs.
Policy programPolicy(const std::filesystem::path& input, const std::optional<WritableFolder>& output);

/// Applies `policy` to the calling process and every thread and child it makes afterwards; it
/// cannot be undone. Sockets other than local ones, new processes and programs, truncation of
/// files already open, tracing and the like are refused from here on.
//
// It never fails open: a path whose rule cannot be added (it is missing, cannot be searched, or is no
// file a rule can name, such as a memfd) is left out and the rest is applied, so that nothing beneath
// that path is allowed.
Report confine(const Policy& policy);

}  // namespace zaro::sandbox
