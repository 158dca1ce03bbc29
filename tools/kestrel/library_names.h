// SPDX-License-Identifier: Apache-2.0
// The tool speaks the vocabulary of the libraries under it (clip/: the clip
// and how it is read; analysis/: rows, warnings, scenes and jumps) in every
// room, so their names are seen unqualified inside the tool's namespace, and
// nowhere else.
#pragma once

#include "analysis/clip_analysis.h"
#include "clip/clip.h"

namespace kestrel::tool {
using namespace kestrel::analysis;  // NOLINT(google-build-using-namespace)
using namespace kestrel::clip;      // NOLINT(google-build-using-namespace)
}  // namespace kestrel::tool
