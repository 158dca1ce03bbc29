// SPDX-License-Identifier: Apache-2.0
#include "analysis/clip_report.h"

#include <limits>
#include <set>

namespace kestrel::analysis {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}  // namespace

const std::vector<double>& reportLevels() {
    static const std::vector<double> levels{1, 10, 100, 1000};
    return levels;
}

Report buildReport(const clip::Clip& clip, const ReportRequest& request,
                   const std::function<void(unsigned, unsigned)>& progress) {
    Report report;
    report.file = request.file;
    report.thresholdCodes = request.thresholdCodes;
    report.tablesFrom = request.tablesFrom;
    ClipRequest clipRequest;
    clipRequest.targets = request.targets;
    clipRequest.layerNits = request.layerNits;
    clipRequest.levels = reportLevels();
    clipRequest.maxError = request.maxError;
    clipRequest.maxRatio = request.maxRatio;
    clipRequest.tables = request.tables;
    report.clip = analyseClip(clip, clipRequest, progress);
    for (TargetRows& rows : report.clip.targets) {
        for (FrameRow& row : rows.frames) {
            row.levelOutputs.push_back(
                row.averageMaxRgbNits >= 0 ? outputAtLevel(row.lut(), row.averageMaxRgbNits) : kNaN);
        }
    }
    static const std::vector<FrameRow> kNoRows;
    const std::vector<FrameRow>& first =
        report.clip.targets.empty() ? kNoRows : report.clip.targets.front().frames;
    report.scenes = scenesOfRows(first, request.scenes ? *request.scenes : clipScenes(clip));
    for (const TargetRows& rows : report.clip.targets) {
        report.jumps.push_back(
            findJumps(rows.frames, report.scenes.sceneOf, report.thresholdCodes));
        report.glitches.push_back(findGlitches(rows.frames, report.thresholdCodes));
    }
    return report;
}

size_t flaggedFrameCount(const std::vector<Jump>& jumps) {
    std::set<unsigned> frames;
    for (const Jump& j : jumps) frames.insert(j.frame);
    return frames.size();
}

size_t framesWithWarnings(const TargetRows& rows) {
    size_t n = 0;
    for (const FrameRow& row : rows.frames) n += row.warnings.empty() ? 0 : 1;
    return n;
}

size_t flaggedFrameCount(const Report& report, size_t t) {
    std::set<unsigned> frames;
    if (t < report.jumps.size()) {
        for (const Jump& j : report.jumps[t]) frames.insert(j.frame);
    }
    if (t < report.glitches.size()) {
        for (const Glitch& g : report.glitches[t]) {
            for (unsigned f = g.firstFrame; f <= g.lastFrame; f++) frames.insert(f);
        }
    }
    return frames.size();
}

}  // namespace kestrel::analysis
