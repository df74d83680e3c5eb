// The `list` command: one row per session file found, as a table, CSV or JSON lines.
#pragma once

#include <ostream>
#include <span>
#include <vector>

#include "cli/command_line.hpp"
#include "cli/session_row.hpp"

namespace zaro::cli {

/// Puts the rows in the order asked for, rows without the key after the others: by start, best lap,
/// track and configuration (then start), or path. Rows that tie keep their path order.
void sortRows(std::vector<SessionRow>& rows, ListOrder order);

/// The rows in the format asked for: a table of the card's texts in the units asked for, or CSV or
/// JSON lines of the raw figures in SI units.
void writeListing(std::ostream& out, std::vector<SessionRow> rows, const CommandLine& line);

}  // namespace zaro::cli
