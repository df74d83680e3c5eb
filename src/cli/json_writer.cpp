#include "cli/json_writer.hpp"

#include <array>
#include <cassert>
#include <charconv>

#include "base/unicode.hpp"
#include "cli/numbers.hpp"

namespace zaro::json {

namespace {

constexpr bool needsEscape(unsigned char c)
{
    return c < 0x20 || c == '"' || c == '\\' || c == 0x7f;
}

// Bytes that need no escape: everything but C0 controls, DEL, '"' and '\\'.
constexpr std::array<bool, 256> plainBytes = [] {
    std::array<bool, 256> plain{};
    for (unsigned c = 0; c < 256; ++c) plain[c] = !needsEscape(static_cast<unsigned char>(c));
    return plain;
}();

}  // namespace

Writer::Writer(std::ostream& out) : stream_(&out), buffer_(std::make_unique_for_overwrite<char[]>(bufferBytes)) {}

Writer::Writer(std::string& out) : text_(&out), buffer_(std::make_unique_for_overwrite<char[]>(bufferBytes)) {}

Writer::~Writer()
{
    flush();
}

void Writer::beginObject()
{
    open('{');
}

void Writer::endObject()
{
    close('}');
}

void Writer::beginArray()
{
    open('[');
}

void Writer::endArray()
{
    close(']');
}

void Writer::key(std::string_view name)
{
    beforeValue();
    put('"');
    writeEscaped(name);
    put("\": ");
    afterKey_ = true;
}

void Writer::string(std::string_view text)
{
    beginString();
    writeEscaped(text);
    endString();
}

void Writer::beginString()
{
    beforeValue();
    put('"');
}

void Writer::stringPart(std::string_view text)
{
    writeEscaped(text);
}

void Writer::endString()
{
    put('"');
    afterValue();
}

void Writer::optionalString(const std::optional<std::string>& text)
{
    if (text) {
        string(*text);
    } else {
        null();
    }
}

void Writer::number(double value)
{
    if (const auto name = cli::nonFiniteName(value); !name.empty()) {
        string(name);
        return;
    }
    beforeValue();
    reserve(cli::maxShortestLength);
    used_ = static_cast<std::size_t>(cli::writeShortest(buffer_.get() + used_, value) - buffer_.get());
    afterValue();
}

void Writer::optionalNumber(std::optional<double> value)
{
    if (value) {
        number(*value);
    } else {
        null();
    }
}

void Writer::integer(std::int64_t value)
{
    constexpr std::size_t longest = 20;  // "-9223372036854775808"
    beforeValue();
    reserve(longest);
    char* start = buffer_.get() + used_;
    used_ += static_cast<std::size_t>(std::to_chars(start, start + longest, value).ptr - start);
    afterValue();
}

void Writer::optionalInteger(std::optional<std::int64_t> value)
{
    if (value) {
        integer(*value);
    } else {
        null();
    }
}

void Writer::null()
{
    beforeValue();
    put("null");
    afterValue();
}

void Writer::flush()
{
    if (used_ == 0) return;
    if (stream_) stream_->write(buffer_.get(), static_cast<std::streamsize>(used_));
    if (text_) text_->append(buffer_.get(), used_);
    used_ = 0;
}

void Writer::afterValue()
{
    // A finished top-level value goes out at once, so that whatever the caller writes to the
    // stream next lands after it.
    if (enclosing_.empty()) {
        flush();
        first_ = true;
    }
}

void Writer::open(char bracket)
{
    beforeValue();
    put(bracket);
    enclosing_.push_back({bracket == '{' ? '}' : ']', first_});
    first_ = true;
}

// A close that matches no open scope is a mistake of the caller's: an assertion in a debug build,
// and in any other nothing written, so that the text stays as balanced as it was.
void Writer::close(char bracket)
{
    const bool matches = !enclosing_.empty() && enclosing_.back().closer == bracket;
    assert(matches && "json::Writer: a close without its open");
    if (!matches) return;
    put(bracket);
    first_ = enclosing_.back().first;
    enclosing_.pop_back();
    afterValue();
}

void Writer::putInRuns(std::string_view text)
{
    while (text.size() > bufferBytes - used_) {
        const std::size_t room = bufferBytes - used_;
        std::memcpy(buffer_.get() + used_, text.data(), room);
        used_ += room;
        text.remove_prefix(room);
        flush();
    }
    std::memcpy(buffer_.get() + used_, text.data(), text.size());
    used_ += text.size();
}

void Writer::writeEscaped(std::string_view text)
{
    // Most texts need no escape and go out in one piece: after one look at each byte when they are
    // ASCII, and after a check of their UTF-8 otherwise.
    bool plain = true;
    unsigned char high = 0;
    for (char c : text) {
        plain &= plainBytes[static_cast<unsigned char>(c)];
        high |= static_cast<unsigned char>(c);
    }
    const bool valid = high < 0x80 || text::isValidUtf8(text);
    if (plain && valid) {
        put(text);
        return;
    }
    std::string repaired;
    if (!valid) {
        text::appendUtf8Lossy(text, repaired);
        text = repaired;
    }
    static constexpr char hex[] = "0123456789abcdef";
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!needsEscape(c)) continue;
        put(text.substr(runStart, i - runStart));
        runStart = i + 1;
        if (c == '"' || c == '\\') {
            const char escaped[] = {'\\', static_cast<char>(c)};
            put(std::string_view(escaped, 2));
        } else {
            const char escaped[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xf]};
            put(std::string_view(escaped, 6));
        }
    }
    put(text.substr(runStart));
}

}  // namespace zaro::json
