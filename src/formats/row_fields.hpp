// The columns a reader takes from a header, by tables of their spellings, and the fields of a row up
// to the last column it needs, split quickly where the row has no quotes (most have none).
#pragma once

#include <algorithm>
#include <initializer_list>
#include <string>
#include <utility>
#include <optional>
#include <string_view>
#include <vector>

#include "base/simd.hpp"
#include "delimited.hpp"

namespace zaro::formats {

/// One spelling of a column (as columnKey gives it) and the member of a reader's columns it fills.
template <typename Columns>
struct Spelling {
    std::string_view key;
    std::optional<std::size_t> Columns::*column;
};

/// The first column of each spelling in `header`.
template <typename Columns, std::size_t size>
Columns columnsOf(const std::vector<std::string_view>& header, const Spelling<Columns> (&spellings)[size])
{
    Columns columns;
    for (std::size_t i = 0; i < header.size(); ++i) {
        const std::string key = columnKey(header[i]);
        for (const Spelling<Columns>& spelling : spellings) {
            if (key == spelling.key && !(columns.*spelling.column)) columns.*spelling.column = i;
        }
    }
    return columns;
}

/// Metres per second in one of `unit` ("km/h", "KPH", "mph", "m/s"); none for another.
inline std::optional<double> metresPerSecondIn(std::string_view unit)
{
    static constexpr std::pair<std::string_view, double> units[] = {
        {"m/s", 1.0}, {"km/h", 1 / 3.6}, {"kph", 1 / 3.6}, {"kmh", 1 / 3.6}, {"mph", 0.44704}};
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (const auto& [name, factor] : units) {
        if (name.size() == unit.size() && std::equal(name.begin(), name.end(), unit.begin(), [&](char a, char b) { return a == lower(b); })) {
            return factor;
        }
    }
    return std::nullopt;
}

/// At most `count` fields of `line` at `separator`, trimmed as splitFields trims them; a line with
/// quotes is split by splitFields.
inline void leadingFields(std::string_view line, char separator, std::size_t count, std::vector<std::string_view>& fields)
{
    fields.clear();
    const char* const data = line.data();
    const std::size_t size = line.size();
    std::size_t from = 0;
    // Ends the field before `at`; true once `count` fields are taken.
    const auto take = [&](std::size_t at) {
        std::string_view field(data + from, at - from);
        // Padding is blanks, tabs, NULs and line ends, all at or below a space.
        if (!field.empty() && (static_cast<unsigned char>(field.front()) <= ' ' || static_cast<unsigned char>(field.back()) <= ' ')) {
            field = trimField(field);
        }
        fields.push_back(field);
        from = at + 1;
        return fields.size() >= count;
    };
    std::size_t base = 0;
#if ZARO_SSE2
    // Sixteen bytes at a time: a mask of the separators and quotes, then one step per separator.
    const __m128i separators = _mm_set1_epi8(separator);
    const __m128i quotes = _mm_set1_epi8('"');
    for (; base + 16 <= size; base += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + base));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, quotes)) != 0) [[unlikely]] {
            splitFields(line, separator, fields, count);
            return;
        }
        for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, separators))); mask != 0; mask &= mask - 1) {
            if (take(base + static_cast<std::size_t>(__builtin_ctz(mask)))) return;
        }
    }
#endif
    for (; base < size; ++base) {
        if (data[base] == separator) {
            if (take(base)) return;
        } else if (data[base] == '"') [[unlikely]] {
            splitFields(line, separator, fields, count);
            return;
        }
    }
    if (count > 0) take(size);
}

/// How many leading fields hold the given columns.
inline std::size_t fieldsNeeded(std::initializer_list<std::optional<std::size_t>> columns)
{
    std::size_t count = 0;
    for (const auto& column : columns) {
        if (column && *column + 1 > count) count = *column + 1;
    }
    return count;
}

}  // namespace zaro::formats
