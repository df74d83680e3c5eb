// Lines of a session file: cut at line feeds, from memory or from an open file, decoded as UTF-8.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "parser/vectors.hpp"

namespace zaro::ZaroSessionParser::detail {

/// One line's bytes without its line feed and without one carriage return before it; the first
/// line of a walk from offset 0 also loses a UTF-8 byte-order mark.
struct RawLine {
    std::string_view bytes;
    std::int64_t next = 0;  // offset just past the line feed, or the end when there is none
    bool ascii = false;     // the bytes are known to be all ASCII (when false, they may be too)
};

/// The first line feed in [p, limit), or `limit`, found `vectors` at a time; `ascii` is set when the
/// bytes before it are all ASCII, which the same steps tell, so that a line is not read again to know.
const char* findLineFeed(const char* p, const char* limit, bool& ascii, Vectors vectors = widestVectors());

/// Lines of an in-memory buffer between two offsets.
class SpanLines {
public:
    SpanLines(std::string_view data, std::int64_t from, std::int64_t end);
    bool next(RawLine& line);
    /// Passes over the rest of the line it stands in; returns the offset after it.
    std::int64_t skipLine();
    /// A reader over [from, end) of the same bytes.
    SpanLines range(std::int64_t from, std::int64_t end) const { return SpanLines(data_, from, end); }
    void releaseMemory() {}

private:
    std::string_view data_;
    std::int64_t position_;
    std::int64_t end_;
    bool first_;
    Vectors vectors_ = widestVectors();
};

/// Lines of an open regular file between two offsets, read in chunks through a buffer that is reused;
/// only a line longer than the buffer makes it grow. Throws std::system_error when a read fails.
class FileLines {
public:
    FileLines(int fd, std::int64_t from, std::int64_t end);
    bool next(RawLine& line);
    /// Passes over the rest of the line it stands in, however long, in the buffer it has; returns the
    /// offset after it.
    std::int64_t skipLine();
    FileLines range(std::int64_t from, std::int64_t end) const { return FileLines(fd_, from, end); }
    /// Gives back a buffer that a long line made grow; what it held unread is read again later.
    void releaseMemory();

private:
    bool fill();

    int fd_;
    std::int64_t readOffset_;   // file offset of the next read
    std::int64_t end_;
    std::int64_t bufferStart_;  // file offset of buffer_[0]
    std::vector<char> buffer_;
    std::size_t head_ = 0;      // unconsumed bytes are [head_, tail_)
    std::size_t tail_ = 0;
    bool first_;
    bool eof_ = false;
    Vectors vectors_ = widestVectors();
};

/// Turns a line's bytes into well-formed UTF-8, replacing each maximal ill-formed subpart by U+FFFD.
/// The result views either the bytes themselves or a buffer reused from line to line.
class LineDecoder {
public:
    std::string_view decode(std::string_view bytes);
    /// decode of a line whose bytes may be known to be ASCII already.
    std::string_view decode(const RawLine& line)
    {
        if (!line.ascii) return decode(line.bytes);
        ascii_ = true;
        return line.bytes;
    }
    /// Whether the line last decoded is all ASCII.
    bool ascii() const { return ascii_; }

private:
    std::string scratch_;
    bool ascii_ = true;
};

/// Walks `data` from `from`, handing each decoded line and the offset after it to `body` until it
/// returns false.
void enumerateLines(std::string_view data, std::int64_t from,
                    const std::function<bool(std::string_view line, std::int64_t next)>& body);

}  // namespace zaro::ZaroSessionParser::detail
