// The rows both `lut` and `report` are made from: which frames and targets
// they cover, and that their luminances are the table's words in cd/m².
#include "tools/kestrel/clip_analysis.h"

#include <gtest/gtest.h>
#include <json/reader.h>

#include <cmath>
#include <sstream>

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
        EXPECT_LT(rows.frames[1].averageMaxRgbNits, 0);
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
}

}  // namespace
}  // namespace kestrel::tool
