// kestrel lut: HDR10+ metadata through the library's tone-mapping path for
// one target peak, shown as the adapted curve and its 33-point table.
#include <json/value.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "tools/kestrel/clip_analysis.h"
#include "tools/kestrel/commands.h"
#include "tools/kestrel/hdr10plus_json.h"
#include "tools/kestrel/json_file.h"
#include "tools/kestrel/lut_charts.h"
#include "tools/kestrel/lut_output.h"
#include "tools/kestrel/output_capture.h"
#include "tools/kestrel/plot.h"
#include "tools/kestrel/progress.h"

namespace kestrel::tool {

namespace {

// The library's lines go to --diag-out if given; its error lines are shown
// on standard error in any case, since they change what the table means.
class LibraryOutput {
public:
    bool open(const std::string& path, std::string& error) {
        if (path.empty()) return true;
        mFile.open(path, std::ios::out | std::ios::trunc);
        if (!mFile) error = path + ": cannot write";
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
    request.targets = {o.targetNits};
    request.layerNits = o.layerNits;
    if (o.allFrames) request.levels = o.levels.empty() ? kDefaultLevels : o.levels;
    return request;
}

int runOneFrame(const LutOptions& o, const Hdr10PlusDocument& document, LibraryOutput& library) {
    if (o.frame >= document.frameCount) {
        std::fprintf(stderr, "kestrel lut: %s: frame %u is beyond its %u frames\n",
                     o.metadata.c_str(), o.frame, document.frameCount);
        return 1;
    }
    const Hdr10PlusFrame* frame = nullptr;
    for (const Hdr10PlusFrame& f : document.frames) {
        if (f.index == o.frame) frame = &f;
    }
    if (frame == nullptr) {
        const std::string prefix = o.metadata + ": frame " + std::to_string(o.frame) + ":";
        for (const std::string& e : document.errors) {
            if (e.compare(0, prefix.size(), prefix) == 0)
                std::fprintf(stderr, "kestrel lut: %s\n", e.c_str());
        }
        return 1;
    }

    const FrameRow row = analyseFrame(*frame, o.targetNits, requestOf(o));
    library.show("kestrel lut: library", row.lut.diagnostics);
    const std::string format = o.format.empty() ? "table" : o.format;
    if (format == "json") {
        Json::Value v = frameJson(row);
        v["file"] = o.metadata;
        std::cout << prettyJson(v);
    } else if (format == "csv") {
        writeFrameCsv(std::cout, row);
    } else {
        writeFrameTable(std::cout, row, o.metadata);
    }
    std::cout.flush();

    int status = 0;
    if (!o.plot.empty()) {
        std::string error;
        if (!writeCharts(o.plot, {curveChart(row, o.metadata)}, error)) {
            std::fprintf(stderr, "kestrel lut: %s\n", error.c_str());
            status = 1;
        }
    }
    for (const FrameWarning& w : row.warnings) {
        if (w.kind != WarningKind::DecreasingInput) continue;
        std::fprintf(stderr, "kestrel lut: %s\n", w.text.c_str());
        status = 1;
    }
    return status;
}

int runAllFrames(const LutOptions& o, const Hdr10PlusDocument& document, LibraryOutput& library) {
    const std::string format = o.format.empty() ? "csv" : o.format;
    ClipAnalysis clip;
    {
        ProgressBar progress(static_cast<unsigned>(document.frames.size()), "frames");
        clip = analyseClip(document, requestOf(o),
                           [&](unsigned done, unsigned) { progress.update(done); });
    }
    const TargetRows& rows = clip.targets.front();
    for (const FrameRow& row : rows.frames) {
        library.show("kestrel lut: frame " + std::to_string(row.frame) + ": library",
                     row.lut.diagnostics);
    }

    int status = clip.rejected.empty() ? 0 : 1;
    for (const std::string& e : clip.rejected) {
        std::fprintf(stderr, "kestrel lut: %s (frame skipped)\n", e.c_str());
    }
    for (const FrameRow& row : rows.frames) {
        for (const FrameWarning& w : row.warnings) {
            if (w.kind != WarningKind::DecreasingInput) continue;
            std::fprintf(stderr, "kestrel lut: frame %u: %s\n", row.frame, w.text.c_str());
            status = 1;
        }
    }

    if (format == "json") {
        std::cout << prettyJson(clipJson(clip, rows, o.metadata));
    } else {
        writeClipRows(std::cout, rows, format == "csv" ? RowLayout::Csv : RowLayout::Columns);
    }
    std::cout.flush();

    if (!o.plot.empty()) {
        std::string error;
        if (!writeCharts(o.plot, {levelsChart(rows, requestOf(o).levels, o.metadata)}, error)) {
            std::fprintf(stderr, "kestrel lut: %s\n", error.c_str());
            status = 1;
        }
    }
    return status;
}

}  // namespace

int runLut(const LutOptions& options) {
    if (!options.plot.empty() && !isPlotFileName(options.plot)) {
        std::fprintf(stderr, "kestrel lut: %s: a plot file name must end in .png or .svg\n",
                     options.plot.c_str());
        return 1;
    }
    Hdr10PlusDocument document;
    std::string error;
    if (!loadHdr10PlusFile(options.metadata, document, error)) {
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
