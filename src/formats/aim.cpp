#include "readers.hpp"

#include "parser/parse_error.hpp"

namespace zaro::formats {

bool recognisesAim(std::string_view) { return false; }

ZaroSession readAim(std::string_view, std::string) { throw ParseError::unsupportedFormat(); }

}  // namespace zaro::formats
