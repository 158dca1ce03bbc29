// kestrel report: a whole clip on one or more target displays, as one
// self-contained page (or its data as JSON): timelines of the output of
// fixed input levels, every frame's curve, and the frames inside a scene
// where the picture will pump.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <string>

#include "analysis/output_capture.h"
#include "clip/clip_reader.h"
#include "clip/hdr10plus_document.h"
#include "clip/json_file.h"
#include "tools/kestrel/cli/commands.h"
#include "tools/kestrel/cli/progress.h"
#include "tools/kestrel/render/report_data.h"
#include "tools/kestrel/render/report_page.h"

namespace kestrel::tool {

namespace {

// The library's error lines change what a table means, so they are shown,
// but once per target and line with the number of frames, not once a frame.
void showLibraryErrors(const Report& report) {
    for (const TargetRows& rows : report.clip.targets) {
        std::map<std::string, unsigned> counts;
        std::map<std::string, unsigned> firstFrame;
        for (const FrameRow& row : rows.frames) {
            for (const std::string& line : splitLines(row.lut.diagnostics)) {
                if (!isErrorLogLine(line)) continue;
                if (counts[line]++ == 0) firstFrame[line] = row.frame;
            }
        }
        for (const auto& [line, count] : counts) {
            std::fprintf(stderr, "kestrel report: %u cd/m²: library (frame %u%s): %s\n",
                         rows.targetNits, firstFrame[line],
                         count > 1 ? (" and " + std::to_string(count - 1) + " more").c_str() : "",
                         line.c_str());
        }
    }
}

std::string flaggedSummary(const Report& report) {
    std::string text;
    for (size_t t = 0; t < report.clip.targets.size(); t++) {
        if (!text.empty()) text += ", ";
        text += std::to_string(report.clip.targets[t].targetNits) +
                " cd/m²: " + std::to_string(flaggedFrameCount(report.jumps[t]));
    }
    return text;
}

}  // namespace

int runReport(const ReportOptions& o) {
    const char* name = "kestrel report";
    const bool json = o.format == "json";
    if (o.output.empty() && !json && isatty(STDOUT_FILENO) == 1) {
        std::fprintf(stderr,
                     "%s: the page is HTML; name a file for it with -o (for example -o "
                     "report.html), or ask for --format json\n",
                     name);
        return 1;
    }

    Hdr10PlusDocument document;
    std::string error;
    TerminalReadProgress readProgress;
    if (!loadHdr10PlusInput(o.input, document, error, OpenOptions{&readProgress})) {
        std::fprintf(stderr, "%s: %s\n", name, error.c_str());
        return 1;
    }
    // A clip without frames has nothing to report on, and a page saying so
    // would look like a clip that passed.
    if (document.frameCount == 0) {
        std::fprintf(stderr, "%s: %s: holds no HDR10+ metadata (0 frames); no report written\n",
                     name, o.input.c_str());
        return 1;
    }
    // Opened before the work, so that a name that cannot be written fails at once.
    std::ofstream file;
    if (!o.output.empty()) {
        file.open(o.output, std::ios::out | std::ios::trunc | std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "%s: %s: cannot write\n", name, o.output.c_str());
            return 1;
        }
    }

    ReportRequest request;
    request.file = o.input;
    request.targets = o.targets;
    request.layerNits = o.layerNits;
    request.thresholdCodes = o.jumpThreshold;
    request.maxError = o.maxError;
    Report report;
    {
        ProgressBar progress(static_cast<unsigned>(document.frames.size() * o.targets.size()),
                             "frames analysed");
        report =
            buildReport(document, request, [&](unsigned done, unsigned) { progress.update(done); });
    }

    for (const std::string& e : report.clip.rejected)
        std::fprintf(stderr, "%s: %s (frame left out)\n", name, e.c_str());
    showLibraryErrors(report);

    std::ostream& out = o.output.empty() ? std::cout : file;
    if (json) {
        out << prettyJson(reportJson(report, false));
    } else {
        writeReportPage(out, reportJson(report, true));
    }
    out.flush();
    if (!out) {
        std::fprintf(stderr, "%s: %s: writing failed\n", name,
                     o.output.empty() ? "standard output" : o.output.c_str());
        return 1;
    }

    size_t flagged = 0;
    for (const std::vector<Jump>& jumps : report.jumps) flagged += flaggedFrameCount(jumps);
    if (!o.output.empty()) {
        const unsigned frames = report.clip.frameCount;
        const size_t scenes = report.scenes.firstFrames.size();
        std::fprintf(stderr, "%s: wrote %s: %u frame%s, %zu scene%s; flagged frames at %s\n", name,
                     o.output.c_str(), frames, frames == 1 ? "" : "s", scenes,
                     scenes == 1 ? "" : "s", flaggedSummary(report).c_str());
    }
    int status = report.clip.rejected.empty() ? 0 : 1;
    if (o.failOnJumps && flagged > 0) {
        std::fprintf(stderr, "%s: jumps inside a scene (--fail-on-jumps): flagged frames at %s\n",
                     name, flaggedSummary(report).c_str());
        status = 1;
    }
    return status;
}

}  // namespace kestrel::tool
