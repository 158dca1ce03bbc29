// SPDX-License-Identifier: Apache-2.0
// kestrel lut: HDR10+ metadata through the library's tone-mapping path for
// one target peak, shown as the adapted curve and its 33-point table.
#include <json/value.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "analysis/clip_analysis.h"
#include "clip/clip_reader.h"
#include "clip/json_file.h"
#include "tools/kestrel/cli/command.h"
#include "tools/kestrel/cli/commands.h"
#include "tools/kestrel/cli/display_options.h"
#include "tools/kestrel/cli/exit_status_help.h"
#include "tools/kestrel/cli/output_file.h"
#include "tools/kestrel/cli/option_values.h"
#include "tools/kestrel/cli/progress.h"
#include "tools/kestrel/cli/table_plugin.h"
#include "tools/kestrel/render/curve_charts.h"
#include "tools/kestrel/render/plot.h"
#include "tools/kestrel/render/row_formats.h"
#include "tools/kestrel/render/table_origin.h"
#include "tools/kestrel/render/warning_text.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

namespace {

struct LutOptions : DisplayOptions {
    std::string metadata;
    unsigned frame = 0;
    std::string format;  // table, csv or json; empty: table, or csv with allFrames
    std::string plot;
    LuminanceAxes axes = LuminanceAxes::Nits;
    std::string diagOut;
    bool allFrames = false;
    std::vector<double> levels;  // input levels in cd/m² for the all-frames plot
    bool strict = false;         // a warning makes the exit status 1
    bool timing = true;          // false: the time a table took is left out
    std::string plugin;          // --plugin: the tables from this file; empty: built in
    ToneTableMaker tables;       // from `plugin` once loaded
    TableOrigin tablesFrom;
};

// The library's lines go to --diag-out if given; its error lines are shown
// on standard error, since they change what the table means, except the one
// a warning already says (render/warning_text.h).
class LibraryOutput {
public:
    Status open(const std::string& path) {
        if (path.empty()) return {};
        return openOutputFile(mFile, path);
    }
    void show(const std::string& context, const FrameRow& row) {
        if (mFile.is_open()) {
            for (const LibraryLine& line : row.lut().diagnostics)
                mFile << defaultSinkText(line) << '\n';
        }
        for (const LibraryLine& line : errorsBesideWarnings(row))
            std::fprintf(stderr, "%s: %s\n", context.c_str(), defaultSinkText(line).c_str());
    }

private:
    std::ofstream mFile;
};

const std::vector<double> kDefaultLevels{1, 10, 100, 1000};

ClipRequest requestOf(const LutOptions& o) {
    ClipRequest request;
    request.targets = o.targets;
    request.layerNits = o.layerNits;
    request.maxError = o.maxError;
    request.maxRatio = o.maxRatio;
    request.tables = o.tables;
    if (o.allFrames) request.levels = o.levels.empty() ? kDefaultLevels : o.levels;
    return request;
}

// Where a message belongs, for a reader of several frames or targets.
std::string context(const LutOptions& o, const FrameRow& row) {
    std::string text;
    if (o.allFrames) text += "frame " + std::to_string(row.frame) + ": ";
    if (o.targets.size() > 1) text += std::to_string(row.lut().targetNits) + " cd/m² target: ";
    return text;
}

// Shows the row's warnings on standard error. The status is 1 for a table
// that cannot be used, and for any warning under --strict.
int reportWarnings(const LutOptions& o, const FrameRow& row) {
    int status = kExitOk;
    for (const FrameWarning& w : row.warnings) {
        if (w.kind == WarningKind::DecreasingInput) {
            std::fprintf(stderr, "kestrel lut: %s%s\n", context(o, row).c_str(),
                         warningText(w).c_str());
            status = kExitFailed;
        } else {
            std::fprintf(stderr, "kestrel lut: warning: %s%s\n", context(o, row).c_str(),
                         warningText(w).c_str());
            if (o.strict) status = kExitFailed;
        }
    }
    return status;
}

// The plot is written first: a file that cannot be written fails the run
// before anything is printed, so no one reads a table whose plot is missing.
bool writePlot(const LutOptions& o, const std::vector<Chart>& charts) {
    if (o.plot.empty()) return true;
    const Status written = writeCharts(o.plot, charts);
    if (!written) {
        std::fprintf(stderr, "kestrel lut: %s\n", written.message().c_str());
        return false;
    }
    return true;
}

int runOneFrame(const LutOptions& o, const Clip& clip, LibraryOutput& library) {
    if (o.frame >= clip.frameCount()) {
        std::fprintf(stderr, "kestrel lut: %s: frame %u is beyond its %u frame%s\n",
                     o.metadata.c_str(), o.frame, clip.frameCount(),
                     clip.frameCount() == 1 ? "" : "s");
        return kExitFailed;
    }
    const ClipFrame& frame = clip.frames[o.frame];
    if (!frame.metadata) {
        std::fprintf(stderr, "kestrel lut: %s: %s\n", clip.name.c_str(),
                     clip.problemMessage(o.frame).c_str());
        return kExitFailed;
    }

    std::vector<FrameRow> rows;
    for (unsigned target : o.targets) {
        rows.push_back(analyseFrame(o.frame, *frame.metadata, target, requestOf(o)));
        library.show("kestrel lut: library", rows.back());
    }
    if (!o.plot.empty() && !writePlot(o, frameCharts(rows, o.metadata, o.axes))) {
        return kExitFailed;
    }

    const std::string format = o.format.empty() ? "table" : o.format;
    if (format == "json") {
        Json::Value v = frameDocumentJson(rows, o.metadata, o.frame, o.timing);
        v["tables_from"] = tableOriginJson(o.tablesFrom);
        std::cout << prettyJson(v);
    } else {
        if (format == "table" && o.tablesFrom.plugin)
            std::cout << "tables: computed by " << tableOriginText(o.tablesFrom) << "\n";
        for (size_t i = 0; i < rows.size(); i++) {
            if (format == "csv") {
                writeFrameCsv(std::cout, rows[i], i == 0);
            } else {
                if (i > 0) std::cout << "\n";
                writeFrameTable(std::cout, rows[i], o.metadata);
            }
        }
    }
    std::cout.flush();

    int status = kExitOk;
    for (const FrameRow& row : rows) status = std::max(status, reportWarnings(o, row));
    return status;
}

int runAllFrames(const LutOptions& o, const Clip& input, LibraryOutput& library) {
    const std::string format = o.format.empty() ? "csv" : o.format;
    ClipAnalysis clip;
    {
        ProgressBar progress(static_cast<unsigned>(input.framesWithMetadata() * o.targets.size()),
                             "frames");
        clip = analyseClip(input, requestOf(o),
                           [&](unsigned done, unsigned) { progress.update(done); });
    }
    for (const TargetRows& rows : clip.targets) {
        for (const FrameRow& row : rows.frames) {
            library.show("kestrel lut: frame " + std::to_string(row.frame) + ": library", row);
        }
    }
    if (!o.plot.empty() &&
        !writePlot(o, levelsCharts(clip, requestOf(o).levels, o.metadata, o.axes))) {
        return kExitFailed;
    }

    int status = clip.rejected.empty() ? kExitOk : kExitFailed;
    for (const std::string& e : clip.rejected) {
        std::fprintf(stderr, "kestrel lut: %s (frame skipped)\n", e.c_str());
    }
    for (const TargetRows& rows : clip.targets) {
        for (const FrameRow& row : rows.frames) status = std::max(status, reportWarnings(o, row));
    }

    if (format == "json") {
        writeClipDocumentJson(std::cout, clip, o.metadata, o.timing, tableOriginJson(o.tablesFrom));
    } else {
        const RowLayout layout = format == "csv" ? RowLayout::Csv : RowLayout::Columns;
        writeClipHeader(std::cout, layout);
        for (const TargetRows& rows : clip.targets)
            writeClipRows(std::cout, rows, layout, o.timing);
    }
    std::cout.flush();
    return status;
}

int runLut(LutOptions options) {
    PluginTables plugin;
    if (!options.plugin.empty()) {
        if (!openTablePlugin("kestrel lut", options.plugin, plugin)) return kExitFailed;
        options.tables = plugin.maker();
        options.tablesFrom = plugin.origin();
        // A CSV or table of rows has no place for it; the stream beside does.
        if (options.allFrames && options.format != "json")
            std::fprintf(stderr, "kestrel lut: tables computed by %s\n",
                         tableOriginText(options.tablesFrom).c_str());
    }
    if (!options.plot.empty() && !isPlotFileName(options.plot)) {
        std::fprintf(stderr, "kestrel lut: %s: a plot file name must end in .png or .svg\n",
                     options.plot.c_str());
        return kExitFailed;
    }
    TerminalReadProgress readProgress;
    Result<Clip> loaded = openClip(options.metadata, OpenOptions{&readProgress});
    const Status whole = loaded ? loaded->whole() : loaded.status();
    if (!whole) {
        std::fprintf(stderr, "kestrel lut: %s\n", whole.message().c_str());
        return 1;
    }
    const Clip& clip = *loaded;
    LibraryOutput library;
    if (const Status opened = library.open(options.diagOut); !opened) {
        std::fprintf(stderr, "kestrel lut: %s\n", opened.message().c_str());
        return 1;
    }
    return options.allFrames ? runAllFrames(options, clip, library)
                             : runOneFrame(options, clip, library);
}

}  // namespace

namespace {

const char* kLutExamples =
    "Examples:\n"
    "  kestrel lut clip.json --frame 12 --target-nits 600\n"
    "  kestrel lut clip.json --frame 12 --target-nits 400,600,1000 --plot curves.png\n"
    "  kestrel lut clip.json --all-frames --format json --strict > frames.json\n"
    "  kestrel lut clip.json --all-frames --no-timing > a.csv   (diff with another run)\n"
    "  kestrel lut clip.json --all-frames --plot levels.svg --levels 1,10,100\n"
    "  kestrel lut clip.hevc --frame 12   (streams and container files too)";

class LutCommand : public Command {
public:
    CLI::App* define(CLI::App& app) override {
        LutOptions& lut = mOptions;
        CLI::App* lutCommand = app.add_subcommand(
            "lut",
            "Adapt the tone curve of HDR10+ metadata to a target and show its 33-point table");
        lutCommand
            ->add_option("metadata", lut.metadata,
                         "HDR10+ metadata: JSON, an HEVC stream or a container file")
            ->required();
        CLI::Option* frameOption = lutCommand->add_option(
            "--frame", mFrameText, "Frame of the file to use (from 0; default 0)");
        frameOption->type_name("N");
        mDisplay.addTargets(*lutCommand, "Peak of the target display, cd/m² (default " +
                                             std::to_string(kDefaultTargetNits) +
                                             "); several, separated by commas, give one table "
                                             "each and one plot with all of them");
        lutCommand
            ->add_option("--format", lut.format,
                         "Output: table, csv or json (default table; csv with --all-frames)")
            ->check(CLI::IsMember({"table", "csv", "json"}));
        mPlot = lutCommand->add_option("--plot", lut.plot, "Draw the curves to a .png or .svg file")
                    ->type_name("FILE");
        lutCommand
            ->add_option("--axes", mAxesText,
                         "With --plot: nits (cd/m², log axes; default) or pq (10-bit PQ codes)")
            ->check(CLI::IsMember({"nits", "pq"}));
        lutCommand->add_option("--diag-out", lut.diagOut,
                               "Write the library's own output to this file (error lines are "
                               "always shown on standard error)");
        CLI::Option* allFrames =
            lutCommand->add_flag("--all-frames", lut.allFrames,
                                 "Every frame: one row each (knee, first anchor, source peak, "
                                 "largest interpolation error, time, warnings)");
        lutCommand
            ->add_option("--levels", mLevelTexts,
                         "With --all-frames and --plot: input levels (cd/m²), separated by "
                         "commas, whose output is drawn across the frames (default "
                         "1,10,100,1000)")
            ->expected(1)
            ->take_all()
            ->allow_extra_args(false)
            ->type_name("L[,L...]");
        mDisplay.addMaxError(*lutCommand);
        lutCommand->add_flag("--strict", lut.strict,
                             "Exit with status 1 when there is any warning");
        addTablePluginOption(*lutCommand, lut.plugin);
        lutCommand->add_flag("--no-timing", mNoTiming,
                             "Leave out the time each table took (microseconds: empty in CSV, "
                             "null in JSON), so that two runs can be compared");
        frameOption->excludes(allFrames);
        lutCommand->footer(
            std::string(kLutExamples) + "\n\n" +
            exitStatusHelp("the input could not be read, the frame is beyond it or was rejected,\n"
                           "     a table cannot be used (its inputs fall), the plot could not be\n"
                           "     written, --plugin names a file without the entry points, or,\n"
                           "     with --strict, a warning was given"));
        return lutCommand;
    }
    std::string check() override {
        LutOptions& lut = mOptions;
        Status status;
        if (!mFrameText.empty())
            status = store(parseWholeNumber("--frame", mFrameText, 0, 0xffffffffu), lut.frame);
        if (status) status = mDisplay.readTargets(lut);
        if (status && !mLevelTexts.empty())
            status = store(parsePositiveNumbers("--levels", mLevelTexts), lut.levels);
        if (status) status = mDisplay.readMaxError(lut);
        if (!status) return "kestrel lut: " + status.message();
        // Options that would do nothing are mistakes, not silence.
        if (!mLevelTexts.empty() && (!lut.allFrames || mPlot->count() == 0))
            return "kestrel lut: --levels needs --all-frames and --plot";
        if (!mAxesText.empty() && mPlot->count() == 0) return "kestrel lut: --axes needs --plot";
        lut.axes = mAxesText == "pq" ? LuminanceAxes::Pq : LuminanceAxes::Nits;
        lut.timing = !mNoTiming;
        return "";
    }
    int run() override { return runLut(mOptions); }

private:
    LutOptions mOptions;
    DisplayOptionGroup mDisplay;
    std::string mFrameText, mAxesText;
    std::vector<std::string> mLevelTexts;
    CLI::Option* mPlot = nullptr;
    bool mNoTiming = false;
};

}  // namespace

std::unique_ptr<Command> makeLutCommand() { return std::make_unique<LutCommand>(); }

}  // namespace kestrel::tool
