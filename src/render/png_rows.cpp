#include "png_rows.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
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

unsigned char paethPredictor(unsigned char left, unsigned char upper, unsigned char upperLeft)
{
    const int pa = std::abs(upper - upperLeft);
    const int pb = std::abs(left - upperLeft);
    const int pc = std::abs(left + upper - 2 * upperLeft);
    return pa <= pb && pa <= pc ? left : pb <= pc ? upper : upperLeft;
}

unsigned magnitude(unsigned char v) { return v < 128 ? v : 256u - v; }

struct Sums {
    std::uint32_t none = 0;
    std::uint32_t sub = 0;
    std::uint32_t up = 0;
    std::uint32_t paeth = 0;
};

#if ZARO_SSE2
__m128i load(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// Paeth's predictor on bytes: with pa = |b - c| and pb = |a - c|, pc = |a + b - 2c| is their sum when
// a - c and b - c have the same sign and their difference otherwise; a sum past 255 saturates, which
// keeps every comparison's outcome. The predictor is a where pa is the least of the three, else b
// where pb is, else c.
__m128i paethVector(__m128i a, __m128i b, __m128i c)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i cOverB = _mm_subs_epu8(c, b);
    const __m128i cOverA = _mm_subs_epu8(c, a);
    const __m128i pa = _mm_or_si128(_mm_subs_epu8(b, c), cOverB);
    const __m128i pb = _mm_or_si128(_mm_subs_epu8(a, c), cOverA);
    const __m128i signsDiffer = _mm_xor_si128(_mm_cmpeq_epi8(cOverB, zero), _mm_cmpeq_epi8(cOverA, zero));
    const __m128i difference = _mm_or_si128(_mm_subs_epu8(pa, pb), _mm_subs_epu8(pb, pa));
    const __m128i sum = _mm_adds_epu8(pa, pb);
    const __m128i pc = _mm_xor_si128(sum, _mm_and_si128(signsDiffer, _mm_xor_si128(sum, difference)));
    const __m128i least = _mm_min_epu8(_mm_min_epu8(pa, pb), pc);
    const __m128i orB = _mm_xor_si128(c, _mm_and_si128(_mm_cmpeq_epi8(pb, least), _mm_xor_si128(c, b)));
    return _mm_xor_si128(orB, _mm_and_si128(_mm_cmpeq_epi8(pa, least), _mm_xor_si128(orB, a)));
}

// The bytes' magnitudes as signed values, summed into two 64-bit lanes.
__m128i magnitudeSum(__m128i v)
{
    const __m128i zero = _mm_setzero_si128();
    return _mm_sad_epu8(_mm_min_epu8(v, _mm_sub_epi8(zero, v)), zero);
}

std::uint32_t lanes(__m128i sum)
{
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(sum)) + static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(sum, 8)));
}
#endif

// The filters are judged on every fourth 16 bytes of a row, or all of a short one: a sample that
// costs a quarter and picks the same filter nearly always. Vectors or not, the same bytes are judged.
constexpr std::size_t sampleStride = 64;

Sums magnitudes(const unsigned char* row, const unsigned char* above, std::size_t size, std::size_t pixel)
{
    Sums sums;
    const bool sampled = size >= 4 * sampleStride;
    const std::size_t stride = sampled ? sampleStride : 16;
    const auto add = [&](std::size_t k) {
        const unsigned char here = row[k];
        sums.none += magnitude(here);
        sums.sub += magnitude(static_cast<unsigned char>(here - row[k - pixel]));
        sums.up += magnitude(static_cast<unsigned char>(here - above[k]));
        sums.paeth += magnitude(static_cast<unsigned char>(here - paethPredictor(row[k - pixel], above[k], above[k - pixel])));
    };
    std::size_t x = 0;
#if ZARO_SSE2
    __m128i none = _mm_setzero_si128();
    __m128i sub = none;
    __m128i up = none;
    __m128i paeth = none;
    for (; x + 16 <= size; x += stride) {
        const __m128i here = load(row + x);
        const __m128i left = load(row + x - pixel);
        const __m128i upper = load(above + x);
        const __m128i upperLeft = load(above + x - pixel);
        none = _mm_add_epi64(none, magnitudeSum(here));
        sub = _mm_add_epi64(sub, magnitudeSum(_mm_sub_epi8(here, left)));
        up = _mm_add_epi64(up, magnitudeSum(_mm_sub_epi8(here, upper)));
        paeth = _mm_add_epi64(paeth, magnitudeSum(_mm_sub_epi8(here, paethVector(left, upper, upperLeft))));
    }
    sums = {lanes(none), lanes(sub), lanes(up), lanes(paeth)};
#else
    for (; x + 16 <= size; x += stride) {
        for (std::size_t k = x; k < x + 16; ++k) add(k);
    }
#endif
    // The sample leaves out the last bytes; a short row is judged to its end.
    if (!sampled) {
        for (; x < size; ++x) add(x);
    }
    return sums;
}

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

Filter chooseFilter(const unsigned char* row, const unsigned char* above, std::size_t size, std::size_t pixelSize)
{
    const Sums sums = magnitudes(row, above, size, pixelSize);
    // Up first: a row like the one above is the commonest on a card, and wins its ties. Paeth costs
    // several times Sub or Up to apply and must be better by an eighth.
    Filter best = up;
    std::uint32_t least = sums.up;
    for (const auto& [filter, sum] : {std::pair{sub, sums.sub}, std::pair{paeth, sums.paeth + sums.paeth / 8}, std::pair{none, sums.none}}) {
        if (sum < least) {
            best = filter;
            least = sum;
        }
    }
    return best;
}

void applyFilter(Filter filter, const unsigned char* row, const unsigned char* above, std::size_t size,
                 std::size_t pixel, unsigned char* out)
{
    std::size_t x = 0;
    switch (filter) {
    case none: std::memcpy(out, row, size); return;
    case sub:
#if ZARO_SSE2
        for (; x + 16 <= size; x += 16) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_sub_epi8(load(row + x), load(row + x - pixel)));
        }
#endif
        for (; x < size; ++x) out[x] = static_cast<unsigned char>(row[x] - row[x - pixel]);
        return;
    case up:
#if ZARO_SSE2
        for (; x + 16 <= size; x += 16) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_sub_epi8(load(row + x), load(above + x)));
        }
#endif
        for (; x < size; ++x) out[x] = static_cast<unsigned char>(row[x] - above[x]);
        return;
    case paeth:
#if ZARO_SSE2
        for (; x + 16 <= size; x += 16) {
            const __m128i predicted = paethVector(load(row + x - pixel), load(above + x), load(above + x - pixel));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_sub_epi8(load(row + x), predicted));
        }
#endif
        for (; x < size; ++x) {
            out[x] = static_cast<unsigned char>(row[x] - paethPredictor(row[x - pixel], above[x], above[x - pixel]));
        }
        return;
    }
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

}  // namespace zaro::png
