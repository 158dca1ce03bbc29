// `kestrel lut` on real HDR10+ metadata: the table it shows is the library's,
// every frame of every file goes through, and bad files are reported.
#include <gtest/gtest.h>

#include <sstream>

#include "dtm/meta2lut.h"
#include "tool/cli_test_support.h"

namespace kestrel::tool::test {
namespace {

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
                              dir.path("frames.svg"), "--levels", "5", "50", "500"});
    ASSERT_EQ(frames.status, 0) << frames.err;
    expectSvg(dir.path("frames.svg"));

    ToolRun wrongName = runTool({"lut", kExampleMetadata, "--plot", dir.path("curve.jpg")});
    ASSERT_TRUE(wrongName.exited);
    EXPECT_EQ(wrongName.status, 1);
    EXPECT_NE(wrongName.err.find("must end in .png or .svg"), std::string::npos);
}

}  // namespace
}  // namespace kestrel::tool::test
