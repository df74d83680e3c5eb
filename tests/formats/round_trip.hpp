// A generated session written by another logger's writer and read back must be the session the
// plain track CSV of the same rows gives, within the rounding of the family's units.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "foreign_writers.hpp"
#include "formats/session_reading.hpp"
#include "parser/zaro_session_parser.hpp"

namespace zaro::formats::test {

struct Rounding {
    double degrees = 1e-7;
    double speedMps = 0.01;
    double seconds = 0.001;    // of times and laps
    bool startAndEnd = true;   // the family's times are instants
    bool laps = true;          // the family carries the laps
};

/// Three timed laps at 5 Hz between an out-lap and an in-lap.
inline SessionGenerator::Options roundTripOptions()
{
    SessionGenerator::Options options;
    options.shape = SessionGenerator::Shape::plainTrack;
    options.timedLaps = 3;
    options.sampleHz = 5;
    options.maxBytes = 1'000'000;
    options.seed = 11;
    return options;
}

inline void expectRoundTrip(SessionGenerator::Foreign family, const Rounding& rounding)
{
    const SessionGenerator::Options options = roundTripOptions();
    const std::string plain = SessionGenerator::generate(options);
    const ZaroSession expected = ZaroSessionParser::parse(plain, "session.csv");
    const std::string written = SessionGenerator::writeForeign(family, SessionGenerator::rowsOf(plain), options);
    EXPECT_THROW(ZaroSessionParser::checkFormat(written, true), ParseError) << "the parse would take the file itself";
    const ZaroSession read = readSession(written, "session.csv");

    EXPECT_EQ(read.pointCount, expected.pointCount);
    ASSERT_FALSE(read.polyline.empty());
    EXPECT_NEAR(read.polyline.front().lat, expected.polyline.front().lat, rounding.degrees);
    EXPECT_NEAR(read.polyline.front().lon, expected.polyline.front().lon, rounding.degrees);
    EXPECT_NEAR(read.polyline.back().lat, expected.polyline.back().lat, rounding.degrees);
    EXPECT_NEAR(read.polyline.back().lon, expected.polyline.back().lon, rounding.degrees);
    EXPECT_NEAR(read.distanceM, expected.distanceM, expected.distanceM * 1e-4);
    ASSERT_TRUE(read.maxSpeedMps && read.avgSpeedMps);
    EXPECT_NEAR(*read.maxSpeedMps, *expected.maxSpeedMps, rounding.speedMps);
    EXPECT_NEAR(*read.avgSpeedMps, *expected.avgSpeedMps, rounding.speedMps);
    if (rounding.startAndEnd) {
        EXPECT_EQ(read.startedAt, expected.startedAt);
        EXPECT_EQ(read.endedAt, expected.endedAt);
    }
    if (!rounding.laps) return;
    EXPECT_EQ(read.lapCount, expected.lapCount);
    ASSERT_TRUE(read.bestLapSec);
    EXPECT_NEAR(*read.bestLapSec, *expected.bestLapSec, rounding.seconds);
    std::vector<double> readLaps, expectedLaps;
    for (const auto& lap : read.laps) if (lap.kind == ZaroSessionLap::Kind::lap) readLaps.push_back(lap.timeSec);
    for (const auto& lap : expected.laps) if (lap.kind == ZaroSessionLap::Kind::lap) expectedLaps.push_back(lap.timeSec);
    ASSERT_EQ(readLaps.size(), expectedLaps.size());
    for (std::size_t i = 0; i < readLaps.size(); ++i) EXPECT_NEAR(readLaps[i], expectedLaps[i], rounding.seconds) << "lap " << i;
}

}  // namespace zaro::formats::test
