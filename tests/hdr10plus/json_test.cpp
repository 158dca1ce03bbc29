// SPDX-License-Identifier: Apache-2.0
// The JSON layout onto the frame model: structured errors that name frame,
// key and fault; the scene positions; and the writer against real files.
#include <gtest/gtest.h>

#include <fstream>

#include "hdr10plus/internal/json_value.h"
#include "hdr10plus/sei_payloads.h"
#include "support/json_text.h"

namespace kestrel::hdr10plus {
namespace {

using kestrel_test::parseJsonText;

const char* kEntry = R"({
  "BezierCurveData": {"Anchors": [143, 298, 447], "KneePointX": 164, "KneePointY": 240},
  "LuminanceParameters": {
    "AverageRGB": 263,
    "LuminanceDistributions": {"DistributionIndex": [1, 50, 99],
                               "DistributionValues": [0, 6080, 5843]},
    "MaxScl": [7768, 6589, 6912]},
  "NumberOfWindows": 1,
  "TargetedSystemDisplayMaximumLuminance": 400,
  "SceneFrameIndex": 3, "SceneId": 2, "SequenceFrameIndex": 41
})";

TEST(Json, EntryFillsWindowZeroAndTheScenePositions) {
    Result<Frame> r = readJsonFrame(parseJsonText(kEntry));
    ASSERT_TRUE(r.ok()) << r.status().message();
    // The values themselves are checked through the tool's JSON tests.
    const Frame f = *r;
    EXPECT_EQ(f.scene_id, 2u);
    EXPECT_EQ(f.scene_frame_index, 3u);
    EXPECT_EQ(f.sequence_frame_index, 41u);
    ASSERT_EQ(f.windows.size(), 1u);
    EXPECT_EQ(f.windows[0].distribution,
              (std::vector<DistributionPoint>{{1, 0}, {50, 6080}, {99, 5843}}));
    EXPECT_EQ(f.windows[0].tone_curve, (ToneCurve{164, 240, {143, 298, 447}}));
    EXPECT_FALSE(f.windows[0].geometry);

    // Optional parts left out: no scene positions, no curve, no distribution.
    Json::Value bare = parseJsonText(kEntry);
    for (const char* key : {"SceneId", "SceneFrameIndex", "SequenceFrameIndex", "BezierCurveData"})
        bare.removeMember(key);
    bare["LuminanceParameters"].removeMember("LuminanceDistributions");
    bare["LuminanceParameters"].removeMember("AverageRGB");
    r = readJsonFrame(bare);
    ASSERT_TRUE(r.ok()) << r.status().message();
    EXPECT_FALSE(r->scene_id);
    EXPECT_FALSE(r->windows[0].tone_curve);
    EXPECT_TRUE(r->windows[0].distribution.empty());
    EXPECT_EQ(r->windows[0].average_maxrgb, 0u);
}

TEST(Json, ErrorsNameTheFrameTheKeyAndWhatIsWrong) {
    std::string bad = kEntry;
    bad.replace(bad.find("\"SceneId\": 2"), 12, "\"SceneId\": \"two\"");
    const Json::Value document = parseJsonText(std::string("{\"SceneInfo\": [") + kEntry + ", 7, " +
                                               bad + ", " + kEntry + "]}");
    Result<JsonDocument> r = readJsonDocument(document);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r->frameCount, 4u);
    ASSERT_EQ(r->frames.size(), 2u);
    EXPECT_EQ(r->frames[0].index, 0u);
    EXPECT_EQ(r->frames[1].index, 3u);
    ASSERT_EQ(r->errors.size(), 2u);

    const Status& notObject = r->errors[0];
    EXPECT_EQ(notObject.where().frame, 1u);
    EXPECT_EQ(notObject.where().key, "");
    EXPECT_EQ(notObject.kind(), ErrorKind::Invalid);
    EXPECT_EQ(notObject.message(), "is not an object (7)");
    // Without a key the frame's name runs into the sentence; with one, a
    // colon parts them.
    EXPECT_EQ(entryMessage(notObject), "frame 1 is not an object (7)");

    const Status* scene = r->errorOf(2);
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(scene->where().key, "SceneId");
    EXPECT_EQ(scene->where().frame, 2u);
    EXPECT_EQ(scene->message(), "SceneId is not a number (\"two\")");
    EXPECT_EQ(entryMessage(*scene), "frame 2: SceneId is not a number (\"two\")");
    EXPECT_EQ(entryMessage(*scene, "layers[1].metadata.inline"),
              "layers[1].metadata.inline: SceneId is not a number (\"two\")");
    EXPECT_EQ(r->errorOf(0), nullptr);
    EXPECT_EQ(r->errorOf(4), nullptr);
}

TEST(Json, DocumentErrorsHaveNoFrame) {
    Result<JsonDocument> r = readJsonDocument(parseJsonText("{\"SceneInfoSummary\": {}}"));
    ASSERT_FALSE(r.ok());
    EXPECT_FALSE(r.status().where().frame);
    EXPECT_EQ(r.status().kind(), ErrorKind::Format);
    EXPECT_EQ(r.status().where().key, "SceneInfo");
    EXPECT_EQ(r.status().message(),
              "no \"SceneInfo\" array: not HDR10+ metadata in the expected layout");
    EXPECT_EQ(entryMessage(r.status()), r.status().message());

    const std::string text = "{\"SceneInfo\": [1,";
    r = readJsonDocument(text.data(), text.size());
    ASSERT_FALSE(r.ok());
    // jsoncpp's place and reason, on one line.
    EXPECT_EQ(r.status().message().rfind("not valid JSON: Line 1, Column ", 0), 0u)
        << r.status().message();
    EXPECT_EQ(r.status().message().find('\n'), std::string::npos) << r.status().message();
    EXPECT_NE(r.status().message().find(": Syntax error: "), std::string::npos)
        << r.status().message();
    r = readJsonDocument(nullptr, 0);
    EXPECT_FALSE(r.ok());
}

TEST(JsonDocument, ParseMessagesComeOnOneLine) {
    EXPECT_EQ(oneLineParseMessages("* Line 1, Column 3\n  Syntax error: value expected.\n"),
              "Line 1, Column 3: Syntax error: value expected.");
    EXPECT_EQ(oneLineParseMessages("* Line 1, Column 3\n  Missing ','.\nSee Line 1, Column 1 for "
                                   "detail.\n* Line 2, Column 9\n  Extra data.\n\n"),
              "Line 1, Column 3: Missing ','. See Line 1, Column 1 for detail.; Line 2, Column 9: "
              "Extra data.");
    EXPECT_EQ(oneLineParseMessages("exceeded stack limit"), "exceeded stack limit");
    EXPECT_EQ(oneLineParseMessages(""), "");
}

std::string realFile(const std::string& name) {
    std::ifstream in(test::realDataDir() + "/" + name);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(Json, WrittenDocumentsMatchTheRealOnesAndReadBackTheSame) {
    if (test::realDataDir().empty()) GTEST_SKIP() << "no HDR10+ samples in this build";
    for (const char* name : {"regular_metadata.json", "single-frame-metadata.json",
                             "verification-clips.json", "metadata-dhdr10-opt.json"}) {
        const std::string text = realFile(name);
        Result<JsonDocument> r = readJsonDocument(text.data(), text.size());
        ASSERT_TRUE(r.ok()) << name;
        ASSERT_TRUE(r->errors.empty()) << name << ": " << entryMessage(r->errors[0]);
        std::vector<Frame> frames;
        for (const JsonFrame& f : r->frames) frames.push_back(f.frame);

        const Json::Value written = writeJsonDocument(frames, {"kestrel", "0.1"});
        const Json::Value original = parseJsonText(text);
        // Every entry, profile and scene summary as the other tool wrote them.
        EXPECT_EQ(written["SceneInfo"], original["SceneInfo"]) << name;
        EXPECT_EQ(written["JSONInfo"], original["JSONInfo"]) << name;
        EXPECT_EQ(written["SceneInfoSummary"], original["SceneInfoSummary"]) << name;
        EXPECT_EQ(written["ToolInfo"]["Tool"], "kestrel");

        Result<JsonDocument> again = readJsonDocument(written);
        ASSERT_TRUE(again.ok());
        ASSERT_EQ(again->frames.size(), frames.size());
        for (size_t i = 0; i < frames.size(); i++) {
            EXPECT_EQ(again->frames[i].frame, frames[i]) << name << " frame " << i;
        }
    }
}

TEST(Json, FramesWithoutScenePositionsGetNoSceneSummary) {
    Frame f;
    f.windows.resize(1);
    const Json::Value written = writeJsonDocument({f, f}, {"t", "1"});
    EXPECT_FALSE(written.isMember("SceneInfoSummary"));
    EXPECT_FALSE(written["SceneInfo"][0].isMember("SceneId"));
    EXPECT_EQ(written["JSONInfo"]["HDR10plusProfile"], "A");
    // A frame without windows gives an entry the reader refuses.
    Result<Frame> r = readJsonFrame(writeJsonFrame(Frame{}));
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(entryMessage(r.status(), "frame 0"), "frame 0: LuminanceParameters is missing");
}

// Nesting deeper than the JSON parser follows is bad text like any other:
// an error the caller can show, not an exception through the library.
TEST(Json, NestingBeyondTheParsersDepthIsAnError) {
    const std::string text =
        "{\"SceneInfo\": " + std::string(5000, '[') + std::string(5000, ']') + "}";
    std::optional<Result<JsonDocument>> r;
    EXPECT_NO_THROW(r = readJsonDocument(text.data(), text.size()));
    ASSERT_TRUE(r && !r->ok());
    EXPECT_FALSE(r->status().where().frame);
    EXPECT_EQ(r->status().message().rfind("not valid JSON: ", 0), 0u) << r->status().message();
}

TEST(Json, DocumentAsTextIsIndentedAndEndsWithANewline) {
    Frame f;
    f.targeted_system_display_maximum_luminance = 400;
    f.scene_id = 7;
    f.windows.resize(1);
    f.windows[0].maxscl = {1, 2, 3};
    f.windows[0].distribution = {{50, 300}};
    EXPECT_EQ(writeJsonDocumentText({f}, {"host", "2"}), R"({
  "JSONInfo" : 
  {
    "HDR10plusProfile" : "A",
    "Version" : "1.0"
  },
  "SceneInfo" : 
  [
    {
      "LuminanceParameters" : 
      {
        "AverageRGB" : 0,
        "LuminanceDistributions" : 
        {
          "DistributionIndex" : 
          [
            50
          ],
          "DistributionValues" : 
          [
            300
          ]
        },
        "MaxScl" : 
        [
          1,
          2,
          3
        ]
      },
      "NumberOfWindows" : 1,
      "SceneId" : 7,
      "TargetedSystemDisplayMaximumLuminance" : 400
    }
  ],
  "SceneInfoSummary" : 
  {
    "SceneFirstFrameIndex" : 
    [
      0
    ],
    "SceneFrameNumbers" : 
    [
      1
    ]
  },
  "ToolInfo" : 
  {
    "Tool" : "host",
    "Version" : "2"
  }
}
)");
}

}  // namespace
}  // namespace kestrel::hdr10plus
