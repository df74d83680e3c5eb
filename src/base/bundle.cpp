#include "base/bundle.hpp"

#include <sys/auxv.h>

#include <cstdlib>
#include <string>
#include <system_error>

namespace zaro {

namespace {

constexpr std::string_view installedResources = "../share/zaro-session";

bool isDirectory(const std::filesystem::path& path)
{
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

}  // namespace

// /proc/self/exe names the program even after a symlink; without /proc the path it was started by
// is the best there is.
std::optional<std::filesystem::path> runningProgram()
{
    std::error_code error;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) return program;
    const auto* started = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
    if (!started) return std::nullopt;
    program = std::filesystem::weakly_canonical(started, error);
    if (error) return std::nullopt;
    return program;
}

Bundle Bundle::main()
{
    if (const char* chosen = std::getenv(resourcesVariable); chosen && *chosen) {
        return Bundle(std::filesystem::path(chosen));
    }
    // Beside the program, as an installed prefix lays them out, wherever the prefix was moved to.
    if (const std::optional<std::filesystem::path> program = runningProgram()) {
        const std::filesystem::path beside = program->parent_path() / installedResources;
        if (isDirectory(beside)) return Bundle(beside.lexically_normal());
    }
#ifdef ZARO_INSTALLED_RESOURCES_DIR
    if (isDirectory(ZARO_INSTALLED_RESOURCES_DIR)) return Bundle(std::filesystem::path(ZARO_INSTALLED_RESOURCES_DIR));
#endif
    return Bundle(std::nullopt);
}

Bundle::Bundle(std::optional<std::filesystem::path> resourceDirectory)
    : resourceDirectory_(std::move(resourceDirectory))
{
}

std::optional<std::filesystem::path> Bundle::urlForResource(std::string_view name, std::string_view extension) const
{
    if (!resourceDirectory_ || name.empty()) return std::nullopt;
    std::string fileName(name);
    if (!extension.empty()) {
        fileName += '.';
        fileName += extension;
    }
    std::filesystem::path url = *resourceDirectory_ / fileName;
    std::error_code error;
    if (!std::filesystem::is_regular_file(url, error)) return std::nullopt;
    return url;
}

}  // namespace zaro
