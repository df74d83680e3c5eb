#include "format/zaro_session_format.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>

#include "base/iso8601.hpp"

namespace zaro::ZaroSessionFormat {

namespace {

// std::to_chars never consults a locale and, given a precision, rounds the exact binary value as
// printf's %f does; that keeps the full stop and printf's digits under any process locale.
// A fixed-point double has at most 309 integer digits, so the buffer always suffices.
void appendFixed(std::string& out, double value, int precision, std::size_t zeroPadWidth = 0)
{
    std::array<char, 400> buffer{};
    const auto [end, error] =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, precision);
    if (error != std::errc()) return;
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

std::string duration(std::string_view from, std::string_view to)
{
    const auto start = iso8601::readAny(from);
    if (!start) return std::string(placeholder);
    const auto end = iso8601::readAny(to);
    if (!end) return std::string(placeholder);

    // Read instants lie within years 0000-9999, so the tick difference fits and converts exactly.
    const double interval = static_cast<double>(end->ticks - start->ticks)
        / static_cast<double>(iso8601::Instant::ticksPerSecond);
    if (interval < 0) return std::string(placeholder);

    const auto total = static_cast<std::int64_t>(std::round(interval));
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

}  // namespace zaro::ZaroSessionFormat
