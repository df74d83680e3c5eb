#include "host/drawing_module.hpp"

#include <dlfcn.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "base/bundle.hpp"

namespace zaro {

namespace {

std::vector<std::filesystem::path> moduleLocations(const char* moduleName)
{
    std::vector<std::filesystem::path> locations;
    if (const std::optional<std::filesystem::path> program = runningProgram()) {
        locations.push_back(program->parent_path() / moduleName);
        locations.push_back((program->parent_path() / ".." / ZARO_MODULE_DIR / moduleName).lexically_normal());
    }
    locations.push_back(std::filesystem::path(ZARO_INSTALLED_MODULE_DIR) / moduleName);
    return locations;
}

}  // namespace

const void* loadDrawingModule(const char* moduleName, const char* entryName, const std::string& cannot)
{
    std::string reason = "it is not installed";
    for (const std::filesystem::path& location : moduleLocations(moduleName)) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(location, error)) continue;
        // Never unloaded: the libraries it brings keep threads and state until the process ends.
        // The module is linked to bind all its own symbols as it loads, so one it misses fails here;
        // the libraries under it bind theirs as they first call them, as they were built to, which
        // spares a card about a millisecond of binding symbols nothing calls.
        void* module = ::dlopen(location.c_str(), RTLD_LAZY | RTLD_LOCAL);
        if (!module) {
            const char* message = ::dlerror();
            reason = message ? message : location.string();
            continue;
        }
        const auto entry = reinterpret_cast<const void* (*)(const char*)>(::dlsym(module, entryName));
        if (const void* table = entry ? entry(ZARO_VERSION) : nullptr) return table;
        reason = location.string() + " is not this version's";
    }
    throw std::runtime_error(cannot + ": the drawing module cannot be loaded (" + reason + ").");
}

}  // namespace zaro
