// SPDX-License-Identifier: Apache-2.0
// The sentence of a frame's warning, as every view of the tool shows it: one
// line, no "warning:" prefix, no frame number.
#pragma once

#include <string>
#include <vector>

#include "analysis/clip_analysis.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

// One line, no "warning:" prefix, no frame number.
std::string warningText(const FrameWarning& warning);

// The library's error lines of a row that its warnings do not already say.
// The one error the tone-mapping path logs is its refusal of a target under
// its floor, which the TargetRefused warning says with its consequence: the
// first error line of a refused row is that one and is left out (a
// plug-in's further error lines stay).
std::vector<LibraryLine> errorsBesideWarnings(const FrameRow& row);

// Why the source peak is unknown, in words: "no statistics", "MaxScl is 0",
// "the 99 % entry is 0, although MaxScl is 7000 cd/m²"; "" when known.
std::string unknownPeakReason(UnknownPeak why, double maxSclNits);

}  // namespace kestrel::tool
