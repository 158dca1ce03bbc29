// SPDX-License-Identifier: Apache-2.0
// The relation between input cd/m², the table's words and output cd/m²,
// checked on values worked by hand: a source peak of 2000 cd/m² and a
// target of 600 (never equal, so that swapping them shows).
#include "analysis/table_model.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kestrel::analysis {
namespace {

constexpr double kOne = 134217728;  // 2^27: the input that stands for the source peak
constexpr double kGainOne = 1048575;

TEST(TableModel, InputIsOnTheSourcePeakAndRelativeWithoutIt) {
    EXPECT_DOUBLE_EQ(inputNits(2000, kOne / 2), 1000);
    EXPECT_DOUBLE_EQ(inputNits(2000, kOne), 2000);
    // Without statistics the peak is unknown: input is relative to it.
    EXPECT_DOUBLE_EQ(inputNits(0, kOne / 4), 0.25);
    EXPECT_DOUBLE_EQ(inputScale(0), 1);
    EXPECT_DOUBLE_EQ(inputScale(2000), 2000);

    EXPECT_DOUBLE_EQ(tableInputOf(2000, 1000), kOne / 2);
    // The table ends at the source peak: exactly there and above, its end.
    EXPECT_DOUBLE_EQ(tableInputOf(2000, 2000), kOne);
    EXPECT_DOUBLE_EQ(tableInputOf(2000, 2000.5), kOne);
    EXPECT_LT(tableInputOf(2000, 1999.5), kOne);
}

TEST(TableModel, OutputIsGainTimesInputOnTheTargetPeak) {
    // Unit gain at the end: the source peak is shown at the target peak.
    EXPECT_DOUBLE_EQ(outputNits(600, kOne, kGainOne), 600);
    // Half the input at half the gain: a quarter of the target peak.
    EXPECT_DOUBLE_EQ(outputNits(600, kOne / 2, kGainOne / 2), 150);
    EXPECT_DOUBLE_EQ(normalisedGain(kGainOne / 4), 0.25);
    // 1000 cd/m² in, 150 out: a ratio of 0.15; the normalised gain of 0.5
    // times target over source peak (600 / 2000) says the same.
    EXPECT_DOUBLE_EQ(luminanceRatio(2000, 600, {kOne / 2, kGainOne / 2}), 0.15);
    EXPECT_TRUE(std::isnan(luminanceRatio(2000, 600, {0, kGainOne})));
    EXPECT_TRUE(std::isnan(luminanceRatio(0, 600, {kOne / 2, kGainOne})));
}

TEST(TableModel, LevelsGoThroughTheInterpolatedTable) {
    // Gain rising linearly from 0 to 1: at half the peak the gain is 1/2.
    const std::vector<TablePoint> ramp = {{0, 0}, {kOne, kGainOne}};
    EXPECT_DOUBLE_EQ(outputAtLevel(ramp, 2000, 600, 1000), 150);
    // With the peaks swapped the same input is a third of the peak.
    EXPECT_NEAR(outputAtLevel(ramp, 600, 2000, 200), 2000.0 / 9, 1e-9);
    // Above the source peak the table's end holds.
    EXPECT_DOUBLE_EQ(outputAtLevel(ramp, 2000, 600, 5000), 600);
    EXPECT_TRUE(std::isnan(outputAtLevel(ramp, 0, 600, 100)));
    // A vertical step takes the gain after it.
    const std::vector<TablePoint> step = {{0, kGainOne}, {kOne / 2, kGainOne}, {kOne / 2, 0}};
    EXPECT_EQ(interpolateGain(step, kOne / 2), kGainOne);
    EXPECT_EQ(interpolateGain({}, 5), 0);
}

}  // namespace
}  // namespace kestrel::analysis
