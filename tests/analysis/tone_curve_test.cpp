// SPDX-License-Identifier: Apache-2.0
// The double-precision reference curve and the table interpolation error
// measured against it.
#include "analysis/tone_curve.h"

#include <gtest/gtest.h>

#include <cstring>

#include "analysis/frame_table.h"

namespace kestrel::analysis {
namespace {

ToneCurve curve(double kx, double ky, std::vector<double> anchors) {
    ToneCurve c;
    c.kneeX = kx;
    c.kneeY = ky;
    c.anchors = std::move(anchors);
    return c;
}

// The library's sampler computes in single precision; the reference in
// double must land within a couple of units of its worked samples for the
// knee point (1000, 1500) with anchors 102, 205, ..., 921.
TEST(ReferenceCurve, AgreesWithTheSamplersWorkedValues) {
    _VelmorHdrDynamicInfo r;
    std::memset(&r, 0, sizeof r);
    r.knee_point_x = 1000;
    r.knee_point_y = 1500;
    const uint16_t anchors[] = {102, 205, 307, 410, 512, 614, 717, 819, 921};
    r.num_bezier_curve_anchors = 9;
    for (int i = 0; i < 9; i++) r.bezier_curve_anchors[i] = anchors[i];
    const ToneCurve c = toneCurveOf(r);
    EXPECT_EQ(gainAt(c, 0), 0.0);  // y(0) = 0, divided by 1
    EXPECT_NEAR(gainAt(c, 1), 1572862, 2);
    EXPECT_NEAR(gainAt(c, 16777216), 1572862, 2);
    EXPECT_NEAR(gainAt(c, 67108864), 1218444, 2);
    EXPECT_NEAR(gainAt(c, 134217728), 1048575, 2);
}

TEST(ReferenceCurve, WithoutAnchorsTheCurveIsStraightFromTheKneeToTheTop) {
    const ToneCurve c = curve(0.25, 0.5, {});
    EXPECT_DOUBLE_EQ(evaluate(c, 0.125), 0.25);
    EXPECT_DOUBLE_EQ(evaluate(c, 0.25), 0.5);
    EXPECT_DOUBLE_EQ(evaluate(c, 0.625), 0.75);
    EXPECT_DOUBLE_EQ(evaluate(c, 1.0), 1.0);
}

TEST(ReferenceCurve, BezierWeightsAreTheBinomials) {
    // Order 3 with anchors 0.5, 0.5: B(u) = 3u(1-u)^2 0.5 + 3u^2(1-u) 0.5 + u^3.
    const ToneCurve c = curve(0, 0, {0.5, 0.5});
    const double u = 0.25;
    EXPECT_DOUBLE_EQ(evaluate(c, u),
                     3 * u * (1 - u) * (1 - u) * 0.5 + 3 * u * u * (1 - u) * 0.5 + u * u * u);
}

TEST(ReferenceCurve, KneeAtZeroSaturatesTheGainAtZeroAsASampleDoes) {
    EXPECT_EQ(gainAt(curve(0, 0.1, {0.5}), 0), 2147483647.0);
    EXPECT_EQ(gainAt(curve(0, 0, {0.5}), 0), 0.0);
}

TEST(InterpolationError, IsZeroWhereTheGainIsLinearAndLargestMidwayOnACubic) {
    std::vector<TablePoint> ends = {{0, 0}, {134217728, 1048575}};
    double error = -1, at = -1;
    // y = t^2 (order 2, anchor 0) has the gain t, a straight line in x.
    measureInterpolationError(ends, curve(0, 0, {0}), error, at);
    EXPECT_NEAR(error, 0, 1e-6);
    // y = t^3 has the gain t^2: the chord misses it most at the middle, by 1/4.
    measureInterpolationError(ends, curve(0, 0, {0, 0}), error, at);
    EXPECT_DOUBLE_EQ(error, 1048575 / 4.0);
    EXPECT_EQ(at, 67108864);
}

TEST(InterpolationError, InterpolatesBetweenNeighboursAndHoldsTheEnds) {
    std::vector<TablePoint> points = {{0, 10}, {4, 10}, {4, 30}, {8, 50}};
    EXPECT_EQ(interpolateGain(points, -1), 10);
    EXPECT_EQ(interpolateGain(points, 2), 10);
    EXPECT_EQ(interpolateGain(points, 6), 40);
    EXPECT_EQ(interpolateGain(points, 9), 50);
}

}  // namespace
}  // namespace kestrel::analysis
