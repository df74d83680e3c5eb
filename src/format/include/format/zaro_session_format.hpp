// Numbers and timestamps of a session as the short texts the card prints. No locale is involved.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zaro::ZaroSessionFormat {

/// Shown for any value that cannot be shown: U+2014 EM DASH.
inline constexpr std::string_view placeholder = "\u2014";

/// "9.877", "1:23.456", "62:05.500"; the placeholder for NaN, infinities and negative values.
std::string lapTime(double seconds);

/// `lapTime`, or the placeholder for an absent time.
std::string lapTime(std::optional<double> seconds);

/// "36.0 km/h"; the placeholder for an absent or non-finite value.
std::string speedKmh(std::optional<double> metresPerSecond);

/// "999 m", "15.25 km".
std::string distance(double metres);

/// "1 Jun 2024 09:05:03 UTC"; an unreadable text unchanged, an empty one the placeholder.
std::string dateTime(std::string_view timestamp);

/// "1:05", "26:03:04"; the placeholder when either text is unreadable or the end is before the start.
std::string duration(std::string_view from, std::string_view to);

/// The seconds from one timestamp to another; none when either is unreadable or the end is before the start.
std::optional<double> elapsedSec(std::string_view from, std::string_view to);

/// Metric units as on the card, or miles per hour and miles.
enum class Units : std::uint8_t { metric, imperial };

/// `speedKmh`, or "22.4 mph" in imperial units.
std::string speed(std::optional<double> metresPerSecond, Units units);

/// `distance`, or "9.48 mi" in imperial units, miles at every length.
std::string distance(double metres, Units units);

/// A lap's gap to the best lap: "+1.234", "-0.500", "best" for none at all; the placeholder when
/// absent or not finite.
std::string lapDelta(std::optional<double> seconds);

/// "1.12 g"; the placeholder when not finite.
std::string acceleration(double g);

/// "52.0°"; the placeholder when not finite.
std::string angle(double degrees);

/// The value with `digits` decimals (0 to 3), rounded as printf rounds it: "0.61".
std::string decimal(double value, int digits);

}  // namespace zaro::ZaroSessionFormat
