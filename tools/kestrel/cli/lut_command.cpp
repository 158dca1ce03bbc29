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
#include "analysis/output_capture.h"
#include "clip/clip_reader.h"
#include "clip/hdr10plus_document.h"
#include "clip/json_file.h"
#include "tools/kestrel/cli/commands.h"
#include "tools/kestrel/cli/progress.h"
#include "tools/kestrel/render/curve_charts.h"
#include "tools/kestrel/render/plot.h"
#include "tools/kestrel/render/row_formats.h"
#include "tools/kestrel/render/warning_text.h"

namespace kestrel::tool {

namespace {

// The library's lines go to --diag-out if given; its error lines are shown
// on standard error in any case, since they change what the table means.
class LibraryOutput {
public:
    bool open(const std::string& path, std::string& error) {
        if (path.empty()) return true;
        errno = 0;
        mFile.open(path, std::ios::out | std::ios::trunc);
        if (!mFile)
            error = path + ": cannot write: " + (errno != 0 ? std::strerror(errno) : "open failed");
        return static_cast<bool>(mFile);
    }
    void show(const std::string& context, const std::string& text) {
        if (mFile.is_open()) mFile << text;
        for (const std::string& line : splitLines(text)) {
            if (isErrorLogLine(line))
                std::fprintf(stderr, "%s: %s\n", context.c_str(), line.c_str());
        }
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
    if (o.allFrames) request.levels = o.levels.empty() ? kDefaultLevels : o.levels;
    return request;
}

// Where a message belongs, for a reader of several frames or targets.
std::string context(const LutOptions& o, const FrameRow& row) {
    std::string text;
    if (o.allFrames) text += "frame " + std::to_string(row.frame) + ": ";
    if (o.targets.size() > 1) text += std::to_string(row.lut.targetNits) + " cd/m² target: ";
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
    std::string error;
    if (!writeCharts(o.plot, charts, error)) {
        std::fprintf(stderr, "kestrel lut: %s\n", error.c_str());
        return false;
    }
    return true;
}

int runOneFrame(const LutOptions& o, const Hdr10PlusDocument& document, LibraryOutput& library) {
    if (o.frame >= document.frameCount) {
        std::fprintf(stderr, "kestrel lut: %s: frame %u is beyond its %u frame%s\n",
                     o.metadata.c_str(), o.frame, document.frameCount,
                     document.frameCount == 1 ? "" : "s");
        return kExitFailed;
    }
    const Hdr10PlusFrame* frame = nullptr;
    for (const Hdr10PlusFrame& f : document.frames) {
        if (f.index == o.frame) frame = &f;
    }
    if (frame == nullptr) {
        if (const hdr10plus::JsonError* e = document.errorOf(o.frame))
            std::fprintf(stderr, "kestrel lut: %s\n", document.message(*e).c_str());
        return kExitFailed;
    }

    std::vector<FrameRow> rows;
    for (unsigned target : o.targets) {
        rows.push_back(analyseFrame(*frame, target, requestOf(o)));
        library.show("kestrel lut: library", rows.back().lut.diagnostics);
    }
    if (!o.plot.empty() && !writePlot(o, frameCharts(rows, o.metadata, o.axes))) {
        return kExitFailed;
    }

    const std::string format = o.format.empty() ? "table" : o.format;
    if (format == "json") {
        Json::Value v;
        if (rows.size() == 1) {
            v = frameJson(rows.front());
            v["file"] = o.metadata;
        } else {
            v["file"] = o.metadata;
            v["frame"] = o.frame;
            v["targets"] = Json::Value(Json::arrayValue);
            for (const FrameRow& row : rows) v["targets"].append(frameJson(row));
        }
        std::cout << prettyJson(v);
    } else {
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

int runAllFrames(const LutOptions& o, const Hdr10PlusDocument& document, LibraryOutput& library) {
    const std::string format = o.format.empty() ? "csv" : o.format;
    ClipAnalysis clip;
    {
        ProgressBar progress(static_cast<unsigned>(document.frames.size() * o.targets.size()),
                             "frames");
        clip = analyseClip(document, requestOf(o),
                           [&](unsigned done, unsigned) { progress.update(done); });
    }
    for (const TargetRows& rows : clip.targets) {
        for (const FrameRow& row : rows.frames) {
            library.show("kestrel lut: frame " + std::to_string(row.frame) + ": library",
                         row.lut.diagnostics);
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
        std::cout << prettyJson(clipJson(clip, o.metadata));
    } else {
        const RowLayout layout = format == "csv" ? RowLayout::Csv : RowLayout::Columns;
        writeClipHeader(std::cout, layout);
        for (const TargetRows& rows : clip.targets) writeClipRows(std::cout, rows, layout);
    }
    std::cout.flush();
    return status;
}

}  // namespace

int runLut(const LutOptions& options) {
    if (!options.plot.empty() && !isPlotFileName(options.plot)) {
        std::fprintf(stderr, "kestrel lut: %s: a plot file name must end in .png or .svg\n",
                     options.plot.c_str());
        return kExitFailed;
    }
    Hdr10PlusDocument document;
    std::string error;
    TerminalReadProgress readProgress;
    if (!loadHdr10PlusInput(options.metadata, document, error, OpenOptions{&readProgress})) {
        std::fprintf(stderr, "kestrel lut: %s\n", error.c_str());
        return 1;
    }
    LibraryOutput library;
    if (!library.open(options.diagOut, error)) {
        std::fprintf(stderr, "kestrel lut: %s\n", error.c_str());
        return 1;
    }
    return options.allFrames ? runAllFrames(options, document, library)
                             : runOneFrame(options, document, library);
}

}  // namespace kestrel::tool
