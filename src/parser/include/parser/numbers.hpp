// Numbers in the fields of a log's rows: C-locale literals filling the whole field, read exactly as
// strtod reads them, and integers within the 64-bit range.
#pragma once

#include <cstddef>
#include <cstdint>
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

/// The usual GPS and speed values: an optional minus sign and up to 15 decimal digits with at most one
/// point among them. The digits and the power of ten are both exact doubles, so one division rounds
/// exactly as strtod does. False, with `value` untouched, for any other field.
inline bool readShortDecimal(std::string_view field, double& value)
{
    static constexpr double powersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7,
                                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const auto* p = reinterpret_cast<const unsigned char*>(field.data());
    const auto* const end = p + field.size();
    const bool negative = p != end && *p == '-';
    if (negative) ++p;
    std::uint64_t mantissa = 0;
    const auto* q = p;
    readDigits(q, end, mantissa);
    std::ptrdiff_t digits = q - p;
    std::ptrdiff_t fractionDigits = 0;
    if (q != end && *q == '.') {
        const auto* const fraction = ++q;
        readDigits(q, end, mantissa);
        fractionDigits = q - fraction;
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
