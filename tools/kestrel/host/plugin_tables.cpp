// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/host/plugin_tables.h"

#include <dlfcn.h>

#include <chrono>
#include <cstring>

#include "common/diagnostics.h"
#include "tools/kestrel/host/descriptor_capture.h"
#include "tools/kestrel/host/plugin_loader.h"

namespace kestrel::tool {

PluginTables::~PluginTables() {
    if (mHandle != nullptr) dlclose(mHandle);
}

Status PluginTables::open(const std::string& path, std::vector<LibraryLine>& startLines) {
    // RTLD_LOCAL, as a host loads it: the entry points found are the
    // plug-in's own, not the tool's copies of the same functions.
    std::string dlError;
    startLines = libraryLinesOf(captureOutput([&] {
        mHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (mHandle == nullptr) {
            const char* message = dlerror();
            dlError = message != nullptr ? message : "";
        }
    }));
    if (mHandle == nullptr) {
        return Status::failure(ErrorKind::Io, path + ": cannot load the plug-in" +
                                                  (dlError.empty() ? "" : ": " + dlError));
    }
    mTable = reinterpret_cast<TableEntry>(dlsym(mHandle, kTableSymbol));
    mAdapt = reinterpret_cast<AdaptEntry>(dlsym(mHandle, kAdaptSymbol));
    if (mTable == nullptr || mAdapt == nullptr) {
        return Status::failure(
            ErrorKind::Unsupported,
            path + ": exports no " +
                (mTable == nullptr ? "meta2lut_dtm (" + std::string(kTableSymbol) + ")"
                                   : "meta2meta (" + std::string(kAdaptSymbol) + ")") +
                "; not a kestrel plug-in");
    }
    mOrigin.plugin = true;
    mOrigin.path = path;
    const Result<PluginBuild> build = readPluginBuild(path);
    mOrigin.version = build ? build->version : "unknown";
    return {};
}

ToneTableMaker PluginTables::maker() const {
    const TableEntry table = mTable;
    const AdaptEntry adapt = mAdapt;
    return [table, adapt](unsigned targetNits, unsigned layerNits, _VelmorHdrDynamicInfo& working,
                          uint32_t* lutX, uint32_t* lutY, unsigned count) {
        MadeTable made;
        // The table from the host's entry point, on the record as read (it
        // adapts a copy of its own); then the curve it was made from.
        _VelmorHdrDynamicInfo record = working;
        const std::string text = captureOutput([&] {
            const auto start = std::chrono::steady_clock::now();
            table(targetNits, layerNits, &record, lutX, lutY, count);
            const auto end = std::chrono::steady_clock::now();
            made.microseconds = std::chrono::duration<double, std::micro>(end - start).count();
        });
        made.lines = libraryLinesOf(text);
        // The adaptation's own lines repeat the table's: not kept twice.
        captureOutput([&] { adapt(targetNits, layerNits, working); });
        return made;
    };
}

std::vector<LibraryLine> libraryLinesOf(const std::string& captured) {
    std::vector<LibraryLine> lines;
    const std::string tag = std::string("/") + diag::kLogTag + ": ";
    for (const std::string& line : splitLines(captured)) {
        diag::Priority priority = diag::Priority::kInfo;
        bool log = line.size() > 1 && line.compare(1, tag.size(), tag) == 0;
        if (log) {
            switch (line[0]) {
                case 'D':
                    priority = diag::Priority::kDebug;
                    break;
                case 'I':
                    priority = diag::Priority::kInfo;
                    break;
                case 'W':
                    priority = diag::Priority::kWarn;
                    break;
                case 'E':
                    priority = diag::Priority::kError;
                    break;
                default:
                    log = false;
            }
        }
        if (log) {
            lines.push_back({diag::RecordKind::kLogLine, priority, line.substr(1 + tag.size())});
        } else {
            lines.push_back({diag::RecordKind::kStdoutLine, diag::Priority::kInfo, line});
        }
    }
    return lines;
}

}  // namespace kestrel::tool
