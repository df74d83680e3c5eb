// Fields of a line and the numbers in them: quoted splitting, plain comma counting, C-locale reading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "parser/numbers.hpp"

namespace zaro::ZaroSessionParser::detail {

/// Whether `field` lower-cased equals `lowerWord`, an ASCII word in lower case.
bool equalsIgnoringCase(std::string_view field, std::string_view lowerWord);
/// Whether `text` lower-cased contains `lowerWord`, an ASCII word in lower case.
bool containsIgnoringCase(std::string_view text, std::string_view lowerWord);

/// The fields of a line, trimmed, with double quotes honoured; at least one. A comma or quote fused
/// with a following combining mark is an ordinary character.
class CsvFields {
public:
    explicit CsvFields(std::string_view line);
    /// The next field; the view is valid until the next call.
    bool next(std::string_view& field);

private:
    std::string_view line_;
    std::size_t position_ = 0;
    bool done_ = false;
    bool quoted_;  // the line holds a double quote: fields are unquoted into scratch_
    std::string scratch_;
};

std::vector<std::string> splitCsvLine(std::string_view line);

/// Field `at` of a line by plain comma counting (quotes are ordinary characters), trimmed; no value
/// when the line has no such field or it is empty.
std::optional<std::string_view> csvValue(std::string_view line, std::int64_t at);

/// The first comma at or after `from` that is a character of its own, or the line's size.
std::size_t nextComma(std::string_view line, std::size_t from);

}  // namespace zaro::ZaroSessionParser::detail
