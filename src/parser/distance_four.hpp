// The cosines and steps of a batch of fixes four at a time, for x86-64 processors with AVX2: compiled
// only where ZARO_FOUR_LANES is set, and called only where the processor has it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zaro::ZaroSessionParser::detail {

/// As latitudeCosines, for the first 4 * blocks latitudes (blocks <= 64), but for the blocks of four
/// whose bits the result has set (block k: latitudes 4k to 4k + 3), which are left to the caller:
/// those with a latitude at a pole.
std::uint64_t latitudeCosinesFour(const double* lat, double* cosines, std::size_t blocks);

/// As stepsBetween, for steps 1 to 4 * blocks (blocks <= 64), but for the blocks of four whose bits
/// the result has set (block k: steps 4k + 1 to 4k + 4), which are left to the caller: those with a
/// step beyond the series.
std::uint64_t stepsBetweenFour(const double* lat, const double* lon, const double* cosines, double* steps,
                               std::size_t blocks);

}  // namespace zaro::ZaroSessionParser::detail
