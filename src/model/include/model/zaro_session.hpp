// The session record: what the parser produces and every renderer reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zaro {

struct ZaroSessionPoint {
    double lat = 0;  // degrees, -90 to 90
    double lon = 0;  // degrees, -180 to 180

    friend bool operator==(const ZaroSessionPoint&, const ZaroSessionPoint&) = default;
};

struct ZaroSessionLap {
    enum class Kind : std::uint8_t { lap, incomplete };

    /// The kind whose raw string is exactly `raw` ("lap" or "incomplete").
    static std::optional<Kind> kindFromRaw(std::string_view raw);
    /// "lap" or "incomplete".
    static std::string_view rawValue(Kind kind);

    Kind kind = Kind::lap;
    std::optional<std::int64_t> number;
    double timeSec = 0;
    std::vector<double> sectors;

    friend bool operator==(const ZaroSessionLap&, const ZaroSessionLap&) = default;
};

struct ZaroSession {
    std::string fileName;
    std::string trackName;
    std::optional<std::string> configuration;
    std::optional<std::string> sessionType;
    std::string dataSource;
    std::string startedAt;  // as written in the file
    std::string endedAt;    // as written in the file
    std::int64_t lapCount = 0;
    std::optional<double> bestLapSec;
    std::vector<ZaroSessionLap> laps;
    std::int64_t pointCount = 0;  // accepted GPS rows, not polyline points
    std::vector<ZaroSessionPoint> polyline;
    double distanceM = 0;
    std::optional<double> maxSpeedMps;
    std::optional<double> avgSpeedMps;
    std::optional<double> maxAbsGx;
    std::optional<double> maxAbsGy;
    std::optional<double> maxLeanDeg;

    /// Field by field; texts compare as canonically equivalent Unicode, doubles numerically.
    friend bool operator==(const ZaroSession& a, const ZaroSession& b);
};

}  // namespace zaro
