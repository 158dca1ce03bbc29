// A frame warning as the sentence the tool shows: in text, CSV, JSON and
// on the report page alike.
#pragma once

#include <string>

#include "analysis/clip_analysis.h"

namespace kestrel::tool {

// One line, no "warning:" prefix, no frame number.
std::string warningText(const FrameWarning& warning);

}  // namespace kestrel::tool
