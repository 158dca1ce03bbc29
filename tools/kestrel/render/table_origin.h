// SPDX-License-Identifier: Apache-2.0
// How the outputs name what computed a clip's tables (analysis/frame_table.h).
#pragma once

#include <json/value.h>

#include <string>

#include "analysis/frame_table.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

// "the tone-mapping code built into kestrel 0.9.0" or "plug-in FILE
// (version V)".
std::string tableOriginText(const TableOrigin& origin);

// {"computed_by": "kestrel" | "plug-in", "path": FILE | null, "version": V}
Json::Value tableOriginJson(const TableOrigin& origin);

}  // namespace kestrel::tool
