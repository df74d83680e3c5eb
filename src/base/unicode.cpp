#include "base/unicode.hpp"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include <utf8proc.h>

#include "base/c_handle.hpp"
#include "base/simd.hpp"

namespace zaro::text {

namespace {

constexpr char32_t replacementCharacter = 0xFFFD;

void appendUtf8(char32_t c, std::string& out)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// The well-formed UTF-8 byte sequences: how many continuation bytes follow a lead byte and the range
// the first of them must fall in (the others are always 80..BF). A lead byte outside these is
// ill-formed on its own.
struct Lead {
    int continuations;
    unsigned char low;
    unsigned char high;
};

Lead leadOf(unsigned char b)
{
    if (b >= 0xC2 && b <= 0xDF) return {1, 0x80, 0xBF};
    if (b == 0xE0) return {2, 0xA0, 0xBF};
    if ((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) return {2, 0x80, 0xBF};
    if (b == 0xED) return {2, 0x80, 0x9F};
    if (b == 0xF0) return {3, 0x90, 0xBF};
    if (b >= 0xF1 && b <= 0xF3) return {3, 0x80, 0xBF};
    if (b == 0xF4) return {3, 0x80, 0x8F};
    return {-1, 0, 0};
}

// Length of the well-formed sequence at `i`, or the negated length of its maximal ill-formed
// subpart (at least 1).
std::ptrdiff_t sequenceAt(std::string_view s, std::size_t i)
{
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) return 1;
    const Lead lead = leadOf(b);
    if (lead.continuations < 0) return -1;
    std::size_t n = 1;
    for (int k = 0; k < lead.continuations; ++k, ++n) {
        if (i + n >= s.size()) return -static_cast<std::ptrdiff_t>(n);
        const auto c = static_cast<unsigned char>(s[i + n]);
        const unsigned char low = k == 0 ? lead.low : 0x80;
        const unsigned char high = k == 0 ? lead.high : 0xBF;
        if (c < low || c > high) return -static_cast<std::ptrdiff_t>(n);
    }
    return static_cast<std::ptrdiff_t>(n);
}

// NFC of `s`; texts may hold NUL characters, so the length is passed rather than implied.
std::optional<std::string> normalizedNfc(std::string_view s)
{
    utf8proc_uint8_t* result = nullptr;
    const auto options = static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE);
    const utf8proc_ssize_t n = utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(s.data()),
                                            static_cast<utf8proc_ssize_t>(s.size()), &result, options);
    const CHandle<utf8proc_uint8_t, ::free> owner(result);
    if (n < 0) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(result), static_cast<std::size_t>(n));
}

template <typename Map>
std::string mapCodePoints(std::string_view s, Map map)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        std::size_t length = 0;
        const char32_t c = decodeAt(s, i, length);
        map(c, out);
        i += length;
    }
    return out;
}

}  // namespace

bool isWhitespace(char32_t c)
{
    if (c < 0x80) return c == U' ' || c == U'\t';
    return utf8proc_category(static_cast<utf8proc_int32_t>(c)) == UTF8PROC_CATEGORY_ZS;
}

char32_t decodeAt(std::string_view s, std::size_t i, std::size_t& length)
{
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
        length = 1;
        return b;
    }
    const std::ptrdiff_t n = sequenceAt(s, i);
    if (n < 0) {
        length = static_cast<std::size_t>(-n);
        return replacementCharacter;
    }
    length = static_cast<std::size_t>(n);
    char32_t c = b & (0x7F >> n);
    for (std::ptrdiff_t k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]) & 0x3F);
    return c;
}

std::string_view trimUnicodeWhitespace(std::string_view s)
{
    std::size_t begin = 0;
    while (begin < s.size()) {
        std::size_t length = 0;
        if (!isWhitespace(decodeAt(s, begin, length))) break;
        begin += length;
    }
    std::size_t end = s.size();
    while (end > begin) {
        std::size_t start = end - 1;
        while (start > begin && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80 && end - start < 4) --start;
        std::size_t length = 0;
        if (!isWhitespace(decodeAt(s, start, length))) break;
        end = start;
    }
    return s.substr(begin, end - begin);
}

bool isAscii(std::string_view s)
{
    const char* p = s.data();
    const std::size_t n = s.size();
    if (n < 16) {
        unsigned bits = 0;
        for (std::size_t i = 0; i < n; ++i) bits |= static_cast<unsigned char>(p[i]);
        return bits < 0x80;
    }
    // Sixteen bytes at a time, the last block overlapping the one before it.
#if ZARO_SSE2
    __m128i bits = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n - 16));
    for (std::size_t i = 0; i + 16 <= n; i += 16) bits = _mm_or_si128(bits, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
    return _mm_movemask_epi8(bits) == 0;
#else
    const auto load = [p](std::size_t at) {
        std::uint64_t low = 0;
        std::uint64_t high = 0;
        std::memcpy(&low, p + at, 8);
        std::memcpy(&high, p + at + 8, 8);
        return low | high;
    };
    std::uint64_t bits = load(n - 16);
    for (std::size_t i = 0; i + 16 <= n; i += 16) bits |= load(i);
    return (bits & 0x8080808080808080u) == 0;
#endif
}

namespace {

// Past the whole words of eight ASCII bytes from `i` on: texts are mostly ASCII, and a word is one test.
std::size_t pastAsciiWords(std::string_view bytes, std::size_t i)
{
    for (std::uint64_t word = 0; i + sizeof word <= bytes.size(); i += sizeof word) {
        std::memcpy(&word, bytes.data() + i, sizeof word);
        if (word & 0x8080808080808080U) break;
    }
    return i;
}

}  // namespace

bool isValidUtf8(std::string_view bytes)
{
    for (std::size_t i = 0; i < bytes.size();) {
        i = pastAsciiWords(bytes, i);
        if (i == bytes.size()) break;
        const std::ptrdiff_t n = sequenceAt(bytes, i);
        if (n < 0) return false;
        i += static_cast<std::size_t>(n);
    }
    return true;
}

void appendUtf8Lossy(std::string_view bytes, std::string& out)
{
    // Sized first, so that a long line of bad bytes is copied once, not regrown.
    std::size_t size = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t ascii = pastAsciiWords(bytes, i);
        size += ascii - i;
        if ((i = ascii) == bytes.size()) break;
        const std::ptrdiff_t n = sequenceAt(bytes, i);
        size += n > 0 ? static_cast<std::size_t>(n) : 3;
        i += static_cast<std::size_t>(n > 0 ? n : -n);
    }
    out.reserve(out.size() + size);
    std::size_t validFrom = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        if ((i = pastAsciiWords(bytes, i)) == bytes.size()) break;
        const std::ptrdiff_t n = sequenceAt(bytes, i);
        if (n > 0) {
            i += static_cast<std::size_t>(n);
            continue;
        }
        out.append(bytes.substr(validFrom, i - validFrom));
        appendUtf8(replacementCharacter, out);
        i += static_cast<std::size_t>(-n);
        validFrom = i;
    }
    out.append(bytes.substr(validFrom));
}

void appendPrintable(std::string& out, std::string_view text)
{
    std::string repaired;
    if (!isValidUtf8(text)) {
        appendUtf8Lossy(text, repaired);
        text = repaired;
    }
    out.reserve(out.size() + text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool c1 = c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (c < 0x20 || c == 0x7F || c1) {
            appendUtf8(replacementCharacter, out);
            i += c1 ? 1 : 0;
        } else {
            out += static_cast<char>(c);
        }
    }
}

std::string toLower(std::string_view s)
{
    return mapCodePoints(s, [](char32_t c, std::string& out) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
        } else if (c == 0x130) {
            // The one unconditional lower-case mapping to more than one code point: I WITH DOT ABOVE.
            out.append("i\u0307");
        } else {
            appendUtf8(static_cast<char32_t>(utf8proc_tolower(static_cast<utf8proc_int32_t>(c))), out);
        }
    });
}

std::string toUpper(std::string_view s)
{
    return mapCodePoints(s, [](char32_t c, std::string& out) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c));
        } else {
            appendUtf8(static_cast<char32_t>(utf8proc_toupper(static_cast<utf8proc_int32_t>(c))), out);
        }
    });
}

bool canonicallyEqual(std::string_view a, std::string_view b)
{
    if (a == b) return true;
    if (isAscii(a) && isAscii(b)) return false;
    const auto na = normalizedNfc(a);
    const auto nb = normalizedNfc(b);
    return na && nb && *na == *nb;
}

bool isStandaloneAscii(std::string_view s, std::size_t i)
{
    // Every rule that joins two code points involves a non-ASCII one (CR LF aside, and no caller asks
    // about CR), so ASCII neighbours need no look-up.
    if (i > 0 && static_cast<unsigned char>(s[i - 1]) >= 0x80) {
        std::size_t start = i - 1;
        while (start > 0 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80 && i - start < 4) --start;
        std::size_t length = 0;
        const char32_t before = decodeAt(s, start, length);
        if (!utf8proc_grapheme_break(static_cast<utf8proc_int32_t>(before), static_cast<unsigned char>(s[i]))) return false;
    }
    if (i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) >= 0x80) {
        std::size_t length = 0;
        const char32_t after = decodeAt(s, i + 1, length);
        if (!utf8proc_grapheme_break(static_cast<unsigned char>(s[i]), static_cast<utf8proc_int32_t>(after))) return false;
    }
    return true;
}

bool lowerCaseContains(std::string_view s, std::string_view lowerWord)
{
    // Knuth-Morris-Pratt over the lower-cased code points as they are produced.
    constexpr std::size_t maxWord = 32;
    if (lowerWord.empty()) return true;
    if (lowerWord.size() > maxWord) return toLower(s).find(lowerWord) != std::string::npos;
    std::array<std::size_t, maxWord> fallback{};
    for (std::size_t i = 1, k = 0; i < lowerWord.size(); ++i) {
        while (k > 0 && lowerWord[i] != lowerWord[k]) k = fallback[k - 1];
        if (lowerWord[i] == lowerWord[k]) ++k;
        fallback[i] = k;
    }
    std::size_t matched = 0;
    const auto feed = [&](char32_t c) {
        while (matched > 0 && static_cast<char32_t>(static_cast<unsigned char>(lowerWord[matched])) != c) matched = fallback[matched - 1];
        if (static_cast<char32_t>(static_cast<unsigned char>(lowerWord[matched])) == c) ++matched;
        return matched == lowerWord.size();
    };
    for (std::size_t i = 0; i < s.size();) {
        std::size_t length = 0;
        const char32_t c = decodeAt(s, i, length);
        i += length;
        if (c < 0x80) {
            if (feed(c >= 'A' && c <= 'Z' ? c + 32 : c)) return true;
        } else if (c == 0x130) {
            if (feed(U'i') || feed(0x307)) return true;
        } else if (feed(static_cast<char32_t>(utf8proc_tolower(static_cast<utf8proc_int32_t>(c))))) {
            return true;
        }
    }
    return false;
}

std::size_t GraphemeCursor::next(std::size_t begin)
{
    if (begin >= s_.size()) return s_.size();
    if (begin == 0) state_ = 0;
    std::size_t length = 0;
    char32_t previous = decodeAt(s_, begin, length);
    std::size_t i = begin + length;
    while (i < s_.size()) {
        const char32_t c = decodeAt(s_, i, length);
        if (utf8proc_grapheme_break_stateful(static_cast<utf8proc_int32_t>(previous),
                                             static_cast<utf8proc_int32_t>(c), &state_)) {
            return i;
        }
        previous = c;
        i += length;
    }
    return i;
}

}  // namespace zaro::text
