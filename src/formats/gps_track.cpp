#include "readers.hpp"

#include "parser/parse_error.hpp"

namespace zaro::formats {

bool recognisesGpsTrack(std::string_view) { return false; }

ZaroSession readGpsTrack(std::string_view, std::string) { throw ParseError::unsupportedFormat(); }

}  // namespace zaro::formats
