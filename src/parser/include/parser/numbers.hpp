// Numbers in the fields of a log's rows: C-locale literals filling the whole field, read exactly as
// strtod reads them, and integers within the 64-bit range.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

namespace zaro::ZaroSessionParser {

/// A C-locale floating-point literal filling the whole field, as strtod reads it: signs, exponents,
/// hex floats, infinities and NaNs.
std::optional<double> readAnyNumber(std::string_view field);

/// The decimal digits from `q` on, added to `mantissa` (which wraps past 19 digits, when it is not
/// used); `q` ends past them. One at a time: the fields are short, and a loop over pairs or over
/// words of eight costs more in its tests than it saves.
inline void readDigits(const unsigned char*& q, const unsigned char* end, std::uint64_t& mantissa)
{
    for (; q != end; ++q) {
        const unsigned digit = static_cast<unsigned>(*q - '0');
        if (digit >= 10) return;
        mantissa = mantissa * 10 + digit;
    }
}

namespace detail {

// A coordinate's fraction is read as one word of eight bytes, the field's earlier bytes in its lower
// ones, whose digits are checked and added up without a loop.
inline constexpr std::uint64_t everyByte = 0x0101010101010101u;

/// The eight bytes from `p` as a word, the first in its lowest byte.
inline std::uint64_t loadEightBytes(const unsigned char* p)
{
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    return word;
}

/// 0x80 in each byte of `word` that is no ASCII digit, 0 in the others.
inline std::uint64_t nonDigitBytes(std::uint64_t word)
{
    // A digit's high half is 3, and its low half plus 6 stays below 16.
    const std::uint64_t off = ((word & 0xF0 * everyByte) ^ 0x30 * everyByte) | (((word & 0x0F * everyByte) + 0x06 * everyByte) & 0xF0 * everyByte);
    return (((off & 0x7F * everyByte) + 0x7F * everyByte) | off) & 0x80 * everyByte;
}

/// The number that the eight ASCII digits of `word` write, first digit lowest; a zero byte is a 0.
inline std::uint64_t eightDigits(std::uint64_t word)
{
    // Pairs of digits, then fours, then all eight: one multiplication each.
    word = ((word & 0x0F * everyByte) * (10 * 256 + 1)) >> 8;
    word = ((word & 0x00FF00FF00FF00FFu) * (100 * 65536 + 1)) >> 16;
    return ((word & 0x0000FFFF0000FFFFu) * (10000 * 4294967296u + 1)) >> 32;
}

}  // namespace detail

/// The usual GPS and speed values: an optional minus sign and up to 15 decimal digits with at most one
/// point among them. The digits and the power of ten are both exact doubles, so one division rounds
/// exactly as strtod does. False, with `value` untouched, for any other field. Always inline: the
/// row pass reads six a row, and a call costs more than the reading.
[[gnu::always_inline]] inline bool readShortDecimal(std::string_view field, double& value)
{
    static constexpr double powersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7,
                                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    static constexpr std::uint64_t integerPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
    const auto* const begin = reinterpret_cast<const unsigned char*>(field.data());
    const auto* const end = begin + field.size();
    const auto* p = begin;
    const bool negative = p != end && *p == '-';
    if (negative) ++p;
    std::uint64_t mantissa = 0;
    const auto* q = p;
    readDigits(q, end, mantissa);
    std::ptrdiff_t digits = q - p;
    std::ptrdiff_t fractionDigits = 0;
    if (q != end && *q == '.') {
        const auto* const fraction = ++q;
        fractionDigits = end - fraction;
        if (fractionDigits > 2 && fractionDigits <= 8 && end - begin >= 8) {
            // The fraction, as long as a coordinate's, lies in the field's last eight bytes.
            using namespace detail;
            const std::uint64_t ownBytes = ~std::uint64_t{0} << (8 * (8 - fractionDigits));
            const std::uint64_t word = loadEightBytes(end - 8) & ownBytes;
            if ((nonDigitBytes(word) & ownBytes) != 0) return false;
            mantissa = mantissa * integerPowersOfTen[fractionDigits] + eightDigits(word);
            q = end;
        } else {
            readDigits(q, end, mantissa);
            fractionDigits = q - fraction;
        }
        digits += fractionDigits;
    }
    if (q != end || digits == 0 || digits > 15) [[unlikely]] return false;
    // Fifteen digits fit a signed integer, whose conversion is one instruction.
    const double magnitude = static_cast<double>(static_cast<std::int64_t>(mantissa)) / powersOfTen[fractionDigits];
    value = negative ? -magnitude : magnitude;
    return true;
}

/// readAnyNumber, with the short decimals read inline, as every row reads several.
inline std::optional<double> readNumber(std::string_view field)
{
    double value;
    if (readShortDecimal(field, value)) [[likely]] return value;
    return readAnyNumber(field);
}

/// An optional sign and decimal digits filling the whole field, within the 64-bit range.
std::optional<std::int64_t> readInteger(std::string_view field);

}  // namespace zaro::ZaroSessionParser
