#include "readers.hpp"

#include "parser/parse_error.hpp"

namespace zaro::formats {

bool recognisesRaceCapture(std::string_view) { return false; }

ZaroSession readRaceCapture(std::string_view, std::string) { throw ParseError::unsupportedFormat(); }

}  // namespace zaro::formats
