// The session record's equality, on which the parser's tests rely.
#include "model/zaro_session.hpp"

#include <cmath>

#include <gtest/gtest.h>

#include "support/samples.hpp"

namespace zaro {
namespace {

using support::lap;
using support::sampleSession;

TEST(ZaroSession, ComparesFieldByFieldWithCanonicallyEquivalentTexts)
{
    ZaroSession a = sampleSession({lap(1, 80)}, {{52, 4}, {52.1, 4.1}});
    ZaroSession b = a;
    a.fileName = "Cafe\u0301.csv";
    b.fileName = "Caf\u00E9.csv";
    EXPECT_EQ(a, b);
    b.polyline.back().lon += 1e-9;
    EXPECT_NE(a, b);
    b = a;
    b.laps.push_back(support::incompleteLap(1));
    EXPECT_NE(a, b);
    a.maxSpeedMps = NAN;
    EXPECT_NE(a, a);
    EXPECT_NE(lap(std::nullopt, 1), lap(0, 1));
    EXPECT_EQ(lap(std::nullopt, 1), lap(std::nullopt, 1));
}

TEST(ZaroSessionLapKind, IsMadeOnlyFromItsExactRawStrings)
{
    using Kind = ZaroSessionLap::Kind;
    for (const Kind kind : {Kind::lap, Kind::incomplete}) {
        EXPECT_EQ(ZaroSessionLap::kindFromRaw(ZaroSessionLap::rawValue(kind)), kind);
    }
    for (const char* raw : {"Lap", "LAP", "complete", "", "lap "}) {
        EXPECT_EQ(ZaroSessionLap::kindFromRaw(raw), std::nullopt) << raw;
    }
}

}  // namespace
}  // namespace zaro
