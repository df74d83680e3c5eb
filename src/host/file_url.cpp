#include "host/file_url.hpp"

#include <string>

namespace zaro {

namespace {

constexpr std::string_view scheme = "file:";

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view lowerPrefix)
{
    if (text.size() < lowerPrefix.size()) return false;
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lowerPrefix[i]) return false;
    }
    return true;
}

bool equalsIgnoringCase(std::string_view text, std::string_view lowerWord)
{
    return text.size() == lowerWord.size() && startsWithIgnoringCase(text, lowerWord);
}

std::optional<std::string> percentDecoded(std::string_view text)
{
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0 || (high == 0 && low == 0)) return std::nullopt;
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return decoded;
}

}  // namespace

std::optional<std::filesystem::path> pathFromFileURL(std::string_view uri)
{
    if (!startsWithIgnoringCase(uri, scheme)) return std::nullopt;
    std::string_view rest = uri.substr(scheme.size());
    // A query or fragment is no part of the file's name; a '?' or '#' in a name arrives escaped.
    rest = rest.substr(0, rest.find_first_of("?#"));
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const std::size_t slash = rest.find('/');
        if (slash == std::string_view::npos) return std::nullopt;
        const std::string_view host = rest.substr(0, slash);
        if (!host.empty() && !equalsIgnoringCase(host, "localhost")) return std::nullopt;
        rest.remove_prefix(slash);
    }
    if (!rest.starts_with('/')) return std::nullopt;
    std::optional<std::string> decoded = percentDecoded(rest);
    if (!decoded) return std::nullopt;
    return std::filesystem::path(std::move(*decoded));
}

std::optional<std::filesystem::path> fileLocation(std::string_view argument)
{
    if (startsWithIgnoringCase(argument, scheme)) return pathFromFileURL(argument);
    return std::filesystem::path(argument);
}

}  // namespace zaro
