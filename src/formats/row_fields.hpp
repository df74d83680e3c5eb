// The fields of a log's row up to the last one a reader needs, split quickly where the row has no
// quotes (most have none): the rest of the row is never looked at.
#pragma once

#include <initializer_list>
#include <optional>
#include <string_view>
#include <vector>

#include "delimited.hpp"

namespace zaro::formats {

/// At most `count` fields of `line` at `separator`, trimmed as splitFields trims them; a line with
/// quotes is split whole by splitFields.
inline void leadingFields(std::string_view line, char separator, std::size_t count, std::vector<std::string_view>& fields)
{
    fields.clear();
    const char* at = line.data();
    const char* const end = at + line.size();
    // Fields are short: a plain loop beats a call to memchr for each.
    for (const char* from = at; fields.size() < count; ++at) {
        if (at == end || *at == separator) {
            std::string_view field(from, static_cast<std::size_t>(at - from));
            if (!field.empty() && (static_cast<unsigned char>(field.front()) <= ' ' || static_cast<unsigned char>(field.back()) <= ' ')) {
                field = trimField(field);
            }
            fields.push_back(field);
            if (at == end) break;
            from = at + 1;
        } else if (*at == '"') [[unlikely]] {
            splitFields(line, separator, fields);
            return;
        }
    }
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
