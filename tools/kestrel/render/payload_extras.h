// SPDX-License-Identifier: Apache-2.0
// What a payload carries beyond the common JSON layout (which holds window 0's
// luminances and curve only), written by `kestrel metadata` as members beside
// that layout in each "SceneInfo" entry, so that nothing a QC engineer checks
// is dropped. Readers of the layout ignore them.
#pragma once

#include <json/value.h>

#include "hdr10plus/frame.h"

namespace kestrel::tool {

// Sets, in `entry`: "ApplicationVersion"; "FractionBrightPixels" (window 0,
// over 1000); "ColorSaturationWeight" (window 0, over 8) when present;
// "ProcessingWindows" for windows 1 and 2, each with "Geometry" (corners,
// ellipse, rotation, axes, "OverlapProcessOption") and its own "MaxScl",
// "AverageRGB", "LuminanceDistributions", "FractionBrightPixels" and
// "BezierCurveData"; "TargetedSystemDisplayActualPeakLuminance" and
// "MasteringDisplayActualPeakLuminance" when present, as {"Rows", "Columns",
// "Values"} (row by row, each 0 to 15).
void addPayloadExtras(const hdr10plus::Frame& frame, Json::Value& entry);

}  // namespace kestrel::tool
