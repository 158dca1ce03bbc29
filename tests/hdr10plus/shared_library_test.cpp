// SPDX-License-Identifier: Apache-2.0
// A host links libkestrel_hdr10plus.so: everything a host calls must be
// exported from it. Linked against the shared library, this fails to build
// when a function of the API is left hidden.
#include <gtest/gtest.h>

#include <string>

#include "hdr10plus/json.h"
#include "hdr10plus/payload.h"
#include "hdr10plus/record.h"

namespace kestrel::hdr10plus {
namespace {

TEST(SharedLibrary, HostPathFromJsonToPayloadToRecord) {
    const std::string text = R"({"SceneInfo": [{"TargetedSystemDisplayMaximumLuminance": 400,
        "LuminanceParameters": {"MaxScl": [7768, 6589, 6912], "AverageRGB": 263},
        "BezierCurveData": {"KneePointX": 164, "KneePointY": 240, "Anchors": [143, 298]},
        "SceneId": 5}, 3]})";
    Result<JsonDocument> document = readJsonDocument(text.data(), text.size());
    ASSERT_TRUE(document.ok());
    ASSERT_EQ(document->frames.size(), 1u);
    const Status* rejected = document->errorOf(1);
    ASSERT_NE(rejected, nullptr);
    EXPECT_EQ(rejected->message(), "is not an object (3)");
    EXPECT_EQ(rejected->where().frame, 1u);
    EXPECT_EQ(entryMessage(*rejected), "frame 1 is not an object (3)");
    EXPECT_EQ(entryMessage(*rejected, "entry"), "entry is not an object (3)");

    const Frame& frame = document->frames[0].frame;
    EXPECT_TRUE(checkFrame(frame).ok());
    Result<std::vector<uint8_t>> payload = writePayload(frame);
    ASSERT_TRUE(payload.ok());
    Result<Frame> parsed = parsePayload(payload->data(), payload->size());
    ASSERT_TRUE(parsed.ok());
    EXPECT_FALSE(*parsed == frame);  // the payload has no scene positions
    parsed->scene_id = 5;
    EXPECT_TRUE(*parsed == frame);

    Result<Frame> cut = parsePayload(payload->data(), 3);
    ASSERT_FALSE(cut.ok());
    EXPECT_EQ(cut.status().message().rfind(
                  "byte 3 (bit 0): itu_t_t35_terminal_provider_oriented_code", 0),
              0u);

    EXPECT_EQ(toRecord(*parsed).knee_point_y, 240);
    const std::string written = writeJsonDocumentText({frame, frame}, {"host", "1"});
    Result<JsonDocument> again = readJsonDocument(written.data(), written.size());
    ASSERT_TRUE(again.ok()) << written;
    ASSERT_EQ(again->frames.size(), 2u);
    EXPECT_EQ(again->frames[1].frame, frame);
}

}  // namespace
}  // namespace kestrel::hdr10plus
