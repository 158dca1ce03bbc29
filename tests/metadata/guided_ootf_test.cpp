// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "metadata/tone_curve_adaptation.h"

namespace {

constexpr double kSentinel = -7.0;
constexpr float kSource = 2500;

CurveParameters curve(uint32_t order) {
    CurveParameters c{};
    c.kneeX = 0.4;
    c.kneeY = 0.6;
    c.order = order;
    for (int i = 0; i < 15; ++i) c.anchors[i] = 0.5 + i / 64.0;
    return c;
}

CurveParameters guided(CurveParameters given, unsigned targeted, unsigned target) {
    LuminanceParameters lp{};
    CurveParameters out{};
    for (double& a : out.anchors) a = kSentinel;
    GuidedOOTF(lp, given, kSource, targeted, target, out);
    return out;
}

void expectStraightAnchors(const CurveParameters& out, uint32_t order) {
    ASSERT_EQ(out.order, order);
    for (uint32_t i = 0; i + 1 < order; ++i) EXPECT_EQ(out.anchors[i], (i + 1.0) / order) << i;
    for (uint32_t i = order - 1; i < 15; ++i) EXPECT_EQ(out.anchors[i], kSentinel) << i;
}

}  // namespace

TEST(GuidedOOTF, TargetUnder200IsRefusedWithAStraightLine) {
    testing::internal::CaptureStderr();
    const CurveParameters out = guided(curve(5), 1000, 199);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "E/liborrin: Error GuidedOOTF : target peak under 200 nits not supported at this "
              "time\n");
    EXPECT_EQ(out.kneeX, 0.0);
    EXPECT_EQ(out.kneeY, 0.0);
    expectStraightAnchors(out, 5);
}

TEST(GuidedOOTF, SameDisplayCopiesOnlyTheValidAnchors) {
    const CurveParameters out = guided(curve(4), 700, 700);
    EXPECT_EQ(out.kneeX, 0.4);
    EXPECT_EQ(out.kneeY, 0.6);
    EXPECT_EQ(out.order, 4u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(out.anchors[i], 0.5 + i / 64.0) << i;
    for (int i = 3; i < 15; ++i) EXPECT_EQ(out.anchors[i], kSentinel) << i;
}

TEST(GuidedOOTF, TargetAtLeastSourceIsAStraightLineWithKnee03) {
    const CurveParameters out = guided(curve(7), 1000, 2500);
    EXPECT_EQ(out.kneeX, 0.30000001192092896);
    EXPECT_EQ(out.kneeY, 0.30000001192092896);
    expectStraightAnchors(out, 7);
}

// Derived by evaluating each step in the precision it names: 1 − β and
// 1 − α in double in the anchor blends, a float 1 − β and a float 0.3·β in
// the knee blend of the upper range, a double 1 − α in that of the lower range.
struct BlendCase {
    LuminanceParameters lp;
    CurveParameters given;
    float source;
    unsigned targeted, target;
    double kneeX, kneeY;
    std::vector<double> anchors;
};

void expectBlend(BlendCase t) {
    CurveParameters out{};
    GuidedOOTF(t.lp, t.given, t.source, t.targeted, t.target, out);
    EXPECT_EQ(out.kneeX, t.kneeX);
    EXPECT_EQ(out.kneeY, t.kneeY);
    ASSERT_EQ(out.order, t.anchors.size() + 1);
    for (size_t i = 0; i < t.anchors.size(); ++i) EXPECT_EQ(out.anchors[i], t.anchors[i]) << i;
}

BlendCase workedBlend(unsigned target) {
    BlendCase t{};
    const uint32_t pct[9] = {1, 5, 10, 25, 50, 75, 90, 95, 99};
    const double lum[9] = {0.5, 2, 5, 20, 100, 300, 800, 1200, 2500};
    for (int i = 0; i < 9; ++i) {
        t.lp.percentages[i] = pct[i];
        t.lp.percentiles[i] = lum[i];
    }
    t.lp.numPercentiles = 9;
    t.given.kneeX = 1700 / static_cast<double>(kKneePointOne);
    t.given.kneeY = 1600 / static_cast<double>(kKneePointOne);
    t.given.order = 10;
    const int stored[9] = {500, 700, 800, 870, 920, 960, 990, 1010, 1020};
    for (int i = 0; i < 9; ++i) t.given.anchors[i] = stored[i] / static_cast<double>(kAnchorOne);
    t.source = 2500;
    t.targeted = 1000;
    t.target = target;
    return t;
}

TEST(GuidedOOTF, TowardTheStraightLineInStatedPrecision) {
    BlendCase t = workedBlend(1300);
    t.kneeX = 0.193739681519555;
    t.kneeY = 0.372576324280547;
    t.anchors = {0.24712181091308594, 0.4942436218261719, 0.6856109754853351,
                 0.7603519316642515,  0.8194526130313514, 0.8707331569925432,
                 0.9141935635478265,  0.9498338326972019, 0.9776539644406688};
    expectBlend(t);
}

TEST(GuidedOOTF, CapOnMultiplesOfP1FormedInDouble) {
    // Nearer the source peak P1 is low enough for the cap to bind at anchors 1
    // and 2; 3·P1 formed in float would store 0.6127346754074097 as anchor 2.
    BlendCase t = workedBlend(1500);
    t.kneeX = 0.21628816093159325;
    t.kneeY = 0.3604802538951238;
    t.anchors = {0.20424488186836243, 0.40848976373672485, 0.6127346456050873,
                 0.7002932506572466,  0.7662104880500982,  0.8256109448297282,
                 0.8784946209961368,  0.9248615165493239,  0.9647116314892894};
    expectBlend(t);
}

TEST(GuidedOOTF, FromTheBasisCurveInStatedPrecision) {
    BlendCase t = workedBlend(450);
    t.kneeX = 0.021978024947337697;
    t.kneeY = 0.12210013374449714;
    t.anchors = {0.6189151406288147, 0.499751453219607,  0.6974864734138706,
                 0.7868451877504649, 0.8389458307912396, 0.8868435236567065,
                 0.9277641657164347, 0.9663311214271704, 0.9875962431565162};
    expectBlend(t);
    // A source dim enough for the 200 cd/m² reference to have a knee of its own.
    BlendCase dim{};
    dim.given.kneeX = 0.25;
    dim.given.kneeY = 0.5;
    dim.given.order = 5;
    dim.given.anchors[0] = 0.4;
    dim.given.anchors[1] = 0.6;
    dim.given.anchors[2] = 0.75;
    dim.given.anchors[3] = 0.9;
    dim.source = 777;
    dim.targeted = 613;
    dim.target = 201;
    dim.kneeX = 0.004025314976723787;
    dim.kneeY = 0.015560546010169912;
    dim.anchors = {0.33794185519218445, 0.4296189147028096, 0.6018000938579949, 0.7009777509910083};
    expectBlend(dim);
}

TEST(GuidedOOTF, OrderClampedIntoOneToSixteen) {
    expectStraightAnchors(guided(curve(0), 1000, 3000), 1);
    expectStraightAnchors(guided(curve(40), 1000, 3000), 16);
    expectStraightAnchors(guided(curve(40), 1000, 150), 16);
}

TEST(GuidedOOTF, OrderOneGetsANewKneeAndNoAnchors) {
    for (unsigned target : {600u, 2000u}) {
        const CurveParameters withAnchors = guided(curve(10), 1000, target);
        const CurveParameters out = guided(curve(1), 1000, target);
        // The knee depends on the given knee y and the peaks only.
        EXPECT_EQ(out.kneeX, withAnchors.kneeX);
        EXPECT_EQ(out.kneeY, withAnchors.kneeY);
        EXPECT_NE(out.kneeX, 0.4);
        expectStraightAnchors(out, 1);
    }
}
