// A plain GPS logger's CSV in the shapes such loggers write it: the separator, the form of the times,
// the hemispheres and the units vary from logger to logger, the rows do not.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foreign_writers.hpp"

namespace zaro::SessionGenerator {

struct GpsTrackLayout {
    enum class Times : std::uint8_t {
        unixMilliseconds,  // 1717236900200, as phone apps log them
        unixNanoseconds,   // 1717236900200000000
        isoUtc,            // 2024-06-01T10:15:00.200Z
        isoLocal,          // 2024-06-01 10:15:00.200, the logger's wall clock
        secondsFromStart,  // 0.200
        dateAndTime,       // 2024/06/01 and 10:15:00.200 in two columns
        compactDateAndTime,  // 240601 and 101500 in two columns, whole seconds
        dayMonthYear,      // 01/06/2024 and 10:15:00.200
        monthName,         // 01-Jun-2024 10:15:00.200
        none,
    };
    enum class Hemispheres : std::uint8_t {
        signs,    // -1.0139979
        letters,  // 1.0139979W
        columns,  // 1.0139979,W
    };
    /// Comma, semicolon or tab; with the latter two, numbers have decimal commas.
    char separator = ',';
    Times times = Times::unixMilliseconds;
    Hemispheres hemispheres = Hemispheres::signs;
    /// Speeds written as "154.71 km/h" under a bare "speed" header.
    bool unitsInValues = false;
};

/// `rows` as a GPS logger of `layout` writes them.
std::string writeGpsTrack(const std::vector<Row>& rows, const GpsTrackLayout& layout);

}  // namespace zaro::SessionGenerator
