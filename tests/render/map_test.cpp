#include <cmath>

#include <gtest/gtest.h>

#include "map.hpp"
#include "render/recording_context.hpp"

namespace zaro::ZaroSessionMap {
namespace {

using testing::Call;
using testing::RecordingContext;
using Op = Call::Op;

const std::vector<ZaroSessionPoint> triangle = {{0, 0}, {0, 2}, {1, 1}};

void expectPointNear(ProjectedPoint actual, ProjectedPoint expected, double eps = 1e-3)
{
    EXPECT_NEAR(actual.x, expected.x, eps);
    EXPECT_NEAR(actual.y, expected.y, eps);
}

TEST(MapProjection, IsEmptyForFewerThanTwoPointsOrNoArea)
{
    const double nan = std::nan("");
    EXPECT_TRUE(projected({}, {0, 0, 100, 100}).empty());
    EXPECT_TRUE(projected(std::vector<ZaroSessionPoint>{{1, 1}}, {0, 0, 100, 100}).empty());
    for (Rect r : {Rect{0, 0, 0, 100}, Rect{0, 0, 100, 0}, Rect{0, 0, nan, 100}, Rect{0, 0, 100, -5}}) {
        EXPECT_TRUE(projected(triangle, r).empty()) << r.w << " x " << r.h;
    }
}

TEST(MapProjection, FitsAWideTraceToTheFullWidthAndCentresItVertically)
{
    const auto p = projected(triangle, {0, 0, 100, 100});
    ASSERT_EQ(p.size(), 3U);
    expectPointNear(p[0], {6.897, 71.553});
    expectPointNear(p[1], {93.103, 71.553});
    expectPointNear(p[2], {50.0, 28.447});
    EXPECT_NEAR(p[0].x, 100 * 0.08 / 1.16, 1e-9);
}

TEST(MapProjection, PutsTwoIdenticalPointsInTheCentre)
{
    const auto p = projected(std::vector<ZaroSessionPoint>{{48.1, 11.6}, {48.1, 11.6}}, {10, 20, 300, 100});
    ASSERT_EQ(p.size(), 2U);
    expectPointNear(p[0], {160, 70}, 1e-6);
    expectPointNear(p[1], {160, 70}, 1e-6);
}

TEST(MapProjection, PutsANorthSouthTraceOnTheHorizontalCentre)
{
    const std::vector<ZaroSessionPoint> meridian = {{50.0, 6.0}, {50.01, 6.0}, {50.02, 6.0}};
    const auto p = projected(meridian, {0, 0, 200, 100});
    ASSERT_EQ(p.size(), 3U);
    for (const ProjectedPoint& q : p) EXPECT_NEAR(q.x, 100, 1e-9);
    // North is up: the most northerly point has the smallest y.
    EXPECT_LT(p[2].y, p[1].y);
    EXPECT_LT(p[1].y, p[0].y);
    EXPECT_NEAR(p[2].y, 100 * 0.08 / 1.16, 1e-6);
    EXPECT_NEAR(p[0].y, 100 * (1 - 0.08 / 1.16), 1e-6);
}

TEST(MapProjection, NarrowsLongitudesByAtLeastAFifthNearThePoles)
{
    // At 85 degrees cos is 0.087; with the floor of 0.2 a span of 0.01 degrees of longitude is as wide
    // as 0.002 of latitude, so the box is square and the trace spans the full width.
    const std::vector<ZaroSessionPoint> polar = {{85.0, 0.0}, {85.002, 0.01}};
    const auto p = projected(polar, {0, 0, 100, 100});
    ASSERT_EQ(p.size(), 2U);
    expectPointNear(p[0], {6.897, 93.103});
    expectPointNear(p[1], {93.103, 6.897});
}

TEST(MapProjection, CentresTheInnerAreaOfATallTraceHorizontally)
{
    const std::vector<ZaroSessionPoint> tall = {{0, 0}, {2, 1}};
    const auto p = projected(tall, {0, 0, 100, 100});
    ASSERT_EQ(p.size(), 2U);
    // Box about half as wide as high: inner area 50 wide, from x = 25.
    EXPECT_NEAR(p[0].x, 25 + 50 * 0.08 / 1.16, 0.01);
    EXPECT_NEAR(p[1].x, 75 - 50 * 0.08 / 1.16, 0.01);
    EXPECT_NEAR(p[0].y, 100 * (1 - 0.08 / 1.16), 1e-9);
}

TEST(MapProjection, LeavesPointsThatAreNotFiniteOutOfTheFit)
{
    const double nan = std::nan("");
    const std::vector<ZaroSessionPoint> points = {{0, 0}, {nan, 1}, {0, 2}, {1, HUGE_VAL}, {1, 1}};
    const auto p = projected(points, {0, 0, 100, 100});
    ASSERT_EQ(p.size(), 5U);
    expectPointNear(p[0], {6.897, 71.553});
    expectPointNear(p[2], {93.103, 71.553});
    expectPointNear(p[4], {50.0, 28.447});
    EXPECT_TRUE(std::isnan(p[1].y));
    EXPECT_FALSE(std::isfinite(p[3].x));
    EXPECT_TRUE(projected(std::vector<ZaroSessionPoint>{{nan, 1}, {2, nan}}, {0, 0, 100, 100}).empty());
}

TEST(MapSvgPath, WritesMoveAndLinesWithTwoDecimalsInsideTheBorder)
{
    const std::string path = svgPath(triangle);
    EXPECT_EQ(path, "M 10.34 69.83 L 89.66 69.83 L 50.00 30.17");
    EXPECT_EQ(svgPath(std::vector<ZaroSessionPoint>{{1, 1}}), "");
    EXPECT_EQ(svgPath({}), "");
}

TEST(MapThumbnail, DrawsOnlyTheBackgroundWithoutATrace)
{
    RecordingContext context;
    drawThumbnail(std::vector<ZaroSessionPoint>{{1, 1}}, context, {64, 48});
    const auto& c = context.recording;
    ASSERT_EQ(c.calls.size(), 1U);
    EXPECT_EQ(c.calls[0].op, Op::fillRect);
    EXPECT_EQ(c.calls[0].rect, (Rect{0, 0, 64, 48}));
    EXPECT_EQ(c.calls[0].color, backgroundColor);
}

TEST(MapThumbnail, StrokesTheTraceThenTheStartAndEndDots)
{
    RecordingContext context;
    drawThumbnail(triangle, context, {200, 100});
    const auto& c = context.recording;
    const auto p = projected(triangle, {10, 10, 180, 80});
    std::vector<Op> ops;
    for (const Call& call : c.calls) ops.push_back(call.op);
    EXPECT_EQ(ops, (std::vector<Op>{Op::fillRect, Op::lineWidth, Op::lineJoin, Op::lineCap, Op::beginPath, Op::moveTo,
                                    Op::lineTo, Op::lineTo, Op::strokePath, Op::fillEllipse, Op::fillEllipse}));
    EXPECT_DOUBLE_EQ(c.calls[1].value, 3.5);
    EXPECT_EQ(c.calls[5].rect, (Rect{p[0].x, p[0].y, 0, 0}));
    EXPECT_EQ(c.calls[7].rect, (Rect{p[2].x, p[2].y, 0, 0}));
    EXPECT_EQ(c.calls[8].color, trackColor);
    EXPECT_EQ(c.calls[9].rect, (Rect{p[0].x - 3, p[0].y - 3, 6, 6}));
    EXPECT_EQ(c.calls[9].color, startColor);
    EXPECT_EQ(c.calls[10].rect, (Rect{p[2].x - 3, p[2].y - 3, 6, 6}));
    EXPECT_EQ(c.calls[10].color, endColor);
}

TEST(MapThumbnail, NeverStrokesThinnerThanTwoPoints)
{
    RecordingContext context;
    drawThumbnail(triangle, context, {40, 40});
    const auto& c = context.recording;
    ASSERT_EQ(c.ofKind(Op::lineWidth).size(), 1U);
    EXPECT_EQ(c.ofKind(Op::lineWidth)[0].value, 2.0);
}

}  // namespace
}  // namespace zaro::ZaroSessionMap
