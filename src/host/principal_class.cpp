#include "host/principal_class.hpp"

#include <algorithm>

namespace zaro {

std::unique_ptr<PrincipalObject> ClassRegistry::create(std::string_view name) const
{
    const auto named = [name](const auto& entry) { return entry.first == name; };
    const auto found = std::find_if(classes_.begin(), classes_.end(), named);
    if (found == classes_.end()) return nullptr;
    return found->second();
}

}  // namespace zaro
