#include "cli/text_output.hpp"

#include "base/unicode.hpp"

namespace zaro::cli {

namespace {

// Large enough that a stream sees few writes, small enough that the buffer never matters.
constexpr std::size_t spillBytes = 64 * 1024;

}  // namespace

void TextLines::endLine()
{
    buffer_ += '\n';
    spillIfLong();
}

void TextLines::spillIfLong()
{
    if (buffer_.size() >= spillBytes) spill();
}

void TextLines::spill()
{
    out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
}

std::size_t columnCount(std::string_view text)
{
    std::size_t count = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xc0) != 0x80) ++count;
    }
    return count;
}

void appendPadded(std::string& line, std::string_view text, std::size_t width)
{
    const auto start = line.size();
    text::appendPrintable(line, text);
    const auto used = columnCount(std::string_view(line).substr(start));
    line.append(used < width ? width - used : 1, ' ');
}

void writeFailureLine(std::ostream& err, std::string_view name, std::string_view message)
{
    std::string line;
    text::appendPrintable(line, name);
    line += ": ";
    text::appendPrintable(line, message);
    line += '\n';
    err << line;
}

}  // namespace zaro::cli
