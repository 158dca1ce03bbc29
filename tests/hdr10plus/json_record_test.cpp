// SPDX-License-Identifier: Apache-2.0
// One entry of HDR10+ metadata JSON read and projected onto the 312-byte
// record: every field, the limits of each, and errors that name the key.
#include <gtest/gtest.h>

#include <cstring>

#include "hdr10plus/internal/json_value.h"
#include "hdr10plus/record.h"
#include "support/json_text.h"
#include "support/records.h"

namespace kestrel {
namespace {

using kestrel_test::parseJsonText;

const char* const kFullFrame = kestrel_test::kCurveFrameJson;

// One entry read and projected as its readers do, its error named as
// they name it.
bool parseHdr10PlusFrame(const Json::Value& frame, const std::string& frameName,
                         _VelmorHdrDynamicInfo& record, std::string& error) {
    Result<hdr10plus::Frame> r = hdr10plus::readJsonFrame(frame);
    if (!r.ok()) {
        error = hdr10plus::entryMessage(r.status(), frameName);
        return false;
    }
    record = hdr10plus::toRecord(*r);
    return true;
}

// kFullFrame with `from` replaced by `to` (which must occur once).
Json::Value fullFrameWith(const std::string& from, const std::string& to) {
    std::string text = kFullFrame;
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return parseJsonText(text);
}

TEST(JsonRecord, FrameFillsEveryFieldOfTheRecordAndNothingElse) {
    _VelmorHdrDynamicInfo r;
    std::memset(&r, 0xAB, sizeof r);  // so that stale bytes would show
    std::string error;
    ASSERT_TRUE(parseHdr10PlusFrame(parseJsonText(kFullFrame), "frame 0", r, error)) << error;
    EXPECT_EQ(r.targeted_system_display_maximum_luminance, 400u);
    EXPECT_EQ(r.maxscl[0], 7768u);
    EXPECT_EQ(r.maxscl[1], 6589u);
    EXPECT_EQ(r.maxscl[2], 6912u);
    EXPECT_EQ(r.num_distribution_maxrgb_percentiles, 3);
    EXPECT_EQ(r.distribution_maxrgb_percentages[0], 1);
    EXPECT_EQ(r.distribution_maxrgb_percentages[1], 50);
    EXPECT_EQ(r.distribution_maxrgb_percentages[2], 99);
    EXPECT_EQ(r.distribution_maxrgb_percentiles[0], 0u);
    EXPECT_EQ(r.distribution_maxrgb_percentiles[1], 6080u);
    EXPECT_EQ(r.distribution_maxrgb_percentiles[2], 5843u);
    EXPECT_EQ(r.tone_mapping_flag, 1);
    EXPECT_EQ(r.knee_point_x, 164);
    EXPECT_EQ(r.knee_point_y, 240);
    EXPECT_EQ(r.num_bezier_curve_anchors, 3);
    EXPECT_EQ(r.bezier_curve_anchors[0], 143);
    EXPECT_EQ(r.bezier_curve_anchors[1], 298);
    EXPECT_EQ(r.bezier_curve_anchors[2], 447);
    for (int i = 3; i < 15; i++) EXPECT_EQ(r.bezier_curve_anchors[i], 0) << i;
    for (int i = 3; i < 15; i++) EXPECT_EQ(r.distribution_maxrgb_percentiles[i], 0u) << i;
    for (uint8_t b : r.reserved0) ASSERT_EQ(b, 0);
    for (uint8_t b : r.reserved1) ASSERT_EQ(b, 0);
}

TEST(JsonRecord, FrameWithoutBezierCurveDataCarriesNoToneCurve) {
    Json::Value frame = parseJsonText(kFullFrame);
    frame.removeMember("BezierCurveData");
    _VelmorHdrDynamicInfo r;
    std::string error;
    ASSERT_TRUE(parseHdr10PlusFrame(frame, "frame 0", r, error)) << error;
    EXPECT_EQ(r.tone_mapping_flag, 0);
    EXPECT_EQ(r.knee_point_x, 0);
    EXPECT_EQ(r.knee_point_y, 0);
    EXPECT_EQ(r.num_bezier_curve_anchors, 0);
    EXPECT_EQ(r.maxscl[0], 7768u);
}

TEST(JsonRecord, LargestAllowedValuesAreAccepted) {
    std::string fifteen =
        "[1023, 1023, 1023, 1023, 1023, 1023, 1023, 1023, 1023, 1023, 1023, "
        "1023, 1023, 1023, 1023]";
    std::string percentages = "[1, 5, 10, 20, 25, 30, 40, 50, 60, 70, 75, 80, 90, 99, 100]";
    std::string values = "[0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 4294967295]";
    std::string text = std::string(kFullFrame);
    text.replace(text.find("[143, 298, 447]"), 15, fifteen);
    text.replace(text.find("\"KneePointX\": 164"), 17, "\"KneePointX\": 4095");
    text.replace(text.find("[1, 50, 99]"), 11, percentages);
    text.replace(text.find("[0, 6080, 5843]"), 15, values);
    _VelmorHdrDynamicInfo r;
    std::string error;
    ASSERT_TRUE(parseHdr10PlusFrame(parseJsonText(text), "frame 0", r, error)) << error;
    EXPECT_EQ(r.num_bezier_curve_anchors, 15);
    EXPECT_EQ(r.bezier_curve_anchors[14], 1023);
    EXPECT_EQ(r.knee_point_x, 4095);
    EXPECT_EQ(r.num_distribution_maxrgb_percentiles, 15);
    EXPECT_EQ(r.distribution_maxrgb_percentages[14], 100);
    EXPECT_EQ(r.distribution_maxrgb_percentiles[14], 4294967295u);
}

TEST(JsonRecord, ValuesOutOfRangeRejectTheFrameNamingFrameAndKey) {
    const struct {
        const char* from;
        const char* to;
        const char* message;
    } cases[] = {
        {"[143, 298, 447]", "[1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16]",
         "frame 7: BezierCurveData.Anchors has 16 entries, more than 15"},
        {"[143, 298, 447]", "[143, 1024, 447]",
         "frame 7: BezierCurveData.Anchors[1] is 1024, above the largest allowed value 1023"},
        {"\"KneePointX\": 164", "\"KneePointX\": 4096",
         "frame 7: BezierCurveData.KneePointX is 4096, above the largest allowed value 4095"},
        {"\"KneePointY\": 240", "\"KneePointY\": -1",
         "frame 7: BezierCurveData.KneePointY is negative (-1)"},
        {"[7768, 6589, 6912]", "[7768, -6589, 6912]",
         "frame 7: LuminanceParameters.MaxScl[1] is negative (-6589)"},
        {"[7768, 6589, 6912]", "[7768, 6589]",
         "frame 7: LuminanceParameters.MaxScl has 2 entries, expected 3"},
        {"\"TargetedSystemDisplayMaximumLuminance\": 400",
         "\"TargetedSystemDisplayMaximumLuminance\": 400.5",
         "frame 7: TargetedSystemDisplayMaximumLuminance is not a whole number (400.5)"},
        {"\"TargetedSystemDisplayMaximumLuminance\": 400",
         "\"TargetedSystemDisplayMaximumLuminance\": \"400\"",
         "frame 7: TargetedSystemDisplayMaximumLuminance is not a number (\"400\")"},
        {"\"TargetedSystemDisplayMaximumLuminance\": 400", "\"Targeted\": 400",
         "frame 7: TargetedSystemDisplayMaximumLuminance is missing"},
        {"\"AverageRGB\": 263", "\"AverageRGB\": -2",
         "frame 7: LuminanceParameters.AverageRGB is negative (-2)"},
        {"[1, 50, 99]", "[1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16]",
         "frame 7: LuminanceParameters.LuminanceDistributions.DistributionIndex has 16 entries, "
         "more than 15"},
        {"[0, 6080, 5843]", "[0, 6080]",
         "frame 7: LuminanceParameters.LuminanceDistributions has 3 DistributionIndex entries but "
         "2 DistributionValues"},
        {"[1, 50, 99]", "[1, 50, 101]",
         "frame 7: LuminanceParameters.LuminanceDistributions.DistributionIndex[2] is 101, above "
         "the largest allowed value 100"},
        {"[1, 50, 99]", "[1, 99, 50]",
         "frame 7: LuminanceParameters.LuminanceDistributions.DistributionIndex[2] is 50, below "
         "the entry before it (99)"},
        {"\"BezierCurveData\": {", "\"BezierCurveData\": 0, \"Unused\": {",
         "frame 7: BezierCurveData is not an object (0)"},
    };
    for (const auto& c : cases) {
        _VelmorHdrDynamicInfo r;
        std::string error;
        EXPECT_FALSE(parseHdr10PlusFrame(fullFrameWith(c.from, c.to), "frame 7", r, error)) << c.to;
        EXPECT_EQ(error, c.message);
    }
}

}  // namespace
}  // namespace kestrel
