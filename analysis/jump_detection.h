// SPDX-License-Identifier: Apache-2.0
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

namespace kestrel::analysis {

// A change of more than this many 10-bit PQ codes between two frames of a
// scene is flagged. One code is about one just-noticeable step for a still
// edge (1.9 % of luminance at 1 cd/m², 1.0 % at 100 cd/m²): flagging it
// would flag changes at the edge of visibility. A sudden change of the whole
// picture is seen from a Weber fraction of a few percent, and two codes are
// 3.9 % at 1 cd/m², 2.0 % at 100 cd/m² and 1.8 % at 1000 cd/m².
constexpr double kDefaultJumpThresholdCodes = 2.0;

// Where the scenes come from.
enum class SceneSource {
    SceneFields,      // every frame carries the file's scene number
    MetadataChanges,  // a scene ends wherever the metadata changes
    SceneList,        // the first frames of the scenes, as the user listed them
    PictureCuts,      // the shots found in a video's pictures
};

// The scenes of a clip as frame numbers, whoever found them: the first frame
// of each scene, rising (frame 0 starts one whether listed or not).
struct SceneStarts {
    SceneSource source = SceneSource::MetadataChanges;
    std::vector<unsigned> firstFrames;
};

// The clip's own scenes (clip::deriveScenes).
SceneStarts clipScenes(const clip::Clip& clip);

struct SceneSplit {
    SceneSource source = SceneSource::MetadataChanges;
    std::vector<int> sceneOf;           // per row: scene number, from 0, in order of appearance
    std::vector<unsigned> firstFrames;  // the first frame of each scene that has rows
    // Every scene is exactly one run of identical metadata (always so for
    // MetadataChanges; real files' scene fields often are too). No change of
    // table then falls inside a scene, so findJumps cannot find one: only
    // short runs (findGlitches) were checked.
    bool scenesAreMetadataRuns = false;
};

// Whether findJumps could look inside scenes: cuts listed by the user or
// found in the pictures are taken as given; scenes from the file are no help
// when each is only one run of identical metadata.
inline bool jumpsInsideScenesChecked(const SceneSplit& split) {
    return split.source == SceneSource::SceneList || split.source == SceneSource::PictureCuts ||
           !split.scenesAreMetadataRuns;
}

// The scenes of the rows of one target (the same for every target): a row
// starts a scene when a scene starts at its frame or at a frame between it
// and the row before (one without metadata, which has no row). Scenes
// without rows are not counted, so scene numbers run on without gaps.
SceneSplit scenesOfRows(const std::vector<FrameRow>& rows, const SceneStarts& scenes);

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

// Without true shot boundaries a cut and a glitch differ in length: a run of
// identical metadata of at most this many frames is no shot. 4 frames last
// under 0.2 s at 24 frames per second and faster (1/6 s at 24, 1/15 s at 60).
constexpr unsigned kMaxGlitchFrames = 4;

// A short run whose output stands out from both runs around it.
struct Glitch {
    unsigned firstFrame = 0, lastFrame = 0;  // the run
    unsigned previousFrame = 0;              // the last frame before it ...
    unsigned nextFrame = 0;                  // ... and the first after it
    size_t level = 0;                        // where it stands out most
    double beforeNits = 0, runNits = 0, afterNits = 0;
    double beforeCode = 0, runCode = 0, afterCode = 0;  // 10-bit PQ codes, unrounded
};

// Every run of 1 to kMaxGlitchFrames frames of identical metadata, between a
// run before and a run after it (the frames adjacent in the file), whose
// output at some level is above both neighbours' or below both by more than
// `thresholdCodes`: a flash, a dip or a corrupted record, wherever the scenes
// come from. A step between two runs (a cut, a fade's next frame) lies
// between its neighbours and is not one. Named at the level where the
// smaller of the two differences is largest.
std::vector<Glitch> findGlitches(const std::vector<FrameRow>& rows, double thresholdCodes);

}  // namespace kestrel::analysis
