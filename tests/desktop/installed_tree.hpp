// The project installed into a scratch prefix, and programs started from it the way a desktop starts them.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "host/program.hpp"

namespace zaro::desktop {

using testing::RunResult;

/// Starts the program at the absolute path `argv[0]` with exactly `environment`.
RunResult run(const std::vector<std::string>& argv, const std::vector<std::string>& environment);

/// `cmake --install` of this build tree into `prefix`.
RunResult installInto(const std::filesystem::path& prefix);

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

}  // namespace zaro::desktop
