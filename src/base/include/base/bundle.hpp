// The running program's resource folder, found from where the program itself lies.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace zaro {

/// The variable that, when set, names the resource folder instead: for the tests, the benchmarks and
/// programs run from the build tree.
inline constexpr const char* resourcesVariable = "ZARO_SESSION_RESOURCES";

/// Where the running program lies, through any symbolic link that started it; no value when that
/// cannot be told.
std::optional<std::filesystem::path> runningProgram();

class Bundle {
public:
    /// The bundle of the running program: the folder ZARO_SESSION_RESOURCES names, else
    /// <program's folder>/../share/zaro-session, else the install prefix's share/zaro-session. A
    /// program run from the build tree is pointed at the build's share/zaro-session by the variable.
    static Bundle main();

    /// A bundle whose resources lie in `resourceDirectory`, or one without resources.
    explicit Bundle(std::optional<std::filesystem::path> resourceDirectory);

    /// The folder the resources are looked up in, if there is one.
    const std::optional<std::filesystem::path>& resourceDirectory() const { return resourceDirectory_; }

    /// The resource `name`.`extension` when it is there, else no value.
    std::optional<std::filesystem::path> urlForResource(std::string_view name, std::string_view extension) const;

private:
    std::optional<std::filesystem::path> resourceDirectory_;
};

}  // namespace zaro
