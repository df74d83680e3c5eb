#include "png_rows.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#include "base/simd.hpp"

namespace zaro::png {

namespace {

// (c * 255 + a / 2) / a for 0 < a < 255 and any c as one multiplication: with 24 bits the rounded-up
// reciprocal is exact for every numerator below 2^16.
constexpr std::uint32_t reciprocal(std::uint32_t alpha) { return ((1u << 24) + alpha - 1) / alpha; }

constexpr unsigned char unpremultiplied(std::uint32_t component, std::uint32_t alpha)
{
    return static_cast<unsigned char>(((component * 255 + alpha / 2) * std::uint64_t{reciprocal(alpha)}) >> 24);
}

constexpr bool reciprocalsExact()
{
    for (std::uint32_t a = 1; a < 255; ++a) {
        for (std::uint32_t c = 0; c < 256; ++c) {
            if (unpremultiplied(c, a) != static_cast<unsigned char>((c * 255 + a / 2) / a)) return false;
        }
    }
    return true;
}
static_assert(reciprocalsExact());

#if ZARO_SSE2
__m128i load(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
#endif

}  // namespace

bool convertRow(const unsigned char* argb, std::size_t width, bool withAlpha, unsigned char* samples)
{
    std::uint32_t all = 0xFF000000;
    if (!withAlpha) {
        std::size_t x = 0;
#if ZARO_SSE2
        // Four pixels at a time: each word turned to 0x00BBGGRR, that is bytes R, G, B, 0, and each
        // 64-bit half's two pixels moved together into six bytes, stored eight bytes at a time.
        const __m128i low = _mm_set1_epi32(0xFF);
        const __m128i middle = _mm_set1_epi32(0xFF00);
        const __m128i high = _mm_set1_epi32(0xFF0000);
        const __m128i firstPixel = _mm_set1_epi64x(0xFFFFFF);
        const __m128i secondPixel = _mm_set1_epi64x(0xFFFFFF000000);
        __m128i allWords = _mm_set1_epi32(-1);
        for (; x + 4 <= width; x += 4) {
            const __m128i argbWords = _mm_loadu_si128(reinterpret_cast<const __m128i*>(argb + x * 4));
            allWords = _mm_and_si128(allWords, argbWords);
            const __m128i bgr = _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_srli_epi32(argbWords, 16), low), _mm_and_si128(argbWords, middle)),
                                             _mm_and_si128(_mm_slli_epi32(argbWords, 16), high));
            const __m128i packed = _mm_or_si128(_mm_and_si128(bgr, firstPixel), _mm_and_si128(_mm_srli_epi64(bgr, 8), secondPixel));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(samples + x * 3), packed);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(samples + x * 3 + 6), _mm_srli_si128(packed, 8));
        }
        allWords = _mm_and_si128(allWords, _mm_srli_si128(allWords, 8));
        allWords = _mm_and_si128(allWords, _mm_srli_si128(allWords, 4));
        all &= static_cast<std::uint32_t>(_mm_cvtsi128_si32(allWords));
#endif
        for (; x < width; ++x) {
            std::uint32_t word;
            std::memcpy(&word, argb + x * 4, 4);
            all &= word;
            if constexpr (std::endian::native == std::endian::little) {
                // Red, green, blue and a zero as one store; the zero is overwritten by the next pixel
                // or falls past the samples, as the vector stores' last two bytes do.
                const std::uint32_t rgb = (word >> 16 & 0xFF) | (word & 0xFF00) | (word & 0xFF) << 16;
                std::memcpy(samples + x * 3, &rgb, 4);
            } else {
                samples[x * 3] = static_cast<unsigned char>(word >> 16);
                samples[x * 3 + 1] = static_cast<unsigned char>(word >> 8);
                samples[x * 3 + 2] = static_cast<unsigned char>(word);
            }
        }
        return all >> 24 == 0xFF;
    }
    for (std::size_t x = 0; x < width; ++x) {
        std::uint32_t word;
        std::memcpy(&word, argb + x * 4, 4);
        const std::uint32_t a = word >> 24;
        all &= word;
        unsigned char* out = samples + x * 4;
        out[3] = static_cast<unsigned char>(a);
        if (a == 255) {
            out[0] = static_cast<unsigned char>(word >> 16);
            out[1] = static_cast<unsigned char>(word >> 8);
            out[2] = static_cast<unsigned char>(word);
        } else if (a == 0) {
            out[0] = out[1] = out[2] = 0;
        } else {
            out[0] = unpremultiplied(word >> 16 & 0xFF, a);
            out[1] = unpremultiplied(word >> 8 & 0xFF, a);
            out[2] = unpremultiplied(word & 0xFF, a);
        }
    }
    return all >> 24 == 0xFF;
}

std::pair<std::size_t, std::size_t> changedPixels(const unsigned char* row, const unsigned char* above, std::size_t width)
{
    // Whole rows alike, common on a card, are the C library's to find: its comparison uses the widest
    // vectors the processor has.
    if (std::memcmp(row, above, width * 4) == 0) return {width, width};
    std::size_t first = 0;
    std::size_t end = width;
#if ZARO_SSE2
    const auto same = [&](std::size_t x) {
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(load(row + x * 4), load(above + x * 4))));
    };
    // 16 pixels at a time while all are the same, then 4 at a time.
    for (; first + 16 <= width; first += 16) {
        const __m128i all = _mm_and_si128(
            _mm_and_si128(_mm_cmpeq_epi8(load(row + first * 4), load(above + first * 4)),
                          _mm_cmpeq_epi8(load(row + first * 4 + 16), load(above + first * 4 + 16))),
            _mm_and_si128(_mm_cmpeq_epi8(load(row + first * 4 + 32), load(above + first * 4 + 32)),
                          _mm_cmpeq_epi8(load(row + first * 4 + 48), load(above + first * 4 + 48))));
        if (_mm_movemask_epi8(all) != 0xFFFF) break;
    }
    for (; first + 4 <= width; first += 4) {
        const unsigned equal = same(first);
        if (equal != 0xFFFF) {
            first += static_cast<std::size_t>(std::countr_one(equal)) / 4;
            break;
        }
    }
    if (first + 4 > width) {
        while (std::memcmp(row + first * 4, above + first * 4, 4) == 0) ++first;
    }
    for (; end >= first + 4; end -= 4) {
        const unsigned equal = same(end - 4);
        if (equal != 0xFFFF) {
            end -= static_cast<std::size_t>(std::countl_one(equal << 16)) / 4;
            return {first, end};
        }
    }
#endif
    // The rows differ, so both searches stop at a pixel.
    while (std::memcmp(row + first * 4, above + first * 4, 4) == 0) ++first;
    while (std::memcmp(row + (end - 1) * 4, above + (end - 1) * 4, 4) == 0) --end;
    return {first, end};
}

void differingStretches(const unsigned char* row, const unsigned char* above, std::size_t size, std::size_t least,
                        std::vector<std::pair<std::size_t, std::size_t>>& out)
{
    out.clear();
    std::size_t i = 0;
    while (i < size) {
        // Past the bytes that are as they were, eight at a time.
        std::size_t differs = i;
        for (std::uint64_t a = 0, b = 0; differs + 8 <= size; differs += 8) {
            std::memcpy(&a, row + differs, 8);
            std::memcpy(&b, above + differs, 8);
            if (a != b) break;
        }
        while (differs < size && row[differs] == above[differs]) ++differs;
        if (differs == size) break;
        std::size_t until = differs + 1;
        while (until < size && row[until] != above[until]) ++until;
        if (!out.empty() && differs - out.back().second < least) {
            out.back().second = until;
        } else {
            out.emplace_back(differs, until);
        }
        i = until;
    }
}

}  // namespace zaro::png
