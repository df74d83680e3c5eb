#include "foreign_writers.hpp"

namespace zaro::SessionGenerator {

std::string writeAim(const std::vector<Row>&, const Options&) { return {}; }

}  // namespace zaro::SessionGenerator
