// A frame warning as the sentence the tool shows: in text, CSV, JSON and
// on the report page alike.
#pragma once

#include <string>

#include "analysis/clip_analysis.h"

namespace kestrel::tool {

// One line, no "warning:" prefix, no frame number.
std::string warningText(const FrameWarning& warning);

// Why the source peak is unknown, in words: "no statistics", "MaxScl is 0",
// "the 99 % entry is 0, although MaxScl is 7000 cd/m²"; "" when known.
std::string unknownPeakReason(UnknownPeak why, double maxSclNits);

}  // namespace kestrel::tool
