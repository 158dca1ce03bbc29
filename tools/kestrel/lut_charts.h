// Charts of the rows of clip_analysis.h, for plot.h to draw: one frame's
// curves and table, and the output of fixed input levels across a clip.
#pragma once

#include <string>
#include <vector>

#include "tools/kestrel/clip_analysis.h"
#include "tools/kestrel/plot.h"

namespace kestrel::tool {

// Output against input luminance on log axes: the source curve for its
// display, the adapted curve for the target, the table's points and
// interpolation, and both gains on the right axis.
Chart curveChart(const FrameRow& row, const std::string& file);

// The output of each of `levels` (cd/m² of input) through every frame's
// table, with the source peak, across the frames of one target.
Chart levelsChart(const TargetRows& rows, const std::vector<double>& levels,
                  const std::string& file);

}  // namespace kestrel::tool
