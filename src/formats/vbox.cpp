#include "readers.hpp"

#include "parser/parse_error.hpp"

namespace zaro::formats {

bool recognisesVbox(std::string_view) { return false; }

ZaroSession readVbox(std::string_view, std::string) { throw ParseError::unsupportedFormat(); }

}  // namespace zaro::formats
