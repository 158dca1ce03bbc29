// The sentence of a frame's warning, as every view of the tool shows it: one
// line, no "warning:" prefix, no frame number.
#pragma once

#include <string>

#include "analysis/clip_analysis.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

// One line, no "warning:" prefix, no frame number.
std::string warningText(const FrameWarning& warning);

// Why the source peak is unknown, in words: "no statistics", "MaxScl is 0",
// "the 99 % entry is 0, although MaxScl is 7000 cd/m²"; "" when known.
std::string unknownPeakReason(UnknownPeak why, double maxSclNits);

}  // namespace kestrel::tool
