// SPDX-License-Identifier: Apache-2.0
// A list of scenes a user gives (`kestrel report --scenes FILE`): the first
// frame of each scene, from an edit decision list, a shot detector or by
// hand, instead of what the metadata says.
#pragma once

#include <string>
#include <vector>

#include "common/status.h"

namespace kestrel::analysis {

// The first frames in `text`: one number per line, or CSV whose first column
// holds them (the rest of a line is ignored). Blank lines, lines starting
// with '#' and a first line whose first field is not a number (a header)
// are skipped. The frames must rise and lie inside a clip of `frameCount`
// frames; the failure names the line ("line 4: frame 120 does not come after
// frame 120: the list must rise"), its Location::key is "line 4".
Result<std::vector<unsigned>> parseSceneList(const std::string& text, unsigned frameCount);

}  // namespace kestrel::analysis
