// SPDX-License-Identifier: Apache-2.0
// `kestrel lut` on real HDR10+ metadata: the table it shows is the library's,
// every frame of every file goes through, and bad files are reported.
#include <gtest/gtest.h>
#include <json/writer.h>

#include <cerrno>
#include <sstream>

#include "dtm/meta2lut.h"
#include "tool/cli_test_support.h"
#include "tools/kestrel/host/plugin_loader.h"

namespace kestrel::tool::test {
namespace {

// The tool's commands in the order it lists them; those that decode
// pictures are built only where the picture library is.
std::string knownCommands() {
#ifdef KESTREL_TOOL_HAS_PICTURES
    return "frame, lut, report, metadata, inject, analyze, check, preset, preview";
#else
    return "frame, lut, report, metadata, inject, preset";
#endif
}

const std::string kExampleMetadata =
    std::string(KESTREL_EXAMPLES) + "/metadata/single-frame-metadata.json";

void expectLibraryTable(const Json::Value& shown, const Json::Value& scene, unsigned target,
                        const std::string& where) {
    _VelmorHdrDynamicInfo record = recordFromScene(scene);
    unsigned lutX[33] = {};
    unsigned lutY[33] = {};
    testing::internal::CaptureStdout();
    meta2lut_dtm(target, 1000, &record, lutX, lutY, 33);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(shown["lutX"].size(), 33u) << where;
    ASSERT_EQ(shown["lutY"].size(), 33u) << where;
    for (Json::ArrayIndex i = 0; i < 33; i++) {
        EXPECT_EQ(shown["lutX"][i].asUInt(), lutX[i]) << where << " lutX[" << i << "]";
        EXPECT_EQ(shown["lutY"][i].asUInt(), lutY[i]) << where << " lutY[" << i << "]";
    }
    EXPECT_EQ(shown["source_curve"]["tone_mapping_flag"].asUInt(),
              scene.isMember("BezierCurveData") ? 1u : 0u)
        << where;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

TEST(LutCommand, TableIsTheOneTheLibraryMakesForTheFrame) {
    std::vector<std::string> files = realDataFiles();
    files.push_back(kExampleMetadata);
    for (const std::string& file : files) {
        Json::Value document = parseJson(readFile(file));
        const unsigned count = document["SceneInfo"].size();
        ASSERT_GT(count, 0u) << file;
        for (unsigned frame : {0u, count / 2, count - 1}) {
            for (unsigned target : {1000u, 600u}) {
                ToolRun run =
                    runTool({"lut", file, "--frame", std::to_string(frame), "--target-nits",
                             std::to_string(target), "--format", "json"});
                const std::string where =
                    file + " frame " + std::to_string(frame) + " target " + std::to_string(target);
                ASSERT_TRUE(run.exited) << where;
                ASSERT_EQ(run.status, 0) << where << "\n" << run.err;
                expectLibraryTable(parseJson(run.out), document["SceneInfo"][frame], target, where);
            }
        }
    }
}

TEST(LutCommand, CsvAndTableShowTheSameWordsAsJson) {
    Json::Value shown = parseJson(runTool({"lut", kExampleMetadata, "--format", "json"}).out);
    ToolRun csv = runTool({"lut", kExampleMetadata, "--format", "csv"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    std::vector<std::string> rows = lines(csv.out);
    ASSERT_EQ(rows.size(), 34u);
    EXPECT_EQ(rows[0],
              "entry,lut_x,lut_y,x,y,input_nits,normalised_gain,output_nits,luminance_ratio,"
              "target_nits,warnings");
    for (unsigned i = 0; i < 33; i++) {
        std::string prefix = std::to_string(i) + "," + std::to_string(shown["lutX"][i].asUInt()) +
                             "," + std::to_string(shown["lutY"][i].asUInt()) + ",";
        EXPECT_EQ(rows[i + 1].rfind(prefix, 0), 0u) << rows[i + 1];
    }
    ToolRun table = runTool({"lut", kExampleMetadata});
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_NE(table.out.find("source curve: knee (164, 240), 9 anchors: 143 298 447 592 731 864 "
                             "891 917 938, for a 400 cd/m² display"),
              std::string::npos)
        << table.out;
    EXPECT_NE(table.out.find("last segment: width " + std::to_string(shown["lutX"][32].asUInt())),
              std::string::npos);
}

TEST(LutCommand, AllFramesRunsThroughEveryRealFile) {
    if (realDataFiles().empty()) GTEST_SKIP() << "no real HDR10+ files here";
    for (const std::string& file : realDataFiles()) {
        const unsigned count = parseJson(readFile(file))["SceneInfo"].size();
        ToolRun run = runTool({"lut", file, "--all-frames"});
        ASSERT_TRUE(run.exited) << file;
        EXPECT_EQ(run.status, 0) << file << "\n" << run.err;
        std::vector<std::string> rows = lines(run.out);
        ASSERT_EQ(rows.size(), count + 1) << file;
        EXPECT_EQ(rows[0],
                  "frame,knee_x,knee_y,first_anchor,source_peak_nits,max_error,"
                  "max_error_of_unit_gain,increasing_input,microseconds,target_nits,warnings");
        for (unsigned i = 0; i < count; i++) {
            EXPECT_EQ(rows[i + 1].rfind(std::to_string(i) + ",", 0), 0u) << rows[i + 1];
        }
    }
}

// The extremes of the verification clips (zero statistics, peaks of 0 and
// 10000, knees at 0 and 4095, no anchors) must still give a table whose
// abscissae rise from 0 to 2^27, for targets below, at and above them.
TEST(LutCommand, VerificationClipsKeepAnIncreasingInputAxis) {
    if (realDataDir().empty()) GTEST_SKIP() << "no real HDR10+ files here";
    const std::string file = realDataDir() + "/verification-clips.json";
    for (const char* target : {"100", "1000", "10000"}) {
        ToolRun run =
            runTool({"lut", file, "--all-frames", "--format", "json", "--target-nits", target});
        ASSERT_TRUE(run.exited) << target;
        EXPECT_EQ(run.status, 0) << target << "\n" << run.err;
        Json::Value shown = parseJson(run.out);
        ASSERT_EQ(shown["frames"].size(), 62u);
        for (const Json::Value& frame : shown["frames"]) {
            const std::string where = std::string("target ") + target + " frame " +
                                      std::to_string(frame["frame"].asUInt());
            const Json::Value& x = frame["lutX"];
            ASSERT_EQ(x.size(), 33u) << where;
            EXPECT_EQ(x[0].asUInt(), 0u) << where;
            for (Json::ArrayIndex i = 1; i < 32; i++) {
                EXPECT_LE(x[i - 1].asUInt(), x[i].asUInt()) << where << " entry " << i;
            }
            EXPECT_EQ(x[31].asUInt() + x[32].asUInt(), 134217728u) << where;
        }
    }
}

const char* kFrameTemplate = R"({"TargetedSystemDisplayMaximumLuminance": 1000,
  "LuminanceParameters": {"AverageRGB": 10, "MaxScl": [40000, 35000, 30000],
    "LuminanceDistributions": {"DistributionIndex": [50, 99], "DistributionValues": [1000, 25000]}},
  "BezierCurveData": {"KneePointX": 1700, "KneePointY": 1600, "Anchors": ANCHORS}})";

std::string frameWithAnchors(const std::string& anchors) {
    std::string text = kFrameTemplate;
    return text.replace(text.find("ANCHORS"), 7, anchors);
}

TEST(LutCommand, BadFramesAreReportedByKeyAndTheOthersStillRun) {
    TempDir dir;
    std::string sixteen = "[1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16]";
    std::string file =
        dir.write("three.json", "{\"SceneInfo\": [" + frameWithAnchors("[500, 700]") + "," +
                                    frameWithAnchors(sixteen) + "," + frameWithAnchors("[]") +
                                    "], \"Extra\": 1}");
    ToolRun all = runTool({"lut", file, "--all-frames"});
    ASSERT_TRUE(all.exited);
    EXPECT_EQ(all.status, 1);
    EXPECT_NE(all.err.find("frame 1: BezierCurveData.Anchors has 16 entries, more than 15"),
              std::string::npos)
        << all.err;
    std::vector<std::string> rows = lines(all.out);
    ASSERT_EQ(rows.size(), 3u) << all.out;
    EXPECT_EQ(rows[1].rfind("0,", 0), 0u);
    EXPECT_EQ(rows[2].rfind("2,", 0), 0u);

    ToolRun bad = runTool({"lut", file, "--frame", "1"});
    ASSERT_TRUE(bad.exited);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("frame 1: BezierCurveData.Anchors"), std::string::npos);
    ToolRun good = runTool({"lut", file, "--frame", "2"});
    EXPECT_EQ(good.status, 0) << good.err;
    ToolRun beyond = runTool({"lut", file, "--frame", "3"});
    EXPECT_EQ(beyond.status, 1);
    EXPECT_NE(beyond.err.find("frame 3 is beyond its 3 frames"), std::string::npos);
    // One frame is one frame.
    ToolRun single = runTool({"lut", kExampleMetadata, "--frame", "1"});
    EXPECT_EQ(single.err, "kestrel lut: " + kExampleMetadata + ": frame 1 is beyond its 1 frame\n");
}

TEST(LutCommand, FilesThatAreNotMetadataAreRefused) {
    TempDir dir;
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"{\"SceneInfo\": [", "not valid JSON"},
        {"{\"frames\": []}", "no \"SceneInfo\" array"},
        {"{\"SceneInfo\": 7}", "\"SceneInfo\" is not an array"},
    };
    for (const auto& c : cases) {
        for (const char* mode : {"--frame=0", "--all-frames"}) {
            ToolRun run = runTool({"lut", dir.write("bad.json", c.text), mode});
            ASSERT_TRUE(run.exited) << c.text;
            EXPECT_EQ(run.status, 1) << c.text;
            EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        }
    }
}

void expectPng(const std::string& path) {
    std::string bytes = readFile(path);
    EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8)) << path;
    EXPECT_GT(bytes.size(), 20000u) << path;
}

void expectSvg(const std::string& path) {
    std::string text = readFile(path);
    EXPECT_EQ(text.rfind("<?xml", 0), 0u) << path;
    EXPECT_NE(text.find("<svg"), std::string::npos) << path;
    EXPECT_NE(text.find("</svg>"), std::string::npos) << path;
    EXPECT_GT(text.size(), 20000u) << path;
}

TEST(LutCommand, PlotsAreWrittenAsPngAndSvg) {
    TempDir dir;
    ASSERT_EQ(runTool({"lut", kExampleMetadata, "--plot", dir.path("curve.png")}).status, 0);
    expectPng(dir.path("curve.png"));
    ASSERT_EQ(runTool({"lut", kExampleMetadata, "--plot", dir.path("curve.svg")}).status, 0);
    expectSvg(dir.path("curve.svg"));
    ToolRun frames = runTool({"lut", kExampleMetadata, "--all-frames", "--plot",
                              dir.path("frames.svg"), "--levels", "5,50,500"});
    ASSERT_EQ(frames.status, 0) << frames.err;
    expectSvg(dir.path("frames.svg"));

    ToolRun wrongName = runTool({"lut", kExampleMetadata, "--plot", dir.path("curve.jpg")});
    ASSERT_TRUE(wrongName.exited);
    EXPECT_EQ(wrongName.status, 1);
    EXPECT_NE(wrongName.err.find("must end in .png or .svg"), std::string::npos);
}

// The two gains, from the table's words and the source peak: the normalised
// gain is y / 1048575, the luminance ratio output / input cd/m².
TEST(LutCommand, GainsAreShownUnderHonestNames) {
    ToolRun run = runTool({"lut", kExampleMetadata, "--format", "json"});
    ASSERT_EQ(run.status, 0) << run.err;
    Json::Value shown = parseJson(run.out);
    // MaxScl 7768 and a 99 % entry of 5843 (0.1 cd/m²): the entry caps the peak.
    const double peak = shown["source_peak_nits"].asDouble();
    ASSERT_NEAR(peak, 584.3, 1e-4);
    for (Json::ArrayIndex i : {1u, 20u, 31u}) {
        const Json::Value& p = shown["points"][i];
        const double normalised = static_cast<int32_t>(shown["lutY"][i].asUInt()) / 1048575.0;
        EXPECT_DOUBLE_EQ(p["normalised_gain"].asDouble(), normalised) << i;
        EXPECT_NEAR(p["luminance_ratio"].asDouble(), normalised * 1000 / peak, 1e-9) << i;
        EXPECT_NEAR(p["luminance_ratio"].asDouble(),
                    p["output_nits"].asDouble() / p["input_nits"].asDouble(), 1e-9)
            << i;
    }
    // Input 0 has no ratio, whatever gain the table stores there.
    EXPECT_TRUE(shown["points"][0]["luminance_ratio"].isNull());
    // At unit normalised gain a 584.3 cd/m² source on a 1000 cd/m² display
    // is shown 1.71 times as bright.
    ToolRun table = runTool({"lut", kExampleMetadata});
    ASSERT_EQ(table.status, 0) << table.err;
    std::vector<std::string> rows = lines(table.out);
    ASSERT_GT(rows.size(), 6u);
    EXPECT_NE(rows[4].find("norm gain  lum ratio"), std::string::npos) << rows[4];
    EXPECT_NE(rows[6].find(" 1.000000   1.711450 "), std::string::npos) << rows[6];

    // Without statistics there is no source peak, so no ratio.
    TempDir dir;
    std::string file =
        dir.write("dark.json", R"({"SceneInfo": [{"TargetedSystemDisplayMaximumLuminance": 1000,
          "LuminanceParameters": {"MaxScl": [0, 0, 0]}}]})");
    Json::Value dark = parseJson(runTool({"lut", file, "--format", "json"}).out);
    EXPECT_TRUE(dark["points"][5]["luminance_ratio"].isNull());
    EXPECT_NE(runTool({"lut", file}).out.find(" - "), std::string::npos);
}

TEST(LutCommand, SeveralTargetsGiveOneTableEach) {
    ToolRun run =
        runTool({"lut", kExampleMetadata, "--target-nits", "400,1000", "--format", "json"});
    ASSERT_EQ(run.status, 0) << run.err;
    Json::Value shown = parseJson(run.out);
    ASSERT_EQ(shown["targets"].size(), 2u);
    Json::Value scene = parseJson(readFile(kExampleMetadata))["SceneInfo"][0];
    expectLibraryTable(shown["targets"][0], scene, 400, "400");
    expectLibraryTable(shown["targets"][1], scene, 1000, "1000");
    EXPECT_EQ(shown["targets"][0]["target_nits"].asUInt(), 400u);

    ToolRun csv =
        runTool({"lut", kExampleMetadata, "--target-nits", "400,1000", "--format", "csv"});
    std::vector<std::string> rows = lines(csv.out);
    ASSERT_EQ(rows.size(), 1u + 2 * 33);
    EXPECT_EQ(rows[1].rfind("0,", 0), 0u);
    EXPECT_NE(rows[33].find(",400,"), std::string::npos) << rows[33];
    EXPECT_NE(rows[34].find(",1000,"), std::string::npos) << rows[34];
}

// Frame 0 is sound; frame 1's brightest component is 0.1 cd/m² below its
// 99 % entry.
std::string twoFrames(const TempDir& dir) {
    std::string sound = kFrameTemplate;
    sound.replace(sound.find("ANCHORS"), 7, "[500, 700]");
    std::string contradicting = sound;
    contradicting.replace(contradicting.find("[40000, 35000, 30000]"), 21, "[25000, 20000, 1]");
    contradicting.replace(contradicting.find("[1000, 25000]"), 13, "[1000, 25001]");
    return dir.write("two.json", "{\"SceneInfo\": [" + sound + "," + contradicting + "]}");
}

TEST(LutCommand, WarningsAreShownListedAndFailOnlyUnderStrict) {
    TempDir dir;
    const std::string file = twoFrames(dir);
    const std::string message = "MaxScl (2500 cd/m²) is below the 99 % entry (2500.1 cd/m²)";

    ToolRun all = runTool({"lut", file, "--all-frames"});
    ASSERT_TRUE(all.exited);
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.err, "kestrel lut: warning: frame 1: " + message + "\n");
    std::vector<std::string> rows = lines(all.out);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].substr(rows[1].size() - 6), ",1000,") << rows[1];
    EXPECT_EQ(rows[2].substr(rows[2].size() - message.size() - 8), ",1000,\"" + message + "\"")
        << rows[2];
    EXPECT_EQ(runTool({"lut", file, "--all-frames", "--strict"}).status, 1);
    EXPECT_EQ(runTool({"lut", file, "--frame", "0", "--strict"}).status, 0);
    ToolRun one = runTool({"lut", file, "--frame", "1", "--strict", "--format", "json"});
    EXPECT_EQ(one.status, 1);
    EXPECT_EQ(one.err, "kestrel lut: warning: " + message + "\n");
    Json::Value shown = parseJson(one.out);
    ASSERT_EQ(shown["warnings"].size(), 1u);
    EXPECT_EQ(shown["warnings"][0]["kind"].asString(), "inconsistent_metadata");
    EXPECT_EQ(shown["warnings"][0]["message"].asString(), message);

    // A limit below frame 0's error warns about it, with --strict fails.
    ToolRun strictError = runTool({"lut", file, "--max-error", "1e-9", "--strict"});
    EXPECT_EQ(strictError.status, 1);
    EXPECT_EQ(strictError.err.rfind("kestrel lut: warning: largest interpolation error ", 0), 0u)
        << strictError.err;
}

// A table that shows the picture brighter than mastered is said to, in
// every output, and fails under --strict; a fade gets its own warning.
TEST(LutCommand, BrighteningAndFadesAreWarnedAbout) {
    const std::string bright =
        "the table shows the picture up to 6.846 times as bright as mastered (584.3 -> 4000 "
        "cd/m²), above the limit of 2";
    ToolRun run = runTool({"lut", kExampleMetadata, "--target-nits", "4000"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "kestrel lut: warning: " + bright + "\n");
    EXPECT_EQ(runTool({"lut", kExampleMetadata, "--target-nits", "4000", "--strict"}).status, 1);
    // 584.3 cd/m² on 1000 cd/m² is 1.71 times: under the limit.
    ToolRun under = runTool({"lut", kExampleMetadata, "--target-nits", "1000", "--strict"});
    EXPECT_EQ(under.status, 0) << under.err;
    EXPECT_EQ(under.err, "");

    TempDir dir;
    const std::string fade = dir.write("fade.json", R"({"SceneInfo": [
      {"TargetedSystemDisplayMaximumLuminance": 0, "LuminanceParameters": {"MaxScl": [5, 5, 5],
       "LuminanceDistributions": {"DistributionIndex": [1, 50, 99],
                                  "DistributionValues": [0, 2, 5]}}}]})");
    ToolRun json = runTool({"lut", fade, "--target-nits", "600", "--format", "json", "--strict"});
    EXPECT_EQ(json.status, 1);
    const std::string message =
        "the source peak 0.5 cd/m² is under 1 cd/m² (a fade): the table shows it up to 1200 "
        "times as bright as mastered (0.5 -> 600 cd/m²)";
    EXPECT_EQ(json.err, "kestrel lut: warning: " + message + "\n");
    Json::Value shown = parseJson(json.out);
    ASSERT_EQ(shown["warnings"].size(), 1u) << json.out;
    EXPECT_EQ(shown["warnings"][0]["kind"].asString(), "fade");
    EXPECT_EQ(shown["warnings"][0]["message"].asString(), message);
}

// A frame whose statistics give no peak (MaxScl 7000 cd/m², 99 % entry 0)
// says why, warns, and labels its input as relative wherever it is shown.
TEST(LutCommand, UnknownSourcePeakSaysWhyAndLabelsTheInputRelative) {
    TempDir dir;
    const std::string zero99 = dir.write("zero99.json", R"({"SceneInfo": [
      {"TargetedSystemDisplayMaximumLuminance": 0, "LuminanceParameters": {
       "MaxScl": [70000, 60000, 50000], "LuminanceDistributions": {
       "DistributionIndex": [1, 50, 99], "DistributionValues": [0, 0, 0]}}}]})");
    const std::string why = "the 99 % entry is 0, although MaxScl is 7000 cd/m²";
    ToolRun table = runTool({"lut", zero99, "--target-nits", "600"});
    EXPECT_EQ(table.status, 0) << table.err;
    EXPECT_NE(table.out.find("source peak: unknown (" + why + "); input shown relative to it\n"),
              std::string::npos)
        << table.out;
    EXPECT_NE(table.out.find("entry            x     input rel.            y"), std::string::npos)
        << table.out;
    const std::string warning = "the source peak is unknown: " + why +
                                "; input is shown relative to the peak (1.0), and no luminance "
                                "ratio exists";
    EXPECT_EQ(table.err, "kestrel lut: warning: " + warning + "\n");
    EXPECT_EQ(runTool({"lut", zero99, "--strict"}).status, 1);

    ToolRun csv = runTool({"lut", zero99, "--format", "csv"});
    EXPECT_EQ(csv.out.rfind("entry,lut_x,lut_y,x,y,input_relative,normalised_gain,", 0), 0u)
        << csv.out;
    Json::Value json = parseJson(runTool({"lut", zero99, "--format", "json"}).out);
    EXPECT_EQ(json["source_peak_unknown"].asString(), why);
    EXPECT_TRUE(json["points"][32]["input_nits"].isNull());
    EXPECT_EQ(json["points"][32]["input_relative"].asDouble(), 1.0);
    EXPECT_EQ(json["warnings"][0]["kind"].asString(), "unknown_source_peak");

    // No statistics at all: said, not warned about; a known peak keeps cd/m².
    const std::string none = dir.write("none.json", R"({"SceneInfo": [
      {"TargetedSystemDisplayMaximumLuminance": 0, "LuminanceParameters": {"MaxScl": [0, 0, 0]}}]})");
    ToolRun bare = runTool({"lut", none, "--strict"});
    EXPECT_EQ(bare.status, 0) << bare.err;
    EXPECT_NE(bare.out.find("source peak: unknown (no statistics); input shown relative to it\n"),
              std::string::npos)
        << bare.out;
    Json::Value known = parseJson(runTool({"lut", kExampleMetadata, "--format", "json"}).out);
    EXPECT_FALSE(known.isMember("source_peak_unknown"));
    EXPECT_FALSE(known["points"][32].isMember("input_relative"));
    EXPECT_NEAR(known["points"][32]["input_nits"].asDouble(), 584.3, 0.05);
}

// A list option takes one word, its items separated by commas: the word
// after it is the input, not another item.
TEST(LutCommand, ListOptionsDoNotSwallowTheInput) {
    ToolRun lut = runTool({"lut", "--target-nits", "600", kExampleMetadata, "--frame", "0"});
    EXPECT_EQ(lut.status, 0) << lut.err;
    EXPECT_EQ(lut.out.rfind("frame 0 of " + kExampleMetadata + ", target 600 cd/m²\n", 0), 0u)
        << lut.out;
    ToolRun two =
        runTool({"lut", "--target-nits", "600,400", kExampleMetadata, "--format", "json"});
    EXPECT_EQ(two.status, 0) << two.err;
    EXPECT_EQ(parseJson(two.out)["targets"].size(), 2u) << two.out;

    TempDir dir;
    const std::string page = dir.path("x.html");
    ToolRun report = runTool({"report", "--target-nits", "600", kExampleMetadata, "-o", page});
    EXPECT_EQ(report.status, 0) << report.err;

    // Space-separated items are no longer a list: the second is an extra word.
    ToolRun spaced = runTool({"lut", kExampleMetadata, "--all-frames", "--plot", dir.path("l.svg"),
                              "--levels", "1", "10"});
    EXPECT_EQ(spaced.status, 2);
    EXPECT_EQ(spaced.err,
              "kestrel lut: The following argument was not expected: 10\nRun with --help for "
              "more information.\n");
    ToolRun commas = runTool(
        {"lut", kExampleMetadata, "--all-frames", "--plot", dir.path("l.svg"), "--levels", "1,10"});
    EXPECT_EQ(commas.status, 0) << commas.err;
}

// The table depends on the target only; --layer-nits says so and changes nothing.
TEST(LutCommand, LayerNitsChangesNothingAndSaysSo) {
    const std::string plain = runTool({"lut", kExampleMetadata, "--format", "csv"}).out;
    for (const char* nits : {"100", "4000"}) {
        EXPECT_EQ(runTool({"lut", kExampleMetadata, "--format", "csv", "--layer-nits", nits}).out,
                  plain)
            << nits;
    }
    for (const char* command : {"lut", "report"}) {
        const std::string help = runTool({command, "--help"}).out;
        EXPECT_NE(help.find("It changes nothing here: the library's table depends on the target"),
                  std::string::npos)
            << command << help;
    }
}

// The default limit on the interpolation error holds for the well-formed
// real files at common targets.
TEST(LutCommand, RealFramesPassTheDefaultErrorLimit) {
    if (realDataDir().empty()) GTEST_SKIP() << "no real HDR10+ files here";
    for (const char* name :
         {"regular_metadata.json", "metadata-dhdr10-opt.json", "single-frame-metadata.json"}) {
        const std::string file = realDataDir() + "/" + name;
        ToolRun run = runTool({"lut", file, "--all-frames", "--format", "json", "--target-nits",
                               "200,400,600,1000,4000"});
        ASSERT_EQ(run.status, 0) << name << run.err;
        EXPECT_EQ(run.err.find("interpolation error"), std::string::npos) << name << run.err;
    }
}

TEST(LutCommand, CommandLineMistakesAreNamedAndExitWith2) {
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"lutt"}, "kestrel: unknown subcommand \"lutt\" (known: " + knownCommands() + ")"},
        {{"preset", "chek", "x.json"},
         "kestrel preset: unknown subcommand \"chek\" (known: check)"},
        {{"lut", kExampleMetadata, "--bogus"}, "kestrel lut: unknown option --bogus"},
        {{"lut", kExampleMetadata, "--all-frames", "--plot", "x.png", "--levels", "-1"},
         "kestrel lut: --levels must be above 0 (got -1)"},
        {{"lut", kExampleMetadata, "--target-nits", "400,10001"},
         "kestrel lut: --target-nits must be a whole number from 1 to 10000 (got \"10001\")"},
        {{"lut", kExampleMetadata, "--target-nits", "400,600", "--target-nits", "400"},
         "kestrel lut: --target-nits lists 400 twice"},
        {{"lut", kExampleMetadata, "--target-nits", "0"},
         "kestrel lut: --target-nits must be a whole number from 1 to 10000 (got \"0\")"},
        {{"lut", kExampleMetadata, "--all-frames", "--levels", "5"},
         "kestrel lut: --levels needs --all-frames and --plot"},
        {{"lut", kExampleMetadata, "--axes", "pq"}, "kestrel lut: --axes needs --plot"},
        // The parser's own messages name the command they are about: the
        // positional of `lut` is called "metadata", like a command.
        {{"lut", "--frame", "3"}, "kestrel lut: metadata is required"},
        {{"report", kExampleMetadata, "--format", "csv"},
         "kestrel report: --format: csv not in {html,json}"},
        {{"preset"}, "kestrel preset: a subcommand is required (known: check)"},
    };
    for (const auto& c : cases) {
        ToolRun run = runTool(c.args);
        ASSERT_TRUE(run.exited) << c.message;
        EXPECT_EQ(run.status, 2) << c.message;
        EXPECT_EQ(lines(run.err).at(0), c.message);
    }
    EXPECT_EQ(runTool({"lut", kExampleMetadata, "--target-nits", "10000"}).status, 0);

    ToolRun help = runTool({"lut", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("  2  the command line was wrong"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("--target-nits 400,600,1000 --plot"), std::string::npos);
    // Every command's help shows how it is run.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"frame", "--help"},
                                                 {"preset", "check", "--help"},
                                                 {"report", "--help"},
                                                 {"metadata", "--help"}}) {
        ToolRun commandHelp = runTool(args);
        EXPECT_EQ(commandHelp.status, 0) << args[0];
        EXPECT_NE(commandHelp.out.find("Examples:\n  kestrel " + args[0] + " "), std::string::npos)
            << commandHelp.out;
    }
}

TEST(LutCommand, VersionNamesThePluginsPreset) {
    ToolRun run = runTool({"--version"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> shown = lines(run.out);
    ASSERT_EQ(shown.size(), 4u) << run.out;
    EXPECT_EQ(shown[0], std::string("kestrel ") + KESTREL_VERSION);
    EXPECT_EQ(shown[2], "preset: none compiled in (static HDR10 layers get no tables)");
    EXPECT_EQ(shown[3],
              "lut, report: tables from the tone-mapping code built into this kestrel (the same "
              "sources as the plug-in of its build); --plugin FILE uses a plug-in file's instead");

    const Result<PluginBuild> build = readPluginBuild(KESTREL_TEST_PRESET_PLUGIN);
    ASSERT_TRUE(build.ok()) << build.status().message();
    EXPECT_EQ(build->version, KESTREL_VERSION);
    EXPECT_EQ(build->preset, std::string(KESTREL_TEST_DATA) + "/test_preset.json");
    // A readable file without a mark is not a plug-in's; a missing file is
    // one that cannot be read, with the C library's number kept.
    const Result<PluginBuild> unmarked = readPluginBuild(kExampleMetadata);
    EXPECT_EQ(unmarked.status().kind(), ErrorKind::Format);
    EXPECT_EQ(unmarked.status().message(),
              std::string(kExampleMetadata) +
                  ": no build mark (not a kestrel plug-in, or one built before plug-ins carried "
                  "it)");
    const Result<PluginBuild> missing = readPluginBuild("/no/such/plugin.so");
    EXPECT_EQ(missing.status().kind(), ErrorKind::Io);
    EXPECT_EQ(missing.status().code(), std::optional<int>(ENOENT));
    EXPECT_EQ(missing.status().message(),
              "/no/such/plugin.so: cannot open: No such file or directory");
}

TEST(LutCommand, PlotsInAnyCaseAndAnUnwritablePlotFailsBeforeTheTable) {
    TempDir dir;
    ToolRun upper = runTool({"lut", kExampleMetadata, "--plot", dir.path("CURVE.PNG")});
    ASSERT_EQ(upper.status, 0) << upper.err;
    expectPng(dir.path("CURVE.PNG"));
    ToolRun pq = runTool({"lut", kExampleMetadata, "--target-nits", "400,600,1000", "--axes", "pq",
                          "--plot", dir.path("curves.Svg")});
    ASSERT_EQ(pq.status, 0) << pq.err;
    expectSvg(dir.path("curves.Svg"));

    for (const char* mode : {"--frame=0", "--all-frames"}) {
        ToolRun unwritable =
            runTool({"lut", kExampleMetadata, mode, "--plot", dir.path("missing/curve.png")});
        ASSERT_TRUE(unwritable.exited);
        EXPECT_EQ(unwritable.status, 1) << mode;
        EXPECT_EQ(unwritable.out, "") << mode;
        EXPECT_NE(unwritable.err.find("missing/curve.png: cannot write: No such file or directory"),
                  std::string::npos)
            << unwritable.err;
    }
}

}  // namespace
}  // namespace kestrel::tool::test

namespace kestrel::tool::test {
namespace {

// --plugin: the tables come from the named file's entry points, and every
// output says whose they are.
TEST(LutPluginOption, TablesComeFromTheNamedPluginAndSaySo) {
    const std::string plugin = KESTREL_HALF_GAIN_PLUGIN;
    ToolRun own = runTool({"lut", kExampleMetadata, "--format", "json"});
    ToolRun other = runTool({"lut", kExampleMetadata, "--format", "json", "--plugin", plugin});
    ASSERT_EQ(own.status, 0) << own.err;
    ASSERT_EQ(other.status, 0) << other.err;
    const Json::Value ownJson = parseJson(own.out);
    const Json::Value otherJson = parseJson(other.out);  // the stand-in's printf kept out
    EXPECT_EQ(ownJson["tables_from"]["computed_by"].asString(), "kestrel");
    EXPECT_TRUE(ownJson["tables_from"]["path"].isNull());
    EXPECT_EQ(ownJson["tables_from"]["version"].asString(), KESTREL_VERSION);
    EXPECT_EQ(otherJson["tables_from"]["computed_by"].asString(), "plug-in");
    EXPECT_EQ(otherJson["tables_from"]["path"].asString(), plugin);
    EXPECT_EQ(otherJson["tables_from"]["version"].asString(), "unknown");  // no build mark
    // The stand-in's table, not the built-in one: x = i * 2^22, half gain.
    ASSERT_EQ(otherJson["lutX"].size(), 33u);
    for (Json::ArrayIndex i = 1; i < 32; i++) {
        EXPECT_EQ(otherJson["lutX"][i].asUInt(), i << 22) << i;
        EXPECT_EQ(otherJson["lutY"][i].asUInt(), 524287u) << i;
    }
    EXPECT_NE(ownJson["lutY"][1].asUInt(), 524287u);
    // Its error line reaches the user, once per table.
    EXPECT_NE(other.err.find("library: E/liborrin: half-gain stand-in"), std::string::npos)
        << other.err;

    ToolRun text = runTool({"lut", kExampleMetadata, "--plugin", plugin});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(lines(text.out).front(),
              "tables: computed by plug-in " + plugin + " (version unknown)");
    ToolRun csv = runTool({"lut", kExampleMetadata, "--all-frames", "--plugin", plugin});
    ASSERT_EQ(csv.status, 0) << csv.err;
    // The CSV keeps its columns; the note goes beside it.
    EXPECT_EQ(lines(csv.out).front(),
              lines(runTool({"lut", kExampleMetadata, "--all-frames"}).out).front());
    EXPECT_NE(csv.err.find("kestrel lut: tables computed by plug-in " + plugin), std::string::npos)
        << csv.err;
}

TEST(LutPluginOption, TheBuildsOwnPluginGivesTheBuiltInTables) {
    const std::string plugin =
        std::string(KESTREL_TOOL).substr(0, std::string(KESTREL_TOOL).rfind('/') + 1) +
        "liborrin_kestrel.so";
    for (const char* target : {"300", "600", "4000"}) {
        ToolRun own =
            runTool({"lut", kExampleMetadata, "--target-nits", target, "--format", "json"});
        ToolRun other = runTool({"lut", kExampleMetadata, "--target-nits", target, "--format",
                                 "json", "--plugin", plugin});
        ASSERT_EQ(other.status, 0) << other.err;
        Json::Value a = parseJson(own.out);
        Json::Value b = parseJson(other.out);
        EXPECT_EQ(a["lutX"], b["lutX"]) << target;
        EXPECT_EQ(a["lutY"], b["lutY"]) << target;
        EXPECT_EQ(a["adapted_curve"], b["adapted_curve"]) << target;
        EXPECT_EQ(a["max_interpolation_error"], b["max_interpolation_error"]) << target;
        EXPECT_EQ(b["tables_from"]["version"].asString(), KESTREL_VERSION);
    }
}

TEST(LutPluginOption, FilesThatCannotComputeTablesAreRefused) {
    ToolRun missing = runTool({"lut", kExampleMetadata, "--plugin", "/nonexistent/p.so"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err.rfind("kestrel lut: --plugin /nonexistent/p.so: cannot load the "
                                "plug-in: ",
                                0),
              0u)
        << missing.err;
    // A shared library, but not one with the entry points.
    ToolRun other =
        runTool({"report", kExampleMetadata, "--format", "json", "--plugin", KESTREL_LOG_LIBRARY});
    EXPECT_EQ(other.status, 1);
    EXPECT_EQ(other.out, "");
    EXPECT_EQ(other.err, std::string("kestrel report: --plugin ") + KESTREL_LOG_LIBRARY +
                             ": exports no meta2lut_dtm (_Z12meta2lut_dtmjjPvPjS0_j); not a "
                             "kestrel plug-in\n");
}

TEST(LutPluginOption, ReportNamesThePluginInItsDataAndOnStandardError) {
    const std::string plugin = KESTREL_HALF_GAIN_PLUGIN;
    ToolRun run = runTool({"report", kExampleMetadata, "--format", "json", "--plugin", plugin});
    ASSERT_EQ(run.status, 0) << run.err;
    const Json::Value data = parseJson(run.out);
    EXPECT_EQ(data["tables_from"]["computed_by"].asString(), "plug-in");
    EXPECT_EQ(data["tables_from"]["path"].asString(), plugin);
    EXPECT_NE(
        run.err.find("kestrel report: tables computed by plug-in " + plugin + " (version unknown)"),
        std::string::npos)
        << run.err;
    ToolRun own = runTool({"report", kExampleMetadata, "--format", "json"});
    ASSERT_EQ(own.status, 0) << own.err;
    EXPECT_EQ(parseJson(own.out)["tables_from"]["computed_by"].asString(), "kestrel");
    EXPECT_EQ(own.err.find("tables computed by"), std::string::npos) << own.err;
}

}  // namespace
}  // namespace kestrel::tool::test

namespace kestrel::tool::test {
namespace {

std::string exitStatusPart(const std::string& help) {
    const size_t at = help.find("Exit status:\n");
    return at == std::string::npos ? "" : help.substr(at);
}

// A command whose output cannot be written has failed, whatever it
// computed: a full disk on standard output gives status 1 and the reason.
TEST(StandardOutput, AFullDiskFailsEveryCommandThatWritesThere) {
    const std::string examples = KESTREL_EXAMPLES;
    const std::vector<std::vector<std::string>> runs = {
        {"lut", examples + "/metadata/single-frame-metadata.json", "--target-nits", "600"},
        {"lut", examples + "/metadata/regular_metadata.json", "--target-nits", "600",
         "--all-frames"},
        {"preset", "check", examples + "/presets/minimal_preset.json"},
        {"frame", examples + "/frames/demo.json"},
        {"metadata", examples + "/metadata/regular_metadata.json"}};
    for (const std::vector<std::string>& args : runs) {
        ASSERT_EQ(runTool(args, "/dev/null").status, 0) << args[0];
        ToolRun full = runTool(args, "/dev/full");
        EXPECT_EQ(full.status, 1) << args[0];
        const std::string command = args[0] == "preset" ? "preset check" : args[0];
        const std::string line =
            "kestrel " + command + ": standard output: cannot write: No space left on device\n";
        ASSERT_GE(full.err.size(), line.size()) << full.err;
        EXPECT_EQ(full.err.substr(full.err.size() - line.size()), line) << full.err;
    }
}

// Each command's --help lists the statuses it gives, and no other
// command's; the tool's own --help lists them all.
TEST(ExitStatusHelp, EachCommandListsOnlyItsOwn) {
    struct Case {
        std::vector<std::string> words;
        bool givesThree;
        std::string own;  // a reason only this command gives
    };
    std::vector<Case> cases{{{"frame"}, true, "a frame failed in the plug-in"},
                            {{"lut"}, false, "the plot could not be\n     written"},
                            {{"report"}, false, "--fail-on-jumps, a frame was flagged"},
                            {{"metadata"}, false, "--check found a contradiction"},
                            {{"inject"}, false, "inject reads the headers"},
                            {{"preset", "check"}, false, "not a sound preset"}};
#ifdef KESTREL_TOOL_HAS_PICTURES
    cases.push_back({{"analyze"}, false, "is not PQ, or is damaged"});
    cases.push_back({{"check"}, false, "with --strict, anything"});
#endif
    for (const Case& c : cases) {
        std::vector<std::string> args = c.words;
        args.push_back("--help");
        ToolRun run = runTool(args);
        ASSERT_EQ(run.status, 0) << c.words[0];
        const std::string part = exitStatusPart(run.out);
        ASSERT_FALSE(part.empty()) << c.words[0] << run.out;
        EXPECT_NE(part.find("  0  all went well\n  1  "), std::string::npos) << part;
        EXPECT_NE(part.find("  2  the command line was wrong"), std::string::npos) << part;
        EXPECT_EQ(part.find("  3  ") != std::string::npos, c.givesThree) << part;
        EXPECT_NE(part.find(c.own), std::string::npos) << c.words[0] << ":\n" << part;
        for (const Case& other : cases) {
            if (&other == &c) continue;
            EXPECT_EQ(part.find(other.own), std::string::npos)
                << c.words[0] << " lists " << other.words[0] << "'s: " << other.own;
        }
    }
    ToolRun all = runTool({"--help"});
    EXPECT_NE(exitStatusPart(all.out).find("  3  frame --require-block"), std::string::npos)
        << all.out;
}

}  // namespace
}  // namespace kestrel::tool::test

namespace kestrel::tool::test {
namespace {

// Under the library's 200 cd/m² floor a frame with a curve gets a straight
// line: the warning says what that does to the picture, and the library's
// own error line, which says less, is not shown beside it (--diag-out
// keeps it).
TEST(TargetUnderTheFloor, TheWarningSaysTheConsequenceAndTheRawLineStaysOut) {
    TempDir dir;
    const std::string diag = dir.path("diag.txt");
    ToolRun run = runTool({"lut", kExampleMetadata, "--target-nits", "199", "--diag-out", diag});
    ASSERT_EQ(run.status, 0) << run.err;
    // The example frame's source peak is 584.3 cd/m².
    EXPECT_EQ(run.err,
              "kestrel lut: warning: the library adapts no curve to a target below 200 cd/m²: "
              "the 199 cd/m² target gets a straight line, which scales the whole picture by "
              "199 / 584.3 = 0.3406 (every level 2.936 times darker than mastered, shadows too) "
              "instead of tone-mapping it\n");
    EXPECT_NE(readFile(diag).find("E/liborrin: Error GuidedOOTF : target peak under 200 nits"),
              std::string::npos);
    // The table says the same: every luminance ratio is near 199 / 584.3.
    Json::Value json = parseJson(
        runTool({"lut", kExampleMetadata, "--target-nits", "199", "--format", "json"}).out);
    EXPECT_NEAR(json["points"][16]["luminance_ratio"].asDouble(), 199 / 584.3, 0.002);

    // At the floor itself the library adapts the curve: nothing to say.
    ToolRun floor = runTool({"lut", kExampleMetadata, "--target-nits", "200"});
    ASSERT_EQ(floor.status, 0) << floor.err;
    EXPECT_EQ(floor.err, "");

    ToolRun strict = runTool({"lut", kExampleMetadata, "--target-nits", "199", "--strict"});
    EXPECT_EQ(strict.status, 1);

    ToolRun report =
        runTool({"report", kExampleMetadata, "--target-nits", "199,200", "--format", "json"});
    ASSERT_EQ(report.status, 0) << report.err;
    EXPECT_EQ(report.err.find("E/liborrin"), std::string::npos) << report.err;
    EXPECT_NE(report.err.find("kestrel report: warning: 199 cd/m² (frame 0): the library adapts "
                              "no curve to a target below 200 cd/m²: the 199 cd/m² target gets a "
                              "straight line, which scales the whole picture by 199 / 584.3"),
              std::string::npos)
        << report.err;
    EXPECT_EQ(report.err.find("warning: 200 cd/m²"), std::string::npos) << report.err;
}

}  // namespace
}  // namespace kestrel::tool::test

namespace kestrel::tool::test {
namespace {

// One JSON shape for one target and for many: `targets` is always there;
// for one target the members of the old shape stay beside it for a release.
TEST(LutJsonShape, TargetsAreListedForOneAndManyAndTheOldMembersStayForOne) {
    ToolRun one = runTool({"lut", kExampleMetadata, "--target-nits", "600", "--format", "json"});
    ToolRun two =
        runTool({"lut", kExampleMetadata, "--target-nits", "600,400", "--format", "json"});
    ASSERT_EQ(one.status, 0) << one.err;
    ASSERT_EQ(two.status, 0) << two.err;
    const Json::Value a = parseJson(one.out);
    const Json::Value b = parseJson(two.out);
    for (const Json::Value* v : {&a, &b}) {
        EXPECT_EQ((*v)["schema_version"].asInt(), 2);
        EXPECT_EQ((*v)["file"].asString(), kExampleMetadata);
        EXPECT_EQ((*v)["frame"].asUInt(), 0u);
    }
    ASSERT_EQ(a["targets"].size(), 1u);
    ASSERT_EQ(b["targets"].size(), 2u);
    // The same analysis wherever it is listed (timing aside).
    Json::Value listed = a["targets"][0];
    Json::Value old = a;
    for (Json::Value* v : {&listed, &old}) v->removeMember("microseconds");
    for (const std::string& name : listed.getMemberNames())
        EXPECT_EQ(old[name], listed[name]) << name;
    EXPECT_EQ(b["targets"][0]["target_nits"].asUInt(), 600u);
    EXPECT_EQ(b["targets"][1]["target_nits"].asUInt(), 400u);
    EXPECT_EQ(b["targets"][0]["lutY"], a["lutY"]);
    EXPECT_FALSE(b.isMember("lutY"));  // several targets never had them at the top

    ToolRun clipOne = runTool({"lut", kExampleMetadata, "--all-frames", "--format", "json"});
    ToolRun clipTwo = runTool(
        {"lut", kExampleMetadata, "--all-frames", "--format", "json", "--target-nits", "1000,300"});
    const Json::Value c = parseJson(clipOne.out);
    const Json::Value d = parseJson(clipTwo.out);
    EXPECT_EQ(c["schema_version"].asInt(), 2);
    EXPECT_EQ(d["schema_version"].asInt(), 2);
    ASSERT_EQ(c["targets"].size(), 1u);
    ASSERT_EQ(d["targets"].size(), 2u);
    EXPECT_EQ(c["targets"][0]["target_nits"].asUInt(), 1000u);
    EXPECT_EQ(c["targets"][0]["frames"], c["frames"]);  // the old members, kept
    EXPECT_EQ(c["target_nits"].asUInt(), 1000u);
    EXPECT_EQ(d["targets"][1]["target_nits"].asUInt(), 300u);
    EXPECT_FALSE(d.isMember("frames"));
}

// A film's document is written as it is formatted, frames in runs joined in
// order: past the runs' ends it must still be the one indented document the
// JSON library would write (parsed and written again, unchanged), its rows
// in frame order, the version 1 `frames` the same as the target's, and the
// CSV its rows in the same order.
TEST(LutJsonShape, LongClipIsOneDocumentAcrossItsRuns) {
    TempDir dir;
    constexpr unsigned kFrames = 8500;  // beyond rounds of 32 runs of 64 frames, and 2048 CSV rows
    std::string text = "{\"SceneInfo\": [";
    for (unsigned i = 0; i < kFrames; i++) {
        // Two records by turns, so that neighbouring rows differ.
        text += std::string(i > 0 ? "," : "") +
                "{\"TargetedSystemDisplayMaximumLuminance\": 1000, \"LuminanceParameters\": "
                "{\"MaxScl\": [" +
                (i % 3 == 0 ? "40000, 30000, 20000" : "9000, 8000, 7000") +
                "], \"AverageRGB\": 500}}";
    }
    const std::string input = dir.write("long.json", text + "]}");
    ToolRun run = runTool({"lut", input, "--all-frames", "--format", "json", "--no-timing"});
    ASSERT_TRUE(run.exited);
    const Json::Value document = parseJson(run.out);
    Json::StreamWriterBuilder pretty;
    pretty["indentation"] = "  ";
    EXPECT_EQ(Json::writeString(pretty, document) + "\n", run.out);
    const Json::Value& frames = document["targets"][0]["frames"];
    ASSERT_EQ(frames.size(), kFrames);
    EXPECT_EQ(document["frames"], frames);
    EXPECT_NE(frames[0]["source_peak_nits"], frames[1]["source_peak_nits"]);
    for (unsigned i : {0u, 63u, 64u, 2047u, 2048u, 8192u, kFrames - 1}) {
        EXPECT_EQ(frames[i]["frame"].asUInt(), i);
        Json::Value row = frames[i], same = frames[i % 3 == 0 ? 0 : 1];
        row.removeMember("frame");
        same.removeMember("frame");
        EXPECT_EQ(row, same) << i;
    }
    ToolRun csv = runTool({"lut", input, "--all-frames", "--no-timing"});
    const std::vector<std::string> rows = lines(csv.out);
    ASSERT_EQ(rows.size(), kFrames + 1);
    for (unsigned i : {1u, 2048u, 2049u, kFrames})
        EXPECT_EQ(rows[i].substr(0, rows[i].find(',')), std::to_string(i - 1));
}

// --no-timing: the only thing that differs between two runs is left out,
// and the outputs keep their columns.
TEST(LutJsonShape, NoTimingMakesTwoRunsIdentical) {
    const std::string file =
        realDataDir().empty() ? kExampleMetadata : realDataDir() + "/regular_metadata.json";
    const std::vector<std::string> csvArgs{
        "lut", file, "--all-frames", "--no-timing", "--target-nits", "600,1000"};
    ToolRun first = runTool(csvArgs);
    ToolRun second = runTool(csvArgs);
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, second.out);
    std::vector<std::string> rows = lines(first.out);
    ASSERT_GE(rows.size(), 2u);
    EXPECT_NE(rows[0].find(",microseconds,"), std::string::npos) << rows[0];
    // frame,knee_x,knee_y,first_anchor,source_peak_nits,max_error,
    // max_error_of_unit_gain,increasing_input,microseconds,...
    const std::vector<std::string> withTiming =
        lines(runTool({"lut", file, "--all-frames", "--target-nits", "600,1000"}).out);
    auto ninth = [](const std::string& row) {
        size_t at = 0;
        for (int i = 0; i < 8; i++) at = row.find(',', at) + 1;
        return row.substr(at, row.find(',', at) - at);
    };
    EXPECT_EQ(ninth(rows[1]), "");
    EXPECT_NE(ninth(withTiming[1]), "");

    const Json::Value json =
        parseJson(runTool({"lut", kExampleMetadata, "--format", "json", "--no-timing"}).out);
    EXPECT_TRUE(json["microseconds"].isNull());
    EXPECT_TRUE(json["targets"][0]["microseconds"].isNull());
    const Json::Value timed = parseJson(runTool({"lut", kExampleMetadata, "--format", "json"}).out);
    EXPECT_TRUE(timed["targets"][0]["microseconds"].isDouble());
}

}  // namespace
}  // namespace kestrel::tool::test
