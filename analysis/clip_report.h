// SPDX-License-Identifier: Apache-2.0
// A whole clip as `kestrel report` looks at it: the analysis of every frame
// for every target (clip_analysis.h), with the outputs of fixed input levels
// and of the frame's own average, the scenes, and the jumps inside them
// (jump_detection.h).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/clip_analysis.h"
#include "analysis/jump_detection.h"

namespace kestrel::analysis {

// The fixed input levels whose output the timelines follow, in cd/m². The
// frame's own average maxRGB follows them as one more level, "average".
const std::vector<double>& reportLevels();

struct ReportRequest {
    std::string file;  // as the user named it
    std::vector<unsigned> targets;
    unsigned layerNits = kDefaultLayerNits;
    double thresholdCodes = kDefaultJumpThresholdCodes;
    double maxError = kDefaultMaxError;  // of unit gain, for the interpolation warning
    double maxRatio = kDefaultMaxRatio;  // for the brightening warning
    // Where the scenes come from: a list the user gave, cuts found in the
    // pictures; empty: the clip's own (clipScenes).
    std::optional<SceneStarts> scenes;
    ToneTableMaker tables;               // empty: the tone-mapping code built in
    TableOrigin tablesFrom;              // what `tables` is
};

struct Report {
    std::string file;
    double thresholdCodes = 0;
    TableOrigin tablesFrom;
    ClipAnalysis clip;  // levelOutputs: reportLevels(), then the average
    SceneSplit scenes;
    std::vector<std::vector<Jump>> jumps;        // per target of clip.targets
    std::vector<std::vector<Glitch>> glitches;  // per target: short runs that stand out
};

// `progress`, when given, is called with (done, total) after each frame.
Report buildReport(const clip::Clip& clip, const ReportRequest& request,
                   const std::function<void(unsigned, unsigned)>& progress = {});

size_t flaggedFrameCount(const std::vector<Jump>& jumps);
// Frames flagged at target `t`: frames that jumped, and the frames of every
// short run that stands out.
size_t flaggedFrameCount(const Report& report, size_t t);
// Frames of a target with any warning.
size_t framesWithWarnings(const TargetRows& rows);

}  // namespace kestrel::analysis
