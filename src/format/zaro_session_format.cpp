#include "format/zaro_session_format.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>

#include "base/iso8601.hpp"

namespace zaro::ZaroSessionFormat {

namespace {

constexpr std::uint64_t powersOfTen[] = {1, 10, 100, 1000};
constexpr double metresPerMile = 1609.344;

// printf's rounding of the exact binary value, done on integers for the values texts are made of:
// below 2^53 a double is m * 2^-shift with m < 2^53, so m * 10^precision (precision at most 3)
// fits 64 bits and only the division by 2^shift is left, ties to even. None for other values.
std::optional<std::uint64_t> scaledAndRounded(double magnitude, int precision)
{
    if (!(magnitude < 0x1p53) || precision < 0 || precision > 3) return std::nullopt;  // NaN fails too
    const auto bits = std::bit_cast<std::uint64_t>(magnitude);
    const auto exponentBits = static_cast<int>(bits >> 52);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    // Normal numbers have the hidden leading bit; subnormal ones share the smallest exponent.
    const std::uint64_t mantissa = exponentBits == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
    const int shift = 1075 - std::max(exponentBits, 1);
    const std::uint64_t scaled = mantissa * powersOfTen[precision];
    if (shift <= 0) return scaled;
    if (shift >= 64) return 0;  // scaled < 2^63, so the quotient is below one half
    const std::uint64_t whole = scaled >> shift;
    const std::uint64_t rest = scaled & ((std::uint64_t{1} << shift) - 1);
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    return whole + ((rest > half || (rest == half && (whole & 1) != 0)) ? 1 : 0);
}

// The digits of a rounded, scaled magnitude: "12.345" for 12345 at precision 3.
char* writeScaled(char* out, std::uint64_t scaled, int precision)
{
    const std::uint64_t unit = powersOfTen[precision];
    out = std::to_chars(out, out + 24, scaled / unit).ptr;
    if (precision == 0) return out;
    *out++ = '.';
    std::uint64_t rest = scaled % unit;
    for (int i = precision - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    }
    return out + precision;
}

// printf's %.Nf without a locale: the full stop always, printf's digits always. std::to_chars with
// a precision rounds the exact binary value as printf does; a fixed-point double has at most 309
// integer digits, so the buffer always suffices.
void appendFixed(std::string& out, double value, int precision, std::size_t zeroPadWidth = 0)
{
    std::array<char, 400> buffer;
    char* end = buffer.data();
    if (const auto scaled = scaledAndRounded(std::abs(value), precision)) {
        if (std::signbit(value)) *end++ = '-';
        end = writeScaled(end, *scaled, precision);
    } else {
        const auto result =
            std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, precision);
        if (result.ec != std::errc()) return;
        end = result.ptr;
    }
    const auto length = static_cast<std::size_t>(end - buffer.data());
    // Leading zeros suffice for printf's 0 flag here: the one padded use is %06.3f of a finite
    // value, and a negative one never falls short of six characters.
    if (length < zeroPadWidth) out.append(zeroPadWidth - length, '0');
    out.append(buffer.data(), length);
}

// printf's %d, or %02d with `minDigits` 2.
void appendInteger(std::string& out, std::int64_t value, std::size_t minDigits = 1)
{
    std::array<char, 24> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    if (error != std::errc()) return;
    const auto length = static_cast<std::size_t>(end - buffer.data());
    if (length < minDigits) out.append(minDigits - length, '0');
    out.append(buffer.data(), length);
}

}  // namespace

std::string lapTime(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0) return std::string(placeholder);
    std::string text;
    // From 2^63 on the whole part no longer fits in int64 and every double is a whole number: the
    // minutes are then the double floor(seconds / 60) and the rest the exact fmod, in the same form.
    if (seconds >= 0x1p63) {
        appendFixed(text, std::floor(seconds / 60.0), 0);
        text += ':';
        appendFixed(text, std::fmod(seconds, 60.0), 3, 6);
        return text;
    }
    const auto whole = static_cast<std::int64_t>(seconds);
    if (whole < 60) {
        appendFixed(text, seconds, 3);
        return text;
    }
    const std::int64_t minutes = whole / 60;
    appendInteger(text, minutes);
    text += ':';
    appendFixed(text, seconds - static_cast<double>(minutes) * 60.0, 3, 6);
    return text;
}

std::string lapTime(std::optional<double> seconds)
{
    return seconds ? lapTime(*seconds) : std::string(placeholder);
}

std::string speedKmh(std::optional<double> metresPerSecond)
{
    if (!metresPerSecond || !std::isfinite(*metresPerSecond)) return std::string(placeholder);
    std::string text;
    appendFixed(text, *metresPerSecond * 3.6, 1);
    text += " km/h";
    return text;
}

std::string distance(double metres)
{
    std::string text;
    // NaN fails the comparison and is written in metres, as "nan m".
    if (metres >= 1000) {
        appendFixed(text, metres / 1000, 2);
        text += " km";
    } else {
        appendFixed(text, metres, 0);
        text += " m";
    }
    return text;
}

std::string dateTime(std::string_view timestamp)
{
    if (const auto instant = iso8601::readAny(timestamp)) {
        return iso8601::writeDayMonthYearTime(*instant) + " UTC";
    }
    return timestamp.empty() ? std::string(placeholder) : std::string(timestamp);
}

std::optional<double> elapsedSec(std::string_view from, std::string_view to)
{
    const auto start = iso8601::readAny(from);
    if (!start) return std::nullopt;
    const auto end = iso8601::readAny(to);
    if (!end) return std::nullopt;
    // Read instants lie within years 0000-9999, so the tick difference fits and converts exactly.
    const double interval = static_cast<double>(end->ticks - start->ticks)
        / static_cast<double>(iso8601::Instant::ticksPerSecond);
    if (interval < 0) return std::nullopt;
    return interval;
}

std::string duration(std::string_view from, std::string_view to)
{
    const auto interval = elapsedSec(from, to);
    if (!interval) return std::string(placeholder);
    const auto total = static_cast<std::int64_t>(std::round(*interval));
    const std::int64_t hours = total / 3600;
    const std::int64_t minutes = (total - hours * 3600) / 60;
    const std::int64_t secs = total % 60;
    std::string text;
    if (total < 3600) {
        appendInteger(text, minutes);
    } else {
        appendInteger(text, hours);
        text += ':';
        appendInteger(text, minutes, 2);
    }
    text += ':';
    appendInteger(text, secs, 2);
    return text;
}

std::string speed(std::optional<double> metresPerSecond, Units units)
{
    if (units == Units::metric) return speedKmh(metresPerSecond);
    if (!metresPerSecond || !std::isfinite(*metresPerSecond)) return std::string(placeholder);
    return decimal(*metresPerSecond * 3600 / metresPerMile, 1) + " mph";
}

std::string distance(double metres, Units units)
{
    if (units == Units::metric) return distance(metres);
    return decimal(metres / metresPerMile, 2) + " mi";
}

std::string lapDelta(std::optional<double> seconds)
{
    if (!seconds || !std::isfinite(*seconds)) return std::string(placeholder);
    if (*seconds == 0) return "best";
    std::string text(1, *seconds > 0 ? '+' : '-');
    appendFixed(text, std::abs(*seconds), 3);
    return text;
}

std::string acceleration(double g)
{
    if (!std::isfinite(g)) return std::string(placeholder);
    return decimal(g, 2) + " g";
}

std::string angle(double degrees)
{
    if (!std::isfinite(degrees)) return std::string(placeholder);
    return decimal(degrees, 1) + "\u00B0";
}

std::string decimal(double value, int digits)
{
    std::string text;
    appendFixed(text, value, digits);
    return text;
}

}  // namespace zaro::ZaroSessionFormat
