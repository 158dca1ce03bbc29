// SPDX-License-Identifier: Apache-2.0
// What the tool draws and writes of an analysis: the charts of a frame and
// of a clip's levels, the report built from a clip, and its page's data.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "analysis/clip_analysis.h"
#include "clip/clip_reader.h"
#include "support/clip_text.h"
#include "support/json_text.h"
#include "tools/kestrel/render/curve_charts.h"
#include "tools/kestrel/render/distribution_entry.h"
#include "tools/kestrel/render/plot.h"
#include "tools/kestrel/render/report_curves.h"
#include "tools/kestrel/render/report_data.h"
#include "tools/kestrel/render/report_page.h"
#include "tools/kestrel/render/warning_text.h"

namespace kestrel::tool {
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

Clip clipDocument() { return kestrel_test::clipOfJsonText(kClip, "render_clip.json"); }

TEST(CurveCharts, LevelsChartLeavesAGapForARejectedFrame) {
    ClipRequest request;
    request.targets = {600};
    request.levels = {10};
    ClipAnalysis clip = analyseClip(clipDocument(), request);
    std::vector<Chart> charts =
        levelsCharts(clip, request.levels, "clip.json", LuminanceAxes::Nits);
    ASSERT_EQ(charts.size(), 1u);
    const Series& level = charts[0].series.at(0);
    EXPECT_EQ(level.label, "input 10 cd/m²");
    // Frames 0 and 2 have rows; frame 1 was rejected and must not be bridged.
    ASSERT_EQ(level.points.size(), 3u);
    EXPECT_EQ(level.points[0].first, 0);
    EXPECT_EQ(level.points[1].first, 1);
    EXPECT_TRUE(std::isnan(level.points[1].second));
    EXPECT_EQ(level.points[2].first, 2);
    EXPECT_NEAR(level.points[2].second, clip.targets[0].frames[1].levelOutputs[0], 1e-12);
    EXPECT_EQ(charts[0].notes.back(), "gaps: 1 frame rejected");
}

const Series* seriesNamed(const Chart& chart, const std::string& label) {
    for (const Series& s : chart.series)
        if (s.label == label) return &s;
    return nullptr;
}

// The marks an engineer reads the curve by sit where the record puts them.
TEST(CurveCharts, FrameChartsMarkPeaksKneesAndTheGainScale) {
    const Clip document = clipDocument();
    // Frame 2: peak from MaxScl 2000 cd/m², knee (1700, 1600), targeted 1000.
    ClipRequest request;
    FrameRow row = analyseFrame(2, *document.frames[2].metadata, 600, request);
    const double peak = row.lut().sourcePeak;
    ASSERT_NEAR(peak, 2000, 1e-3);
    std::vector<Chart> charts = frameCharts({row}, "clip.json", LuminanceAxes::Nits);
    ASSERT_EQ(charts.size(), 2u);
    const Chart& lum = charts[0];
    const Chart& gain = charts[1];

    // From the shadows to a quarter beyond the larger peak.
    EXPECT_DOUBLE_EQ(lum.x.min, 0.01);
    EXPECT_DOUBLE_EQ(lum.x.max, 2000 * 1.25);
    EXPECT_TRUE(lum.x.log);
    const Series* target = seriesNamed(lum, "600 cd/m² target peak");
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->points.front().second, 600);
    const Series* targeted = seriesNamed(lum, "targeted display peak, 1000 cd/m²");
    ASSERT_NE(targeted, nullptr);
    EXPECT_EQ(targeted->points.back().second, 1000);
    const Series* source = seriesNamed(lum, "source peak, 2000 cd/m² (the curve's input 1.0)");
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->points.front().first, 2000);

    // The source knee: 1700/4095 of the peak in, 1600/4095 of its display out.
    bool sourceKnee = false;
    for (const Series& s : lum.series) {
        if (s.marker != Marker::Diamond || s.points.size() != 1) continue;
        sourceKnee = sourceKnee || (std::fabs(s.points[0].first - 1700.0 / 4095 * 2000) < 1e-6 &&
                                    std::fabs(s.points[0].second - 1600.0 / 4095 * 1000) < 1e-6);
    }
    EXPECT_TRUE(sourceKnee);

    // Normalised gain = luminance ratio * source peak / target peak.
    ASSERT_TRUE(gain.hasRightAxis);
    EXPECT_NEAR(gain.yRight.max, gain.y.max * 2000 / 600, 1e-9);
    EXPECT_EQ(gain.yRight.min, 0);

    // Several targets: no single scale fits, so no right axis.
    FrameRow other = analyseFrame(2, *document.frames[2].metadata, 1000, request);
    EXPECT_FALSE(frameCharts({row, other}, "clip.json", LuminanceAxes::Nits)[1].hasRightAxis);
}

TEST(CurveCharts, ChartsDrawIntoAStreamAsPngOrSvg) {
    Chart chart;
    chart.title = "stream";
    chart.x = {"x", 1, 100, true};
    chart.y = {"y", 0, 1, false};
    chart.series.push_back({"line", {{1, 0.1}, {100, 0.9}}, paletteColor(0)});
    std::ostringstream svg;
    const Status svgWritten = writeCharts(svg, PlotFormat::Svg, {chart});
    ASSERT_TRUE(svgWritten.ok()) << svgWritten.message();
    EXPECT_EQ(svg.str().rfind("<?xml", 0), 0u);
    EXPECT_NE(svg.str().find("</svg>"), std::string::npos);
    std::ostringstream png;
    const Status pngWritten = writeCharts(png, PlotFormat::Png, {chart});
    ASSERT_TRUE(pngWritten.ok()) << pngWritten.message();
    EXPECT_EQ(png.str().substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    std::ostringstream nothing;
    const Status empty = writeCharts(nothing, PlotFormat::Svg, {});
    EXPECT_EQ(empty.kind(), ErrorKind::Invalid);
    EXPECT_EQ(empty.message(), "nothing to plot");
    EXPECT_TRUE(nothing.str().empty());
}

TEST(ReportData, PlantedJumpInsideASceneIsTheOnlyFlaggedFrameOfTheClip) {
    // Frames 0-2 and 3-5 are one scene with different metadata; frame 6
    // starts a scene with a large change of its own.
    Result<Clip> loaded = openClip(std::string(KESTREL_TEST_DATA) + "/planted_jump.json");
    ASSERT_TRUE(loaded.ok()) << loaded.status().message();
    const Clip& document = *loaded;
    ReportRequest request;
    request.targets = {400, 600, 1000};
    Report report = buildReport(document, request);
    EXPECT_EQ(report.scenes.source, SceneSource::SceneFields);
    EXPECT_EQ(report.scenes.firstFrames, (std::vector<unsigned>{0, 6}));
    ASSERT_EQ(report.jumps.size(), 3u);
    for (size_t t = 0; t < 3; t++) {
        ASSERT_FALSE(report.jumps[t].empty()) << request.targets[t];
        for (const Jump& j : report.jumps[t]) EXPECT_EQ(j.frame, 3u) << request.targets[t];
        EXPECT_EQ(flaggedFrameCount(report.jumps[t]), 1u);
    }
    // At 600 cd/m² the shadows of frame 3 are 1.9 times those of frame 2.
    const FrameRow& before = report.clip.targets[1].frames[2];
    const FrameRow& after = report.clip.targets[1].frames[3];
    EXPECT_NEAR(after.levelOutputs[0] / before.levelOutputs[0], 1.9, 0.01);
    // The cut changes the shadows as much, and is not flagged.
    const FrameRow& cut = report.clip.targets[1].frames[6];
    EXPECT_NEAR(after.levelOutputs[0] / cut.levelOutputs[0], 1.9, 0.01);
}

// Only the entries the record counts are read: an entry past the count is
// stale data in a fixed-size array, and a count beyond the array is held to it.
TEST(DistributionEntry, ReadsTheCountedEntryAtThePercentageInCdm2) {
    _VelmorHdrDynamicInfo r{};
    r.num_distribution_maxrgb_percentiles = 3;
    const uint8_t percentages[] = {25, 50, 99, 100};
    const uint32_t values[] = {17, 1234, 40005, 99999};
    for (unsigned i = 0; i < 4; i++) {
        r.distribution_maxrgb_percentages[i] = percentages[i];
        r.distribution_maxrgb_percentiles[i] = values[i];
    }
    EXPECT_DOUBLE_EQ(distributionEntryNits(r, 50), 123.4);
    EXPECT_DOUBLE_EQ(distributionEntryNits(r, 99), 4000.5);
    EXPECT_TRUE(std::isnan(distributionEntryNits(r, 100)));  // the fourth, not counted
    EXPECT_TRUE(std::isnan(distributionEntryNits(r, 49)));
    r.num_distribution_maxrgb_percentiles = 0;
    EXPECT_TRUE(std::isnan(distributionEntryNits(r, 50)));
    // A count of 255 reads the fifteen entries there are, no further.
    r.num_distribution_maxrgb_percentiles = 255;
    r.distribution_maxrgb_percentages[14] = 75;
    r.distribution_maxrgb_percentiles[14] = 500;
    EXPECT_DOUBLE_EQ(distributionEntryNits(r, 75), 50.0);
    EXPECT_DOUBLE_EQ(distributionEntryNits(r, 100), 9999.9);
}

TEST(ReportCurves, MedianAndExtremesCountEveryFrameAtEveryInput) {
    const double n = std::nan("");
    // Record 0 (one frame) ends after three samples, record 1 (three frames)
    // after two; record 2 (five frames) has no curve and does not count.
    const std::vector<std::vector<double>> adapted{{1, 2, 3, n}, {2, 4, n, n}, {n, n, n, n}};
    const CurveSummary s = summariseCurves(adapted, {1, 3, 5});
    // Above its peak a frame holds its last sample: record 1 stays at 4.
    EXPECT_EQ(s.lowest, (std::vector<double>{1, 2, 3, 3}));
    EXPECT_EQ(s.median, (std::vector<double>{2, 4, 4, 4}));
    EXPECT_EQ(s.highest, (std::vector<double>{2, 4, 4, 4}));
    // Half the frames on each side: the lower value is the median.
    const CurveSummary even = summariseCurves({{1}, {5}}, {2, 2});
    EXPECT_EQ(even.median, std::vector<double>{1});
    // No curve at all: no value, and no input without one.
    const CurveSummary none = summariseCurves({{n, n}}, {4});
    ASSERT_EQ(none.median.size(), 2u);
    EXPECT_TRUE(std::isnan(none.median[0]) && std::isnan(none.lowest[1]));
    EXPECT_TRUE(summariseCurves({}, {}).median.empty());
}

TEST(ReportCurves, TheInterpolatedTablePassesThroughItsPointsInOrder) {
    Result<Clip> loaded =
        openClip(std::string(KESTREL_EXAMPLES) + "/metadata/regular_metadata.json");
    ASSERT_TRUE(loaded.ok()) << loaded.status().message();
    const Clip& document = *loaded;
    ReportRequest request;
    request.targets = {600};
    const Report report = buildReport(document, request);
    const Json::Value data = reportJson(report, true);
    const Json::Value& grid = data["curve_grid_nits"];
    ASSERT_GT(grid.size(), 50u);
    for (const Json::Value& a : data["targets"][0]["analyses"]) {
        const Json::Value& table = a["curves"]["table"];
        const Json::Value& points = a["curves"]["points"];
        ASSERT_GT(table["input_nits"].size(), grid.size() / 2);
        for (Json::ArrayIndex k = 1; k < table["input_nits"].size(); k++)
            EXPECT_LE(table["input_nits"][k - 1].asDouble(), table["input_nits"][k].asDouble());
        // Every point from the grid's start is on the line, with its output.
        size_t found = 0;
        for (Json::ArrayIndex k = 0; k < 33; k++) {
            if (points["input_nits"][k].asDouble() < grid[0].asDouble()) continue;
            for (Json::ArrayIndex q = 0; q < table["input_nits"].size(); q++)
                if (table["input_nits"][q] == points["input_nits"][k] &&
                    table["output_nits"][q] == points["output_nits"][k]) {
                    found++;
                    break;
                }
        }
        EXPECT_GT(found, 15u);
        size_t above = 0;
        for (Json::ArrayIndex k = 0; k < 33; k++)
            above += points["input_nits"][k].asDouble() >= grid[0].asDouble();
        EXPECT_EQ(found, above);
    }
}

TEST(ReportPage, DataCannotEndItsScriptElement) {
    Json::Value data;
    data["file"] = "a</script><script>alert(1)</script><!--.json";
    const std::string safe = scriptSafeJson(data);
    EXPECT_EQ(safe.find('<'), std::string::npos) << safe;
    EXPECT_NE(safe.find("\\u003c/script>"), std::string::npos) << safe;
}

// The page's title names its input, as text: markup in a file name stays text.
TEST(ReportPage, TitleNamesTheInputAsText) {
    Json::Value data;
    data["file"] = "clips/a&b <2>.json";
    std::ostringstream page;
    writeReportPage(page, data);
    EXPECT_NE(page.str().find("<title>Kestrel report: clips/a&amp;b &lt;2&gt;.json</title>"),
              std::string::npos);
    EXPECT_EQ(page.str().find("<title>Kestrel report</title>"), std::string::npos);
}

// Every kind's sentence, from the numbers the analysis gives.
TEST(WarningText, EverySentenceFromItsNumbers) {
    FrameWarning refused{WarningKind::TargetRefused};
    refused.targetNits = 199;
    refused.floorNits = 200;
    refused.sourcePeak = 796;
    EXPECT_EQ(warningText(refused),
              "the library adapts no curve to a target below 200 cd/m²: the 199 cd/m² target "
              "gets a straight line, which scales the whole picture by 199 / 796 = 0.25 (every "
              "level 4 times darker than mastered, shadows too) instead of tone-mapping it");
    refused.sourcePeak = 0;
    EXPECT_EQ(warningText(refused),
              "the library adapts no curve to a target below 200 cd/m²: the 199 cd/m² target "
              "gets a straight line, which scales the whole picture by the target over the "
              "(unknown) source peak instead of tone-mapping it");
    refused.sourcePeak = 100;  // a dim source on a brighter (still refused) target
    EXPECT_EQ(warningText(refused),
              "the library adapts no curve to a target below 200 cd/m²: the 199 cd/m² target "
              "gets a straight line, which scales the whole picture by 199 / 100 = 1.99 (every "
              "level 1.99 times brighter than mastered) instead of tone-mapping it");

    FrameWarning error{WarningKind::InterpolationError};
    error.error = 0.123456;
    error.limit = 0.1;
    error.atInput = 812.3456;
    EXPECT_EQ(warningText(error),
              "largest interpolation error 0.1235 of unit gain (at 812.3 cd/m²) is above the "
              "limit of 0.1");
    error.relativeInput = true;
    error.atInput = 0.25;
    EXPECT_EQ(warningText(error),
              "largest interpolation error 0.1235 of unit gain (at 0.25 of the source peak) is "
              "above the limit of 0.1");

    FrameWarning maxScl{WarningKind::InconsistentMetadata};
    maxScl.problem = MetadataProblem::MaxSclBelowTop;
    maxScl.maxScl = 25000;
    maxScl.topPercentile = 25001;
    EXPECT_EQ(warningText(maxScl), "MaxScl (2500 cd/m²) is below the 99 % entry (2500.1 cd/m²)");
    FrameWarning zero{WarningKind::InconsistentMetadata};
    zero.problem = MetadataProblem::ZeroTargetedDisplay;
    EXPECT_EQ(warningText(zero), "the tone curve is made for a targeted display of 0 cd/m²");
    FrameWarning order{WarningKind::InconsistentMetadata};
    order.problem = MetadataProblem::PercentagesOutOfOrder;
    order.percentBefore = 90;
    order.percentAfter = 75;
    EXPECT_EQ(warningText(order), "distribution percentages out of order: 75 % follows 90 %");

    FrameWarning falls{WarningKind::FallingOutput};
    falls.entry = 27;
    falls.fromOutputNits = 950.5;
    falls.toOutputNits = 948;
    falls.fromInput = 1500;
    falls.toInput = 1750;
    EXPECT_EQ(warningText(falls),
              "the table's output falls from 950.5 to 948 cd/m² between entries 26 and 27 (input "
              "1500 to 1750 cd/m²)");

    FrameWarning decreasing{WarningKind::DecreasingInput};
    decreasing.entry = 5;
    EXPECT_EQ(warningText(decreasing), "table entry 5 has an abscissa below the entry before it");
}

// The sentences of the warnings the analysis gives as numbers.
TEST(WarningText, BrighteningAndFadeSayHowMuchWhereAndAgainstWhat) {
    FrameWarning bright{WarningKind::Brightening};
    bright.peak = RatioPeak{3.3869, 1181, 4000};
    bright.maxRatio = 2;
    EXPECT_EQ(warningText(bright),
              "the table shows the picture up to 3.387 times as bright as mastered (1181 -> 4000 "
              "cd/m²), above the limit of 2");
    FrameWarning fade{WarningKind::Fade};
    fade.peak = RatioPeak{1200, 0.5, 600};
    fade.sourcePeak = 0.5;
    fade.fadeFloor = 1;
    EXPECT_EQ(warningText(fade),
              "the source peak 0.5 cd/m² is under 1 cd/m² (a fade): the table shows it up to 1200 "
              "times as bright as mastered (0.5 -> 600 cd/m²)");
    FrameWarning targeted{WarningKind::InconsistentMetadata};
    targeted.problem = MetadataProblem::TargetedDisplayWithoutCurve;
    targeted.targetedDisplayNits = 1000;
    EXPECT_EQ(warningText(targeted), "a targeted display of 1000 cd/m² is given without a tone curve");
}

}  // namespace
}  // namespace kestrel::tool
