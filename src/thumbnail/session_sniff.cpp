#include "session_sniff.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <string>
#include <system_error>
#include <vector>

namespace zaro {

namespace {

struct FileDescriptor {
    int fd;
    ~FileDescriptor()
    {
        if (fd >= 0) ::close(fd);
    }
};

// Only the ASCII letters matter for the words looked for; other UTF-16 units become '?'.
std::string narrowedUtf16(std::string_view bytes, bool bigEndian)
{
    std::string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        const unsigned unit = bigEndian ? (first << 8 | second) : (second << 8 | first);
        text += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    return text;
}

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '"')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '"' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

// A field as a lower-case column name, without a unit in parentheses or brackets after it.
std::string columnName(std::string_view field)
{
    std::string_view name = trimmed(field);
    name = trimmed(name.substr(0, name.find_first_of("([")));
    std::string lower(name);
    for (char& c : lower) c = asciiLower(c);
    return lower;
}

std::vector<std::string> columnNames(std::string_view line)
{
    std::vector<std::string> names;
    for (std::size_t start = 0; start <= line.size();) {
        const std::size_t comma = std::min(line.find(',', start), line.size());
        names.push_back(columnName(line.substr(start, comma - start)));
        start = comma + 1;
    }
    return names;
}

bool isAnyOf(const std::string& name, std::initializer_list<std::string_view> words)
{
    for (const std::string_view word : words) {
        if (name == word) return true;
    }
    return false;
}

bool isFormatLine(const std::vector<std::string>& names)
{
    return names.size() >= 2 && names[0] == "format" && isAnyOf(names[1], {"zaro csv", "racebox csv"});
}

bool isTrackHeader(const std::vector<std::string>& names)
{
    bool latitude = false;
    bool longitude = false;
    bool time = false;
    for (const std::string& name : names) {
        latitude = latitude || isAnyOf(name, {"latitude", "lat", "lat_deg"});
        longitude = longitude || isAnyOf(name, {"longitude", "lon", "lng", "long", "lon_deg"});
        time = time || name == "itow" || name.find("time") != std::string::npos;
    }
    return latitude && longitude && time;
}

}  // namespace

bool looksLikeSessionText(std::string_view head, bool complete)
{
    std::string converted;
    if (head.starts_with("\xEF\xBB\xBF")) {
        head.remove_prefix(3);
    } else if (head.starts_with("\xFF\xFE") || head.starts_with("\xFE\xFF")) {
        converted = narrowedUtf16(head.substr(2), head.starts_with("\xFE\xFF"));
        head = converted;
    }
    std::size_t start = 0;
    while (start < head.size()) {
        const std::size_t end = head.find('\n', start);
        if (end == std::string_view::npos && !complete) break;
        const std::string_view line = head.substr(start, (end == std::string_view::npos ? head.size() : end) - start);
        const std::vector<std::string> names = columnNames(line);
        if (isFormatLine(names) || isTrackHeader(names)) return true;
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return false;
}

bool looksLikeSessionFile(const std::filesystem::path& path)
{
    const FileDescriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)};
    if (file.fd < 0) throw std::system_error(errno, std::generic_category());
    struct stat status {};
    if (::fstat(file.fd, &status) != 0) throw std::system_error(errno, std::generic_category());
    if (S_ISDIR(status.st_mode)) throw std::system_error(EISDIR, std::generic_category());
    if (!S_ISREG(status.st_mode)) return false;

    std::array<char, sniffBytes> buffer;
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const ssize_t got = ::read(file.fd, buffer.data() + filled, buffer.size() - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw std::system_error(errno, std::generic_category());
        if (got == 0) break;
        filled += static_cast<std::size_t>(got);
    }
    const bool complete = filled < buffer.size() || status.st_size <= static_cast<off_t>(buffer.size());
    return looksLikeSessionText(std::string_view(buffer.data(), filled), complete);
}

}  // namespace zaro
