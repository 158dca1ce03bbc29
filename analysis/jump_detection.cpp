// SPDX-License-Identifier: Apache-2.0
#include "analysis/jump_detection.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "analysis/pq.h"

namespace kestrel::analysis {

namespace {

// What the plug-in is given for a frame, and what the page shows of it.
bool sameMetadata(const FrameRow& a, const FrameRow& b) {
    // Records are filled whole, reserved bytes zero, so bytes compare values.
    return std::memcmp(&a.lut().source, &b.lut().source, sizeof a.lut().source) == 0 &&
           a.averageMaxRgbNits == b.averageMaxRgbNits;
}

// Rows [first, end) of each run of identical metadata on adjacent frames.
struct Run {
    size_t first, end;
};

std::vector<Run> metadataRuns(const std::vector<FrameRow>& rows) {
    std::vector<Run> runs;
    for (size_t i = 0; i < rows.size(); i++) {
        const bool continues = i > 0 && rows[i].frame == rows[i - 1].frame + 1 &&
                               sameMetadata(rows[i], rows[i - 1]);
        if (continues) {
            runs.back().end = i + 1;
        } else {
            runs.push_back({i, i + 1});
        }
    }
    return runs;
}

// Each scene is one run: the scenes start exactly where the runs do.
bool scenesAreRuns(const std::vector<FrameRow>& rows, const std::vector<int>& sceneOf) {
    for (size_t i = 1; i < rows.size() && i < sceneOf.size(); i++) {
        const bool runStarts =
            rows[i].frame != rows[i - 1].frame + 1 || !sameMetadata(rows[i], rows[i - 1]);
        if (runStarts != (sceneOf[i] != sceneOf[i - 1])) return false;
    }
    return true;
}

}  // namespace

SceneStarts clipScenes(const clip::Clip& clip) {
    SceneStarts scenes;
    scenes.source = clip.sceneRule == clip::SceneRule::SceneFields ? SceneSource::SceneFields
                                                                   : SceneSource::MetadataChanges;
    scenes.firstFrames = clip.sceneStarts();
    return scenes;
}

SceneSplit scenesOfRows(const std::vector<FrameRow>& rows, const SceneStarts& scenes) {
    SceneSplit split;
    split.source = scenes.source;
    const std::vector<unsigned>& firstFrames = scenes.firstFrames;
    size_t next = 0;  // the next listed start not yet reached
    int scene = -1;
    for (size_t i = 0; i < rows.size(); i++) {
        bool starts = i == 0;
        while (next < firstFrames.size() && firstFrames[next] <= rows[i].frame) {
            starts = true;
            next++;
        }
        if (starts) {
            scene++;
            split.firstFrames.push_back(rows[i].frame);
        }
        split.sceneOf.push_back(scene);
    }
    split.scenesAreMetadataRuns = scenesAreRuns(rows, split.sceneOf);
    return split;
}

std::vector<Glitch> findGlitches(const std::vector<FrameRow>& rows, double thresholdCodes) {
    std::vector<Glitch> glitches;
    const std::vector<Run> runs = metadataRuns(rows);
    for (size_t r = 1; r + 1 < runs.size(); r++) {
        const Run& run = runs[r];
        if (run.end - run.first > kMaxGlitchFrames) continue;
        const FrameRow& before = rows[runs[r - 1].end - 1];
        const FrameRow& inside = rows[run.first];
        const FrameRow& after = rows[runs[r + 1].first];
        // Neighbours adjacent in the file: a rejected frame breaks the pattern.
        if (before.frame + 1 != inside.frame || rows[run.end - 1].frame + 1 != after.frame) {
            continue;
        }
        const size_t levels = std::min({before.levelOutputs.size(), inside.levelOutputs.size(),
                                        after.levelOutputs.size()});
        Glitch best;
        double bestMargin = thresholdCodes;
        bool found = false;
        for (size_t l = 0; l < levels; l++) {
            const double b = before.levelOutputs[l];
            const double x = inside.levelOutputs[l];
            const double a = after.levelOutputs[l];
            if (!std::isfinite(b) || !std::isfinite(x) || !std::isfinite(a)) continue;
            const double bc = pqCodeOfNits(b), xc = pqCodeOfNits(x), ac = pqCodeOfNits(a);
            // Above both or below both: the smaller difference, signed alike.
            const double margin = std::min(xc - bc, xc - ac) > 0   ? std::min(xc - bc, xc - ac)
                                  : std::max(xc - bc, xc - ac) < 0 ? std::min(bc - xc, ac - xc)
                                                                   : 0;
            if (margin <= bestMargin) continue;
            bestMargin = margin;
            found = true;
            best.level = l;
            best.beforeNits = b;
            best.runNits = x;
            best.afterNits = a;
            best.beforeCode = bc;
            best.runCode = xc;
            best.afterCode = ac;
        }
        if (!found) continue;
        best.firstFrame = inside.frame;
        best.lastFrame = rows[run.end - 1].frame;
        best.previousFrame = before.frame;
        best.nextFrame = after.frame;
        glitches.push_back(best);
    }
    return glitches;
}

std::vector<Jump> findJumps(const std::vector<FrameRow>& rows, const std::vector<int>& sceneOf,
                            double thresholdCodes) {
    std::vector<Jump> jumps;
    for (size_t i = 1; i < rows.size() && i < sceneOf.size(); i++) {
        const FrameRow& before = rows[i - 1];
        const FrameRow& after = rows[i];
        if (sceneOf[i] != sceneOf[i - 1] || after.frame != before.frame + 1) continue;
        const size_t levels = std::min(before.levelOutputs.size(), after.levelOutputs.size());
        for (size_t l = 0; l < levels; l++) {
            const double b = before.levelOutputs[l];
            const double a = after.levelOutputs[l];
            if (!std::isfinite(a) || !std::isfinite(b)) continue;
            Jump jump;
            jump.frame = after.frame;
            jump.previousFrame = before.frame;
            jump.scene = sceneOf[i];
            jump.level = l;
            jump.beforeNits = b;
            jump.afterNits = a;
            jump.beforeCode = pqCodeOfNits(b);
            jump.afterCode = pqCodeOfNits(a);
            if (std::fabs(jump.afterCode - jump.beforeCode) > thresholdCodes) jumps.push_back(jump);
        }
    }
    return jumps;
}

}  // namespace kestrel::analysis
