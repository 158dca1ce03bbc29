// Where `kestrel report` says the picture will pump: PQ codes, scenes, and
// the jumps inside a scene, down to the threshold's exact edge.
#include "analysis/jump_detection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "analysis/pq.h"
#include "dtm/meta2lut.h"

namespace kestrel::tool {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(PqCode, InvertsTheLibrarysTableOfCodeLuminances) {
    // dTable holds the EOTF of every 10-bit code, computed apart from this
    // code with 60 digits and rounded to 8 decimals (too coarse for a check
    // near black, where a code is a few 1e-5 cd/m²).
    for (int code : {64, 153, 520, 769, 1000, 1023}) {
        EXPECT_NEAR(pqCodeOfNits(dTable[code]), code, 2e-5) << "code " << code;
    }
    EXPECT_EQ(pqCodeOfNits(kPqMaxNits), 1023.0);
    // The formula leaves c1^m2 at zero light: 0.00075 of a code.
    EXPECT_NEAR(pqCodeOfNits(0), 0.0, 1e-3);
    EXPECT_EQ(pqCodeOfNits(-5), pqCodeOfNits(0));
    EXPECT_EQ(pqCodeOfNits(20000), 1023.0);       // above the peak, the top code
    EXPECT_TRUE(std::isnan(pqCodeOfNits(kNaN)));  // an unknown output stays unknown
}

FrameRow row(unsigned frame, int sceneId, std::vector<double> outputs) {
    FrameRow r;
    std::memset(&r.lut.source, 0, sizeof r.lut.source);
    r.frame = frame;
    r.sceneId = sceneId;
    r.levelOutputs = std::move(outputs);
    return r;
}

TEST(JumpDetection, FlagsAChangeAboveTheThresholdInPqCodesNotInCandelas) {
    // Codes 520 and 523 (about 100 and 103 cd/m²) are three codes apart.
    const double at520 = dTable[520], at523 = dTable[523];
    std::vector<FrameRow> rows{row(4, 0, {1.0, at520}), row(5, 0, {1.0, at523})};
    const std::vector<int> scenes{0, 0};

    std::vector<Jump> jumps = findJumps(rows, scenes, 3.0 - 1e-4);
    ASSERT_EQ(jumps.size(), 1u);
    const Jump& j = jumps[0];
    EXPECT_EQ(j.frame, 5u);
    EXPECT_EQ(j.previousFrame, 4u);
    EXPECT_EQ(j.level, 1u);
    EXPECT_EQ(j.scene, 0);
    EXPECT_EQ(j.beforeNits, at520);
    EXPECT_EQ(j.afterNits, at523);
    EXPECT_NEAR(j.beforeCode, 520, 2e-5);
    EXPECT_NEAR(j.afterCode, 523, 2e-5);
    // Just above three codes: not flagged, although 3 cd/m² is far above 3e-4.
    EXPECT_TRUE(findJumps(rows, scenes, 3.0 + 1e-4).empty());
    // On the threshold itself: a change of exactly the threshold is not a
    // jump, only one above it is.
    EXPECT_TRUE(findJumps(rows, scenes, j.afterCode - j.beforeCode).empty());
    // Threshold 0 flags any change, and still not an output that stayed put.
    EXPECT_EQ(findJumps(rows, scenes, 0.0).size(), 1u);
    std::vector<FrameRow> still{row(4, 0, {at520}), row(5, 0, {at520})};
    EXPECT_TRUE(findJumps(still, scenes, 0.0).empty());

    // The same three codes downwards, in shadow (codes 153 -> 150, ~1 cd/m²).
    std::vector<FrameRow> darker{row(0, 0, {dTable[153]}), row(1, 0, {dTable[150]})};
    ASSERT_EQ(findJumps(darker, {0, 0}, 2.9).size(), 1u);
    EXPECT_TRUE(findJumps(darker, {0, 0}, 3.1).empty());
}

TEST(JumpDetection, IgnoresCutsGapsAndUnknownOutputs) {
    const double low = dTable[300], high = dTable[400];  // 100 codes apart
    std::vector<FrameRow> rows{
        row(0, 0, {low, low}),   row(1, 1, {high, high}),  // a cut
        row(3, 1, {low, high}),                            // frame 2 was rejected: no pair
        row(4, 1, {kNaN, high}),  // unknown output: no comparison at level 0
        row(5, 1, {low, low}),    // level 0 after NaN: nothing; level 1: a jump
    };
    std::vector<Jump> jumps = findJumps(rows, {0, 1, 1, 1, 1}, kDefaultJumpThresholdCodes);
    ASSERT_EQ(jumps.size(), 1u);
    EXPECT_EQ(jumps[0].frame, 5u);
    EXPECT_EQ(jumps[0].level, 1u);
    EXPECT_EQ(jumps[0].scene, 1);
}

TEST(SceneSplit, FromTheFilesSceneNumbersWhenEveryFrameHasOneElseFromChanges) {
    std::vector<FrameRow> rows{row(0, 7, {}), row(1, 7, {}), row(2, 9, {}), row(3, 9, {})};
    rows[1].lut.source.maxscl[0] = 5;  // metadata changes inside scene 7: no cut
    SceneSplit split = splitScenes(rows);
    EXPECT_EQ(split.source, SceneSource::SceneFields);
    EXPECT_EQ(split.sceneOf, (std::vector<int>{0, 0, 1, 1}));
    EXPECT_EQ(split.firstFrames, (std::vector<unsigned>{0, 2}));

    // One frame without a scene number: every change of metadata is a cut
    // (frame 1 differs in the record, frame 3 in the file's average).
    rows[3].sceneId = -1;
    rows[3].averageMaxRgbNits = 12.5;
    split = splitScenes(rows);
    EXPECT_EQ(split.source, SceneSource::MetadataChanges);
    EXPECT_EQ(split.sceneOf, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(split.firstFrames, (std::vector<unsigned>{0, 1, 2, 3}));
}

}  // namespace
}  // namespace kestrel::tool
