// Numbers as the machine-readable outputs write them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zaro::cli {

/// The most characters `writeShortest` writes.
inline constexpr std::size_t maxShortestLength = 32;

/// Writes the shortest digits that read back as `value` ("0.1", "52", "1e+300") at `out`, as
/// std::to_chars writes them, NaN and infinities too; returns the end.
char* writeShortest(char* out, double value);

/// `writeShortest` at the end of a text.
void appendShortest(std::string& out, double value);

/// "NaN", "Infinity" or "-Infinity" for a value that is not finite, the names JSON readers know;
/// empty for a finite one.
std::string_view nonFiniteName(double value);

}  // namespace zaro::cli
