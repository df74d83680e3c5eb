#include "cli/numbers.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace zaro::cli {

namespace {

// Appends `thousandths` / 1000 without trailing zeros: 27900 as "27.9", 2000 as "2".
char* writeThousandths(char* out, std::uint64_t thousandths)
{
    out = std::to_chars(out, out + 24, thousandths / 1000).ptr;
    std::uint64_t rest = thousandths % 1000;
    if (rest == 0) return out;
    *out++ = '.';
    for (std::uint64_t unit = 100; rest != 0; unit /= 10) {
        *out++ = static_cast<char>('0' + rest / unit);
        rest %= unit;
    }
    return out;
}

}  // namespace

char* writeShortest(char* out, double value)
{
    // Most numbers of a session file have at most three decimals, and they skip the general search
    // for the shortest digits: when k / 1000 reads back as the value (the division rounds as a
    // reading would), those decimals are the shortest digits, since no other decimal as short lies
    // within reach of the value below 1e5; and there the fixed form is never longer than the
    // exponent form, which is what to_chars would weigh it against.
    const double magnitude = std::abs(value);
    const double thousandths = std::round(magnitude * 1000);
    if (magnitude < 1e5 && (magnitude >= 1e-3 || magnitude == 0) && thousandths / 1000 == magnitude) {
        if (std::signbit(value)) *out++ = '-';
        return writeThousandths(out, static_cast<std::uint64_t>(thousandths));
    }
    return std::to_chars(out, out + maxShortestLength, value).ptr;
}

void appendShortest(std::string& out, double value)
{
    char digits[maxShortestLength];
    out.append(digits, writeShortest(digits, value));
}

std::string_view nonFiniteName(double value)
{
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
    return {};
}

}  // namespace zaro::cli
