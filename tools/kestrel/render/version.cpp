// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/render/version.h"

namespace kestrel::tool {

const char* projectVersion() { return KESTREL_PROJECT_VERSION; }

}  // namespace kestrel::tool
