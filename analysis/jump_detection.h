// Where the picture will pump: scenes of a clip, and the frames inside a
// scene whose table changes the output of a fixed input level by more than
// the eye forgives.
//
// At a scene cut the picture changes anyway and a new curve is expected; a
// change of curve between two frames of one shot shows as the whole picture
// brightening or darkening for no reason in the content. The change is
// measured in 10-bit PQ codes (pq.h), unrounded and full range. PQ spaces
// its codes by the eye's threshold of contrast, so one code is about one
// step of visibility at any level and one threshold serves shadows and
// highlights, where a step in cd/m² or a ratio would not.
#pragma once

#include <string>
#include <vector>

#include "analysis/clip_analysis.h"

namespace kestrel::tool {

// A change of more than this many 10-bit PQ codes between two frames of a
// scene is flagged. One code is about one just-noticeable step for a still
// edge (1.9 % of luminance at 1 cd/m², 1.0 % at 100 cd/m²): flagging it
// would flag changes at the edge of visibility. A sudden change of the whole
// picture is seen from a Weber fraction of a few percent, and two codes are
// 3.9 % at 1 cd/m², 2.0 % at 100 cd/m² and 1.8 % at 1000 cd/m².
constexpr double kDefaultJumpThresholdCodes = 2.0;

enum class SceneSource {
    SceneFields,      // every frame carries the file's scene number
    MetadataChanges,  // a scene ends wherever the metadata changes
};

struct SceneSplit {
    SceneSource source = SceneSource::MetadataChanges;
    std::vector<int> sceneOf;           // per row: scene number, from 0, in order of appearance
    std::vector<unsigned> firstFrames;  // the first frame of each scene
};

// Scenes of the rows of one target (the same for every target). The file's
// scene numbers are used when every row has one; otherwise each change of
// the record or of the average starts a scene, and so no jump can be found
// inside one (a change of table needs a change of metadata).
SceneSplit splitScenes(const std::vector<FrameRow>& rows);

struct Jump {
    unsigned frame = 0;          // the frame whose output changed ...
    unsigned previousFrame = 0;  // ... from this one's
    int scene = 0;
    size_t level = 0;  // index into the levels the outputs were taken at
    double beforeNits = 0, afterNits = 0;
    double beforeCode = 0, afterCode = 0;  // 10-bit PQ codes, unrounded
};

// Every (frame, level) whose output differs from the previous frame's by
// more than `thresholdCodes`, when both frames are of one scene and follow
// each other in the file (a rejected frame between them breaks the pair).
// Reads FrameRow::frame and FrameRow::levelOutputs; unknown outputs (NaN)
// are never compared.
std::vector<Jump> findJumps(const std::vector<FrameRow>& rows, const std::vector<int>& sceneOf,
                            double thresholdCodes);

}  // namespace kestrel::tool
