// SPDX-License-Identifier: Apache-2.0
// The clip model: every frame in its place with where its metadata came
// from and what is wrong with a frame that has none, and the scenes found by
// the one rule every command shares.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "clip/clip_reader.h"
#include "support/clip_text.h"
#include "support/records.h"

namespace kestrel::clip {
namespace {

// The test frame with `from` replaced by `to` (which must occur once).
std::string entry(const std::string& from = "", const std::string& to = "") {
    std::string text = kestrel_test::kCurveFrameJson;
    if (from.empty()) return text;
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

std::string sceneId(unsigned id, unsigned sequence) {
    return entry("\"SceneFrameIndex\": 0, \"SceneId\": 0, \"SequenceFrameIndex\": 0",
                 "\"SceneId\": " + std::to_string(id) +
                     ", \"SequenceFrameIndex\": " + std::to_string(sequence));
}

// The positions of a frame alone, without a scene number.
std::string unnumbered(unsigned sequence) {
    return entry("\"SceneFrameIndex\": 0, \"SceneId\": 0, \"SequenceFrameIndex\": 0",
                 "\"SequenceFrameIndex\": " + std::to_string(sequence));
}

const std::string kBadKnee = entry("\"KneePointX\": 164", "\"KneePointX\": 9999");

Clip openJson(const std::string& name, const std::vector<std::string>& entries) {
    std::string text = "{\"SceneInfo\": [";
    for (size_t i = 0; i < entries.size(); ++i) text += (i ? "," : "") + entries[i];
    return kestrel_test::clipOfJsonText(text + "]}", name + ".json");
}

std::vector<unsigned> lengths(const Clip& clip) {
    std::vector<unsigned> n;
    for (const Scene& s : clip.scenes) n.push_back(s.frameCount);
    return n;
}

TEST(ClipModel, JsonEntriesKeepTheirPlacesAndABadOneItsProblem) {
    const Clip clip = openJson("rejected", {sceneId(0, 0), kBadKnee, sceneId(0, 2)});
    EXPECT_EQ(clip.format, InputFormat::Json);
    EXPECT_EQ(clip.name, "rejected.json");
    ASSERT_EQ(clip.frameCount(), 3u);
    EXPECT_EQ(clip.framesWithMetadata(), 2u);
    EXPECT_TRUE(clip.frames[0].metadata && clip.frames[2].metadata);
    EXPECT_EQ(clip.frames[2].metadata->sequence_frame_index, 2u);
    for (const ClipFrame& f : clip.frames) EXPECT_EQ(f.provenance, Provenance::Own);

    const ClipFrame& bad = clip.frames[1];
    EXPECT_FALSE(bad.metadata.has_value());
    ASSERT_TRUE(bad.problem.has_value());
    EXPECT_EQ(bad.problem->kind, ProblemKind::InvalidEntry);
    EXPECT_EQ(bad.problem->key, "BezierCurveData.KneePointX");
    EXPECT_EQ(clip.problemMessage(1).rfind("frame 1: BezierCurveData.KneePointX is 9999", 0), 0u)
        << clip.problemMessage(1);
    EXPECT_EQ(clip.problemMessage(0), "");
    EXPECT_TRUE(clip.whole().ok());
}

TEST(ClipModel, NumberedScenesAreTakenAtTheFilesWordAndAGapEndsOne) {
    // Identical metadata in scenes 0, 0, 1: the numbers split, not the metadata.
    Clip clip = openJson("numbered", {sceneId(0, 0), sceneId(0, 1), sceneId(1, 2)});
    EXPECT_EQ(clip.sceneRule, SceneRule::SceneFields);
    EXPECT_EQ(lengths(clip), (std::vector<unsigned>{2, 1}));
    EXPECT_EQ(clip.sceneStarts(), (std::vector<unsigned>{0, 2}));

    // A frame without metadata between two of scene 0 is a scene of its own.
    clip = openJson("gap", {sceneId(0, 0), kBadKnee, kBadKnee, sceneId(0, 3)});
    EXPECT_EQ(clip.sceneRule, SceneRule::SceneFields);
    EXPECT_EQ(clip.sceneStarts(), (std::vector<unsigned>{0, 1, 3}));
    EXPECT_EQ(clip.sceneOf(0), 0u);
    EXPECT_EQ(clip.sceneOf(2), 1u);
    EXPECT_EQ(clip.sceneOf(3), 2u);
}

TEST(ClipModel, WithoutNumbersAChangeOfMetadataStartsAScenePositionsDoNot) {
    // One frame without a SceneId: the numbers of the others are not used.
    const std::string brighter = entry("\"AverageRGB\": 263", "\"AverageRGB\": 264");
    const Clip clip = openJson("runs", {unnumbered(0), unnumbered(1), sceneId(7, 2),
                                        entry("\"SceneFrameIndex\": 0, ", "") /* its own */,
                                        brighter, brighter});
    EXPECT_EQ(clip.sceneRule, SceneRule::MetadataRuns);
    // Frames 0 to 3 carry the same message under different positions; the
    // average of frame 4 differs.
    EXPECT_EQ(lengths(clip), (std::vector<unsigned>{4, 2}));
}

TEST(ClipModel, SameMessageComparesEveryWindowAndNoPosition) {
    hdr10plus::Frame a;
    a.windows.resize(2);
    a.windows[1].geometry = hdr10plus::WindowGeometry{};
    hdr10plus::Frame b = a;
    b.scene_id = 4;
    b.sequence_frame_index = 9;
    EXPECT_TRUE(sameMessage(a, b));
    b.windows[1].maxscl[2] = 1;  // what the plug-in's record never sees
    EXPECT_FALSE(sameMessage(a, b));
    b = a;
    b.mastering_display_actual_peak_luminance = hdr10plus::PeakLuminanceMatrix{2, 2, {0, 0, 0, 0}};
    EXPECT_FALSE(sameMessage(a, b));
}

TEST(ClipModel, StreamFramesSayWhetherTheirMessageIsTheirOwn) {
    Clip clip;
    clip.frames.resize(5);
    hdr10plus::Frame m;
    m.windows.resize(1);
    clip.frames[0].problem = FrameProblem{ProblemKind::NoMetadata, "", "carries none"};
    clip.frames[1].metadata = m;
    clip.frames[1].provenance = Provenance::Own;
    clip.frames[2].metadata = m;
    clip.frames[2].provenance = Provenance::Repeated;
    m.windows[0].average_maxrgb = 5;
    clip.frames[3].metadata = m;
    clip.frames[3].provenance = Provenance::Own;
    clip.frames[4].problem = FrameProblem{ProblemKind::InvalidPayload, "", "is broken"};
    deriveScenes(clip);
    // A repeated message is the same metadata: frames 1 and 2 are one scene.
    EXPECT_EQ(clip.sceneRule, SceneRule::MetadataRuns);
    EXPECT_EQ(clip.sceneStarts(), (std::vector<unsigned>{0, 1, 3, 4}));
    EXPECT_EQ(clip.problemMessage(0), "frame 0 carries none");
    EXPECT_EQ(clip.problemMessage(4), "frame 4 is broken");
}

}  // namespace
}  // namespace kestrel::clip
