// SPDX-License-Identifier: Apache-2.0
// `--plugin FILE` of `lut` and `report`: the tables computed by a plug-in
// file (host/plugin_tables.h) instead of the tone-mapping code built into
// the tool.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "tools/kestrel/host/plugin_tables.h"

namespace kestrel::tool {

// What --version and the help say lut and report use without --plugin.
extern const char* const kDefaultTablesText;

void addTablePluginOption(CLI::App& command, std::string& path);

// Loads `path` into `tables`; false after a message on standard error
// ("kestrel lut: --plugin FILE: ..."). Error lines the plug-in wrote while
// starting are shown too.
bool openTablePlugin(const char* commandName, const std::string& path, PluginTables& tables);

}  // namespace kestrel::tool
