// SPDX-License-Identifier: Apache-2.0
// Tone-mapping tables computed by a plug-in file instead of the code built
// into the tool, so that a modified build can be judged by `lut` and
// `report`: the table comes from the plug-in's exported meta2lut_dtm, as a
// host calls it, and the adapted curve the table is measured against from
// its exported meta2meta. The plug-in's lines are captured per call
// (descriptor_capture.h) and come back as library lines.
#pragma once

#include <string>
#include <vector>

#include "common/status.h"
#include "analysis/frame_table.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

// meta2lut_dtm(unsigned, unsigned, void*, unsigned*, unsigned*, unsigned)
// and meta2meta(unsigned, unsigned, _VelmorHdrDynamicInfo&), as exported.
constexpr const char* kTableSymbol = "_Z12meta2lut_dtmjjPvPjS0_j";
constexpr const char* kAdaptSymbol = "_Z9meta2metajjR21_VelmorHdrDynamicInfo";

class PluginTables {
public:
    PluginTables() = default;
    ~PluginTables();
    PluginTables(const PluginTables&) = delete;
    PluginTables& operator=(const PluginTables&) = delete;

    // Loads the file and finds both entry points. On failure a message that
    // names the file and what is missing: ErrorKind::Io when the loader
    // refuses the file, Unsupported when an entry point is missing. The
    // lines the plug-in wrote while it started go into `startLines`.
    Status open(const std::string& path, std::vector<LibraryLine>& startLines);

    // Valid while this object lives.
    ToneTableMaker maker() const;
    const TableOrigin& origin() const { return mOrigin; }

private:
    using TableEntry = void (*)(unsigned, unsigned, void*, unsigned*, unsigned*, unsigned);
    using AdaptEntry = void (*)(unsigned, unsigned, _VelmorHdrDynamicInfo&);
    void* mHandle = nullptr;
    TableEntry mTable = nullptr;
    AdaptEntry mAdapt = nullptr;
    TableOrigin mOrigin;
};

// Lines as a host build's default sink writes them ("E/liborrin: text" for
// the log, anything else for standard output) read back into library lines.
std::vector<LibraryLine> libraryLinesOf(const std::string& captured);

}  // namespace kestrel::tool
