#include "lines.hpp"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <system_error>

#include <unistd.h>
#if ZARO_FOUR_LANES
#include <immintrin.h>
#endif

#include "base/simd.hpp"
#include "base/unicode.hpp"

namespace zaro::ZaroSessionParser::detail {

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t chunkBytes = 256 * 1024;

#if ZARO_FOUR_LANES
// findLineFeed thirty-two bytes at a time, built for processors with AVX2 alone (and local to this file).
[[gnu::target("avx2")]] const char* findLineFeedWide(const char* p, const char* limit, bool& ascii)
{
    unsigned high = 0;
    const __m256i feeds = _mm256_set1_epi8('\n');
    for (; limit - p >= 32; p += 32) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const auto feed = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, feeds)));
        const auto top = static_cast<unsigned>(_mm256_movemask_epi8(bytes));
        if (feed != 0) {
            ascii = (high | (top & ((feed & (0U - feed)) - 1))) == 0;
            return p + std::countr_zero(feed);
        }
        high |= top;
    }
    for (; p != limit && *p != '\n'; ++p) high |= static_cast<unsigned char>(*p) & 0x80U;
    ascii = high == 0;
    return p;
}
#endif

}  // namespace

const char* findLineFeed(const char* p, const char* limit, bool& ascii, [[maybe_unused]] Vectors vectors)
{
#if ZARO_FOUR_LANES
    if (vectors == Vectors::avx2) return findLineFeedWide(p, limit, ascii);
#endif
    unsigned high = 0;
#if ZARO_SSE2
    const __m128i feeds = _mm_set1_epi8('\n');
    for (; vectors != Vectors::none && limit - p >= 16; p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const auto feed = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, feeds)));
        const auto top = static_cast<unsigned>(_mm_movemask_epi8(bytes));
        if (feed != 0) {
            // The top bits of the bytes before the feed.
            ascii = (high | (top & ((feed & (0U - feed)) - 1))) == 0;
            return p + std::countr_zero(feed);
        }
        high |= top;
    }
#endif
    for (; p != limit && *p != '\n'; ++p) high |= static_cast<unsigned char>(*p) & 0x80U;
    ascii = high == 0;
    return p;
}

namespace {

std::string_view trimLineEnd(std::string_view bytes, bool first)
{
    if (!bytes.empty() && bytes.back() == '\r') bytes.remove_suffix(1);
    if (first && bytes.starts_with(byteOrderMark)) bytes.remove_prefix(byteOrderMark.size());
    return bytes;
}

}  // namespace

SpanLines::SpanLines(std::string_view data, std::int64_t from, std::int64_t end)
    : data_(data), position_(from), end_(end), first_(from == 0)
{
}

bool SpanLines::next(RawLine& line)
{
    if (position_ >= end_) return false;
    const char* begin = data_.data() + position_;
    const char* const limit = data_.data() + end_;
    const char* const feed = findLineFeed(begin, limit, line.ascii, vectors_);
    const auto length = static_cast<std::size_t>(feed - begin);
    line.bytes = trimLineEnd(std::string_view(begin, length), first_);
    line.next = feed != limit ? position_ + static_cast<std::int64_t>(length) + 1 : end_;
    position_ = line.next;
    first_ = false;
    return true;
}

std::int64_t SpanLines::skipLine()
{
    const auto available = static_cast<std::size_t>(std::max<std::int64_t>(0, end_ - position_));
    const auto* feed = static_cast<const char*>(std::memchr(data_.data() + position_, '\n', available));
    position_ = feed ? feed - data_.data() + 1 : std::max(position_, end_);
    first_ = false;
    return position_;
}

FileLines::FileLines(int fd, std::int64_t from, std::int64_t end)
    : fd_(fd), readOffset_(from), end_(end), bufferStart_(from), first_(from == 0)
{
    buffer_.resize(static_cast<std::size_t>(std::min<std::int64_t>(end - from, chunkBytes)) + 1);
}

// Moves the unconsumed bytes to the front and reads more after them, growing the buffer only when
// it is full of one line. False at the end of the range (or of the file, should it have shrunk).
bool FileLines::fill()
{
    if (eof_) return false;
    if (head_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + head_, tail_ - head_);
        bufferStart_ += static_cast<std::int64_t>(head_);
        tail_ -= head_;
        head_ = 0;
    }
    const std::int64_t remaining = end_ - readOffset_;
    if (tail_ == buffer_.size() && remaining > 0) {
        // One line fills the buffer: double it, but never past what is left to read.
        buffer_.resize(tail_ + static_cast<std::size_t>(std::min<std::int64_t>(remaining, static_cast<std::int64_t>(tail_))));
    }
    const auto wanted = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(buffer_.size() - tail_), remaining));
    if (wanted == 0) {
        eof_ = true;
        return false;
    }
    ssize_t got;
    do {
        got = ::pread(fd_, buffer_.data() + tail_, wanted, readOffset_);
    } while (got < 0 && errno == EINTR);
    if (got < 0) throw std::system_error(errno, std::generic_category());
    if (got == 0) {
        eof_ = true;
        return false;
    }
    tail_ += static_cast<std::size_t>(got);
    readOffset_ += got;
    return true;
}

void FileLines::releaseMemory()
{
    if (buffer_.size() <= chunkBytes + 1) return;
    bufferStart_ += static_cast<std::int64_t>(head_);
    readOffset_ = bufferStart_;
    head_ = tail_ = 0;
    eof_ = false;
    std::vector<char>(chunkBytes + 1).swap(buffer_);
}

bool FileLines::next(RawLine& line)
{
    std::size_t searchFrom = head_;
    for (;;) {
        bool ascii = false;
        const char* const limit = buffer_.data() + tail_;
        const char* const feed = findLineFeed(buffer_.data() + searchFrom, limit, ascii, vectors_);
        // A line that a refill continued is left for the decoder to judge.
        line.ascii = ascii && searchFrom == head_;
        if (feed != limit) {
            const auto at = static_cast<std::size_t>(feed - buffer_.data());
            line.bytes = trimLineEnd(std::string_view(buffer_.data() + head_, at - head_), first_);
            line.next = bufferStart_ + static_cast<std::int64_t>(at) + 1;
            head_ = at + 1;
            first_ = false;
            return true;
        }
        const std::size_t scanned = tail_ - head_;
        if (!fill()) break;
        searchFrom = head_ + scanned;
    }
    if (head_ == tail_) return false;
    line.bytes = trimLineEnd(std::string_view(buffer_.data() + head_, tail_ - head_), first_);
    line.next = bufferStart_ + static_cast<std::int64_t>(tail_);
    head_ = tail_;
    first_ = false;
    return true;
}

std::int64_t FileLines::skipLine()
{
    first_ = false;
    for (;;) {
        const auto* feed = static_cast<const char*>(std::memchr(buffer_.data() + head_, '\n', tail_ - head_));
        if (feed) {
            head_ = static_cast<std::size_t>(feed - buffer_.data()) + 1;
            return bufferStart_ + static_cast<std::int64_t>(head_);
        }
        head_ = tail_;
        if (!fill()) return bufferStart_ + static_cast<std::int64_t>(tail_);
    }
}

std::string_view LineDecoder::decode(std::string_view bytes)
{
    ascii_ = text::isAscii(bytes);
    if (ascii_ || text::isValidUtf8(bytes)) return bytes;
    scratch_.clear();
    text::appendUtf8Lossy(bytes, scratch_);
    return scratch_;
}

void enumerateLines(std::string_view data, std::int64_t from,
                    const std::function<bool(std::string_view line, std::int64_t next)>& body)
{
    SpanLines lines(data, from, static_cast<std::int64_t>(data.size()));
    LineDecoder decoder;
    RawLine line;
    while (lines.next(line)) {
        if (!body(decoder.decode(line), line.next)) return;
    }
}

}  // namespace zaro::ZaroSessionParser::detail
