// The generator's sessions as other loggers write them: for the readers' round-trip tests and their
// benchmarks. Each family's writer takes the rows of a generated plain track CSV.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "session_generator.hpp"

namespace zaro::SessionGenerator {

/// One row of a generated plain track CSV.
struct Row {
    std::int64_t unixMs = 0;
    double lat = 0;
    double lon = 0;
    double speedKmh = 0;
    double gForceX = 0;
    double gForceY = 0;
    double leanDeg = 0;
    std::int64_t lap = 0;  // 0 on the out-lap and the in-lap
};

/// The rows of a plain track CSV that `generate` wrote.
std::vector<Row> rowsOf(std::string_view plainTrackCsv);

enum class Foreign {
    raceChrono,   // RaceChrono CSV v3
    trackAddict,  // TrackAddict / RaceRender data, with "# Lap N:" lines
    aim,          // AiM Race Studio CSV, laps as beacon markers
    vbox,         // Racelogic .vbo, laps by a start line in [laptiming]
    harrys,       // Harry's LapTimer export
    raceCapture,  // RaceCapture log, channels at different rates
    alfano,       // Alfano, semicolon-separated with decimal commas
    gpsTrack,     // a plain GPS logger's CSV that the parse does not take
};

/// `rows` as `family` writes them.
std::string writeForeign(Foreign family, const std::vector<Row>& rows, const Options& options);

/// The session of `options` (its shape aside) as `family` writes it, at most `options.maxBytes` long.
/// Equal options always give equal bytes.
std::string generateForeign(Foreign family, const Options& options);

/// What each family's writer makes of the rows; `options` gives the names, dates and the track.
std::string writeRaceChrono(const std::vector<Row>& rows, const Options& options);
std::string writeTrackAddict(const std::vector<Row>& rows, const Options& options);
std::string writeAim(const std::vector<Row>& rows, const Options& options);
std::string writeVbox(const std::vector<Row>& rows, const Options& options);
std::string writeHarrys(const std::vector<Row>& rows, const Options& options);
std::string writeRaceCapture(const std::vector<Row>& rows, const Options& options);
std::string writeAlfano(const std::vector<Row>& rows, const Options& options);
std::string writeGpsTrack(const std::vector<Row>& rows, const Options& options);

}  // namespace zaro::SessionGenerator
