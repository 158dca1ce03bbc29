// SPDX-License-Identifier: Apache-2.0
// Where `kestrel report` says the picture will pump: PQ codes, scenes, and
// the jumps inside a scene, down to the threshold's exact edge.
#include "analysis/jump_detection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "analysis/pq.h"
#include "dtm/meta2lut.h"

namespace kestrel::analysis {
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

// A row whose record has every byte zero but maxscl[0] = `mark`.
FrameRow row(unsigned frame, int sceneId, std::vector<double> outputs, uint32_t mark = 0) {
    FrameRow r;
    auto table = std::make_shared<LutAnalysis>();
    std::memset(&table->source, 0, sizeof table->source);
    table->source.maxscl[0] = mark;
    r.table = table;
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

TEST(SceneSplit, ScenesFoundOnFramesAreNumberedOverTheRowsTheyHold) {
    // Frames 2 and 3 have no row (no metadata); the clip's scenes start at
    // 0, 2 (frame 2 alone) and 3 (frames 3 to 5).
    std::vector<FrameRow> rows{row(0, -1, {}), row(1, -1, {}), row(4, -1, {}), row(5, -1, {})};
    SceneSplit split = scenesOfRows(rows, {SceneSource::MetadataChanges, {0, 2, 3}});
    EXPECT_EQ(split.source, SceneSource::MetadataChanges);
    // The scene of frame 2 has no row: the next one is numbered 1.
    EXPECT_EQ(split.sceneOf, (std::vector<int>{0, 0, 1, 1}));
    EXPECT_EQ(split.firstFrames, (std::vector<unsigned>{0, 4}));
    // Frame 0 starts a scene whether the list says so or not.
    split = scenesOfRows(rows, {SceneSource::SceneFields, {5}});
    EXPECT_EQ(split.source, SceneSource::SceneFields);
    EXPECT_EQ(split.sceneOf, (std::vector<int>{0, 0, 0, 1}));
}

// A row whose record is that of run `run`: rows of one run are identical.
FrameRow runRow(unsigned frame, unsigned run, std::vector<double> outputs) {
    return row(frame, -1, std::move(outputs), run);
}

TEST(Glitches, AShortRunThatStandsOutFromBothNeighboursIsFlagged) {
    const double base = dTable[500], flash = dTable[503], dip = dTable[497];
    // A long shot with one stray record in it (the flipped bit), as a run of 1.
    std::vector<FrameRow> rows{runRow(0, 1, {base}), runRow(1, 1, {base}), runRow(2, 2, {flash}),
                               runRow(3, 1, {base}), runRow(4, 1, {base})};
    std::vector<Glitch> g = findGlitches(rows, 3.0 - 1e-4);
    ASSERT_EQ(g.size(), 1u);
    EXPECT_EQ(g[0].firstFrame, 2u);
    EXPECT_EQ(g[0].lastFrame, 2u);
    EXPECT_EQ(g[0].previousFrame, 1u);
    EXPECT_EQ(g[0].nextFrame, 3u);
    EXPECT_EQ(g[0].level, 0u);
    EXPECT_EQ(g[0].runNits, flash);
    EXPECT_NEAR(g[0].runCode, 503, 2e-5);
    EXPECT_NEAR(g[0].beforeCode, 500, 2e-5);
    // The threshold is exclusive, as for jumps.
    EXPECT_TRUE(findGlitches(rows, 3.0 + 1e-4).empty());
    // And the scenes say nothing here: metadata runs make every change a cut.
    const SceneSplit split = scenesOfRows(rows, {SceneSource::MetadataChanges, {0, 2, 3}});
    EXPECT_TRUE(split.scenesAreMetadataRuns);
    EXPECT_TRUE(findJumps(rows, split.sceneOf, 1.0).empty());

    // A dip of four frames is still a glitch; five frames are a shot.
    std::vector<FrameRow> four{runRow(0, 1, {base})};
    for (unsigned f = 1; f <= 4; f++) four.push_back(runRow(f, 2, {dip}));
    four.push_back(runRow(5, 3, {base}));
    ASSERT_EQ(findGlitches(four, kDefaultJumpThresholdCodes).size(), 1u);
    EXPECT_EQ(findGlitches(four, kDefaultJumpThresholdCodes)[0].lastFrame, 4u);
    std::vector<FrameRow> five{runRow(0, 1, {base})};
    for (unsigned f = 1; f <= 5; f++) five.push_back(runRow(f, 2, {dip}));
    five.push_back(runRow(6, 3, {base}));
    EXPECT_TRUE(findGlitches(five, kDefaultJumpThresholdCodes).empty());
}

TEST(Glitches, StepsEdgesAndGapsAreNotGlitches) {
    const double a = dTable[400], b = dTable[450], c = dTable[500];
    // A cut and a one-frame step in between (a fade): between its neighbours.
    std::vector<FrameRow> step{runRow(0, 1, {a}), runRow(1, 2, {b}), runRow(2, 3, {c})};
    EXPECT_TRUE(findGlitches(step, kDefaultJumpThresholdCodes).empty());
    // Above one neighbour by far and level with the other: not both.
    std::vector<FrameRow> half{runRow(0, 1, {a}), runRow(1, 2, {c}), runRow(2, 3, {c})};
    EXPECT_TRUE(findGlitches(half, kDefaultJumpThresholdCodes).empty());
    // At the clip's edges there is no run on one side.
    std::vector<FrameRow> edge{runRow(0, 2, {c}), runRow(1, 1, {a}), runRow(2, 1, {a})};
    EXPECT_TRUE(findGlitches(edge, kDefaultJumpThresholdCodes).empty());
    // A rejected frame beside the run: its neighbour is unknown.
    std::vector<FrameRow> gap{runRow(0, 1, {a}), runRow(2, 2, {c}), runRow(3, 1, {a})};
    EXPECT_TRUE(findGlitches(gap, kDefaultJumpThresholdCodes).empty());
    // Unknown outputs are never compared; another level still can be.
    std::vector<FrameRow> unknown{runRow(0, 1, {kNaN, a}), runRow(1, 2, {c, c}),
                                  runRow(2, 1, {a, a})};
    const std::vector<Glitch> g = findGlitches(unknown, kDefaultJumpThresholdCodes);
    ASSERT_EQ(g.size(), 1u);
    EXPECT_EQ(g[0].level, 1u);
}

TEST(SceneSplit, AListOfFirstFramesAndWhetherScenesAreJustMetadataRuns) {
    std::vector<FrameRow> rows{runRow(0, 1, {}), runRow(1, 1, {}), runRow(2, 2, {}),
                               runRow(4, 2, {}), runRow(5, 3, {})};
    // Frame 0 starts a scene unlisted; 3 is not a row (rejected): 4 starts it.
    SceneSplit split = scenesOfRows(rows, {SceneSource::SceneList, {2, 3}});
    EXPECT_EQ(split.source, SceneSource::SceneList);
    EXPECT_EQ(split.sceneOf, (std::vector<int>{0, 0, 1, 2, 2}));
    EXPECT_EQ(split.firstFrames, (std::vector<unsigned>{0, 2, 4}));
    EXPECT_FALSE(split.scenesAreMetadataRuns);  // run 3 begins inside the last scene
    // Scene fields that cut exactly where the metadata changes tell nothing more.
    for (FrameRow& r : rows) r.sceneId = static_cast<int>(r.lut().source.maxscl[0]);
    rows[3] = runRow(3, 2, {});
    rows[3].sceneId = 2;
    EXPECT_TRUE(scenesOfRows(rows, {SceneSource::SceneFields, {0, 2, 5}}).scenesAreMetadataRuns);
    // A scene holding two runs.
    EXPECT_FALSE(scenesOfRows(rows, {SceneSource::SceneFields, {0, 2}}).scenesAreMetadataRuns);
}

}  // namespace
}  // namespace kestrel::analysis
