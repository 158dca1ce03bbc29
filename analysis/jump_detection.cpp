#include "analysis/jump_detection.h"

#include <cmath>
#include <cstring>

#include "analysis/pq.h"

namespace kestrel::tool {

namespace {

// What the plug-in is given for a frame, and what the page shows of it.
bool sameMetadata(const FrameRow& a, const FrameRow& b) {
    // Records are filled whole, reserved bytes zero, so bytes compare values.
    return std::memcmp(&a.lut.source, &b.lut.source, sizeof a.lut.source) == 0 &&
           a.averageMaxRgbNits == b.averageMaxRgbNits;
}

}  // namespace

SceneSplit splitScenes(const std::vector<FrameRow>& rows) {
    SceneSplit split;
    bool allHaveScenes = !rows.empty();
    for (const FrameRow& row : rows) allHaveScenes = allHaveScenes && row.sceneId >= 0;
    split.source = allHaveScenes ? SceneSource::SceneFields : SceneSource::MetadataChanges;

    int scene = -1;
    for (size_t i = 0; i < rows.size(); i++) {
        bool starts = i == 0;
        if (!starts) {
            starts = allHaveScenes ? rows[i].sceneId != rows[i - 1].sceneId
                                   : !sameMetadata(rows[i], rows[i - 1]);
        }
        if (starts) {
            scene++;
            split.firstFrames.push_back(rows[i].frame);
        }
        split.sceneOf.push_back(scene);
    }
    return split;
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

}  // namespace kestrel::tool
