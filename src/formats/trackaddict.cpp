#include "readers.hpp"

#include "parser/parse_error.hpp"

namespace zaro::formats {

bool recognisesTrackAddict(std::string_view) { return false; }

ZaroSession readTrackAddict(std::string_view, std::string) { throw ParseError::unsupportedFormat(); }

}  // namespace zaro::formats
