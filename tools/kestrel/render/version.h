// SPDX-License-Identifier: Apache-2.0
// The project's version, as the build names it (CMake's project version).
#pragma once

namespace kestrel::tool {

const char* projectVersion();

}  // namespace kestrel::tool
