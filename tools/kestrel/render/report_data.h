// What `kestrel report` shows of a clip: the analysis of every frame for
// every target (analysis/clip_analysis.h), the scenes, and the jumps inside them
// (jump_detection.h), as one JSON document. `--format json` writes it as it
// is; the page embeds it with the curves added and draws everything from it.
#pragma once

#include <json/value.h>

#include <functional>
#include <string>
#include <vector>

#include "analysis/clip_analysis.h"
#include "analysis/jump_detection.h"

namespace kestrel::tool {

// The fixed input levels whose output the timelines follow, in cd/m². The
// frame's own average maxRGB follows them as one more level, "average".
const std::vector<double>& reportLevels();

// The key of level `l` in "output_nits" and "flagged": "1", "10", "100",
// "1000", then "average".
std::string levelKey(size_t l);

struct ReportRequest {
    std::string file;  // as the user named it
    std::vector<unsigned> targets;
    unsigned layerNits = 1000;
    double thresholdCodes = kDefaultJumpThresholdCodes;
    double maxError = kDefaultMaxError;  // of unit gain, for the interpolation warning
    std::vector<unsigned> sceneList;     // first frames of the scenes; empty: from the metadata
};

struct Report {
    std::string file;
    double thresholdCodes = 0;
    ClipAnalysis clip;  // levelOutputs: reportLevels(), then the average
    SceneSplit scenes;
    std::vector<std::vector<Jump>> jumps;        // per target of clip.targets
    std::vector<std::vector<Glitch>> glitches;  // per target: short runs that stand out
};

// `progress`, when given, is called with (done, total) after each frame.
Report buildReport(const Hdr10PlusDocument& document, const ReportRequest& request,
                   const std::function<void(unsigned, unsigned)>& progress = {});

size_t flaggedFrameCount(const std::vector<Jump>& jumps);
// Frames flagged at target `t`: frames that jumped, and the frames of every
// short run that stands out.
size_t flaggedFrameCount(const Report& report, size_t t);

// The document. With `withCurves`, each target also gets the curves the page
// draws: per distinct record, the table's 33 points (input cd/m², gain), the
// adapted curve on a grid of inputs shared by all frames, and the largest
// interpolation error of each of the table's segments.
Json::Value reportJson(const Report& report, bool withCurves);

}  // namespace kestrel::tool
