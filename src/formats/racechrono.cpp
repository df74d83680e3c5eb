#include "readers.hpp"

#include "parser/parse_error.hpp"

namespace zaro::formats {

bool recognisesRaceChrono(std::string_view) { return false; }

ZaroSession readRaceChrono(std::string_view, std::string) { throw ParseError::unsupportedFormat(); }

}  // namespace zaro::formats
