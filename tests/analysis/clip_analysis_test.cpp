// SPDX-License-Identifier: Apache-2.0
// The rows both `lut` and `report` are made from: which frames and targets
// they cover, and that their luminances are the table's words in cd/m².
#include "analysis/clip_analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "hdr10plus/internal/json_value.h"
#include "hdr10plus/record.h"
#include "support/clip_text.h"
#include "support/json_text.h"

namespace kestrel::analysis {
namespace {

using kestrel_test::parseJsonText;

// Frame 0 carries a scene and an average, frame 1 is rejected (knee above
// 4095), frame 2 has neither scene nor average.
const char* kClip = R"({"SceneInfo": [
  {"TargetedSystemDisplayMaximumLuminance": 400, "SceneId": 7,
   "LuminanceParameters": {"AverageRGB": 263, "MaxScl": [7768, 6589, 6912],
     "LuminanceDistributions": {"DistributionIndex": [1, 50, 99],
                                "DistributionValues": [0, 6080, 5843]}},
   "BezierCurveData": {"KneePointX": 164, "KneePointY": 240, "Anchors": [143, 298, 447]}},
  {"TargetedSystemDisplayMaximumLuminance": 400,
   "LuminanceParameters": {"MaxScl": [1000, 1000, 1000]},
   "BezierCurveData": {"KneePointX": 5000, "KneePointY": 240, "Anchors": [143]}},
  {"TargetedSystemDisplayMaximumLuminance": 1000,
   "LuminanceParameters": {"MaxScl": [20000, 18000, 15000]},
   "BezierCurveData": {"KneePointX": 1700, "KneePointY": 1600, "Anchors": [500, 700]}}]})";

clip::Clip clipDocument() { return kestrel_test::clipOfJsonText(kClip, "analysis_clip.json"); }

TEST(ClipAnalysis, OneRowPerAcceptedFrameForEveryTargetInTheOrderAsked) {
    ClipRequest request;
    request.targets = {600, 350};
    request.layerNits = 1000;
    std::vector<std::pair<unsigned, unsigned>> calls;
    ClipAnalysis clip = analyseClip(clipDocument(), request, [&](unsigned done, unsigned total) {
        calls.push_back({done, total});
    });
    EXPECT_EQ(clip.frameCount, 3u);
    ASSERT_EQ(clip.rejected.size(), 1u);
    EXPECT_EQ(clip.rejected[0].rfind("analysis_clip.json: frame 1: BezierCurveData.KneePointX", 0),
              0u)
        << clip.rejected[0];
    ASSERT_EQ(clip.targets.size(), 2u);
    EXPECT_EQ(clip.targets[0].targetNits, 600u);
    EXPECT_EQ(clip.targets[1].targetNits, 350u);
    for (const TargetRows& rows : clip.targets) {
        ASSERT_EQ(rows.frames.size(), 2u);
        EXPECT_EQ(rows.frames[0].frame, 0u);
        EXPECT_EQ(rows.frames[1].frame, 2u);
        EXPECT_EQ(rows.frames[0].lut().targetNits, rows.targetNits);
        // What the file says about the frame beside the record.
        EXPECT_EQ(rows.frames[0].sceneId, 7);
        EXPECT_DOUBLE_EQ(rows.frames[0].averageMaxRgbNits, 26.3);
        EXPECT_EQ(rows.frames[1].sceneId, -1);
        EXPECT_EQ(rows.frames[1].averageMaxRgbNits, 0);
        EXPECT_TRUE(rows.frames[1].curve.empty());
    }
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls.back(), std::make_pair(4u, 4u));
}

// Frame 2 (source peak 2000 cd/m² from MaxScl) on a 600 cd/m² target, in
// cd/m² worked from the table's words: entry 20 sits at input 2^19 of 2^27,
// 2000 / 256 = 7.8125 cd/m², with the gain 3495250 / 1048575 = 2000 / 600
// (to 1e-6): the shadows are shown as mastered, 7.8125 cd/m² out. The table
// ends at the source peak, which it shows at the target peak.
TEST(ClipAnalysis, LevelsAreReadThroughTheTableAndStopAtTheSourcePeak) {
    const clip::Clip document = clipDocument();
    ClipRequest request;
    request.levels = {7.8125, 2000, 6000};
    request.curveSamples = 10;
    FrameRow row = analyseFrame(2, *document.frames[2].metadata, 600, request);
    EXPECT_EQ(row.frame, 2u);
    ASSERT_DOUBLE_EQ(row.lut().sourcePeak, 2000);
    EXPECT_EQ(row.lut().lutX[20], 1u << 19);
    ASSERT_EQ(row.levelOutputs.size(), 3u);
    EXPECT_NEAR(row.levelOutputs[0], 7.8125, 1e-5);
    EXPECT_NEAR(row.levelOutputs[1], 600, 1e-3);
    EXPECT_EQ(row.levelOutputs[2], row.levelOutputs[1]);
    // The curve samples run up to the peak, where the table ends.
    ASSERT_EQ(row.curve.size(), 11u);
    EXPECT_DOUBLE_EQ(row.curve.back().inputNits, 2000);
    EXPECT_EQ(row.curve.back().tableNits, row.levelOutputs[1]);
}

// A frame in the file layout, with the parts the warnings look at.
std::string frameText(const std::string& maxScl, const std::string& index,
                      const std::string& values, unsigned targeted, const std::string& curve) {
    return R"({"TargetedSystemDisplayMaximumLuminance": )" + std::to_string(targeted) +
           R"(, "LuminanceParameters": {"MaxScl": )" + maxScl +
           R"(, "LuminanceDistributions": {"DistributionIndex": )" + index +
           R"(, "DistributionValues": )" + values + "}}" + curve + "}";
}

const std::string kCurve =
    R"(, "BezierCurveData": {"KneePointX": 1700, "KneePointY": 1600, "Anchors": [500, 700]})";
// Anchors that climb to 1.0 and drop back: the output dips before the peak.
const std::string kDippingCurve =
    R"(, "BezierCurveData": {"KneePointX": 400, "KneePointY": 1500,
        "Anchors": [1023, 1023, 1023, 100, 0, 0, 0, 0, 0]})";

FrameRow rowOf(const std::string& frame, unsigned target, double maxError = kDefaultMaxError) {
    Result<hdr10plus::Frame> read = hdr10plus::readJsonFrame(parseJsonText(frame));
    EXPECT_TRUE(read.ok()) << read.status().message();
    ClipRequest request;
    request.maxError = maxError;
    return analyseFrame(0, *read, target, request);
}

std::vector<WarningKind> kinds(const FrameRow& row) {
    std::vector<WarningKind> result;
    for (const FrameWarning& w : row.warnings) result.push_back(w.kind);
    return result;
}

using Kinds = std::vector<WarningKind>;

TEST(ClipWarnings, StatisticsThatContradictThemselves) {
    const std::string good =
        frameText("[40000, 35000, 30000]", "[50, 99]", "[1000, 25000]", 1000, kCurve);
    EXPECT_EQ(kinds(rowOf(good, 600)), Kinds{});

    // The 99 % entry one step above the brightest component, and level with it.
    FrameRow above =
        rowOf(frameText("[20000, 25000, 1]", "[50, 99]", "[1000, 25001]", 1000, kCurve), 600);
    ASSERT_EQ(kinds(above), Kinds{WarningKind::InconsistentMetadata});
    EXPECT_EQ(above.warnings[0].problem, MetadataProblem::MaxSclBelowTop);
    EXPECT_EQ(above.warnings[0].maxScl, 25000u);
    EXPECT_EQ(above.warnings[0].topPercentile, 25001u);
    EXPECT_EQ(kinds(rowOf(frameText("[20000, 25000, 1]", "[50, 99]", "[1000, 25000]", 1000, kCurve),
                          600)),
              Kinds{});

    // A curve for a display of 0 cd/m²; without a curve the field means nothing.
    FrameRow zero =
        rowOf(frameText("[40000, 35000, 30000]", "[50, 99]", "[1000, 25000]", 0, kCurve), 600);
    const Kinds zeroKinds = kinds(zero);
    const auto at =
        std::find(zeroKinds.begin(), zeroKinds.end(), WarningKind::InconsistentMetadata);
    ASSERT_NE(at, zeroKinds.end());
    EXPECT_EQ(zero.warnings[at - zeroKinds.begin()].problem, MetadataProblem::ZeroTargetedDisplay);
    EXPECT_EQ(
        kinds(rowOf(frameText("[40000, 35000, 30000]", "[50, 99]", "[1000, 25000]", 0, ""), 600)),
        Kinds{});

    // Percentages must rise strictly; the reader already refuses falling ones.
    FrameRow repeated = rowOf(
        frameText("[40000, 35000, 30000]", "[50, 50, 99]", "[900, 1000, 25000]", 1000, kCurve),
        600);
    ASSERT_EQ(kinds(repeated), Kinds{WarningKind::InconsistentMetadata});
    EXPECT_EQ(repeated.warnings[0].problem, MetadataProblem::PercentagesOutOfOrder);
    EXPECT_EQ(repeated.warnings[0].percentBefore, 50u);
    EXPECT_EQ(repeated.warnings[0].percentAfter, 50u);
}

TEST(ClipWarnings, TargetFloorErrorLimitAndFallingOutput) {
    const std::string good =
        frameText("[40000, 35000, 30000]", "[50, 99]", "[1000, 25000]", 1000, kCurve);
    // The library's floor: 199 cd/m² is refused, 200 is adapted.
    FrameRow refused = rowOf(good, 199);
    ASSERT_EQ(kinds(refused), Kinds{WarningKind::TargetRefused});
    EXPECT_EQ(refused.warnings[0].targetNits, 199u);
    EXPECT_EQ(refused.warnings[0].floorNits, 200u);
    EXPECT_EQ(kinds(rowOf(good, 200)), Kinds{});
    // Without a curve of its own the record gets one made for the target.
    EXPECT_EQ(kinds(rowOf(frameText("[40000, 35000, 30000]", "[50, 99]", "[1000, 25000]", 0, ""),
                          150)),
              Kinds{});
    // A targeted display without a curve describes nothing the record carries.
    FrameRow targeted =
        rowOf(frameText("[40000, 35000, 30000]", "[50, 99]", "[1000, 25000]", 1000, ""), 150);
    ASSERT_EQ(kinds(targeted), Kinds{WarningKind::InconsistentMetadata});
    EXPECT_EQ(targeted.warnings[0].problem, MetadataProblem::TargetedDisplayWithoutCurve);
    EXPECT_EQ(targeted.warnings[0].targetedDisplayNits, 1000u);

    // The error limit is exclusive: a table exactly at it passes.
    const double error = rowOf(good, 600).lut().maxError / 1048575.0;
    ASSERT_GT(error, 0);
    EXPECT_EQ(kinds(rowOf(good, 600, error)), Kinds{});
    FrameRow over = rowOf(good, 600, error * 0.999);
    ASSERT_EQ(kinds(over), Kinds{WarningKind::InterpolationError});
    EXPECT_EQ(over.warnings[0].error, error);
    EXPECT_EQ(over.warnings[0].limit, error * 0.999);
    EXPECT_FALSE(over.warnings[0].relativeInput);

    // A curve that dips makes the table's output fall between two entries.
    FrameRow dip = rowOf(
        frameText("[40000, 35000, 30000]", "[50, 99]", "[1000, 25000]", 1000, kDippingCurve), 1000);
    ASSERT_EQ(kinds(dip), (Kinds{WarningKind::InterpolationError, WarningKind::FallingOutput}));
    const LutAnalysis& a = dip.lut();
    bool falls = false;
    for (size_t i = 1; i < a.points.size(); i++) {
        falls =
            falls || a.points[i].gain * a.points[i].x < a.points[i - 1].gain * a.points[i - 1].x;
    }
    EXPECT_TRUE(falls) << "the test's curve no longer dips";
    // The warning names the first pair that falls, with its outputs in cd/m².
    const FrameWarning& w = dip.warnings[1];
    ASSERT_GE(w.entry, 1u);
    ASSERT_LT(w.entry, a.points.size());
    const TablePoint& p = a.points[w.entry - 1];
    const TablePoint& q = a.points[w.entry];
    EXPECT_LT(q.gain * q.x, p.gain * p.x);
    EXPECT_GT(w.fromOutputNits, w.toOutputNits);
    EXPECT_LT(w.fromInput, w.toInput);
}


// A table made by hand: a source peak, a target, and (x, gain) points with
// x on the 2^27 scale and gain in units of 1/1048575.
LutAnalysis handTable(double sourcePeak, unsigned target,
                      const std::vector<std::pair<double, double>>& points) {
    LutAnalysis a{};
    a.sourcePeak = sourcePeak;
    a.targetNits = target;
    for (const auto& [x, gain] : points) a.points.push_back({x, gain});
    return a;
}

constexpr double kOne = 134217728.0;  // x of the source peak
constexpr double kUnit = 1048575.0;   // unit gain

// Ratio = gain * target / source peak, at every point above input 0 up to
// the source peak; the limit is exclusive.
TEST(ClipWarnings, BrighteningAboveTheLimitNamesTheRatioAndWhere) {
    // 500 cd/m² on 1000: unit gain shows twice as bright (250 -> 500 cd/m²),
    // 0.9 of it 1.8 times at the peak.
    const LutAnalysis a = handTable(500, 1000, {{0, 0}, {kOne / 2, kUnit}, {kOne, 0.9 * kUnit}});
    RatioPeak peak;
    ASSERT_TRUE(largestLuminanceRatio(a, peak));
    EXPECT_DOUBLE_EQ(peak.ratio, 2.0);
    EXPECT_DOUBLE_EQ(peak.inputNits, 250.0);
    EXPECT_DOUBLE_EQ(peak.outputNits, 500.0);

    EXPECT_TRUE(frameWarnings(a, 1.0, 2.0).empty());
    const std::vector<FrameWarning> over = frameWarnings(a, 1.0, 1.999);
    ASSERT_EQ(over.size(), 1u);
    EXPECT_EQ(over[0].kind, WarningKind::Brightening);
    EXPECT_DOUBLE_EQ(over[0].peak.ratio, 2.0);
    EXPECT_DOUBLE_EQ(over[0].maxRatio, 1.999);
    EXPECT_DOUBLE_EQ(over[0].sourcePeak, 500.0);

    // Of equal ratios the brightest point is named: the top of a straight
    // segment. A point past the source peak is no mastered picture.
    const LutAnalysis flat = handTable(
        500, 1000, {{1, 1.5 * kUnit}, {kOne / 4, 1.5 * kUnit}, {kOne, kUnit}, {2 * kOne, 9 * kUnit}});
    ASSERT_TRUE(largestLuminanceRatio(flat, peak));
    EXPECT_DOUBLE_EQ(peak.ratio, 3.0);
    EXPECT_DOUBLE_EQ(peak.inputNits, 125.0);

    // Without a source peak no ratio exists; nor in a table that cannot be used.
    EXPECT_FALSE(largestLuminanceRatio(handTable(0, 1000, {{kOne, kUnit}}), peak));
    LutAnalysis unusable = a;
    unusable.firstDecrease = 2;
    EXPECT_FALSE(largestLuminanceRatio(unusable, peak));
}

TEST(ClipWarnings, AFadeUnderTheFloorGetsItsOwnKind) {
    // The issue's fade: peak 0.5 cd/m² on 600 cd/m², 1200 times as bright.
    const LutAnalysis fade = handTable(0.5, 600, {{kOne / 2, kUnit}, {kOne, kUnit}});
    const std::vector<FrameWarning> w = frameWarnings(fade, 1.0, 2.0);
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0].kind, WarningKind::Fade);
    EXPECT_DOUBLE_EQ(w[0].peak.ratio, 1200.0);
    EXPECT_DOUBLE_EQ(w[0].peak.inputNits, 0.5);
    EXPECT_DOUBLE_EQ(w[0].peak.outputNits, 600.0);
    EXPECT_DOUBLE_EQ(w[0].sourcePeak, 0.5);
    EXPECT_DOUBLE_EQ(w[0].fadeFloor, 1.0);
    EXPECT_STREQ(warningKindName(WarningKind::Fade), "fade");
    EXPECT_STREQ(warningKindName(WarningKind::Brightening), "brightening");
    // At the floor it is a scene, brightened above the limit.
    const std::vector<FrameWarning> scene =
        frameWarnings(handTable(1.0, 600, {{kOne, kUnit}}), 1.0, 2.0);
    ASSERT_EQ(scene.size(), 1u);
    EXPECT_EQ(scene[0].kind, WarningKind::Brightening);
    // A fade is a fade whatever the limit.
    EXPECT_EQ(frameWarnings(fade, 1.0, 5000.0).size(), 1u);
}

}  // namespace
}  // namespace kestrel::analysis
