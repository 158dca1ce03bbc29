// SPDX-License-Identifier: Apache-2.0
// `kestrel frame`: the real plug-in loaded with dlopen and driven from
// frame scripts; the block it returns is checked word by word.
#include <gtest/gtest.h>

#include <cstring>

#include "dtm/meta2lut.h"
#include "plugin/hdrCoef.h"
#include "support/records.h"
#include "tool/cli_test_support.h"

namespace kestrel::tool::test {
namespace {

const std::string kExampleMetadata =
    std::string(KESTREL_EXAMPLES) + "/metadata/single-frame-metadata.json";

// The one frame of the example metadata.
_VelmorHdrDynamicInfo exampleRecord() { return kestrel_test::singleFrameRecord(); }

hdrCoef readBlock(const std::string& path) {
    hdrCoef block;
    std::string bytes = readFile(path);
    EXPECT_EQ(bytes.size(), sizeof block) << path;
    std::memset(&block, 0, sizeof block);
    std::memcpy(&block, bytes.data(), std::min(bytes.size(), sizeof block));
    return block;
}

void expectFlagsSet(const hdrCoef& block) {
    EXPECT_EQ(block.coefFlag, 1u);
    EXPECT_EQ(block.oetfFlag, 1u);
    EXPECT_EQ(block.eotfFlag, 1u);
    EXPECT_EQ(block.gamutFlag, 1u);
    EXPECT_EQ(block.toneFlag, 1u);
}

std::string layerWithExampleMetadata(int index) {
    return "{\"index\": " + std::to_string(index) +
           ", \"dataspace\": \"bt2020 st2084-pq\", \"max_luminance\": 1000, \"hdr10plus\": "
           "{\"file\": \"" +
           kExampleMetadata + "\", \"frame\": 0}}";
}

TEST(FrameCommand, DynamicLayerBlockHoldsTheTableTheLibraryComputes) {
    TempDir dir;
    std::string script = dir.write("script.json", R"({
      "target": {"dataspace": "bt709 srgb", "max_luminance": 500},
      "frames": [{"layers": [)" + layerWithExampleMetadata(0) +
                                                      R"(,
        {"index": 3, "dataspace": "bt709 srgb", "max_luminance": 100, "alpha_premult": true}]}]
    })");
    ToolRun run = runTool({"frame", script, "--block-out", dir.path("block.bin")});
    ASSERT_TRUE(run.exited);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("getParams(): returned the block"), std::string::npos) << run.out;
    // The plug-in's own lines stay visible, marked as its output.
    EXPECT_NE(
        run.out.find("  | setTargetDisplayLuminance(499)min_luminance : 0, max_luminance : 500"),
        std::string::npos);
    EXPECT_NE(run.out.find("  | setLayerImageInfo(486)index : 3, alpha_premult : true"),
              std::string::npos);

    _VelmorHdrDynamicInfo record = exampleRecord();
    unsigned lutX[33] = {};
    unsigned lutY[33] = {};
    testing::internal::CaptureStdout();
    meta2lut_dtm(500, 1000, &record, lutX, lutY, 33);
    testing::internal::GetCapturedStdout();

    hdrCoef block = readBlock(dir.path("block.bin"));
    expectFlagsSet(block);
    for (int i = 0; i < 33; i++) {
        EXPECT_EQ(block.toneX[i], lutX[i]) << "toneX[" << i << "]";
        EXPECT_EQ(block.toneY[i], lutY[i]) << "toneY[" << i << "]";
    }
    const std::string lastSegment = "last segment: width " + std::to_string(lutX[32]) + ", rise " +
                                    std::to_string(static_cast<int32_t>(lutY[32]));
    EXPECT_NE(run.out.find(lastSegment), std::string::npos) << run.out;
}

// The test plug-in is built with tests/tool/data/test_preset.json: an EOTF
// for st2084-pq at 1000 nits (x = 16 i up to 1023, y = 1000 + i) and at
// 4000 nits (y = 5000 + i), an sRGB OETF for a 500-nit product (x = 2047 i,
// y = 31 i) and a bt2020 -> bt709 matrix 1..8, -9.
TEST(FrameCommand, StaticLayersGetTheWordsOfThePresetTheLibraryWasBuiltWith) {
    TempDir dir;
    std::string script = dir.write("script.json", R"({
      "target": {"dataspace": "bt709 srgb", "max_luminance": 500},
      "frames": [
        {"layers": [{"index": 0, "dataspace": "bt2020 st2084-pq", "max_luminance": 1000}]},
        {"layers": [{"index": 0, "dataspace": "bt2020 st2084-pq", "max_luminance": 4000}]}
      ]})");
    ToolRun run = runTool({"frame", script, "--plugin", KESTREL_TEST_PRESET_PLUGIN, "--block-out",
                           dir.path("block{frame}.bin")});
    ASSERT_TRUE(run.exited);
    ASSERT_EQ(run.status, 0) << run.err;

    hdrCoef first = readBlock(dir.path("block0.bin"));
    expectFlagsSet(first);
    for (int i = 0; i < 65; i++) {
        EXPECT_EQ(first.eotfTable[i], std::min(16u * i, 1023u)) << "EOTF x " << i;
        EXPECT_EQ(first.eotfTable[65 + i], 1000u + i) << "EOTF y " << i;
    }
    const int32_t matrix[9] = {1, 2, 3, 4, 5, 6, 7, 8, -9};
    for (int i = 0; i < 9; i++) EXPECT_EQ(first.gamutMatrix[i], matrix[i]) << i;
    for (int i = 0; i < 33; i++) {
        EXPECT_EQ(first.oetfTable[i], 2047u * i) << "OETF x " << i;
        EXPECT_EQ(first.oetfTable[33 + i], 31u * i) << "OETF y " << i;
    }

    hdrCoef second = readBlock(dir.path("block1.bin"));
    for (int i = 0; i < 65; i++) EXPECT_EQ(second.eotfTable[65 + i], 5000u + i) << i;
    // The second frame's report says what did not change.
    size_t frame1 = run.out.find("frame 1:");
    ASSERT_NE(frame1, std::string::npos);
    EXPECT_NE(run.out.find("gamut matrix: unchanged since the previous frame", frame1),
              std::string::npos);
    EXPECT_NE(run.out.find("    [          1           2           3 ]"), std::string::npos);
}

TEST(FrameCommand, MetadataStaysRegisteredAcrossFramesUntilTheScriptClearsIt) {
    TempDir dir;
    std::string script = dir.write("script.json", R"({
      "target": {"dataspace": "bt709 srgb", "max_luminance": 500},
      "frames": [
        {"layers": [)" + layerWithExampleMetadata(2) + R"(]},
        {"layers": [{"index": 2, "dataspace": "bt2020 hlg", "max_luminance": 1000}]},
        {"layers": [{"index": 2, "dataspace": "bt2020 hlg", "max_luminance": 1000,
                     "hdr10plus": null}]},
        {"layers": [{"index": 2, "dataspace": "bt2020 hlg", "max_luminance": 1000,
                     "hdr10plus": {"file": ")" + kExampleMetadata +
                                                      R"(", "size": 311}}]}
      ]})");
    ToolRun run = runTool({"frame", script, "--plugin", KESTREL_TEST_PRESET_PLUGIN});
    ASSERT_TRUE(run.exited);
    ASSERT_EQ(run.status, 0) << run.err;
    auto section = [&](int frame) {
        size_t from = run.out.find("\nframe " + std::to_string(frame) + ":");
        size_t to = run.out.find("\nframe " + std::to_string(frame + 1) + ":");
        return from == std::string::npos ? std::string() : run.out.substr(from, to - from);
    };
    // Frame 1 names no metadata: the pointer of frame 0 still holds, so the
    // hlg layer takes the dynamic path and needs no preset entry.
    EXPECT_NE(section(1).find("getParams(): returned the block"), std::string::npos) << section(1);
    EXPECT_NE(section(1).find("tone-mapping table: unchanged since the previous frame"),
              std::string::npos);
    // Cleared, the layer is static, and the preset has no hlg EOTF.
    EXPECT_NE(section(2).find("getParams(): returned null"), std::string::npos) << section(2);
    EXPECT_NE(section(2).find("  | E/liborrin: no EOTF is defined for hlg"), std::string::npos);
    // A record of the wrong size is refused, and the layer is static again.
    EXPECT_NE(section(3).find("setLayerOpaqueData for layer 2 with 311 bytes returned false"),
              std::string::npos)
        << section(3);
    EXPECT_NE(section(3).find("getParams(): returned null"), std::string::npos);

    ToolRun strict =
        runTool({"frame", script, "--plugin", KESTREL_TEST_PRESET_PLUGIN, "--require-block"});
    EXPECT_TRUE(strict.exited);
    EXPECT_EQ(strict.status, 3);
}

TEST(FrameCommand, DiagnosticsFileTakesThePluginOutput) {
    TempDir dir;
    std::string script = dir.write("script.json", R"({
      "frames": [{"layers": [{"index": 0, "dataspace": "bt709 srgb", "max_luminance": 100}]}]})");
    ToolRun run = runTool({"frame", script, "--diag-out", dir.path("diag.txt")});
    ASSERT_TRUE(run.exited);
    ASSERT_EQ(run.status, 0) << run.err;
    // An sRGB layer on the writer's default sRGB target passes through.
    EXPECT_NE(run.out.find("getParams(): returned the block"), std::string::npos);
    EXPECT_EQ(run.out.find("  | "), std::string::npos) << run.out;
    EXPECT_NE(readFile(dir.path("diag.txt"))
                  .find("setLayerStaticMetadata(466)index : 0, dataspace : 8454144, "
                        "min_luminance : 0, max_luminance : 100\n"),
              std::string::npos);
}

TEST(FrameCommand, MalformedScriptsAreRefusedWithAMessageNamingTheKey) {
    TempDir dir;
    const struct {
        const char* script;
        const char* message;
    } cases[] = {
        {"{\"frames\": [", "not valid JSON"},
        {R"({"frames": [{"layers": [{"index": 16, "dataspace": 0, "max_luminance": 1}]}]})",
         "frames[0].layers[0].index: 16 is not a layer index (0 to 15)"},
        {R"({"frames": [{"layers": [{"index": 0, "dataspace": "bt2020 pq", "max_luminance": 1}]}]})",
         "frames[0].layers[0].dataspace: unknown dataspace name \"pq\""},
        {R"({"frames": [{"layers": [{"index": 0, "dataspace": 0, "max_luminance": 1,
              "hdr10plus": {"inline": {"TargetedSystemDisplayMaximumLuminance": 400,
                "LuminanceParameters": {"MaxScl": [1, 2, 3]},
                "BezierCurveData": {"KneePointX": 5000, "KneePointY": 0, "Anchors": []}}}}]}]})",
         "frames[0].layers[0].hdr10plus.inline: BezierCurveData.KneePointX is 5000, above the "
         "largest allowed value 4095"},
    };
    for (const auto& c : cases) {
        ToolRun run = runTool({"frame", dir.write("bad.json", c.script)});
        ASSERT_TRUE(run.exited) << c.script;
        EXPECT_EQ(run.status, 1) << c.script;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
}

TEST(FrameCommand, RejectedFrameOfAMetadataFileIsReportedWithItsReason) {
    TempDir dir;
    const std::string good = R"({"TargetedSystemDisplayMaximumLuminance": 400,
        "LuminanceParameters": {"MaxScl": [1, 2, 3]}})";
    const std::string bad = R"({"TargetedSystemDisplayMaximumLuminance": 400,
        "LuminanceParameters": {"MaxScl": [1, 2, 3]},
        "BezierCurveData": {"KneePointX": 5000, "KneePointY": 0, "Anchors": []}})";
    const std::string metadata =
        dir.write("meta.json", "{\"SceneInfo\": [" + good + "," + bad + "]}");
    const std::string script = R"({"frames": [{"layers": [{"index": 0, "dataspace": 0,
        "max_luminance": 1, "hdr10plus": {"file": "meta.json", "frame": 1}}]}]})";
    ToolRun run = runTool({"frame", dir.write("script.json", script)});
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("frames[0].layers[0].hdr10plus.frame: " + metadata +
                           ": frame 1: BezierCurveData.KneePointX is 5000, above the largest "
                           "allowed value 4095"),
              std::string::npos)
        << run.err;
}

TEST(FrameCommand, PluginThatCannotBeUsedIsReported) {
    TempDir dir;
    std::string script = dir.write("script.json", R"({
      "frames": [{"layers": [{"index": 0, "dataspace": "bt709 srgb", "max_luminance": 100}]}]})");
    ToolRun missing = runTool({"frame", script, "--plugin", dir.path("none.so")});
    ASSERT_TRUE(missing.exited);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot load the plug-in"), std::string::npos) << missing.err;

    // A library that loads but has no factory.
    ToolRun noFactory = runTool({"frame", script, "--plugin", KESTREL_LOG_LIBRARY});
    ASSERT_TRUE(noFactory.exited);
    EXPECT_EQ(noFactory.status, 1);
    EXPECT_NE(noFactory.err.find("no factory _ZN22IDPUHdr10CommandWriter14createInstanceEv"),
              std::string::npos)
        << noFactory.err;
}

const std::string kDemoScript = std::string(KESTREL_EXAMPLES) + "/frames/demo.json";
const std::string kExamplePreset = std::string(KESTREL_EXAMPLES) + "/presets/example_preset.json";

// The report after its first two lines, which name the library and the preset.
std::string afterHeader(const std::string& out) {
    size_t at = 0;
    for (int line = 0; line < 2 && at != std::string::npos; line++) at = out.find('\n', at) + 1;
    return out.substr(at);
}

TEST(FrameCommand, PresetLoadedAtRunTimeGivesTheBlocksOfAPluginBuiltWithIt) {
    TempDir dir;
    ToolRun runtime = runTool({"frame", kDemoScript, "--preset", kExamplePreset, "--block-out",
                               dir.path("runtime{frame}.bin"), "--require-block", "--quiet"});
    ToolRun built =
        runTool({"frame", kDemoScript, "--plugin", KESTREL_EXAMPLE_PRESET_PLUGIN, "--block-out",
                 dir.path("built{frame}.bin"), "--require-block", "--quiet"});
    ASSERT_TRUE(runtime.exited && built.exited);
    ASSERT_EQ(runtime.status, 0) << runtime.out << runtime.err;
    ASSERT_EQ(built.status, 0) << built.out << built.err;
    const std::string block = readFile(dir.path("runtime0.bin"));
    EXPECT_EQ(block.size(), sizeof(hdrCoef));
    EXPECT_EQ(block, readFile(dir.path("built0.bin")));
    // The same frames, told apart only by which path gave the preset.
    EXPECT_EQ(afterHeader(runtime.out), afterHeader(built.out));
    EXPECT_NE(runtime.out.find("preset: " + kExamplePreset +
                               ", loaded at run time into its global store\n"),
              std::string::npos)
        << runtime.out;
    // The plug-in's own mark names the preset it was built with, or none.
    ToolRun plain = runTool({"frame", kDemoScript, "--quiet"});
    EXPECT_NE(plain.out.find("\npreset: none compiled in (static HDR10 layers get no tables)\n"),
              std::string::npos)
        << plain.out;
    EXPECT_NE(built.out.find("preset: " + std::string(KESTREL_EXAMPLES) +
                             "/presets/example_preset.json, compiled in\n"),
              std::string::npos)
        << built.out;
}

// A script or preset that is missing or a directory is an input
// that is wrong: status 1, as for the other commands' inputs, with the file
// and the reason, and the plug-in is not run.
TEST(FrameCommand, ScriptOrPresetThatCannotBeReadEndsWithStatusOneNamingIt) {
    TempDir dir;
    const std::string missing = dir.path("missing.json");
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"frame", missing}, "kestrel frame: " + missing + ": cannot open: "},
        {{"frame", dir.path("")},
         "kestrel frame: " + dir.path("") + ": is a directory, not a file"},
        {{"frame", kDemoScript, "--preset", missing},
         "kestrel frame: --preset " + missing + ": cannot open: "},
        {{"frame", kDemoScript, "--preset", dir.path("")},
         "kestrel frame: --preset " + dir.path("") + ": is a directory, not a file"},
    };
    for (const auto& c : cases) {
        ToolRun run = runTool(c.args);
        ASSERT_TRUE(run.exited) << c.message;
        EXPECT_EQ(run.status, 1) << c.message << run.err;
        EXPECT_EQ(run.err.rfind(c.message, 0), 0u) << run.err;
        EXPECT_EQ(run.out.find("frame 0:"), std::string::npos) << run.out;
    }
}

// A preset the loader reads nothing from runs, as a build with it would, but
// not silently: a misspelt section, or a file that is no preset at all.
TEST(FrameCommand, PresetSectionsTheLoaderDoesNotReadAreWarnedAbout) {
    TempDir dir;
    const std::string misspelt = dir.write("misspelt.json", R"({"eotff": []})");
    ToolRun near = runTool({"frame", kDemoScript, "--preset", misspelt, "--quiet"});
    EXPECT_EQ(near.status, 0) << near.err;
    EXPECT_NE(near.err.find("kestrel frame: warning: --preset " + misspelt +
                            ": \"eotff\" holds an array but is not a section the loader reads "
                            "(eotf, oetf and gamut_mapping); did you mean \"eotf\"?\n"),
              std::string::npos)
        << near.err;
    const std::string metadata = dir.write("clip.json", R"({"SceneInfo": [{}]})");
    ToolRun other = runTool({"frame", kDemoScript, "--preset", metadata, "--quiet"});
    EXPECT_EQ(other.status, 0) << other.err;
    EXPECT_NE(other.err.find("kestrel frame: warning: --preset " + metadata +
                             ": not a preset file: the top level has none of "),
              std::string::npos)
        << other.err;
    // The example preset gives no such warning.
    ToolRun good = runTool({"frame", kDemoScript, "--preset", kExamplePreset, "--quiet"});
    EXPECT_EQ(good.err.find("warning"), std::string::npos) << good.err;
}

TEST(FrameCommand, PluginErrorLinesReachStandardErrorWhateverShowsTheRest) {
    TempDir dir;
    const std::string rejects = std::string(KESTREL_TEST_DATA) + "/rejected_entries_preset.json";
    const std::string error =
        "kestrel frame: plug-in: E/liborrin: invalid number of eotf LUT "
        "values: 64, 65\n";
    ToolRun toFile =
        runTool({"frame", kDemoScript, "--preset", rejects, "--diag-out", dir.path("diag.txt")});
    ASSERT_TRUE(toFile.exited);
    EXPECT_NE(toFile.err.find(error), std::string::npos) << toFile.err;
    EXPECT_NE(readFile(dir.path("diag.txt")).find("E/liborrin: invalid number of eotf LUT values"),
              std::string::npos);
    // Quiet: none of the plug-in's lines on standard output, its errors still shown.
    ToolRun quiet = runTool({"frame", kDemoScript, "--preset", rejects, "--quiet"});
    ASSERT_TRUE(quiet.exited);
    EXPECT_EQ(quiet.out.find("  | "), std::string::npos) << quiet.out;
    EXPECT_NE(quiet.err.find(error), std::string::npos) << quiet.err;
    ToolRun shown = runTool({"frame", kDemoScript, "--preset", rejects});
    EXPECT_NE(shown.out.find("  | E/liborrin: invalid number of eotf LUT values"),
              std::string::npos);
    EXPECT_NE(shown.out.find("  | setLayerStaticMetadata(466)"), std::string::npos);

    // A preset that cannot be loaded stops the run; one source of preset at a time.
    ToolRun broken = runTool({"frame", kDemoScript, "--preset", dir.write("broken.json", "{")});
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(broken.err.find(dir.path("broken.json") + ": the preset could not be loaded"),
              std::string::npos)
        << broken.err;
    ToolRun both = runTool({"frame", kDemoScript, "--preset", kExamplePreset, "--plugin",
                            KESTREL_EXAMPLE_PRESET_PLUGIN});
    EXPECT_NE(both.status, 0);
    EXPECT_NE(both.err.find("--plugin excludes --preset"), std::string::npos) << both.err;
}

}  // namespace
}  // namespace kestrel::tool::test
