// Whether two parses of one file gave the same session: for the parse in pieces against the parse
// in one, in the tests and in the fuzz target.
#pragma once

#include <cmath>
#include <optional>
#include <sstream>
#include <string>

#include "model/zaro_session.hpp"

namespace zaro::support {

/// Every field, numbers to the bit (NaNs as "nan").
inline std::string exactText(const ZaroSession& s)
{
    std::ostringstream out;
    out << std::hexfloat;
    const auto optional = [&out](const auto& value) -> std::ostringstream& {
        if (value) out << *value << ' ';
        else out << "none ";
        return out;
    };
    out << s.fileName << '|' << s.trackName << '|' << s.dataSource << '|' << s.startedAt << '|' << s.endedAt << '|';
    optional(s.configuration) << '|';
    optional(s.sessionType) << s.lapCount << ' ';
    optional(s.bestLapSec) << s.pointCount << ' ' << s.distanceM << ' ';
    for (const auto& value : {s.maxSpeedMps, s.avgSpeedMps, s.maxAbsGx, s.maxAbsGy, s.maxLeanDeg}) optional(value);
    for (const ZaroSessionLap& lap : s.laps) {
        out << "\n" << ZaroSessionLap::rawValue(lap.kind) << ' ';
        optional(lap.number) << lap.timeSec;
        for (const double sector : lap.sectors) out << ' ' << sector;
    }
    for (const ZaroSessionPoint& point : s.polyline) out << "\n" << point.lat << ' ' << point.lon;
    return out.str();
}

/// Empty when `cut` is `whole` but for the last bits of the distance and the mean speed, sums that
/// pieces take in another order (1e-12 of the value at most); else both sessions' exact texts.
inline std::string differenceOfCutParse(ZaroSession cut, const ZaroSession& whole)
{
    const auto near = [](double a, double b) { return a == b || std::fabs(a - b) <= 1e-12 * std::fabs(b); };
    if (near(cut.distanceM, whole.distanceM)) cut.distanceM = whole.distanceM;
    if (cut.avgSpeedMps && whole.avgSpeedMps && near(*cut.avgSpeedMps, *whole.avgSpeedMps)) {
        cut.avgSpeedMps = whole.avgSpeedMps;
    }
    const std::string a = exactText(cut);
    const std::string b = exactText(whole);
    return a == b ? std::string() : "in pieces:\n" + a + "\nin one:\n" + b;
}

}  // namespace zaro::support
