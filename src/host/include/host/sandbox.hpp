// Confines the running process before it reads a file it was handed: Landlock for the file system,
// seccomp for the system calls a previewer never needs.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zaro::sandbox {

struct Policy {
    /// Files and folders the process may read (folders with everything beneath them).
    std::vector<std::filesystem::path> readable;
    /// Folders in which the process may create, write and replace regular files.
    std::vector<std::filesystem::path> writableFolders;
};

/// How much of the confinement the running kernel could apply.
struct Report {
    int landlockAbi = 0;        // 0: no Landlock; file access is then not confined
    bool systemCalls = false;   // the seccomp filter is installed
    std::string landlockError;  // why Landlock was not applied, when it was not
};

/// The fonts, font configuration and shared libraries a program that draws text reads.
std::vector<std::filesystem::path> systemReadable();

/// What a preview or thumbnail program may touch: read its input, its resources, and the fonts and
/// libraries of systemReadable; write only in the folder of `output`, when it writes a file.
Policy programPolicy(const std::filesystem::path& input, const std::optional<std::filesystem::path>& output);

/// Applies `policy` to the calling process and every thread and child it makes afterwards; it
/// cannot be undone. Sockets other than local ones, new processes and programs, truncation of
/// files already open, tracing and the like are refused from here on.
Report confine(const Policy& policy);

}  // namespace zaro::sandbox
