#include "readers.hpp"

#include "parser/parse_error.hpp"

namespace zaro::formats {

bool recognisesHarrys(std::string_view) { return false; }

ZaroSession readHarrys(std::string_view, std::string) { throw ParseError::unsupportedFormat(); }

}  // namespace zaro::formats
