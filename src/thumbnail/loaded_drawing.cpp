// The thumbnailer's drawing, loaded from its module the first time a request needs it.
#include <dlfcn.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "base/bundle.hpp"
#include "thumbnail/thumbnail_drawing.hpp"

namespace zaro {

namespace {

constexpr const char* moduleName = "zaro-session-thumbnail-drawing.so";
constexpr const char* entryName = "zaro_thumbnail_drawing";

// The program's own folder first (the build tree keeps the module beside the program), then the
// private library folder of the prefix the program is installed in, wherever the prefix was moved to,
// then the one it was built for.
std::vector<std::filesystem::path> moduleLocations()
{
    std::vector<std::filesystem::path> locations;
    if (const std::optional<std::filesystem::path> program = runningProgram()) {
        locations.push_back(program->parent_path() / moduleName);
        locations.push_back((program->parent_path() / ".." / ZARO_MODULE_DIR / moduleName).lexically_normal());
    }
    locations.push_back(std::filesystem::path(ZARO_INSTALLED_MODULE_DIR) / moduleName);
    return locations;
}

const ThumbnailDrawing& load()
{
    std::string reason = "it is not installed";
    for (const std::filesystem::path& location : moduleLocations()) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(location, error)) continue;
        // Never unloaded: the libraries it brings keep threads and state until the process ends.
        void* module = ::dlopen(location.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            const char* message = ::dlerror();
            reason = message ? message : location.string();
            continue;
        }
        const auto entry = reinterpret_cast<const ThumbnailDrawing* (*)()>(::dlsym(module, entryName));
        const ThumbnailDrawing* drawing = entry ? entry() : nullptr;
        if (drawing && std::strcmp(drawing->version, ZARO_VERSION) == 0) return *drawing;
        reason = location.string() + " is not this version's";
    }
    throw std::runtime_error("The thumbnail cannot be drawn: the drawing module cannot be loaded (" + reason + ").");
}

}  // namespace

const ThumbnailDrawing& thumbnailDrawing()
{
    // A failed load throws out of the initialisation, so the next call tries again.
    static const ThumbnailDrawing& drawing = load();
    return drawing;
}

}  // namespace zaro
