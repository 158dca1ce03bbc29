// What `kestrel report` shows of a clip (analysis/clip_report.h) as one
// JSON document. `--format json` writes it as it is; the page embeds it with
// the curves added and draws everything from it.
#pragma once

#include <json/value.h>

#include <string>

#include "analysis/clip_report.h"

namespace kestrel::tool {

// The key of level `l` in "output_nits" and "flagged": "1", "10", "100",
// "1000", then "average".
std::string levelKey(size_t l);

// The document. With `withCurves`, each target also gets the curves the page
// draws: per distinct record, the table's 33 points (input cd/m², gain), the
// adapted curve on a grid of inputs shared by all frames, and the largest
// interpolation error of each of the table's segments.
Json::Value reportJson(const Report& report, bool withCurves);

}  // namespace kestrel::tool
