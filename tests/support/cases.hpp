// Case tables kept as data files beside the tests: one case a line, its fields split by '|'.
//
// Blank lines and lines starting with '#' are skipped; spaces around a field are not part of it.
// A field may hold \| \\ \n \r \t \0 \s (a space) \xHH (a byte) and \u{HHHH} (a code point in UTF-8);
// the field ~ alone stands for "no value".
#pragma once

#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zaro::support {

struct Case {
    std::string where;  // file and line, for failure messages
    std::vector<std::optional<std::string>> fields;

    /// Field `i`, which must have a value.
    const std::string& operator[](std::size_t i) const { return fields.at(i).value(); }
};

inline void appendUtf8(std::string& out, char32_t c)
{
    const int more = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;  // continuation bytes
    out += static_cast<char>(more == 0 ? c : ((0xFF00 >> (more + 1)) & 0xFF) | (c >> (6 * more)));
    for (int i = more - 1; i >= 0; --i) out += static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3F));
}

inline std::optional<std::string> unescapedField(const std::string& raw)
{
    const std::size_t first = raw.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    const std::string text = raw.substr(first, raw.find_last_not_of(' ') - first + 1);
    if (text == "~") return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char code = text[++i];
        static constexpr std::string_view codes = "nrt0s", bytes{"\n\r\t\0 ", 5};
        if (codes.find(code) != std::string_view::npos) out += bytes[codes.find(code)];
        else if (code == 'x') out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)), i += 2;
        else if (code == 'u') {
            const std::size_t close = text.find('}', i);
            appendUtf8(out, static_cast<char32_t>(std::stoul(text.substr(i + 2, close - i - 2), nullptr, 16)));
            i = close;
        } else out += code;  // \| and \\ (and any other character) stand for themselves
    }
    return out;
}

/// The cases of `tests/<name>`; throws std::runtime_error when it is missing or holds none.
inline std::vector<Case> readCases(const std::string& name)
{
    std::ifstream in(std::string(ZARO_TESTS_DIR) + "/" + name, std::ios::binary);
    if (!in) throw std::runtime_error("no case file " + name);
    std::vector<Case> cases;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (line.find_first_not_of(' ') == std::string::npos || line.starts_with('#')) continue;
        Case c{name + ":" + std::to_string(number), {}};
        std::string field;
        for (std::size_t i = 0; i <= line.size(); ++i) {
            if (i == line.size() || line[i] == '|') {
                c.fields.push_back(unescapedField(field));
                field.clear();
            } else {
                if (line[i] == '\\' && i + 1 < line.size()) field += line[i++];
                field += line[i];
            }
        }
        cases.push_back(std::move(c));
    }
    // A table that lost its rows would otherwise pass every test that loops over it.
    if (cases.empty()) throw std::runtime_error("case file " + name + " holds no case");
    return cases;
}

}  // namespace zaro::support
