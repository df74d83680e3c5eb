// zaro-make-session: writes one generated session log, for example files and manual trials.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

#include <optional>

#include "foreign_writers.hpp"
#include "session_generator.hpp"

namespace {

namespace fs = std::filesystem;
using zaro::SessionGenerator::Options;
using zaro::SessionGenerator::Shape;

constexpr std::string_view usage =
    "usage: zaro-make-session [--shape zaro|racebox|plain|FAMILY] [--max-bytes N] [--laps N] [--hz F]\n"
    "                         [--seed N] [--start-unix-ms N] [--track TEXT] [--configuration TEXT]\n"
    "                         [--session-type TEXT] [--data-source TEXT] OUTPUT\n"
    "FAMILY, another logger's export of the session: racechrono, trackaddict, aim, vbox, harrys,\n"
    "racecapture, alfano or gps\n";

using zaro::SessionGenerator::Foreign;

std::optional<Foreign> familyNamed(std::string_view name)
{
    static constexpr std::pair<std::string_view, Foreign> families[] = {
        {"racechrono", Foreign::raceChrono}, {"trackaddict", Foreign::trackAddict}, {"aim", Foreign::aim},
        {"vbox", Foreign::vbox}, {"harrys", Foreign::harrys}, {"racecapture", Foreign::raceCapture},
        {"alfano", Foreign::alfano}, {"gps", Foreign::gpsTrack}};
    for (const auto& [family, value] : families) {
        if (name == family) return value;
    }
    return std::nullopt;
}

Shape shapeNamed(std::string_view name)
{
    if (name == "zaro") {
        return Shape::zaroCsv;
    }
    if (name == "racebox") {
        return Shape::raceBoxCsv;
    }
    if (name == "plain") {
        return Shape::plainTrack;
    }
    throw std::invalid_argument("unknown shape: " + std::string(name));
}

long long wholeNumber(const std::string& text)
{
    std::size_t used = 0;
    const long long value = std::stoll(text, &used);
    if (used != text.size()) {
        throw std::invalid_argument("not a whole number: " + text);
    }
    return value;
}

// The file appears whole or not at all: written beside its final name, then renamed over it.
void writeWhole(const fs::path& path, const std::string& bytes)
{
    fs::path partial = path;
    partial += ".partial-" + std::to_string(getpid());
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(partial, ignored);
            throw std::system_error(std::make_error_code(std::errc::io_error), "cannot write " + partial.string());
        }
    }
    fs::rename(partial, path);
}

int run(int argc, char** argv)
{
    Options options;
    std::optional<Foreign> family;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        const std::string_view flag = argv[i];
        if (!flag.starts_with("--")) {
            if (!output.empty()) {
                throw std::invalid_argument("more than one output file given");
            }
            output = argv[i];
            continue;
        }
        if (i + 1 >= argc) {
            throw std::invalid_argument("missing value after " + std::string(flag));
        }
        const std::string value = argv[++i];
        if (flag == "--shape") {
            family = familyNamed(value);
            if (!family) options.shape = shapeNamed(value);
        } else if (flag == "--max-bytes") {
            options.maxBytes = static_cast<std::size_t>(wholeNumber(value));
        } else if (flag == "--laps") {
            options.timedLaps = wholeNumber(value);
        } else if (flag == "--hz") {
            options.sampleHz = std::stod(value);
        } else if (flag == "--seed") {
            options.seed = static_cast<std::uint64_t>(wholeNumber(value));
        } else if (flag == "--start-unix-ms") {
            options.startUnixMs = wholeNumber(value);
        } else if (flag == "--track") {
            options.trackName = value;
        } else if (flag == "--configuration") {
            options.configuration = value;
        } else if (flag == "--session-type") {
            options.sessionType = value;
        } else if (flag == "--data-source") {
            options.dataSource = value;
        } else {
            throw std::invalid_argument("unknown option " + std::string(flag));
        }
    }
    if (output.empty()) {
        throw std::invalid_argument("no output file given");
    }
    writeWhole(output, family ? zaro::SessionGenerator::generateForeign(*family, options) : zaro::SessionGenerator::generate(options));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zaro-make-session: %s\n%s", error.what(), usage.data());
        return 2;
    }
}
