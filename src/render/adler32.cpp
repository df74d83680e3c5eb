#include "adler32.hpp"

#include <algorithm>
#include <cstddef>

#include "base/simd.hpp"

namespace zaro::png {

namespace {

constexpr std::uint32_t modulus = 65521;
// The bytes taken between reductions modulo: at most 5552, after which the high sum could overflow 32
// bits, and at most 128 blocks of 32 bytes, whose column sums stay below 2^15 for the signed
// multiply-add.
constexpr std::size_t stretch = 128 * 32;

}  // namespace

std::uint32_t adler32(std::uint32_t adler, std::span<const unsigned char> bytes)
{
    std::uint32_t low = adler & 0xFFFF;
    std::uint32_t high = adler >> 16;
    const unsigned char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        std::size_t n = std::min(left, stretch);
        left -= n;
#if ZARO_SSE2
        // Per 32 bytes: the bytes' sum, the sum of the running low sums before them, and each of the
        // 32 byte columns' sum; the high sum gains 32 times the second and the columns weighted 32
        // down to 1.
        const std::size_t blocks = n / 32;
        if (blocks > 0) {
            const __m128i zero = _mm_setzero_si128();
            __m128i sum = zero;
            __m128i sumsBefore = zero;
            __m128i columns[4] = {zero, zero, zero, zero};
            for (std::size_t b = 0; b < blocks; ++b) {
                const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + b * 32));
                const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + b * 32 + 16));
                sumsBefore = _mm_add_epi32(sumsBefore, sum);
                // Zeros add nothing but the low sum again.
                if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(first, second), zero)) == 0xFFFF) continue;
                sum = _mm_add_epi32(sum, _mm_add_epi32(_mm_sad_epu8(first, zero), _mm_sad_epu8(second, zero)));
                columns[0] = _mm_add_epi16(columns[0], _mm_unpacklo_epi8(first, zero));
                columns[1] = _mm_add_epi16(columns[1], _mm_unpackhi_epi8(first, zero));
                columns[2] = _mm_add_epi16(columns[2], _mm_unpacklo_epi8(second, zero));
                columns[3] = _mm_add_epi16(columns[3], _mm_unpackhi_epi8(second, zero));
            }
            __m128i weighted = _mm_madd_epi16(columns[0], _mm_setr_epi16(32, 31, 30, 29, 28, 27, 26, 25));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(columns[1], _mm_setr_epi16(24, 23, 22, 21, 20, 19, 18, 17)));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(columns[2], _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9)));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(columns[3], _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1)));
            const auto total = [](__m128i v) {
                alignas(16) std::uint32_t lanes[4];
                _mm_store_si128(reinterpret_cast<__m128i*>(lanes), v);
                return std::uint64_t{lanes[0]} + lanes[1] + lanes[2] + lanes[3];
            };
            const std::uint64_t bytesSum = total(sum);
            const std::uint64_t highGain = 32 * (total(sumsBefore) + blocks * std::uint64_t{low}) + total(weighted);
            high = static_cast<std::uint32_t>((high + highGain) % modulus);
            low = static_cast<std::uint32_t>((low + bytesSum) % modulus);
            p += blocks * 32;
            n -= blocks * 32;
        }
#endif
        for (std::size_t i = 0; i < n; ++i) {
            low += p[i];
            high += low;
        }
        p += n;
        low %= modulus;
        high %= modulus;
    }
    return high << 16 | low;
}

std::uint32_t adler32Joined(std::uint32_t first, std::uint32_t second, std::uint64_t secondLength)
{
    // The second stretch's low sum started from 1 instead of the first's, and each of its bytes added
    // that difference to the high sum once more.
    const std::uint64_t firstLow = first & 0xFFFF;
    const std::uint64_t low = (firstLow + (second & 0xFFFF) + modulus - 1) % modulus;
    const std::uint64_t high =
        ((first >> 16) + (second >> 16) + (secondLength % modulus) * (firstLow + modulus - 1)) % modulus;
    return static_cast<std::uint32_t>(high << 16 | low);
}

}  // namespace zaro::png
