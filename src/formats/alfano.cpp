#include "readers.hpp"

#include "parser/parse_error.hpp"

namespace zaro::formats {

bool recognisesAlfano(std::string_view) { return false; }

ZaroSession readAlfano(std::string_view, std::string) { throw ParseError::unsupportedFormat(); }

}  // namespace zaro::formats
