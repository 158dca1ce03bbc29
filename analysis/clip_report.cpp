#include "analysis/clip_report.h"

#include <limits>
#include <set>

namespace kestrel::tool {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}  // namespace

const std::vector<double>& reportLevels() {
    static const std::vector<double> levels{1, 10, 100, 1000};
    return levels;
}

Report buildReport(const Hdr10PlusDocument& document, const ReportRequest& request,
                   const std::function<void(unsigned, unsigned)>& progress) {
    Report report;
    report.file = request.file;
    report.thresholdCodes = request.thresholdCodes;
    ClipRequest clipRequest;
    clipRequest.targets = request.targets;
    clipRequest.layerNits = request.layerNits;
    clipRequest.levels = reportLevels();
    clipRequest.maxError = request.maxError;
    report.clip = analyseClip(document, clipRequest, progress);
    for (TargetRows& rows : report.clip.targets) {
        for (FrameRow& row : rows.frames) {
            row.levelOutputs.push_back(
                row.averageMaxRgbNits >= 0 ? outputAtLevel(row.lut, row.averageMaxRgbNits) : kNaN);
        }
    }
    report.scenes = splitScenes(report.clip.targets.empty() ? std::vector<FrameRow>{}
                                                            : report.clip.targets.front().frames);
    for (const TargetRows& rows : report.clip.targets)
        report.jumps.push_back(
            findJumps(rows.frames, report.scenes.sceneOf, report.thresholdCodes));
    return report;
}

size_t flaggedFrameCount(const std::vector<Jump>& jumps) {
    std::set<unsigned> frames;
    for (const Jump& j : jumps) frames.insert(j.frame);
    return frames.size();
}

}  // namespace kestrel::tool
