// SPDX-License-Identifier: Apache-2.0
// Frame scripts: what the host is told, frame by frame.
#include "tools/kestrel/host/frame_script.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "support/json_text.h"

namespace kestrel::tool {
namespace {

const std::string kExamples = KESTREL_EXAMPLES;

using kestrel_test::parseJsonText;

TEST(FrameScript, ReadsTargetsLayersAndEveryKindOfMetadata) {
    // A raw record beside the script, with a recognisable knee point.
    char dir[] = "/tmp/kestrel-script-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    _VelmorHdrDynamicInfo raw;
    std::memset(&raw, 0, sizeof raw);
    raw.knee_point_x = 1234;
    std::ofstream(std::string(dir) + "/record.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(&raw), sizeof raw);

    FrameScript script;
    const Status parsed = parseFrameScript(parseJsonText(R"({
      "target": {"dataspace": "bt709 srgb", "max_luminance": 500},
      "frames": [
        {"layers": [
          {"index": 0, "dataspace": "bt2020 st2084-pq", "min_luminance": 1, "max_luminance": 1000,
           "hdr10plus": {"file": ")" + kExamples +
                                               R"(/metadata/single-frame-metadata.json"}},
          {"index": 5, "dataspace": 8454144, "max_luminance": 100, "alpha_premult": true,
           "hdr10plus": {"raw": "record.bin", "size": 311}}]},
        {"target": {"dataspace": "bt2020 hlg", "min_luminance": 2, "max_luminance": 800},
         "layers": [
          {"index": 0, "dataspace": 0, "max_luminance": 1, "hdr10plus": null},
          {"index": 1, "dataspace": 0, "max_luminance": 1,
           "hdr10plus": {"inline": {"TargetedSystemDisplayMaximumLuminance": 7,
                                    "LuminanceParameters": {"MaxScl": [1, 2, 3]}}}},
          {"index": 2, "dataspace": 0, "max_luminance": 1}]}
      ]})"),
                                           dir, script);
    ASSERT_TRUE(parsed.ok()) << parsed.message();
    std::remove((std::string(dir) + "/record.bin").c_str());
    rmdir(dir);

    EXPECT_TRUE(script.setsTarget);
    EXPECT_EQ(script.target.dataspace, 0x810000u);
    EXPECT_EQ(script.target.maxLuminance, 500u);
    ASSERT_EQ(script.frames.size(), 2u);

    const ScriptFrame& first = script.frames[0];
    EXPECT_FALSE(first.setsTarget);
    ASSERT_EQ(first.layers.size(), 2u);
    const ScriptLayer& file = first.layers[0];
    EXPECT_EQ(file.dataspace, 0x1C60000u);
    EXPECT_EQ(file.minLuminance, 1u);
    EXPECT_EQ(file.maxLuminance, 1000u);
    EXPECT_FALSE(file.hasAlpha);
    ASSERT_EQ(file.metadata.kind, LayerMetadata::Kind::Record);
    EXPECT_EQ(file.metadata.size, 312u);
    EXPECT_EQ(file.metadata.record->knee_point_x, 164);
    const ScriptLayer& rawLayer = first.layers[1];
    EXPECT_EQ(rawLayer.index, 5);
    EXPECT_TRUE(rawLayer.hasAlpha);
    EXPECT_TRUE(rawLayer.alphaPremult);
    ASSERT_EQ(rawLayer.metadata.kind, LayerMetadata::Kind::Record);
    EXPECT_EQ(rawLayer.metadata.size, 311u);
    EXPECT_EQ(rawLayer.metadata.record->knee_point_x, 1234);

    const ScriptFrame& second = script.frames[1];
    EXPECT_TRUE(second.setsTarget);
    EXPECT_EQ(second.target.dataspace, 0x2060000u);
    EXPECT_EQ(second.target.minLuminance, 2u);
    ASSERT_EQ(second.layers.size(), 3u);
    EXPECT_EQ(second.layers[0].metadata.kind, LayerMetadata::Kind::Clear);
    EXPECT_EQ(second.layers[0].metadata.size, 0u);
    ASSERT_EQ(second.layers[1].metadata.kind, LayerMetadata::Kind::Record);
    EXPECT_EQ(second.layers[1].metadata.record->targeted_system_display_maximum_luminance, 7u);
    EXPECT_EQ(second.layers[1].metadata.record->tone_mapping_flag, 0);
    EXPECT_EQ(second.layers[2].metadata.kind, LayerMetadata::Kind::Keep);
}

// The example script is installed beside the presets; the plug-in installed
// beside it has none, so the script itself says to pass one.
TEST(FrameScript, TheExampleScriptSaysToPassAPreset) {
    FrameScript script;
    const Status loaded = loadFrameScript(kExamples + "/frames/demo.json", script, OpenOptions{});
    ASSERT_TRUE(loaded.ok()) << loaded.message();
    std::ifstream in(kExamples + "/frames/demo.json");
    const Json::Value root = parseJsonText(
        std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    EXPECT_NE(root["about"].asString().find("--preset ../presets/example_preset.json"),
              std::string::npos);
}

TEST(FrameScript, MistakesAreReportedWithTheirKey) {
    const std::string layer = R"("index": 0, "dataspace": 0, "max_luminance": 1)";
    const std::string exampleFile = kExamples + "/metadata/single-frame-metadata.json";
    // The script's own mistakes are wrong input; a file it names that cannot
    // be opened is the reader's Io. The key is the message's first part.
    constexpr ErrorKind kWrong = ErrorKind::Invalid;
    const struct {
        std::string script;
        std::string message;
        ErrorKind kind = kWrong;
    } cases[] = {
        {"[]", "a frame script is a JSON object"},
        {"{}", "frames: is missing"},
        {R"({"frames": []})", "frames: must be an array of one or more frames"},
        {R"({"frames": [], "extra": 1})",
         "extra: unknown key (expected \"about\", \"target\", \"frames\")"},
        {R"({"about": 1, "frames": [{"layers": []}]})",
         "about: must be a string (a note for people)"},
        {R"({"target": {"dataspace": 0}, "frames": [{"layers": []}]})",
         "target.max_luminance: is missing"},
        {R"({"frames": [{"layers": [{"index": -1, "dataspace": 0, "max_luminance": 1}]}]})",
         "frames[0].layers[0].index: -1 is not a layer index (0 to 15)"},
        {R"({"frames": [{"layers": [{"index": 0, "max_luminance": 1}]}]})",
         "frames[0].layers[0].dataspace: is missing"},
        {R"({"frames": [{"layers": [{"index": 0, "dataspace": 0, "max_luminance": -5}]}]})",
         "frames[0].layers[0].max_luminance: -5 is not a whole number from 0 to 4294967295"},
        {R"({"frames": [{"layers": [{)" + layer + R"(, "maxLuminance": 1}]}]})",
         "frames[0].layers[0].maxLuminance: unknown key"},
        {R"({"frames": [{"layers": [{)" + layer + R"(, "alpha_premult": 1}]}]})",
         "frames[0].layers[0].alpha_premult: must be true or false"},
        {R"({"frames": [{"layers": [{)" + layer + R"(, "hdr10plus": {}}]}]})",
         "frames[0].layers[0].hdr10plus: needs exactly one of \"file\", \"raw\" and \"inline\""},
        {R"({"frames": [{"layers": [{)" + layer + R"(, "hdr10plus": {"raw": "x", "frame": 1}}]}]})",
         "frames[0].layers[0].hdr10plus.frame: only goes with \"file\""},
        {R"({"frames": [{"layers": [{)" + layer + R"(, "hdr10plus": {"file": "nowhere.json"}}]}]})",
         "frames[0].layers[0].hdr10plus.file: /no/such/dir/nowhere.json: cannot open",
         ErrorKind::Io},
        {R"({"frames": [{"layers": [{)" + layer + R"(, "hdr10plus": {"file": ")" + exampleFile +
             R"(", "frame": 1}}]}]})",
         "frames[0].layers[0].hdr10plus.frame: 1 is beyond the 1 frame of " + exampleFile},
        {R"({"frames": [{"layers": [{)" + layer + R"(, "hdr10plus": {"raw": ")" + exampleFile +
             R"("}}]}]})",
         "frames[0].layers[0].hdr10plus.raw: " + exampleFile + " holds"},
    };
    for (const auto& c : cases) {
        FrameScript script;
        const Status status = parseFrameScript(parseJsonText(c.script), "/no/such/dir", script);
        EXPECT_FALSE(status.ok()) << c.script;
        EXPECT_EQ(status.message().rfind(c.message, 0), 0u)
            << "got: " << status.message() << "\nwanted: " << c.message;
        EXPECT_EQ(status.kind(), c.kind) << c.script;
        const size_t colon = c.message.find(": ");
        EXPECT_EQ(status.where().key,
                  colon == std::string::npos ? "" : c.message.substr(0, colon))
            << c.script;
    }
}

// A script file's own failures come before its contents': the file that
// cannot be read, then the JSON that is not, then a mistake inside it,
// after the path and still keyed.
TEST(FrameScript, FileFailuresKeepTheirKindAndMistakesTheirKey) {
    FrameScript script;
    const Status missing = loadFrameScript("/no/such/script.json", script);
    EXPECT_EQ(missing.kind(), ErrorKind::Io);
    EXPECT_EQ(missing.message().rfind("/no/such/script.json: cannot open", 0), 0u)
        << missing.message();

    char dir[] = "/tmp/kestrel-script-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string notJson = std::string(dir) + "/broken.json";
    std::ofstream(notJson) << "{\"frames\": [";
    const Status broken = loadFrameScript(notJson, script);
    EXPECT_EQ(broken.kind(), ErrorKind::Format) << broken.message();
    EXPECT_EQ(broken.message().rfind(notJson + ": ", 0), 0u) << broken.message();

    const std::string wrong = std::string(dir) + "/wrong.json";
    std::ofstream(wrong) << R"({"frames": [{"layers": [{"index": 16, "dataspace": 0,
                                                        "max_luminance": 1}]}]})";
    const Status mistaken = loadFrameScript(wrong, script);
    EXPECT_EQ(mistaken.kind(), ErrorKind::Invalid);
    EXPECT_EQ(mistaken.message(),
              wrong + ": frames[0].layers[0].index: 16 is not a layer index (0 to 15)");
    EXPECT_EQ(mistaken.where().key, "frames[0].layers[0].index");
    std::remove(notJson.c_str());
    std::remove(wrong.c_str());
    rmdir(dir);
}

}  // namespace
}  // namespace kestrel::tool
