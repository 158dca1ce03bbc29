// SPDX-License-Identifier: Apache-2.0
// Charts of the rows of analysis/clip_analysis.h, for plot.h to draw: one frame's
// curves and tables, and the output of fixed input levels across a clip.
#pragma once

#include <string>
#include <vector>

#include "analysis/clip_analysis.h"
#include "tools/kestrel/render/plot.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

// Luminance axes: cd/m² on log scales, or 10-bit PQ codes on linear ones.
enum class LuminanceAxes { Nits, Pq };

// One frame for one or more targets (rows of the same frame), as two
// charts sharing the input axis:
// - output against input: the source curve for its display, each adapted
//   curve with its table's 33 points and interpolation, the knee points,
//   the largest interpolation error, and lines at the source peak, the
//   targeted display's peak and each target peak;
// - the luminance ratio (output / input) of the same, with the normalised
//   gain on the right axis when there is one target.
// The input runs from 0.01 cd/m² to the larger of source and target peaks.
std::vector<Chart> frameCharts(const std::vector<FrameRow>& rows, const std::string& file,
                               LuminanceAxes axes);

// Per target, the output of each of `levels` (cd/m² of input) through every
// frame's table, with the source peak, across the frames. Frames that were
// rejected or whose table cannot be used leave a gap.
std::vector<Chart> levelsCharts(const ClipAnalysis& clip, const std::vector<double>& levels,
                                const std::string& file, LuminanceAxes axes);

}  // namespace kestrel::tool
