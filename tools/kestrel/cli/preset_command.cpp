// SPDX-License-Identifier: Apache-2.0
// kestrel preset check: a preset file loaded into a fresh store, with every
// message the loader gives, what it rejected and the store's three dumps, and
// the gate a file must pass before it ships.
#include <json/value.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "analysis/library_lines.h"
#include "clip/json_file.h"
#include "preset/Hdr10Lut.h"
#include "tools/kestrel/cli/command.h"
#include "tools/kestrel/cli/commands.h"
#include "tools/kestrel/cli/counted.h"
#include "tools/kestrel/cli/exit_status_help.h"
#include "tools/kestrel/gate/preset_gate.h"
#include "tools/kestrel/render/plot.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

namespace {

struct PresetCheckOptions {
    std::string file;
    std::string plot;
    bool strict = false;  // warnings fail the check too
};

// The library's lines as a person reads them: without the "function(line)"
// of where in the library they were written.
std::vector<std::string> shownLines(const std::vector<LibraryLine>& lines) {
    std::vector<std::string> shown;
    for (const LibraryLine& line : lines) shown.push_back(messageText(line));
    return shown;
}

void printIndented(const std::vector<std::string>& lines) {
    if (lines.empty()) std::cout << "  (none)\n";
    for (const std::string& line : lines) std::cout << "  " << line << "\n";
}

// Looks at the file as JSON before the loader does: the loader goes on
// silently with whatever a broken file parses to, ignores sections of the
// wrong type and members it does not know, so all of them would otherwise
// pass unnoticed.
int checkJson(const std::string& path) {
    std::cout << "JSON:\n";
    Result<Json::Value> read = readJsonFile(path);
    if (!read) {
        std::cout << "  " << read.status().message() << "\n";
        return 1;
    }
    const Json::Value& root = *read;
    if (!root.isObject()) {
        std::cout << "  the top level is not an object: the loader finds no sections\n";
        return 1;
    }
    int problems = 0;
    auto problem = [&problems](const std::string& line) {
        std::cout << "  " << line << "\n";
        problems++;
    };
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string strictError = strictJsonError(text);
    if (!strictError.empty()) {
        problem("not strict JSON (the loader keeps the last of a repeated key and ignores text "
                "after the value): " +
                strictError);
    }
    for (unsigned s = 0; s < kNumPresetSections; s++) {
        const char* section = presetSectionKey(static_cast<PresetSection>(s));
        if (!root.isMember(section)) {
            std::cout << "  \"" << section << "\": absent\n";
        } else if (root[section].isArray()) {
            std::cout << "  \"" << section << "\": " << root[section].size() << " entries\n";
        } else if (root[section].isNull()) {
            std::cout << "  \"" << section << "\": null\n";
        }
    }
    for (const std::string& line : misshapenSections(root)) problem(line);
    for (const std::string& line : unknownSections(root)) problem(line);
    for (const std::string& line : silentlyConvertedValues(root)) problem(line);
    return problems;
}

// Extremes of the values drawn, positive ones apart for log axes.
struct Range {
    double max = 0;
    double minPositive = 1e300;
    void note(double v) {
        max = std::max(max, v);
        if (v > 0) minPositive = std::min(minPositive, v);
    }
};

// One table as the store's dumps read its words (x & xMask, y & yMask),
// scaled into chart units. Colours run through the palette, then again
// dashed, so that no two tables look alike.
Series tableSeries(const std::string& label, const std::vector<unsigned>& values, size_t count,
                   unsigned xMask, unsigned yMask, double xScale, double yScale, size_t colour,
                   Range& xs, Range& ys) {
    Series s;
    s.label = label;
    s.color = paletteColor(colour);
    s.width = 1.5;
    s.dashed = colour >= paletteSize();
    for (size_t i = 0; i < count && count + i < values.size(); i++) {
        const double x = (values[i] & xMask) * xScale;
        const double y = (values[count + i] & yMask) * yScale;
        s.points.push_back({x, y});
        xs.note(x);
        ys.note(y);
    }
    return s;
}

// A log axis over the positive values drawn, at most six decades deep.
Axis logAxis(const std::string& label, const Range& r) {
    if (!(r.max > 0)) return Axis(label, 0.01, 1000, true);
    const double lo = std::max(r.minPositive, r.max * 1e-6);
    return Axis(label, std::pow(10.0, std::floor(std::log10(lo))), r.max * 1.2, true);
}

// The tables in the units they stand for. An EOTF entry maps the 10-bit
// signal of its transfer (a PQ code for st2084-pq) to y / 65535 of the
// entry's luminance; an OETF entry maps x / 65535 of the entry's (source)
// luminance to the 10-bit signal of the panel's transfer, whose full code
// is the product peak. Words are masked as the store's dumps read them.
std::vector<Chart> tableCharts(Hdr10Lut& store, const std::string& path) {
    constexpr double kWordScale = 65535.0;
    Chart eotf;
    eotf.title = "EOTF tables of " + path;
    eotf.notes.push_back(
        "input: x & 0x3ff, the layer's 10-bit signal; output: (y & 0xffff) / 65535 × the "
        "entry's luminance");
    Chart oetf;
    oetf.title = "OETF tables of " + path;
    oetf.notes.push_back(
        "input: (x & 0xffff) / 65535 × the entry's luminance; output: y & 0x3ff, the panel's "
        "10-bit signal (1023 = the product peak)");

    Range ex, ey, ox, oy;
    size_t colour = 0;
    for (unsigned t = 0; t < kNumTransfers; t++) {
        for (const LutEntry& e : store.eotfTables[t]) {
            eotf.series.push_back(tableSeries(
                std::string(transferNames[t].name) + ", " + std::to_string(e.luminance) + " cd/m²",
                e.values, 65, 0x3ff, 0xffff, 1.0, e.luminance / kWordScale, colour++, ex, ey));
        }
    }
    colour = 0;
    for (unsigned t = 0; t < kNumTransfers; t++) {
        for (const OetfRoot& root : store.oetfTables[t]) {
            for (const LutEntry& e : root.entries) {
                std::string label = std::string(transferNames[t].name) + ", peak " +
                                    std::to_string(root.productPeak) + " cd/m² <- " +
                                    std::to_string(e.luminance) + " cd/m²";
                // Without a luminance the input has no scale to draw it on.
                if (e.luminance == 0) label += " (no input scale: not drawn)";
                oetf.series.push_back(tableSeries(label, e.values, 33, 0xffff, 0x3ff,
                                                  e.luminance / kWordScale, 1.0, colour++, ox, oy));
                if (e.luminance == 0) oetf.series.back().points.clear();
            }
        }
    }
    if (eotf.series.empty()) eotf.notes.push_back("no EOTF entries stored");
    if (oetf.series.empty()) oetf.notes.push_back("no OETF entries stored");
    eotf.x = Axis("input signal, 10-bit code", 0, 1023, false);
    eotf.y = logAxis("output luminance (cd/m²)", ey);
    oetf.x = logAxis("input luminance (cd/m²)", ox);
    oetf.y = Axis("output signal, 10-bit code", 0, 1023 * 1.05, false);
    return {eotf, oetf};
}

int runPresetCheck(const PresetCheckOptions& options) {
    if (!options.plot.empty() && !isPlotFileName(options.plot)) {
        std::fprintf(stderr,
                     "kestrel preset check: %s: a plot file name must end in .png or .svg\n",
                     options.plot.c_str());
        return 1;
    }
    const std::string& path = options.file;
    std::cout << "preset file: " << path << "\n";
    const std::string unreadable = unreadablePresetFile(path);
    if (!unreadable.empty()) {
        std::cout << "result: FAILED, " << unreadable << "\n";
        return 1;
    }
    const int problems = checkJson(path);

    // A fresh store; its constructor's notice says only that it starts empty.
    std::unique_ptr<Hdr10Lut> store;
    (void)collectLibraryLines([&] { store = std::make_unique<Hdr10Lut>(); });

    bool loaded = false;
    PresetLoadReport report;
    std::string exception;
    std::vector<std::string> messages = shownLines(collectLibraryLines([&] {
        try {
            loaded = store->loadReporting(path.c_str(), report);
        } catch (const std::exception& e) {
            exception = e.what();
        }
    }));
    std::cout << "loader messages:\n";
    printIndented(messages);

    if (!exception.empty()) {
        std::cout << "the loader stopped with an exception: " << exception << "\n";
        std::cout << "result: FAILED\n";
        // A load that stopped half-way may hold the store's mutex; the store
        // is left to the end of the process rather than destroyed locked.
        (void)store.release();
        return 1;
    }

    std::cout << "rejected entries:\n";
    std::vector<std::string> rejections;
    for (const PresetRejection& r : report.rejected) rejections.push_back(describeRejection(r));
    printIndented(rejections);

    std::cout << "dumps:\n";
    printIndented(shownLines(collectLibraryLines([&] {
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

    const std::vector<std::string> wide = valuesWiderThanTheirField(*store);
    const std::vector<std::string> unordered = nonIncreasingTables(*store);
    const std::vector<std::string> falling = fallingTables(*store);
    const std::vector<std::string> duplicates = duplicateKeys(*store);
    std::cout << "tables:\n";
    std::vector<std::string> findings;
    for (const std::string& line : wide) findings.push_back("error: " + line);
    for (const std::string& line : unordered) findings.push_back("error: " + line);
    for (const std::string& line : falling) findings.push_back("error: " + line);
    if (unordered.empty() && wide.empty() && falling.empty() && duplicates.empty())
        findings.push_back("no problems");
    for (const std::string& line : duplicates) findings.push_back("warning: " + line);
    printIndented(findings);

    // A plot that was asked for and not written fails the check, and the
    // result line says so: it is the line a gate reads.
    bool plotWritten = true;
    if (!options.plot.empty()) {
        const Status written = writeCharts(options.plot, tableCharts(*store, path));
        if (!written) {
            std::fprintf(stderr, "kestrel preset check: %s\n", written.message().c_str());
            plotWritten = false;
        }
    }

    if (!loaded) {
        std::cout << "result: FAILED, the file could not be loaded\n";
        return 1;
    }
    std::vector<std::string> failures;
    const size_t rejected = report.rejected.size();
    if (rejected > 0) {
        failures.push_back(std::to_string(rejected) + " entr" + (rejected == 1 ? "y" : "ies") +
                           " rejected");
    }
    if (problems > 0) failures.push_back(counted(problems, "problem", "problems") + " with the JSON");
    if (report.storedTotal() == 0) failures.push_back("nothing was stored");
    if (!wide.empty()) {
        failures.push_back(counted(wide.size(), "table", "tables") +
                           " with values wider than their field");
    }
    if (!unordered.empty()) {
        failures.push_back(counted(unordered.size(), "table", "tables") +
                           " whose x-values do not increase");
    }
    if (!falling.empty()) {
        failures.push_back(counted(falling.size(), "table", "tables") + " whose y-values fall");
    }
    const std::string warnings =
        std::to_string(duplicates.size()) + " warning" + (duplicates.size() == 1 ? "" : "s");
    if (options.strict && !duplicates.empty()) failures.push_back(warnings + " (--strict)");
    if (!plotWritten) failures.push_back("the plot " + options.plot + " could not be written");
    if (!failures.empty()) {
        std::cout << "result: FAILED";
        for (const std::string& failure : failures) std::cout << ", " << failure;
        std::cout << "\n";
        return 1;
    }
    std::cout << "result: OK";
    if (!duplicates.empty()) std::cout << ", " << warnings;
    std::cout << "\n";
    return 0;
}

}  // namespace

namespace {

const char* kPresetCheckExamples =
    "Examples:\n"
    "  kestrel preset check examples/presets/example_preset.json\n"
    "  kestrel preset check my_preset.json --strict --plot my_preset.png";

// `preset`, a group of one command so far: `preset check`.
class PresetCommand : public Command {
public:
    CLI::App* define(CLI::App& app) override {
        PresetCheckOptions& preset = mOptions;
        CLI::App* presetCommand = app.add_subcommand("preset", "Preset files");
        presetCommand->require_subcommand(1);
        mCheck = presetCommand->add_subcommand(
            "check", "Load a preset file into a fresh store, show the loader's messages and dumps");
        mCheck->add_option("file", preset.file, "Preset file (JSON)")->required();
        mCheck->add_option("--plot", preset.plot, "Draw the EOTF and OETF tables (.png or .svg)");
        mCheck->add_flag("--strict", preset.strict,
                         "Fail on warnings too (entries that share a key with different tables)");
        mCheck->footer(std::string(kPresetCheckExamples) + "\n\n" +
                       exitStatusHelp("the file is not a sound preset (the message says why), the "
                                      "plot could\n     not be written, or, with --strict, a "
                                      "warning was given"));
        return presetCommand;
    }
    int run() override {
        if (*mCheck) return runPresetCheck(mOptions);
        return kExitUsage;  // the parser requires a subcommand, so not reached
    }

private:
    PresetCheckOptions mOptions;
    CLI::App* mCheck = nullptr;
};

}  // namespace

std::unique_ptr<Command> makePresetCommand() { return std::make_unique<PresetCommand>(); }

}  // namespace kestrel::tool
