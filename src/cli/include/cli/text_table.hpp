// Rows of texts as aligned columns for a terminal.
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zaro::cli {

struct TableColumn {
    std::string_view title;
    bool alignRight = false;
};

using TableRow = std::vector<std::string>;

/// A title row and the rows, each column as wide as its widest text, two spaces apart; every text
/// made printable. Writes nothing when there are no rows.
void writeTable(std::ostream& out, std::span<const TableColumn> columns, std::vector<TableRow> rows);

}  // namespace zaro::cli
