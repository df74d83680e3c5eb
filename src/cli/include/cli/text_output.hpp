// Text for people: lines through a bounded buffer, padded columns, and the line that names a failure.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace zaro::cli {

/// Lines of text to a stream through a bounded buffer, so that a line of any length can be written
/// piece by piece.
class TextLines {
public:
    explicit TextLines(std::ostream& out) : out_(out) {}
    ~TextLines() { spill(); }
    TextLines(const TextLines&) = delete;
    TextLines& operator=(const TextLines&) = delete;

    /// The text not yet written; the current line is at its end.
    std::string& line() { return buffer_; }
    /// Ends the current line.
    void endLine();
    /// Writes what is held once it is more than a little.
    void spillIfLong();
    /// Writes what is held.
    void spill();

private:
    std::ostream& out_;
    std::string buffer_;
};

/// Terminal columns, counted as code points: the padded texts are labels, names and figures.
std::size_t columnCount(std::string_view text);

/// Appends `text` as `text::appendPrintable` does, then spaces up to `width` columns, at least one.
void appendPadded(std::string& line, std::string_view text, std::size_t width);

/// "NAME: message" on a line of its own, both made printable.
void writeFailureLine(std::ostream& err, std::string_view name, std::string_view message);

}  // namespace zaro::cli
