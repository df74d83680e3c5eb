#include "base/bundle.hpp"

#include <sys/auxv.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <system_error>

namespace zaro {

namespace {

constexpr std::string_view installedResources = "../share/zaro-session";

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

bool isDirectory(const std::filesystem::path& path)
{
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

// A program of the build tree finds the resources in the source tree; an installed copy of it never
// does, so that a missing installed resource is not quietly taken from a checkout.
std::optional<std::filesystem::path> buildTreeResources(const std::filesystem::path& program)
{
#if defined(ZARO_BUILD_DIR) && defined(ZARO_SOURCE_RESOURCES_DIR)
    const std::filesystem::path buildDir = ZARO_BUILD_DIR;
    const auto [end, _] = std::mismatch(buildDir.begin(), buildDir.end(), program.begin(), program.end());
    if (end == buildDir.end()) return std::filesystem::path(ZARO_SOURCE_RESOURCES_DIR);
#else
    (void)program;
#endif
    return std::nullopt;
}

}  // namespace

Bundle Bundle::main()
{
    if (const char* chosen = std::getenv(resourcesVariable); chosen && *chosen) {
        return Bundle(std::filesystem::path(chosen));
    }
    const std::optional<std::filesystem::path> program = runningProgram();
    if (!program) return Bundle(std::nullopt);
    std::filesystem::path installed = program->parent_path() / installedResources;
    if (isDirectory(installed)) return Bundle(installed.lexically_normal());
    return Bundle(buildTreeResources(*program));
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
