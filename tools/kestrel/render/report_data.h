// What `kestrel report` shows of a clip: the analysis of every frame for
// every target (analysis/clip_analysis.h), the scenes, and the jumps inside them
// (jump_detection.h), as one JSON document whose shape docs/report-schema.json
// writes down. `--format json` writes it as it is; the page embeds it with the
// curves added and only draws: every number it shows, PQ codes included, is
// in the document.
#pragma once

#include <json/value.h>

#include <functional>
#include <string>
#include <vector>

#include "analysis/clip_analysis.h"
#include "analysis/jump_detection.h"

namespace kestrel::tool {

// The document's "schema_version". It grows whenever a key is removed or
// changes meaning; a reader checks it before anything else.
// 2: "flagged_frame_count" counts the frames of short runs too ("glitches"),
// and "badge", "jump_check" and "scenes_are_metadata_runs" say what was checked.
constexpr int kReportSchemaVersion = 2;

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
    double maxRatio = kDefaultMaxRatio;  // for the brightening warning
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
// Frames of a target with any warning.
size_t framesWithWarnings(const TargetRows& rows);

// The document. Frames point at their distinct record ("records"), and each
// target carries the analysis of each distinct record once ("analyses"),
// which real clips, whose metadata changes per scene, shrink by orders of
// magnitude. With `withCurves`, what the page draws is added: the curves of
// each analysis on a grid of inputs shared by all frames, their median and
// extremes over the frames, and the ranges of the page's axes.
Json::Value reportJson(const Report& report, bool withCurves);

}  // namespace kestrel::tool
