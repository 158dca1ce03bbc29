// SPDX-License-Identifier: Apache-2.0
// A clip's rows are made once per distinct record and target, on several
// threads, and shared between the frames that carry the record. Every row
// must hold exactly what analysing its frame alone gives: checked on the
// real clips and on a film-length clip made of their frames. Named Threads
// so that the thread-sanitizer run takes them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "analysis/clip_analysis.h"
#include "clip/clip_reader.h"

namespace kestrel::analysis {
namespace {

// Equal bits: NaN equals NaN, 0 does not equal -0.
bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool sameNumbers(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++)
        if (!same(a[i], b[i])) return false;
    return true;
}

bool sameWarning(const FrameWarning& a, const FrameWarning& b) {
    return a.kind == b.kind && a.problem == b.problem && a.targetNits == b.targetNits &&
           a.floorNits == b.floorNits && same(a.error, b.error) && same(a.limit, b.limit) &&
           same(a.atInput, b.atInput) && a.relativeInput == b.relativeInput &&
           a.entry == b.entry && same(a.fromOutputNits, b.fromOutputNits) &&
           same(a.toOutputNits, b.toOutputNits) && same(a.fromInput, b.fromInput) &&
           same(a.toInput, b.toInput) && a.maxScl == b.maxScl &&
           a.topPercentile == b.topPercentile && a.targetedDisplayNits == b.targetedDisplayNits &&
           a.percentBefore == b.percentBefore && a.percentAfter == b.percentAfter &&
           same(a.peak.ratio, b.peak.ratio) && same(a.peak.inputNits, b.peak.inputNits) &&
           same(a.peak.outputNits, b.peak.outputNits) && same(a.maxRatio, b.maxRatio) &&
           same(a.sourcePeak, b.sourcePeak) && same(a.fadeFloor, b.fadeFloor) &&
           a.unknownPeak == b.unknownPeak && same(a.maxSclNits, b.maxSclNits);
}

// Everything but the time the table took, which no two calls share.
void expectSameRow(const FrameRow& shared, const FrameRow& alone, const std::string& where) {
    SCOPED_TRACE(where);
    EXPECT_EQ(shared.frame, alone.frame);
    EXPECT_EQ(shared.sceneId, alone.sceneId);
    EXPECT_TRUE(same(shared.averageMaxRgbNits, alone.averageMaxRgbNits));
    EXPECT_TRUE(sameNumbers(shared.levelOutputs, alone.levelOutputs));
    ASSERT_EQ(shared.curve.size(), alone.curve.size());
    for (size_t i = 0; i < shared.curve.size(); i++) {
        const CurveSample& a = shared.curve[i];
        const CurveSample& b = alone.curve[i];
        EXPECT_TRUE(same(a.inputNits, b.inputNits) && same(a.sourceNits, b.sourceNits) &&
                    same(a.adaptedNits, b.adaptedNits) && same(a.tableNits, b.tableNits) &&
                    same(a.adaptedGain, b.adaptedGain) && same(a.tableGain, b.tableGain))
            << "curve sample " << i;
    }
    ASSERT_EQ(shared.warnings.size(), alone.warnings.size());
    for (size_t i = 0; i < shared.warnings.size(); i++)
        EXPECT_TRUE(sameWarning(shared.warnings[i], alone.warnings[i])) << "warning " << i;

    const LutAnalysis& a = shared.lut();
    const LutAnalysis& b = alone.lut();
    EXPECT_EQ(std::memcmp(&a.source, &b.source, sizeof a.source), 0);
    EXPECT_EQ(std::memcmp(&a.adapted, &b.adapted, sizeof a.adapted), 0);
    EXPECT_EQ(a.targetNits, b.targetNits);
    EXPECT_TRUE(same(a.sourcePeak, b.sourcePeak));
    EXPECT_EQ(std::memcmp(a.lutX, b.lutX, sizeof a.lutX), 0);
    EXPECT_EQ(std::memcmp(a.lutY, b.lutY, sizeof a.lutY), 0);
    ASSERT_EQ(a.points.size(), b.points.size());
    for (size_t i = 0; i < a.points.size(); i++)
        EXPECT_TRUE(same(a.points[i].x, b.points[i].x) && same(a.points[i].gain, b.points[i].gain));
    EXPECT_EQ(a.firstDecrease, b.firstDecrease);
    EXPECT_TRUE(same(a.maxError, b.maxError));
    EXPECT_TRUE(same(a.maxErrorAt, b.maxErrorAt));
    ASSERT_EQ(a.diagnostics.size(), b.diagnostics.size());
    for (size_t i = 0; i < a.diagnostics.size(); i++) {
        EXPECT_EQ(a.diagnostics[i].kind, b.diagnostics[i].kind);
        EXPECT_EQ(a.diagnostics[i].priority, b.diagnostics[i].priority);
    }
}

ClipRequest wideRequest(std::vector<unsigned> targets) {
    ClipRequest request;
    request.targets = std::move(targets);
    request.levels = {0.5, 1, 10, 100, 1000, 4000};
    request.curveSamples = 6;
    request.threads = 3;  // more threads than this machine may have cores
    return request;
}

// Every row of analyseClip against analyseFrame of its frame; returns how
// many distinct tables the rows of the first target share.
size_t expectFrameByFrame(const clip::Clip& clip, const ClipRequest& request,
                          unsigned everyNth = 1) {
    const ClipAnalysis analysis = analyseClip(clip, request);
    EXPECT_EQ(analysis.frameCount, clip.frameCount());
    EXPECT_EQ(analysis.targets.size(), request.targets.size());
    std::set<const LutAnalysis*> tables;
    for (size_t t = 0; t < analysis.targets.size(); t++) {
        const TargetRows& rows = analysis.targets[t];
        EXPECT_EQ(rows.targetNits, request.targets[t]);
        EXPECT_EQ(rows.frames.size(), clip.framesWithMetadata());
        for (size_t k = 0; k < rows.frames.size(); k++) {
            const FrameRow& row = rows.frames[k];
            if (t == 0) tables.insert(&row.lut());
            if (k % everyNth != 0) continue;
            const FrameRow alone = analyseFrame(row.frame, *clip.frames[row.frame].metadata,
                                                rows.targetNits, request);
            expectSameRow(row, alone,
                          clip.name + " frame " + std::to_string(row.frame) + " at " +
                              std::to_string(rows.targetNits));
            if (::testing::Test::HasFailure()) return tables.size();
        }
    }
    return tables.size();
}

std::vector<std::string> realClips() {
    std::vector<std::string> paths{std::string(KESTREL_EXAMPLES) + "/metadata/regular_metadata.json",
                                   std::string(KESTREL_EXAMPLES) +
                                       "/metadata/single-frame-metadata.json"};
    const std::string shared = KESTREL_HDR10PLUS_DIR;
    if (!shared.empty()) {
        for (const char* name : {"metadata-dhdr10-opt.json", "verification-clips.json",
                                 "streams/dhdr10-opt.hevc", "streams/ToS-s05.h265"})
            paths.push_back(shared + "/" + name);
    }
    return paths;
}

TEST(SharedAnalysisThreads, RealClipsGiveEveryFrameItsOwnNumbers) {
    for (const std::string& path : realClips()) {
        Result<clip::Clip> clip = clip::openClip(path);
        ASSERT_TRUE(clip.ok()) << clip.status().message();
        expectFrameByFrame(*clip, wideRequest({150, 600, 1000, 4000}));
    }
}

// A film: scenes of 1 to 300 frames, each one real frame repeated (as
// authored metadata is), drawn with a fixed seed from the real clips'
// frames, with scene numbers as a grading tool writes them.
clip::Clip film(unsigned frameCount, size_t& sources) {
    std::vector<hdr10plus::Frame> pool;
    for (const std::string& path : realClips()) {
        Result<clip::Clip> clip = clip::openClip(path);
        if (!clip.ok()) continue;
        for (const clip::ClipFrame& f : clip->frames)
            if (f.metadata) pool.push_back(*f.metadata);
    }
    sources = pool.size();
    clip::Clip c;
    c.name = "film";
    uint64_t state = 20261207;
    auto next = [&](uint64_t n) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return (state >> 33) % n;
    };
    for (uint32_t scene = 0; c.frames.size() < frameCount; scene++) {
        const hdr10plus::Frame& source = pool[next(pool.size())];
        const uint64_t length = 1 + next(300);
        for (uint64_t k = 0; k < length && c.frames.size() < frameCount; k++) {
            clip::ClipFrame f;
            f.metadata = source;
            f.metadata->scene_id = scene;
            f.metadata->scene_frame_index = static_cast<uint32_t>(k);
            f.metadata->sequence_frame_index = static_cast<uint32_t>(c.frames.size());
            f.provenance = clip::Provenance::Own;
            c.frames.push_back(std::move(f));
        }
    }
    clip::deriveScenes(c);
    return c;
}

TEST(SharedAnalysisThreads, AFilmGivesEveryFrameItsOwnNumbersFromFewTables) {
    size_t sources = 0;
    const clip::Clip c = film(20000, sources);
    ASSERT_EQ(c.frameCount(), 20000u);
    ClipRequest request = wideRequest({600, 1000});
    request.curveSamples = 0;
    // Every 7th frame against its own analysis: all scenes, every record.
    const size_t tables = expectFrameByFrame(c, request, 7);
    // Work once per distinct record: never more tables than frames drawn from.
    EXPECT_LE(tables, sources);
    EXPECT_GT(tables, 1u);
}

}  // namespace
}  // namespace kestrel::analysis
