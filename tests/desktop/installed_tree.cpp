#include "desktop/installed_tree.hpp"

#include <fstream>
#include <sstream>

namespace zaro::desktop {

namespace fs = std::filesystem;

RunResult run(const std::vector<std::string>& argv, const std::vector<std::string>& environment)
{
    std::vector<std::string> command{"/usr/bin/env", "-i"};
    command.insert(command.end(), environment.begin(), environment.end());
    command.insert(command.end(), argv.begin(), argv.end());
    return testing::runProgram(command);
}

RunResult installInto(const fs::path& prefix)
{
    return run({ZARO_CMAKE_COMMAND, "--install", ZARO_BUILD_DIR, "--prefix", prefix.string()},
               {"PATH=/usr/bin:/bin", "LANG=C.UTF-8"});
}

fs::path binDir(const fs::path& prefix) { return prefix / ZARO_INSTALL_BINDIR; }

fs::path dataDir(const fs::path& prefix) { return prefix / ZARO_INSTALL_DATADIR; }

ThumbnailerEntry readThumbnailerEntry(const fs::path& file)
{
    ThumbnailerEntry entry;
    std::ifstream lines(file);
    bool inGroup = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with('[')) inGroup = line == "[Thumbnailer Entry]";
        const std::size_t equals = line.find('=');
        if (!inGroup || line.starts_with('#') || equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        if (key == "TryExec") entry.tryExec = value;
        if (key == "Exec") entry.exec = value;
        std::istringstream types(key == "MimeType" ? value : "");
        for (std::string type; std::getline(types, type, ';');) entry.mimeTypes.push_back(type);
    }
    return entry;
}

std::vector<std::string> expandExec(std::string_view exec, int size, const std::string& inputPath,
                                    const std::string& outputPath)
{
    std::vector<std::string> words;
    std::istringstream split{std::string(exec)};
    for (std::string word; split >> word;) {
        std::string expanded;
        for (std::size_t i = 0; i < word.size(); ++i) {
            const char code = word[i] == '%' && i + 1 < word.size() ? word[++i] : '\0';
            if (code == '\0') expanded += word[i];
            if (code == 's') expanded += std::to_string(size);
            if (code == 'u') expanded += "file://" + inputPath;
            if (code == 'i') expanded += inputPath;
            if (code == 'o') expanded += outputPath;
            if (code == '%') expanded += '%';
        }
        words.push_back(expanded);
    }
    return words;
}

}  // namespace zaro::desktop
