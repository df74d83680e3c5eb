// Lines, fields and values of delimited text as loggers write it: any line end, quoted or bare
// fields, blanks and NUL padding, decimal commas, units after numbers, Unix times of any resolution.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zaro::formats {

/// The lines of a text without their ends: LF or CR LF, or a lone CR where no LF follows (old Mac
/// files); a CR inside a line that a LF ends stays in it.
class Lines {
public:
    explicit Lines(std::string_view text, std::size_t from = 0) : text_(text), at_(from) {}
    bool next(std::string_view& line);
    /// Where the next line begins.
    std::size_t offset() const { return at_; }

private:
    std::string_view text_;
    std::size_t at_;
};

/// `field` without blanks, tabs, NULs and line ends around it.
std::string_view trimField(std::string_view field);

/// The fields of `line` at `separator`, each trimmed; a field in double quotes may hold the separator
/// and loses its quotes (a doubled quote inside stays doubled). At least one field, at most `maxFields`
/// (the first ones).
void splitFields(std::string_view line, char separator, std::vector<std::string_view>& fields,
                 std::size_t maxFields = std::numeric_limits<std::size_t>::max());

/// Of comma, semicolon and tab, the one the line has most of outside quotes; comma on a tie.
char likelySeparator(std::string_view line);

/// A decimal number filling the whole field, as the parse reads one (C locale); with `decimalComma`
/// one comma stands for the decimal point ("52,3").
std::optional<double> number(std::string_view field, bool decimalComma = false);

/// A number followed by a unit or a hemisphere letter: "10.120 km/h", "51.610 m", "31.769598N".
struct Quantity {
    double value;
    std::string_view unit;  // what follows the number, blanks dropped; empty for a bare number
};
std::optional<Quantity> quantity(std::string_view field, bool decimalComma = false);

/// An integer filling the field, or a number with no fraction ("3", "3.0").
std::optional<std::int64_t> wholeNumber(std::string_view field);

/// Ticks of 100 µs since 1970 of a Unix time in seconds, milliseconds, microseconds or nanoseconds,
/// told apart by magnitude (seconds from 1973 on); none for smaller or non-finite values.
std::optional<std::int64_t> unixTicks(double value);
/// unixTicks of a whole number, exact but for the rounding of nanoseconds and microseconds to ticks.
std::optional<std::int64_t> wholeUnixTicks(std::int64_t value);

/// Ticks of `seconds` (finite, within a few thousand years), rounded to the nearest tick.
std::optional<std::int64_t> secondsToTicks(double seconds);

/// Whether `raw` begins with a UTF-16 byte-order mark, of either byte order.
inline bool hasUtf16Mark(std::string_view raw) { return raw.starts_with("\xFF\xFE") || raw.starts_with("\xFE\xFF"); }

/// The text of a file as UTF-8: a UTF-8 byte-order mark dropped, UTF-16 with a byte-order mark
/// decoded, and bytes that are not UTF-8 replaced by U+FFFD. `raw` itself when it needs nothing.
std::string_view decodeText(std::string_view raw, std::string& storage);

/// `name` reduced for matching column names: lower case ASCII, without blanks, underscores, dots and
/// hyphens, and without a unit in brackets or parentheses, which goes to `unit` (lower case).
std::string columnKey(std::string_view name, std::string* unit = nullptr);

}  // namespace zaro::formats
