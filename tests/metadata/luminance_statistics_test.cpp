// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <utility>

#include "metadata/tone_curve_adaptation.h"
#include "record_support.h"

namespace {

LuminanceParameters withEntries(std::initializer_list<std::pair<uint32_t, double>> entries) {
    LuminanceParameters lp{};
    for (const auto& e : entries) {
        lp.percentages[lp.numPercentiles] = e.first;
        lp.percentiles[lp.numPercentiles] = e.second;
        ++lp.numPercentiles;
    }
    return lp;
}

void expectPercentiles(LuminanceParameters lp, float p50, float p99) {
    float got50 = 0, got99 = 0;
    getPercentile_50_99(lp, got50, got99);
    EXPECT_EQ(got50, p50);
    EXPECT_EQ(got99, p99);
}

}  // namespace

TEST(RampWeight, EqualEndsStepAtTheEnd) {
    EXPECT_EQ(rampWeight(1, 0, 0.2f, 0.2f, 0.2f), 0.0f);
    EXPECT_EQ(rampWeight(1, 0, 0.2f, 0.2f, 0.1f), 1.0f);
}

TEST(RampWeight, InteriorIsSinglePrecision) {
    // Float evaluation gives 0.15000002; the same formula in double rounds to 0.15f.
    EXPECT_EQ(rampWeight(0, 0.3f, 0.22f, 1.0f, 0.61f), 0.15000002086162567f);
    EXPECT_EQ(rampWeight(0.98f, 0.92f, 0.01f, 0.1f, -3.0f), 0.98f);
    EXPECT_EQ(rampWeight(0.98f, 0.92f, 0.01f, 0.1f, 7.0f), 0.92f);
}

TEST(Percentiles, InterpolatedBrackets) {
    expectPercentiles(withEntries({{25, 100}, {75, 300}}), 200.0f, -1.0f);
    // The 99 % bracket is read at 99.95 %; 99.95f - 98 is 1.949997, hence not 595.
    expectPercentiles(withEntries({{98, 400}, {100, 600}}), 204.08163452148438f,
                      594.9996948242188f);
    // A lone entry brackets against (0 %, 0 cd/m²).
    expectPercentiles(withEntries({{60, 80}}), 66.66666412353516f, -1.0f);
    // A later bracket replaces an earlier one.
    expectPercentiles(withEntries({{40, 10}, {60, 30}, {45, 12}, {55, 20}}), 16.0f, -1.0f);
}

TEST(Percentiles, EntriesAt49And51BracketTheMedian) {
    // The closest a bracket can sit around 50 %: 100 + (50 - 49) * 200 / 2.
    expectPercentiles(withEntries({{49, 100}, {51, 300}, {99, 900}}), 200.0f, 900.0f);
}

TEST(Percentiles, ExactEntriesWinOverEarlierBrackets) {
    expectPercentiles(withEntries({{40, 10}, {60, 30}, {50, 25}}), 25.0f, -1.0f);
    expectPercentiles(withEntries({{98, 400}, {100, 600}, {99, 500}}), 204.08163452148438f, 500.0f);
}

TEST(Percentiles, NoEntriesAndNegativeCountGiveMinusOne) {
    expectPercentiles(LuminanceParameters{}, -1.0f, -1.0f);
    LuminanceParameters lp = withEntries({{50, 10}, {99, 20}});
    lp.numPercentiles = 0x80000000u;  // negative when read as signed
    expectPercentiles(lp, -1.0f, -1.0f);
}

TEST(SourcePeak, CappedOnlyByALast99PercentEntry) {
    LuminanceParameters lp = withEntries({{50, 20}, {99, 180}});
    lp.maxscl[0] = 100;
    lp.maxscl[1] = 200;
    lp.maxscl[2] = 150;
    EXPECT_EQ(getSourceMaxLuminance(lp), 180.0f);
    lp.percentiles[1] = 250;
    EXPECT_EQ(getSourceMaxLuminance(lp), 200.0f);
    lp.percentages[1] = 98;
    EXPECT_EQ(getSourceMaxLuminance(lp), 200.0f);
    lp.numPercentiles = 0;
    EXPECT_EQ(getSourceMaxLuminance(lp), 200.0f);
}

TEST(SourcePeak, NegativeOrNaNRedCountsAsZero) {
    LuminanceParameters lp{};
    lp.maxscl[0] = NAN;
    lp.maxscl[1] = 50;
    EXPECT_EQ(getSourceMaxLuminance(lp), 50.0f);
    lp.maxscl[0] = -5;
    lp.maxscl[1] = -3;
    EXPECT_EQ(getSourceMaxLuminance(lp), 0.0f);
}

TEST(SourcePeak, HostileCountsReadOnlyFifteenEntries) {
    Guarded<LuminanceParameters> lp;
    lp->maxscl[0] = 300;
    lp->percentages[14] = 99;
    lp->percentiles[14] = 180;
    lp->percentages[13] = 50;
    lp->percentiles[13] = 90;
    lp->numPercentiles = 1000;
    EXPECT_EQ(getSourceMaxLuminance(*lp), 180.0f);
    float p50 = 0, p99 = 0;
    getPercentile_50_99(*lp, p50, p99);
    EXPECT_EQ(p50, 90.0f);
    EXPECT_EQ(p99, 180.0f);
}

TEST(FillLuminanceParameters, ConvertsTenthsAndClearsUnusedEntries) {
    _VelmorHdrDynamicInfo r = workedRecord(0);
    r.maxscl[2] = 12345;
    r.num_distribution_maxrgb_percentiles = 2;  // entries 2 to 8 stay in the record
    LuminanceParameters lp;
    std::memset(&lp, 0xAB, sizeof lp);
    fillLuminanceParameters(r, lp);
    EXPECT_EQ(lp.maxscl[0], 4000.0f);
    EXPECT_EQ(lp.maxscl[2], 1234.5f);
    ASSERT_EQ(lp.numPercentiles, 2u);
    EXPECT_EQ(lp.percentages[1], 5u);
    EXPECT_EQ(lp.percentiles[0], 0.5);
    for (int i = 2; i < 15; ++i) {
        EXPECT_EQ(lp.percentages[i], 0u) << i;
        EXPECT_EQ(lp.percentiles[i], 0.0) << i;
    }
}

TEST(FillLuminanceParameters, HostileCountClampedToFifteen) {
    Guarded<_VelmorHdrDynamicInfo> r;
    r->num_distribution_maxrgb_percentiles = 255;
    r->distribution_maxrgb_percentiles[14] = 77;
    LuminanceParameters lp;
    fillLuminanceParameters(*r, lp);
    EXPECT_EQ(lp.numPercentiles, 15u);
    EXPECT_EQ(lp.percentiles[14], 7.7);
}

TEST(CalcP1, StraightLineKneeGivesTheStraightLineAnchor) {
    float w = -1;
    EXPECT_EQ(calcP1(0.2f, 0.2f, 1000, 1000, 0.01f, 0.1f, 0.92f, 0.98f, 0.005f, 0.04f, 0.12f, 0.4f,
                     0.1f, 0.75f, 0.65f, &w),
              0.1f);
    EXPECT_EQ(w, 0.0f);
}

TEST(CalcP1, StaysBetweenTheFloorAndTheCeiling) {
    for (float knee : {0.0f, 0.003f, 0.02f, 0.2f, 0.6f, 0.9999f, 1.0f, 3.0f}) {
        for (float target : {1.0f, 100.0f, 600.0f, 4000.0f}) {
            const float p1 = calcP1(knee * target / 4000, knee, target, 4000, 0.01f, 0.1f, 0.92f,
                                    0.98f, 0.005f, 0.04f, 0.12f, 0.4f, 0.1f, 0.75f, 0.65f, nullptr);
            EXPECT_GE(p1, 0.1f) << knee << " " << target;
            EXPECT_LE(p1, 0.98f) << knee << " " << target;
        }
    }
}
