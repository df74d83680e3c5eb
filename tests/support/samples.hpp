// Sample sessions shared by the tests: a plain track CSV file as text, and a session record as the card sees it;
// laps as the case files write them.
#pragma once

#include <charconv>
#include <iomanip>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/zaro_session.hpp"

namespace zaro::support {

/// A plain track CSV: a header and two rows one degree of longitude apart, at 10 and 20 m/s.
inline const std::string plainTrack =
    "Time,Latitude,Longitude,Speed\n"
    "2024-06-01T10:15:00Z,0,0,10\n"
    "2024-06-01T10:15:01Z,0,1,20\n";

inline ZaroSessionLap lap(std::optional<std::int64_t> number, double timeSec, SectorList sectors = {})
{
    return {ZaroSessionLap::Kind::lap, number, timeSec, std::move(sectors)};
}

inline ZaroSessionLap incompleteLap(double sec) { return {ZaroSessionLap::Kind::incomplete, std::nullopt, sec, {}}; }

/// A number in its shortest form that reads back the same.
inline std::string shortest(double value)
{
    char digits[32];
    return {digits, std::to_chars(digits, digits + sizeof digits, value).ptr};
}

/// A lap as the case files write it: "lap NUMBER SECONDS" or "incomplete SECONDS", then its sectors after a colon.
inline std::string lapText(const ZaroSessionLap& lap)
{
    std::string out = lap.kind == ZaroSessionLap::Kind::lap ? "lap" : "incomplete";
    if (lap.number) out += " " + std::to_string(*lap.number);
    out += " " + shortest(lap.timeSec);
    for (std::size_t i = 0; i < lap.sectors.size(); ++i) out += (i ? " " : ": ") + shortest(lap.sectors[i]);
    return out;
}

/// Laps as the case files write them, split by commas.
inline std::string lapText(const std::vector<ZaroSessionLap>& laps)
{
    std::string out;
    for (const ZaroSessionLap& lap : laps) out += (out.empty() ? "" : ", ") + lapText(lap);
    return out;
}

/// "Zandvoort" from "morning.csv" by "RaceBox CSV": 3 laps stated, 1:05 long, 15.25 km, 36 km/h at
/// most, 1234 samples; no best lap unless given, and the laps and trace given.
inline ZaroSession sampleSession(std::vector<ZaroSessionLap> laps = {}, std::vector<ZaroSessionPoint> trace = {})
{
    ZaroSession s;
    s.fileName = "morning.csv";
    s.trackName = "Zandvoort";
    s.dataSource = "RaceBox CSV";
    s.startedAt = "2024-06-01T09:00:00Z";
    s.endedAt = "2024-06-01T09:01:05Z";
    s.lapCount = 3;
    s.laps = std::move(laps);
    s.pointCount = 1234;
    s.polyline = std::move(trace);
    s.distanceM = 15250;
    s.maxSpeedMps = 10;
    return s;
}

}  // namespace zaro::support

namespace zaro {

/// How gtest shows a session that differs from the one expected: its fields, by name.
inline void PrintTo(const ZaroSession& s, std::ostream* out)
{
    const auto optional = [](const auto& value) { return value ? ::testing::PrintToString(*value) : "none"; };
    *out << "{" << s.fileName << ", " << s.trackName << ", " << optional(s.configuration) << ", "
         << optional(s.sessionType) << ", " << s.dataSource << ", " << s.startedAt << " to " << s.endedAt << ", "
         << s.lapCount << " laps, best " << optional(s.bestLapSec) << ", " << s.laps.size() << " listed, "
         << s.pointCount << " rows, " << s.polyline.size() << " points, " << std::setprecision(17) << s.distanceM
         << " m, speed " << optional(s.maxSpeedMps) << " max " << optional(s.avgSpeedMps) << " mean, g "
         << optional(s.maxAbsGx) << " " << optional(s.maxAbsGy) << ", lean " << optional(s.maxLeanDeg) << "}";
}

}  // namespace zaro
