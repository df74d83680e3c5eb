#include "cli/text_table.hpp"

#include <algorithm>

#include "base/unicode.hpp"
#include "cli/text_output.hpp"

namespace zaro::cli {

namespace {

void appendRow(std::string& line, std::span<const TableColumn> columns, const TableRow& cells,
               const std::vector<std::size_t>& widths)
{
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) line += "  ";
        const std::size_t padding = widths[i] - columnCount(cells[i]);
        if (columns[i].alignRight) line.append(padding, ' ');
        line += cells[i];
        if (!columns[i].alignRight && i + 1 < columns.size()) line.append(padding, ' ');
    }
}

}  // namespace

void writeTable(std::ostream& out, std::span<const TableColumn> columns, std::vector<TableRow> rows)
{
    if (rows.empty()) return;
    TableRow titles(columns.size());
    std::transform(columns.begin(), columns.end(), titles.begin(), [](const TableColumn& c) { return std::string(c.title); });
    std::vector<std::size_t> widths(columns.size());
    std::transform(titles.begin(), titles.end(), widths.begin(), columnCount);
    for (TableRow& cells : rows) {
        for (std::size_t i = 0; i < columns.size(); ++i) {
            std::string printable;
            text::appendPrintable(printable, cells.at(i));
            cells[i] = std::move(printable);
            widths[i] = std::max(widths[i], columnCount(cells[i]));
        }
    }
    TextLines lines(out);
    appendRow(lines.line(), columns, titles, widths);
    lines.endLine();
    for (const TableRow& cells : rows) {
        appendRow(lines.line(), columns, cells, widths);
        lines.endLine();
    }
}

}  // namespace zaro::cli
