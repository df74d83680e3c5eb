// Numbers and timestamps of a session as the short texts the card prints. No locale is involved.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zaro::ZaroSessionFormat {

/// Shown for any value that cannot be shown: U+2014 EM DASH.
inline constexpr std::string_view placeholder = "\u2014";

/// "9.877", "1:23.456", "62:05.500"; the placeholder for NaN, infinities and negative values.
std::string lapTime(double seconds);

/// "36.0 km/h"; the placeholder for an absent or non-finite value.
std::string speedKmh(std::optional<double> metresPerSecond);

/// "999 m", "15.25 km".
std::string distance(double metres);

/// "1 Jun 2024 09:05:03 UTC"; an unreadable text unchanged, an empty one the placeholder.
std::string dateTime(std::string_view timestamp);

/// "1:05", "26:03:04"; the placeholder when either text is unreadable or the end is before the start.
std::string duration(std::string_view from, std::string_view to);

}  // namespace zaro::ZaroSessionFormat
