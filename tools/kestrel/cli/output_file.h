// SPDX-License-Identifier: Apache-2.0
// Opening a file a command writes into, with the reason when it cannot be
// opened ("out.txt: cannot write: Permission denied") and errno as the code.
#pragma once

#include <fstream>
#include <string>

#include "common/status.h"

namespace kestrel::tool {

// Opens `path` for writing, emptied; an open failure says why.
Status openOutputFile(std::ofstream& file, const std::string& path);

}  // namespace kestrel::tool
