// An HDR10+ document of the clip library: every entry projected onto the
// record, rejected entries kept apart, the example file as written there.
#include "clip/hdr10plus_document.h"

#include <gtest/gtest.h>

#include <cstring>

#include "hdr10plus/record.h"
#include "support/json_text.h"
#include "support/records.h"

namespace kestrel::tool {
namespace {

using kestrel_test::parseJsonText;

const std::string kFullFrame = kestrel_test::kCurveFrameJson;

// kFullFrame with `from` replaced by `to` (which must occur once).
Json::Value fullFrameWith(const std::string& from, const std::string& to) {
    std::string text = kFullFrame;
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return parseJsonText(text);
}

TEST(Hdr10PlusJson, RejectedFrameLeavesTheOtherFramesOfTheDocument) {
    std::string bad = fullFrameWith("\"KneePointX\": 164", "\"KneePointX\": 9999").toStyledString();
    Json::Value document = parseJsonText(std::string("{\"JSONInfo\": {}, \"SceneInfo\": [") +
                                         kFullFrame + "," + bad + "," + kFullFrame + "]}");
    Result<Hdr10PlusDocument> read = parseHdr10PlusDocument(document);
    ASSERT_TRUE(read.ok()) << read.status().message();
    const Hdr10PlusDocument& result = *read;
    EXPECT_EQ(result.frameCount, 3u);
    ASSERT_EQ(result.frames.size(), 2u);
    EXPECT_EQ(result.frames[0].index, 0u);
    EXPECT_EQ(result.frames[1].index, 2u);
    ASSERT_EQ(result.errors.size(), 1u);
    EXPECT_EQ(result.errors[0].frame, 1u);
    EXPECT_EQ(result.errors[0].message().rfind("frame 1: BezierCurveData.KneePointX is 9999", 0),
              0u)
        << result.errors[0].message();
}

TEST(Hdr10PlusJson, DocumentWithoutSceneInfoIsRefused) {
    Result<Hdr10PlusDocument> noArray =
        parseHdr10PlusDocument(parseJsonText("{\"SceneInfoSummary\": {}}"));
    ASSERT_FALSE(noArray.ok());
    EXPECT_EQ(noArray.status().kind(), ErrorKind::Format);
    EXPECT_EQ(noArray.status().message(),
              "no \"SceneInfo\" array: not HDR10+ metadata in the expected layout");
    EXPECT_FALSE(parseHdr10PlusDocument(parseJsonText("[1, 2]")).ok());
    Result<Hdr10PlusDocument> notArray =
        parseHdr10PlusDocument(parseJsonText("{\"SceneInfo\": {\"a\": 1}}"));
    ASSERT_FALSE(notArray.ok());
    EXPECT_EQ(notArray.status().message(), "\"SceneInfo\" is not an array ({\"a\":1})");
    EXPECT_EQ(notArray.status().where().key, "SceneInfo");
}

TEST(Hdr10PlusJson, ExampleFileReadsAsWrittenThere) {
    Result<Hdr10PlusDocument> read =
        loadHdr10PlusFile(std::string(KESTREL_EXAMPLES) + "/metadata/single-frame-metadata.json");
    ASSERT_TRUE(read.ok()) << read.status().message();
    const Hdr10PlusDocument& result = *read;
    ASSERT_EQ(result.frames.size(), 1u);
    const _VelmorHdrDynamicInfo& r = result.frames[0].record;
    EXPECT_EQ(r.targeted_system_display_maximum_luminance, 400u);
    EXPECT_EQ(r.num_distribution_maxrgb_percentiles, 9);
    EXPECT_EQ(r.distribution_maxrgb_percentiles[1], 6080u);  // the 5 % entry, above the 10 %
    EXPECT_EQ(r.distribution_maxrgb_percentiles[8], 5843u);
    EXPECT_EQ(r.num_bezier_curve_anchors, 9);
    EXPECT_EQ(r.bezier_curve_anchors[8], 938);
}

}  // namespace
}  // namespace kestrel::tool
