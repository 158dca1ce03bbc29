// SPDX-License-Identifier: Apache-2.0
// The reader of plain entries: it must read what a writer of the layout puts
// in an entry, up to each limit, into the frame the tree reader makes, and
// leave to the tree reader everything it might judge differently.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hdr10plus/internal/json_plain_entry.h"
#include "hdr10plus/internal/json_value.h"
#include "support/json_text.h"

namespace kestrel::hdr10plus {
namespace {

using kestrel_test::parseJsonText;

// Every member the layout reads, each with its own value.
const std::string kFull = R"({"NumberOfWindows": 1, "TargetedSystemDisplayMaximumLuminance": 400,
  "SceneId": 2, "SceneFrameIndex": 3, "SequenceFrameIndex": 41,
  "LuminanceParameters": {"AverageRGB": 263, "MaxScl": [7768, 6589, 6912],
    "LuminanceDistributions": {
      "DistributionIndex": [1, 50, 99], "DistributionValues": [7, 6080, 5843]}},
  "BezierCurveData": {"KneePointX": 164, "KneePointY": 240, "Anchors": [143, 298, 447]}})";

// kFull with the first `from` replaced by `to`.
std::string with(const std::string& from, const std::string& to) {
    std::string text = kFull;
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

std::string numbers(unsigned count, unsigned first, unsigned step) {
    std::string text;
    for (unsigned i = 0; i < count; i++)
        text += (i > 0 ? ", " : "") + std::to_string(first + i * step);
    return text;
}

TEST(PlainEntry, ReadsEveryMemberIntoItsPlace) {
    PlainEntryReader reader;
    const std::optional<Frame> f = reader.read(kFull.data(), kFull.size());
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->targeted_system_display_maximum_luminance, 400u);
    EXPECT_EQ(f->scene_id, 2u);
    EXPECT_EQ(f->scene_frame_index, 3u);
    EXPECT_EQ(f->sequence_frame_index, 41u);
    ASSERT_EQ(f->windows.size(), 1u);
    const Window& w = f->windows[0];
    EXPECT_EQ(w.maxscl, (std::array<uint32_t, 3>{7768, 6589, 6912}));
    EXPECT_EQ(w.average_maxrgb, 263u);
    EXPECT_EQ(w.distribution,
              (std::vector<DistributionPoint>{{1, 7}, {50, 6080}, {99, 5843}}));
    EXPECT_EQ(w.tone_curve, (ToneCurve{164, 240, {143, 298, 447}}));

    // Optional members left out, the reader reused.
    const std::string bare = R"({"TargetedSystemDisplayMaximumLuminance": 0,
      "LuminanceParameters": {"MaxScl": [0, 0, 1]}})";
    const std::optional<Frame> b = reader.read(bare.data(), bare.size());
    ASSERT_TRUE(b.has_value());
    Frame expected;
    expected.windows.resize(1);
    expected.windows[0].maxscl = {0, 0, 1};
    EXPECT_EQ(*b, expected);
}

// Each text: whether the plain reader takes it. Where it does, its frame
// must be the tree reader's; where it does not, the tree reader decides.
TEST(PlainEntry, TakesPlainEntriesUpToEachLimitAndLeavesTheRest) {
    struct Case {
        std::string text;
        bool plain;
    };
    const std::vector<Case> cases{
        // Limits, at the value and one beyond.
        {with("\"KneePointX\": 164", "\"KneePointX\": 4095"), true},
        {with("\"KneePointX\": 164", "\"KneePointX\": 4096"), false},
        {with("\"KneePointY\": 240", "\"KneePointY\": 4095"), true},
        {with("\"KneePointY\": 240", "\"KneePointY\": 4096"), false},
        {with("[143, 298, 447]", "[0, 1023]"), true},
        {with("[143, 298, 447]", "[0, 1024]"), false},
        {with("[143, 298, 447]", "[" + numbers(15, 0, 1) + "]"), true},
        {with("[143, 298, 447]", "[" + numbers(16, 0, 1) + "]"), false},
        {with("[143, 298, 447]", "[]"), true},
        {with("[1, 50, 99]", "[1, 50, 100]"), true},
        {with("[1, 50, 99]", "[1, 50, 101]"), false},
        {with("[1, 50, 99]", "[1, 50, 50]"), true},  // equal: not falling
        {with("[1, 50, 99]", "[1, 50, 49]"), false},
        {with("[1, 50, 99]", "[1, 50]"), false},  // fewer than the values
        {with("[1, 50, 99], \"DistributionValues\": [7, 6080, 5843]",
              "[" + numbers(15, 1, 6) + "], \"DistributionValues\": [" + numbers(15, 10, 3) + "]"),
         true},
        {with("[1, 50, 99], \"DistributionValues\": [7, 6080, 5843]",
              "[" + numbers(16, 1, 6) + "], \"DistributionValues\": [" + numbers(16, 10, 3) + "]"),
         false},
        {with("[7768, 6589, 6912]", "[4294967295, 0, 1]"), true},
        {with("[7768, 6589, 6912]", "[4294967296, 0, 1]"), false},
        {with("[7768, 6589, 6912]", "[1, 2]"), false},
        {with("[7768, 6589, 6912]", "[1, 2, 3, 4]"), false},
        {with("\"SceneId\": 2", "\"SceneId\": 4294967295"), true},
        {with("\"SceneId\": 2", "\"SceneId\": 4294967296"), false},
        {with(": 400", ": 4294967295"), true},  // luminances only have to fit 32 bits
        // Numbers the tree reader may take but judges itself.
        {with(": 400", ": 400.0"), false},
        {with(": 400", ": 4e2"), false},
        {with("\"SceneId\": 2", "\"SceneId\": -0"), false},
        {with("\"SceneId\": 2", "\"SceneId\": -2"), false},
        {with("\"NumberOfWindows\": 1", "\"NumberOfWindows\": 1.5"), false},
        // Given twice, at each level: the tree reader keeps the last.
        {with("\"SceneId\": 2", "\"SceneId\": 2, \"SceneId\": 5"), false},
        {with("\"AverageRGB\": 263", "\"AverageRGB\": 1, \"AverageRGB\": 263"), false},
        {with("\"KneePointX\": 164", "\"KneePointX\": 1, \"KneePointX\": 164"), false},
        {with("\"DistributionIndex\"", "\"DistributionIndex\": [], \"DistributionIndex\""),
         false},
        {with("\"NumberOfWindows\": 1", "\"NumberOfWindows\": 1, \"NumberOfWindows\": 2"), true},
        // Missing, of the wrong type, in the wrong place.
        {with("\"TargetedSystemDisplayMaximumLuminance\"", "\"Targeted\""), false},
        {with("\"MaxScl\"", "\"MaxSCL\""), false},
        {with("\"KneePointY\"", "\"KneePoint\""), false},
        {with("\"Anchors\"", "\"Anchor\""), false},
        {with("\"DistributionValues\"", "\"DistributionValue\""), false},
        {with("\"SceneId\": 2", "\"SceneId\": \"2\""), false},
        {with("\"SceneId\": 2", "\"SceneId\": null"), false},
        {with("\"SceneId\": 2", "\"SceneId\": [2]"), false},
        {with("\"AverageRGB\": 263", "\"AverageRGB\": true"), false},
        {with("[7768, 6589, 6912]", "{\"r\": 1}"), false},
        {with("[7768, 6589, 6912]", "[[1], 2, 3]"), false},
        {with("[7768, 6589, 6912]", "[{}, 2, 3]"), false},
        {with("\"BezierCurveData\": {", "\"BezierCurveData\": null, \"X\": {"), false},
        {with("\"LuminanceDistributions\": {", "\"LuminanceDistributions\": 5, \"X\": {"), false},
        {R"({"TargetedSystemDisplayMaximumLuminance": 1, "MaxScl": [1, 2, 3],
            "LuminanceParameters": {"AverageRGB": 1}})",
         false},
        // Members the layout does not read may hold anything but numbers
        // with a fraction or an exponent, down to a depth.
        {with("\"NumberOfWindows\": 1",
              R"("ToolData": {"s": "x\"}\u0041", "n": null, "b": false, "i": -7,
                  "big": 18446744073709551615, "a": [[{"SceneId": "no"}]]})"),
         true},
        {with("\"NumberOfWindows\": 1", "\"X\": [0.5]"), false},
        {with("\"NumberOfWindows\": 1",
              "\"X\": " + std::string(63, '[') + std::string(63, ']')),
         true},
        {with("\"NumberOfWindows\": 1",
              "\"X\": " + std::string(64, '[') + std::string(64, ']')),
         true},
        {with("\"NumberOfWindows\": 1",
              "\"X\": " + std::string(65, '[') + std::string(65, ']')),
         false},
        // What the tree reader's parser lets pass.
        {with("\"SceneId\": 2", "/* scene */ \"SceneId\": 2 // two\n"), true},
        {with("[143, 298, 447]", "[143, 298, 447,]"), true},
        {with("\"SceneId\": 2", "\"Scene\\u0049d\": 2"), true},  // the same name, escaped
        {with("\"SceneId\": 2", "\"SceneId\\u0000\": 2"), true},  // another name
    };
    PlainEntryReader reader;
    for (const Case& c : cases) {
        const std::optional<Frame> plain = reader.read(c.text.data(), c.text.size());
        EXPECT_EQ(plain.has_value(), c.plain) << c.text;
        if (!plain) continue;
        const Result<Frame> tree = readJsonFrame(parseJsonText(c.text));
        ASSERT_TRUE(tree.ok()) << c.text << ": " << tree.status().message();
        EXPECT_EQ(*plain, *tree) << c.text;
    }
}

TEST(PlainEntry, TheEscapedNameAndTheOtherNameReadAsTheTreeReaderReadsThem) {
    PlainEntryReader reader;
    const std::string escaped = with("\"SceneId\": 2", "\"Scene\\u0049d\": 9");
    EXPECT_EQ(reader.read(escaped.data(), escaped.size())->scene_id, 9u);
    const std::string other = with("\"SceneId\": 2", "\"SceneId\\u0000\": 9");
    EXPECT_FALSE(reader.read(other.data(), other.size())->scene_id.has_value());
}

}  // namespace
}  // namespace kestrel::hdr10plus
