#include "cli/session_files.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace zaro::cli {

namespace {

namespace fs = std::filesystem;

bool hasSessionName(const fs::path& path)
{
    const std::string name = path.filename().string();
    if (name.size() < 4) return false;
    std::string ending = name.substr(name.size() - 4);
    std::transform(ending.begin(), ending.end(), ending.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
    return ending == ".csv" || ending == ".vbo";
}

void searchFolder(const fs::path& folder, FoundFiles& found)
{
    std::error_code error;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) entries.push_back(*it);
    if (error) {
        found.unread.push_back({folder.string(), error.message()});
        return;
    }
    std::sort(entries.begin(), entries.end());
    for (const fs::directory_entry& entry : entries) {
        // The entry itself, not what a symbolic link points to: links to folders are not entered.
        if (entry.symlink_status(error).type() == fs::file_type::directory) {
            searchFolder(entry.path(), found);
        } else if (hasSessionName(entry.path()) && !entry.is_directory(error)) {
            found.paths.push_back(entry.path().string());
        }
    }
}

}  // namespace

FoundFiles findSessionFiles(std::span<const std::string> operands)
{
    FoundFiles found;
    for (const std::string& operand : operands) {
        std::error_code error;
        if (fs::is_directory(operand, error)) {
            searchFolder(operand, found);
        } else {
            found.paths.push_back(operand);
        }
    }
    return found;
}

}  // namespace zaro::cli
