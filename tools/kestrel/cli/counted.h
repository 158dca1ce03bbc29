// SPDX-License-Identifier: Apache-2.0
// A count with its noun as a sentence says it: "1 frame", "3 frames".
#pragma once

#include <cstddef>
#include <string>

namespace kestrel::tool {

inline std::string counted(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace kestrel::tool
