// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include "metadata/tone_curve_adaptation.h"

namespace {

constexpr double kSentinel = -7.0;

// The worked scene: nine entries up to (99 %, 2500 cd/m²), median 100 cd/m².
LuminanceParameters workedScene() {
    LuminanceParameters lp{};
    const uint32_t pct[9] = {1, 5, 10, 25, 50, 75, 90, 95, 99};
    const double lum[9] = {0.5, 2, 5, 20, 100, 300, 800, 1200, 2500};
    for (int i = 0; i < 9; ++i) {
        lp.percentages[i] = pct[i];
        lp.percentiles[i] = lum[i];
    }
    lp.numPercentiles = 9;
    return lp;
}

CurveParameters basis(LuminanceParameters lp, float target, float source) {
    CurveParameters c{};
    for (double& a : c.anchors) a = kSentinel;
    BasisOOTF(lp, target, source, c);
    return c;
}

// Holds to the six printed decimals.
void expectPrinted(const CurveParameters& c, double kneeX, double kneeY,
                   const double (&anchors)[9]) {
    EXPECT_NEAR(c.kneeX, kneeX, 5e-7);
    EXPECT_NEAR(c.kneeY, kneeY, 5e-7);
    EXPECT_EQ(c.order, 10u);
    for (int k = 0; k < 9; ++k) EXPECT_NEAR(c.anchors[k], anchors[k], 5e-7) << k;
    for (int k = 9; k < 15; ++k) EXPECT_EQ(c.anchors[k], kSentinel) << k;
}

}  // namespace

TEST(BasisOOTF, WorkedScenes) {
    expectPrinted(
        basis(workedScene(), 1000, 4000), 0.002885, 0.011538,
        {0.330578, 0.422709, 0.604661, 0.703705, 0.764307, 0.823492, 0.877836, 0.933045, 0.970671});
    // Weight at least 0.75: the second anchor is pulled below the first.
    expectPrinted(
        basis(workedScene(), 500, 4000), 0, 0,
        {0.52, 0.415883, 0.659065, 0.757939, 0.811505, 0.863401, 0.909592, 0.956803, 0.983291});
}

TEST(BasisOOTF, EveryStepInItsOwnPrecision) {
    // Derived by evaluating each step of the construction in the precision
    // it names (float32 steps rounded one by one). R = 0.8 lies where a float
    // knee-x product, a float D·M product widened late, or (1 − D)·(k + 1)
    // divided by 10 afterwards, would each change the result.
    const CurveParameters c = basis(workedScene(), 3200, 4000);
    EXPECT_EQ(c.kneeX, 0.17846156624647325);
    EXPECT_EQ(c.kneeY, 0.2230769544839859);
    const double anchors[9] = {0.13217821717262268, 0.2581552147865296, 0.3652845293283462,
                               0.4650797158479691,  0.556637242436409,  0.6478911280632018,
                               0.7381077140569686,  0.8285096853971482, 0.9151438385248184};
    for (int k = 0; k < 9; ++k) EXPECT_EQ(c.anchors[k], anchors[k]) << k;
}

TEST(BasisOOTF, CapOnMultiplesOfP1FormedInDouble) {
    // For any positive target P1 stays too high for (k + 1)·P1 to undercut the
    // blended anchor beyond k = 1, where doubling is exact in either precision.
    // A negative target, open to a direct caller, sends the slope-matching
    // anchor below zero: P1 takes its floor 0.1f, the darkness weight is 1, and
    // every anchor from 2 on is the cap (k + 1)·P1 formed in double; a float
    // product would give 0.30000001192092896 for k = 2.
    const CurveParameters c = basis(LuminanceParameters{}, -100, 4000);
    EXPECT_EQ(c.kneeX, 0.0);
    EXPECT_EQ(c.kneeY, 0.0);
    const double anchors[9] = {0.10000000149011612, 0.2,
                               0.30000000447034836, 0.4000000059604645,
                               0.5000000074505806,  0.6000000089406967,
                               0.7000000104308128,  0.800000011920929,
                               0.9000000134110451};
    for (int k = 0; k < 9; ++k) EXPECT_EQ(c.anchors[k], anchors[k]) << k;
}

TEST(BasisOOTF, TargetAtLeastSourceIsTheIdentity) {
    for (float target : {4000.0f, 9000.0f}) {
        const CurveParameters c = basis(LuminanceParameters{}, target, 4000);
        // No median: Q is negative, so the knee is the high one, 0.3 in single precision.
        EXPECT_EQ(c.kneeY, static_cast<double>(0.3f));
        EXPECT_EQ(c.kneeX, c.kneeY);
        EXPECT_EQ(c.anchors[0], static_cast<double>(0.1f));
        for (int k = 1; k < 9; ++k) EXPECT_EQ(c.anchors[k], (k + 1) / 10.0) << k;
    }
}

TEST(BasisOOTF, NoStatisticsUseTheLowReferencesAsTheirOwnWeight) {
    // Q = -1 / 0.0001: every ramp value L(k) is low(k), and M(k) = L·high + (1 − L)·low
    // evaluated in single precision. At R = 0.125 the darkness weight is 1, P1 = 0.52.
    const CurveParameters c = basis(LuminanceParameters{}, 500, 4000);
    EXPECT_EQ(c.kneeX, 0.0);
    EXPECT_EQ(c.kneeY, 0.0);
    EXPECT_EQ(c.anchors[0], static_cast<double>(0.52f));
    // M(1) = 0.51985377f, times the reduction 0.8f, both widened.
    EXPECT_EQ(c.anchors[1], static_cast<double>(0.5198537707328796f) * static_cast<double>(0.8f));
    const float m[9] = {0,
                        0,
                        0.6590650081634521f,
                        0.7579385042190552f,
                        0.8115049600601196f,
                        0.8634012937545776f,
                        0.9095924496650696f,
                        0.9568033218383789f,
                        0.9832911491394043f};
    for (int k = 2; k < 9; ++k) EXPECT_EQ(c.anchors[k], static_cast<double>(m[k])) << k;
}
