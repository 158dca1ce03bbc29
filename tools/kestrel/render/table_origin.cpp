// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/render/table_origin.h"

#include "tools/kestrel/render/version.h"

namespace kestrel::tool {

std::string tableOriginText(const TableOrigin& origin) {
    if (!origin.plugin)
        return std::string("the tone-mapping code built into kestrel ") + projectVersion();
    return "plug-in " + origin.path + " (version " + origin.version + ")";
}

Json::Value tableOriginJson(const TableOrigin& origin) {
    Json::Value v;
    v["computed_by"] = origin.plugin ? "plug-in" : "kestrel";
    v["path"] = origin.plugin ? Json::Value(origin.path) : Json::Value(Json::nullValue);
    v["version"] = origin.plugin ? origin.version : std::string(projectVersion());
    return v;
}

}  // namespace kestrel::tool
