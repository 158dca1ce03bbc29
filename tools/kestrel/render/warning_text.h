// The sentence of a frame's warning, as every view of the tool shows it: one
// line, no "warning:" prefix, no frame number.
#pragma once

#include <string>

#include "analysis/clip_analysis.h"

namespace kestrel::tool {

std::string warningText(const FrameWarning& warning);

}  // namespace kestrel::tool
