// The project installed into a scratch prefix, and programs started from it the way a desktop starts them.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zaro::desktop {

struct Exit {
    int code = -1;  // the exit status; -1 when the program was killed, timed out or could not start
    std::string out;
    std::string err;
};

/// Starts the program at the absolute path `argv[0]` with exactly `environment`, and waits up to a minute.
Exit run(const std::vector<std::string>& argv, const std::vector<std::string>& environment);

/// The first `name` on the test's own PATH, or an empty path.
std::filesystem::path findOnPath(std::string_view name);

/// A fresh directory under the system's temporary folder, removed with its contents.
class ScratchDir {
public:
    ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir();

    /// Where the directory is; empty when it could not be made.
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

/// `cmake --install` of this build tree into `prefix`.
Exit installInto(const std::filesystem::path& prefix);

/// The installed programs' folder under `prefix`.
std::filesystem::path binDir(const std::filesystem::path& prefix);
/// The installed data folder (share) under `prefix`.
std::filesystem::path dataDir(const std::filesystem::path& prefix);

/// The keys of a freedesktop thumbnailer entry that a thumbnail factory reads.
struct ThumbnailerEntry {
    std::string tryExec;
    std::string exec;
    std::vector<std::string> mimeTypes;
};

/// The `[Thumbnailer Entry]` group of `file`; fields stay empty when absent.
ThumbnailerEntry readThumbnailerEntry(const std::filesystem::path& file);

/// The entry's Exec line split into words, with %s, %u, %i, %o and %% replaced as a thumbnail factory does.
std::vector<std::string> expandExec(std::string_view exec, int size, const std::string& inputPath,
                                    const std::string& outputPath);

/// The whole content of a file, or an empty string when it cannot be read.
std::string readFile(const std::filesystem::path& file);

/// The names in a folder, sorted.
std::vector<std::string> namesIn(const std::filesystem::path& folder);

}  // namespace zaro::desktop
