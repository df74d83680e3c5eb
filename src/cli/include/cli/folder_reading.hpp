// Reading every session file under the paths of list and bests on several threads, keeping a row
// of each.
#pragma once

#include <cstddef>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "cli/progress_line.hpp"
#include "cli/session_files.hpp"
#include "cli/session_row.hpp"

namespace zaro::cli {

struct FolderReading {
    std::vector<SessionRow> rows;    // in the order the files were found
    std::vector<UnreadPath> unread;  // in byte order of their paths
    std::size_t pathCount = 0;       // files found and folders that could not be searched
};

/// Finds the session files under `operands` and reads them on `workers` threads, each file by one
/// worker on its own. Only a row of each session is kept, and files that may make large sessions
/// are not read together, so memory is bounded by the workers, not by the files.
FolderReading readSessionFiles(std::span<const std::string> operands, unsigned workers, ProgressLine& progress);

/// One worker per processor.
unsigned defaultWorkers();

/// "PATH: reason" for each unread path and then a count, to `err`. Returns the exit status, 0 or 1.
int reportUnread(const FolderReading& reading, std::ostream& err);

}  // namespace zaro::cli
