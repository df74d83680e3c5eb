// Realistic, reproducible session logs for benchmarks and example files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace zaro::SessionGenerator {

enum class Shape {
    zaroCsv,     // preamble with a "Format,ZARO CSV" line and lap rows with sectors
    raceBoxCsv,  // preamble with a "Format,RaceBox CSV" line, RaceBox lap rows and columns
    plainTrack,  // header and data rows only; laps follow from the Lap column
};

struct Options {
    Shape shape = Shape::zaroCsv;
    std::size_t maxBytes = 5'000'000;       // the file is as long as fits, never longer
    std::optional<std::int64_t> timedLaps;  // then an in-lap ends the file; none: laps until maxBytes
    double sampleHz = 25.0;
    std::uint64_t seed = 1;  // also turns the circuit on the map
    std::int64_t startUnixMs = 1'717'236'900'000;  // 2024-06-01T10:15:00Z
    std::string trackName = "Harrowby Park";
    std::string configuration = "National";
    std::string sessionType = "Practice";
    std::string dataSource = "ZARO Lap Timer 2.4";
};

/// The whole file text; equal options always give equal bytes.
std::string generate(const Options& options);

}  // namespace zaro::SessionGenerator
