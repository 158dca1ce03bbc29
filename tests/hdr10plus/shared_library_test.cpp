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
    JsonDocumentResult document = readJsonDocument(text.data(), text.size());
    ASSERT_TRUE(document.ok());
    ASSERT_EQ(document.document.frames.size(), 1u);
    const JsonError* rejected = document.document.errorOf(1);
    ASSERT_NE(rejected, nullptr);
    EXPECT_EQ(rejected->message(), "frame 1 is not an object (3)");
    EXPECT_EQ(rejected->message("entry"), "entry is not an object (3)");

    const Frame& frame = document.document.frames[0].frame;
    EXPECT_FALSE(checkFrame(frame));
    WriteResult payload = writePayload(frame);
    ASSERT_TRUE(payload.ok());
    PayloadResult parsed = parsePayload(payload.bytes.data(), payload.bytes.size());
    ASSERT_TRUE(parsed.ok());
    EXPECT_FALSE(parsed.frame == frame);  // the payload has no scene positions
    parsed.frame.scene_id = 5;
    EXPECT_TRUE(parsed.frame == frame);

    PayloadResult cut = parsePayload(payload.bytes.data(), 3);
    ASSERT_FALSE(cut.ok());
    EXPECT_EQ(
        cut.error->message().rfind("byte 3 (bit 0): itu_t_t35_terminal_provider_oriented_code", 0),
        0u);

    EXPECT_EQ(toRecord(parsed.frame).knee_point_y, 240);
    const std::string written = writeJsonDocumentText({frame, frame}, {"host", "1"});
    JsonDocumentResult again = readJsonDocument(written.data(), written.size());
    ASSERT_TRUE(again.ok()) << written;
    ASSERT_EQ(again.document.frames.size(), 2u);
    EXPECT_EQ(again.document.frames[1].frame, frame);
}

}  // namespace
}  // namespace kestrel::hdr10plus
