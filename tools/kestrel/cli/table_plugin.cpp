// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/cli/table_plugin.h"

#include <cstdio>
#include <vector>

namespace kestrel::tool {

const char* const kDefaultTablesText =
    "the tone-mapping code built into this kestrel (the same sources as the plug-in of its "
    "build); --plugin FILE uses a plug-in file's instead";

void addTablePluginOption(CLI::App& command, std::string& path) {
    command
        .add_option("--plugin", path,
                    "Compute the tables with this plug-in file's exported meta2lut_dtm (and its "
                    "meta2meta for the adapted curve) instead of the code built into kestrel, "
                    "to judge a modified build; the output names which computed them")
        ->type_name("FILE.so");
}

bool openTablePlugin(const char* commandName, const std::string& path, PluginTables& tables) {
    std::vector<LibraryLine> startLines;
    const Status opened = tables.open(path, startLines);
    for (const LibraryLine& line : startLines) {
        if (isError(line))
            std::fprintf(stderr, "%s: --plugin %s: %s\n", commandName, path.c_str(),
                         defaultSinkText(line).c_str());
    }
    if (!opened) std::fprintf(stderr, "%s: --plugin %s\n", commandName, opened.message().c_str());
    return opened.ok();
}

}  // namespace kestrel::tool
