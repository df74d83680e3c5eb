// Finding the session files under the paths that list and bests are given.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace zaro::cli {

/// A path that gave no session, and why.
struct UnreadPath {
    std::string path;
    std::string reason;
};

struct FoundFiles {
    std::vector<std::string> paths;  // as found: the operand, or a folder operand joined with names
    std::vector<UnreadPath> unread;  // folders that could not be searched
};

/// Every operand that is a folder (a symbolic link to one included) is searched, with its
/// subfolders, for files whose name ends in ".csv" or ".vbo" in any case; symbolic links to folders inside
/// are not followed, so a loop cannot be entered. Any other operand is taken as it is, to be read
/// or refused later. Each folder's entries are taken in byte order of their names.
FoundFiles findSessionFiles(std::span<const std::string> operands);

}  // namespace zaro::cli
