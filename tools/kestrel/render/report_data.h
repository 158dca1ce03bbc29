// SPDX-License-Identifier: Apache-2.0
// What `kestrel report` shows of a clip (analysis/clip_report.h: every
// frame for every target, the scenes, and the jumps inside them) as one JSON
// document whose shape docs/report-schema.json writes down. `--format json`
// writes it as it is; the page embeds it with the curves added and only
// draws: every number it shows, PQ codes included, is in the document.
#pragma once

#include <json/value.h>

#include <string>

#include "analysis/clip_report.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

// The document's "schema_version". It grows whenever a key is removed or
// changes meaning; a reader checks it before anything else.
// 2: "flagged_frame_count" counts the frames of short runs too ("glitches"),
// and "badge", "jump_check", "scenes_are_metadata_runs", "frames_with_warnings"
// and "warning_counts" say what was checked and found.
// 3: a video's scenes are the shots found in its pictures ("scene_source":
// "picture cuts"); "video" holds them, the measured statistics and (page)
// the pictures, or "video_unused" says why the pictures were not used.
// 4: a target's "flagged" and "glitches" are columns (one array per key, as
// "frames" is), not arrays of objects: a film's page was half their keys.
constexpr int kReportSchemaVersion = 4;

// The key of level `l` in "output_nits" and "flagged": "1", "10", "100",
// "1000", then "average".
std::string levelKey(size_t l);

// The document. Frames point at their distinct record ("records"), and each
// target carries the analysis of each distinct record once ("analyses"),
// which real clips, whose metadata changes per scene, shrink by orders of
// magnitude. With `withCurves`, what the page draws is added: the curves of
// each analysis on a grid of inputs shared by all frames, their median and
// extremes over the frames, and the ranges of the page's axes.
Json::Value reportJson(const Report& report, bool withCurves);

}  // namespace kestrel::tool
