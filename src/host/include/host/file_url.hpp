// File locations given as a path or as a file:// URI, as desktop services pass them.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace zaro {

/// The local path of a file:// URI (percent escapes decoded, host empty or "localhost"); no value for
/// any other URI, a malformed escape or an escaped NUL.
std::optional<std::filesystem::path> pathFromFileURL(std::string_view uri);

/// `argument` as a path: decoded when it is a file:// URI, else taken as written; no value for a
/// URI that does not name a local file.
std::optional<std::filesystem::path> fileLocation(std::string_view argument);

}  // namespace zaro
