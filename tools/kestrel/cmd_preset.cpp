// kestrel preset check: a preset file loaded into a fresh store, with every
// message the loader gives and the store's three dumps, so that a file is
// known to be whole before it ships.
#include <json/value.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "preset/Hdr10Lut.h"
#include "tools/kestrel/commands.h"
#include "tools/kestrel/json_file.h"
#include "tools/kestrel/output_capture.h"
#include "tools/kestrel/plot.h"

namespace kestrel::tool {

namespace {

void printIndented(const std::vector<std::string>& lines) {
    if (lines.empty()) std::cout << "  (none)\n";
    for (const std::string& line : lines) std::cout << "  " << line << "\n";
}

// Looks at the file as JSON before the loader does: the loader goes on
// silently with whatever a broken file parses to, and ignores sections of
// the wrong type, so both would otherwise pass unnoticed.
int checkJson(const std::string& path) {
    Json::Value root;
    std::string error;
    std::cout << "JSON:\n";
    if (!readJsonFile(path, root, error)) {
        std::cout << "  " << error << "\n";
        return 1;
    }
    if (!root.isObject()) {
        std::cout << "  the top level is not an object: the loader finds no sections\n";
        return 1;
    }
    int problems = 0;
    for (const char* section : {"eotf", "oetf", "gamut_mapping"}) {
        if (!root.isMember(section)) {
            std::cout << "  \"" << section << "\": absent\n";
        } else if (root[section].isArray() || root[section].isObject()) {
            std::cout << "  \"" << section << "\": " << root[section].size() << " entries\n";
        } else if (!root[section].isNull()) {
            std::cout << "  \"" << section
                      << "\": not an array, so the loader takes nothing from it\n";
            problems++;
        } else {
            std::cout << "  \"" << section << "\": null\n";
        }
    }
    return problems;
}

Series tableSeries(const std::string& label, const std::vector<unsigned>& values, size_t count,
                   unsigned xMask, unsigned yMask, size_t colour, double& xMax, double& yMax) {
    Series s;
    s.label = label;
    s.color = paletteColor(colour);
    s.width = 1.5;
    s.dashed = colour >= 8;  // the palette's second round
    for (size_t i = 0; i < count && count + i < values.size(); i++) {
        double x = values[i] & xMask;
        double y = values[count + i] & yMask;
        s.points.push_back({x, y});
        xMax = std::max(xMax, x);
        yMax = std::max(yMax, y);
    }
    return s;
}

// The words drawn as the store's dumps read them: EOTF x 10 bits and y 16
// bits, OETF x 16 bits and y 10 bits.
std::vector<Chart> tableCharts(Hdr10Lut& store, const std::string& path) {
    Chart eotf;
    eotf.title = "EOTF tables of " + path;
    eotf.notes.push_back("x-values & 0x3ff, y-values & 0xffff");
    eotf.x.label = "x-value";
    eotf.y.label = "y-value";
    Chart oetf;
    oetf.title = "OETF tables of " + path;
    oetf.notes.push_back("x-values & 0xffff, y-values & 0x3ff");
    oetf.x.label = "x-value";
    oetf.y.label = "y-value";

    double ex = 0, ey = 0, ox = 0, oy = 0;
    size_t colour = 0;
    for (unsigned t = 0; t < kNumTransfers; t++) {
        for (const LutEntry& e : store.eotfTables[t]) {
            eotf.series.push_back(tableSeries(
                std::string(transferNames[t].name) + ", " + std::to_string(e.luminance) + " nit",
                e.values, 65, 0x3ff, 0xffff, colour++, ex, ey));
        }
    }
    colour = 0;
    for (unsigned t = 0; t < kNumTransfers; t++) {
        for (const OetfRoot& root : store.oetfTables[t]) {
            for (const LutEntry& e : root.entries) {
                oetf.series.push_back(tableSeries(std::string(transferNames[t].name) + ", peak " +
                                                      std::to_string(root.productPeak) +
                                                      " nit <- " + std::to_string(e.luminance) +
                                                      " nit",
                                                  e.values, 33, 0xffff, 0x3ff, colour++, ox, oy));
            }
        }
    }
    if (eotf.series.empty()) eotf.notes.push_back("no EOTF entries stored");
    if (oetf.series.empty()) oetf.notes.push_back("no OETF entries stored");
    eotf.x.max = std::max(ex, 1.0);
    eotf.y.max = std::max(ey, 1.0) * 1.05;
    oetf.x.max = std::max(ox, 1.0);
    oetf.y.max = std::max(oy, 1.0) * 1.05;
    return {eotf, oetf};
}

}  // namespace

int runPresetCheck(const PresetCheckOptions& options) {
    if (!options.plot.empty() && !isPlotFileName(options.plot)) {
        std::fprintf(stderr,
                     "kestrel preset check: %s: a plot file name must end in .png or .svg\n",
                     options.plot.c_str());
        return 1;
    }
    const std::string& path = options.file;
    std::cout << "preset file: " << path << "\n";
    int problems = checkJson(path);

    // A fresh store; its constructor's notice says only that it starts empty.
    std::unique_ptr<Hdr10Lut> store;
    captureOutput([&] { store = std::make_unique<Hdr10Lut>(); });

    bool loaded = false;
    std::string exception;
    std::vector<std::string> messages = splitLines(captureOutput([&] {
        try {
            loaded = store->load(path.c_str());
        } catch (const std::exception& e) {
            exception = e.what();
        }
    }));
    std::cout << "loader messages:\n";
    printIndented(messages);
    const long rejected = std::count_if(messages.begin(), messages.end(), isErrorLogLine);

    if (!exception.empty()) {
        std::cout << "the loader stopped with an exception: " << exception << "\n";
        std::cout << "result: FAILED\n";
        // A load that stopped half-way may hold the store's mutex; the store
        // is left to the end of the process rather than destroyed locked.
        (void)store.release();
        return 1;
    }

    std::cout << "dumps:\n";
    printIndented(splitLines(captureOutput([&] {
        store->showEotf();
        store->showOetf();
        store->showGM();
    })));

    size_t eotfEntries = 0, roots = 0, oetfEntries = 0;
    for (unsigned t = 0; t < kNumTransfers; t++) {
        eotfEntries += store->eotfTables[t].size();
        roots += store->oetfTables[t].size();
        for (const OetfRoot& root : store->oetfTables[t]) oetfEntries += root.entries.size();
    }
    std::cout << "stored: " << eotfEntries << " EOTF entries, " << oetfEntries
              << " OETF entries under " << roots << " product peaks, "
              << store->gamutMappings.size() << " gamut mappings\n";

    int status = 0;
    if (!options.plot.empty()) {
        std::string error;
        if (!writeCharts(options.plot, tableCharts(*store, path), error)) {
            std::fprintf(stderr, "kestrel preset check: %s\n", error.c_str());
            status = 1;
        }
    }

    if (!loaded) {
        std::cout << "result: FAILED, the file could not be loaded\n";
        return 1;
    }
    if (rejected > 0 || problems > 0) {
        std::cout << "result: FAILED, " << rejected << " entr" << (rejected == 1 ? "y" : "ies")
                  << " rejected";
        if (problems > 0) std::cout << ", " << problems << " problem(s) with the JSON";
        std::cout << "\n";
        return 1;
    }
    std::cout << "result: OK\n";
    return status;
}

}  // namespace kestrel::tool
