// The rows both `lut` and `report` are made from: which frames and targets
// they cover, and that their luminances are the table's words in cd/m².
#include "tools/kestrel/clip_analysis.h"

#include <gtest/gtest.h>
#include <json/reader.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "hdr10plus/record.h"
#include "tools/kestrel/lut_charts.h"
#include "tools/kestrel/plot.h"

namespace kestrel::tool {
namespace {

Json::Value parse(const std::string& text) {
    Json::Value root;
    Json::CharReaderBuilder builder;
    std::istringstream in(text);
    std::string errors;
    EXPECT_TRUE(Json::parseFromStream(builder, in, &root, &errors)) << errors << text;
    return root;
}

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

Hdr10PlusDocument clipDocument() {
    Hdr10PlusDocument document;
    std::string error;
    EXPECT_TRUE(parseHdr10PlusDocument(parse(kClip), document, error)) << error;
    return document;
}

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
    EXPECT_EQ(clip.rejected[0].rfind("frame 1: BezierCurveData.KneePointX", 0), 0u)
        << clip.rejected[0];
    ASSERT_EQ(clip.targets.size(), 2u);
    EXPECT_EQ(clip.targets[0].targetNits, 600u);
    EXPECT_EQ(clip.targets[1].targetNits, 350u);
    for (const TargetRows& rows : clip.targets) {
        ASSERT_EQ(rows.frames.size(), 2u);
        EXPECT_EQ(rows.frames[0].frame, 0u);
        EXPECT_EQ(rows.frames[1].frame, 2u);
        EXPECT_EQ(rows.frames[0].lut.targetNits, rows.targetNits);
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

// Output cd/m² of a table word pair, from the words alone: the gain is in
// 1/1048575 of target peak per source peak, the input on the 2^27 scale.
double wordsToNits(uint32_t x, uint32_t y, unsigned target) {
    return static_cast<int32_t>(y) / 1048575.0 * (x / 134217728.0) * target;
}

TEST(ClipAnalysis, LevelsAreReadThroughTheTableAndStopAtTheSourcePeak) {
    Hdr10PlusDocument document = clipDocument();
    const unsigned target = 600;
    // The peak the row's table stands for, and the input of entry 20.
    FrameRow probe = analyseFrame(document.frames[1], target, ClipRequest{});
    const double peak = probe.lut.sourcePeak;
    ASSERT_GT(peak, 0);
    const uint32_t* x = probe.lut.lutX;
    const uint32_t* y = probe.lut.lutY;
    const double entry20 = x[20] / 134217728.0 * peak;

    ClipRequest request;
    request.levels = {entry20, peak, peak * 3};
    request.curveSamples = 10;
    FrameRow row = analyseFrame(document.frames[1], target, request);
    ASSERT_EQ(row.levelOutputs.size(), 3u);
    EXPECT_NEAR(row.levelOutputs[0], wordsToNits(x[20], y[20], target), 1e-9);
    const double atEnd = wordsToNits(x[31] + x[32], y[31] + y[32], target);
    EXPECT_NEAR(row.levelOutputs[1], atEnd, 1e-9);
    EXPECT_NEAR(row.levelOutputs[2], atEnd, 1e-9);
    // The curve samples run up to the peak, where the table ends.
    ASSERT_EQ(row.curve.size(), 11u);
    EXPECT_DOUBLE_EQ(row.curve.back().inputNits, peak);
    EXPECT_NEAR(row.curve.back().tableNits, atEnd, 1e-9);
}

TEST(ClipAnalysis, LevelsChartLeavesAGapForARejectedFrame) {
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
TEST(ClipAnalysis, FrameChartsMarkPeaksKneesAndTheGainScale) {
    Hdr10PlusDocument document = clipDocument();
    // Frame 2: peak from MaxScl 2000 cd/m², knee (1700, 1600), targeted 1000.
    ClipRequest request;
    FrameRow row = analyseFrame(document.frames[1], 600, request);
    const double peak = row.lut.sourcePeak;
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
    FrameRow other = analyseFrame(document.frames[1], 1000, request);
    EXPECT_FALSE(frameCharts({row, other}, "clip.json", LuminanceAxes::Nits)[1].hasRightAxis);
}

TEST(ClipAnalysis, ChartsDrawIntoAStreamAsPngOrSvg) {
    Chart chart;
    chart.title = "stream";
    chart.x = {"x", 1, 100, true};
    chart.y = {"y", 0, 1, false};
    chart.series.push_back({"line", {{1, 0.1}, {100, 0.9}}, paletteColor(0)});
    std::string error;
    std::ostringstream svg;
    ASSERT_TRUE(writeCharts(svg, PlotFormat::Svg, {chart}, error)) << error;
    EXPECT_EQ(svg.str().rfind("<?xml", 0), 0u);
    EXPECT_NE(svg.str().find("</svg>"), std::string::npos);
    std::ostringstream png;
    ASSERT_TRUE(writeCharts(png, PlotFormat::Png, {chart}, error)) << error;
    EXPECT_EQ(png.str().substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    std::ostringstream nothing;
    EXPECT_FALSE(writeCharts(nothing, PlotFormat::Svg, {}, error));
    EXPECT_TRUE(nothing.str().empty());

    // Two drawings for one page share no id, and each refers to its own.
    std::string first, second;
    ASSERT_TRUE(svgElement({chart}, "a-", first, error)) << error;
    ASSERT_TRUE(svgElement({chart}, "b-", second, error)) << error;
    EXPECT_EQ(first.rfind("<svg ", 0), 0u);
    const std::string rootTag = first.substr(0, first.find('>'));
    EXPECT_EQ(rootTag.find("width="), std::string::npos) << rootTag;
    EXPECT_NE(rootTag.find("viewBox="), std::string::npos) << rootTag;
    ASSERT_NE(first.find("id=\"a-glyph"), std::string::npos);
    EXPECT_EQ(first.find("id=\"b-"), std::string::npos);
    EXPECT_EQ(first.find("href=\"#glyph"), std::string::npos);
    EXPECT_NE(first.find("href=\"#a-glyph"), std::string::npos);
    EXPECT_NE(second.find("id=\"b-glyph"), std::string::npos);
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
    Hdr10PlusFrame f{};
    hdr10plus::JsonFrameResult read = hdr10plus::readJsonFrame(parse(frame));
    EXPECT_TRUE(read.ok()) << read.error->message();
    if (read.ok()) f.record = hdr10plus::toRecord(read.frame);
    ClipRequest request;
    request.maxError = maxError;
    return analyseFrame(f, target, request);
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
    EXPECT_EQ(above.warnings[0].text, "MaxScl (2500 cd/m²) is below the 99 % entry (2500.1 cd/m²)");
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
    EXPECT_EQ(zero.warnings[at - zeroKinds.begin()].text,
              "the tone curve is made for a targeted display of 0 cd/m²");
    EXPECT_EQ(
        kinds(rowOf(frameText("[40000, 35000, 30000]", "[50, 99]", "[1000, 25000]", 0, ""), 600)),
        Kinds{});

    // Percentages must rise strictly; the reader already refuses falling ones.
    FrameRow repeated = rowOf(
        frameText("[40000, 35000, 30000]", "[50, 50, 99]", "[900, 1000, 25000]", 1000, kCurve),
        600);
    ASSERT_EQ(kinds(repeated), Kinds{WarningKind::InconsistentMetadata});
    EXPECT_EQ(repeated.warnings[0].text,
              "distribution percentages out of order: 50 % follows 50 %");
}

TEST(ClipWarnings, TargetFloorErrorLimitAndFallingOutput) {
    const std::string good =
        frameText("[40000, 35000, 30000]", "[50, 99]", "[1000, 25000]", 1000, kCurve);
    // The library's floor: 199 cd/m² is refused, 200 is adapted.
    FrameRow refused = rowOf(good, 199);
    ASSERT_EQ(kinds(refused), Kinds{WarningKind::TargetRefused});
    EXPECT_EQ(refused.warnings[0].text,
              "the library adapts no curve to a target below 200 cd/m²: the 199 cd/m² target "
              "gets a straight line");
    EXPECT_EQ(kinds(rowOf(good, 200)), Kinds{});
    // Without a curve of its own the record gets one made for the target.
    EXPECT_EQ(kinds(rowOf(frameText("[40000, 35000, 30000]", "[50, 99]", "[1000, 25000]", 1000, ""),
                          150)),
              Kinds{});

    // The error limit is exclusive: a table exactly at it passes.
    const double error = rowOf(good, 600).lut.maxError / 1048575.0;
    ASSERT_GT(error, 0);
    EXPECT_EQ(kinds(rowOf(good, 600, error)), Kinds{});
    FrameRow over = rowOf(good, 600, error * 0.999);
    ASSERT_EQ(kinds(over), Kinds{WarningKind::InterpolationError});
    EXPECT_EQ(over.warnings[0].text.rfind("largest interpolation error ", 0), 0u);

    // A curve that dips makes the table's output fall between two entries.
    FrameRow dip = rowOf(
        frameText("[40000, 35000, 30000]", "[50, 99]", "[1000, 25000]", 1000, kDippingCurve), 1000);
    ASSERT_EQ(kinds(dip), (Kinds{WarningKind::InterpolationError, WarningKind::FallingOutput}));
    const LutAnalysis& a = dip.lut;
    bool falls = false;
    for (size_t i = 1; i < a.points.size(); i++) {
        falls =
            falls || a.points[i].gain * a.points[i].x < a.points[i - 1].gain * a.points[i - 1].x;
    }
    EXPECT_TRUE(falls) << "the test's curve no longer dips";
    EXPECT_NE(dip.warnings[1].text.find("the table's output falls from "), std::string::npos);
}

}  // namespace
}  // namespace kestrel::tool
