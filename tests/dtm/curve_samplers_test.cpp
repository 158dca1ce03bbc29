// SPDX-License-Identifier: Apache-2.0
#include "dtm/curve_samplers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "dtm/meta2lut.h"
#include "records.h"

namespace {

constexpr int32_t kX = OETFCurveData::kXMax;

// The tone curve's gain written out directly: de Casteljau's construction of
// the Bezier curve through 0, a_1..a_N, 1 in double, scaled from the knee
// point to (1, 1), divided by the input.
double directGain(const _VelmorHdrDynamicInfo& r, int32_t x) {
    const double kx = r.knee_point_x / static_cast<double>(kKneePointOne);
    const double ky = r.knee_point_y / static_cast<double>(kKneePointOne);
    const double t = static_cast<double>(x) / kX;
    std::vector<double> p{0.0};
    for (unsigned k = 0; k < r.num_bezier_curve_anchors; k++) {
        p.push_back(r.bezier_curve_anchors[k] / static_cast<double>(kAnchorOne));
    }
    p.push_back(1.0);
    const double u = (t - kx) / (1.0 - kx);
    for (size_t level = p.size() - 1; level > 0; level--) {
        for (size_t i = 0; i < level; i++) p[i] = (1.0 - u) * p[i] + u * p[i + 1];
    }
    const double y = ky + (1.0 - ky) * p[0];
    return y / t * kToneTableUnitGain;
}

void expectBezierFollowsDirectSum(const _VelmorHdrDynamicInfo& r) {
    const OETFCurveData curve(r);
    const int32_t knee =
        static_cast<int32_t>(r.knee_point_x / static_cast<double>(kKneePointOne) * kX) + 1;
    for (int32_t x : {knee, knee + 1000003, 50000000, 70000001, 99999999, 120000000, kX - 1}) {
        if (x < knee) continue;
        const double expected = directGain(r, x);
        // Float steps put the sample within a few parts in 10^7 of the exact gain.
        EXPECT_NEAR(curve.getY(x), expected, expected * 4e-7 + 1) << "at x = " << x;
    }
}

TEST(ToneCurveSampler, KneeExampleSamples) {
    const OETFCurveData curve(kneeExampleRecord());
    EXPECT_EQ(curve.xMax, 134217728);
    EXPECT_EQ(curve.peakLuminance, 0u);
    // At 0 the straight segment gives y = 0, not its gain ky / kx.
    EXPECT_EQ(curve.getY(0), 0);
    EXPECT_EQ(curve.getY(1), 1572862);
    EXPECT_EQ(curve.getY(16777216), 1572862);
    EXPECT_EQ(curve.getY(67108864), 1218444);
    EXPECT_EQ(curve.getY(134217727), 1048575);
    EXPECT_EQ(curve.getY(134217728), 1048575);
}

TEST(ToneCurveSampler, KneeExampleStepsInFloat) {
    // Each sample comes out one unit different when any of these is done in
    // double instead of float: the knee, u, the scaling to the knee point, the
    // gain; or when the anchor terms are summed in float instead of double.
    const OETFCurveData curve(kneeExampleRecord());
    EXPECT_EQ(curve.getY(95327344), 1118169);
    EXPECT_EQ(curve.getY(77694118), 1172329);
}

TEST(ToneCurveSampler, BezierOfOneTwoNineAndFifteenAnchorsFollowsDirectSum) {
    // One and two anchors need the binomial rows 2 and 3; fifteen need row 16.
    expectBezierFollowsDirectSum(curveRecord(1000, 1500, {900}));
    expectBezierFollowsDirectSum(curveRecord(800, 1200, {200, 1000}));
    expectBezierFollowsDirectSum(kneeExampleRecord());
    expectBezierFollowsDirectSum(curveRecord(
        600, 900, {60, 140, 210, 300, 380, 450, 530, 600, 680, 750, 820, 880, 940, 990, 1020}));
}

TEST(ToneCurveSampler, NoAnchorsIsStraightLineFromKneeToTop) {
    expectBezierFollowsDirectSum(curveRecord(2000, 3000, {}));
}

TEST(ToneCurveSampler, AnchorCountAboveFifteenReadsFifteen) {
    const uint16_t kMany[15] = {60,  140, 210, 300, 380, 450, 530, 600,
                                680, 750, 820, 880, 940, 990, 1020};
    _VelmorHdrDynamicInfo fifteen = curveRecord(600, 900, {});
    std::memcpy(fifteen.bezier_curve_anchors, kMany, sizeof(kMany));
    fifteen.num_bezier_curve_anchors = 15;
    _VelmorHdrDynamicInfo oversized = fifteen;
    oversized.num_bezier_curve_anchors = 40000;
    const OETFCurveData a(fifteen), b(oversized);
    for (int32_t x : {0, 20000000, 90000000, kX}) EXPECT_EQ(a.getY(x), b.getY(x)) << x;
}

TEST(ToneCurveSampler, ZeroKneeSaturatesAtOrigin) {
    // x = 0 lies on the Bezier segment with y = ky; the gain ky * 2^27 * 1048575
    // saturates (a plain x86 cast would give INT32_MIN).
    EXPECT_EQ(OETFCurveData(curveRecord(0, 2000, {500})).getY(0), 2147483647);
    EXPECT_EQ(OETFCurveData(curveRecord(0, 0, {500})).getY(0), 0);
}

TEST(ToneCurveSampler, FullKneeIsStraightUpToTheEnd) {
    const OETFCurveData curve(curveRecord(4095, 2000, {500}));
    // Gain ky = 2000 / 4095 on the whole range, the end included (a Bezier
    // step there would divide 0 by 0 and give 0). At 2^26 and at 2^27 every
    // float step is exact but the product ky * 1048575, which rounds to
    // 512124.53125: both samples are 512124.
    EXPECT_EQ(curve.getY(1 << 26), 512124);
    EXPECT_EQ(curve.getY(kX - 1), 512124);
    EXPECT_EQ(curve.getY(kX), 512124);
    // A knee just below 1.0 still ends on the Bezier segment at (1, 1).
    EXPECT_EQ(OETFCurveData(curveRecord(4094, 2000, {500})).getY(kX), 1048575);
}

_VelmorHdrDynamicInfo statisticsRecord(uint32_t maxsclTenths) {
    _VelmorHdrDynamicInfo r;
    std::memset(&r, 0, sizeof(r));
    r.maxscl[0] = maxsclTenths;
    return r;
}

TEST(PqSampler, NormalisesByTheCallersPeakOrTheSourcePeak) {
    // L = 4000 from the caller's peak, then from a 4000 cd/m² source above a 1000 peak.
    for (const EOTFCurveData& curve :
         {EOTFCurveData(statisticsRecord(0), 4000), EOTFCurveData(statisticsRecord(40000), 1000)}) {
        EXPECT_EQ(curve.xMax, 1024);
        EXPECT_EQ(curve.getY(0), 0);
        EXPECT_EQ(curve.getY(512), 1518);
        EXPECT_EQ(curve.getY(1023), 65535);
        EXPECT_EQ(curve.getY(1024), 65535);  // clipped at L
    }
}

TEST(PqSampler, NormalisationCappedAt10000) {
    const EOTFCurveData curve(statisticsRecord(0), 20000);
    // 9907.05818394 / 10000 of 65535, truncated.
    EXPECT_EQ(curve.getY(1022), 64925);
    EXPECT_EQ(curve.getY(1024), 65535);
}

TEST(PqSampler, ZeroNormalisationGivesZeroBelowTop) {
    const EOTFCurveData curve(statisticsRecord(0), 0);
    EXPECT_EQ(curve.getY(0), 0);
    EXPECT_EQ(curve.getY(512), 0);
    EXPECT_EQ(curve.getY(1024), 0);
    EXPECT_EQ(curve.getY(1023), 65535);
}

TEST(PqTable, SampleEntriesAndMonotonic) {
    EXPECT_EQ(dTable[0], 0.0);
    EXPECT_EQ(dTable[1], 0.00004042);
    EXPECT_EQ(dTable[100], 0.3057737);
    EXPECT_EQ(dTable[512], 92.69847027);
    EXPECT_EQ(dTable[520], 100.22988553);
    EXPECT_EQ(dTable[767], 981.17550166);
    EXPECT_EQ(dTable[1000], 8074.11741611);
    EXPECT_EQ(dTable[1022], 9907.05818394);
    EXPECT_EQ(dTable[1023], 10000.0);
    EXPECT_EQ(dTable[1024], 10093.84876124);
    for (int i = 1; i < 1025; i++) EXPECT_LT(dTable[i - 1], dTable[i]) << i;
}

}  // namespace
