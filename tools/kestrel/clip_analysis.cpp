#include "tools/kestrel/clip_analysis.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kestrel::tool {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool tableUsable(const LutAnalysis& a) { return a.firstDecrease < 0; }

}  // namespace

double inputScale(const LutAnalysis& a) { return a.sourcePeak > 0 ? a.sourcePeak : 1.0; }

double inputNits(const LutAnalysis& a, double x) { return x / kTableInputScale * inputScale(a); }

double outputNits(const LutAnalysis& a, double x, double gain) {
    return gain / kUnitGain * (x / kTableInputScale) * a.targetNits;
}

double outputAtLevel(const LutAnalysis& a, double level) {
    if (a.sourcePeak <= 0 || !tableUsable(a)) return kNaN;
    const double x = std::min(level / a.sourcePeak, 1.0) * kTableInputScale;
    return outputNits(a, x, interpolateGain(a.points, x));
}

std::vector<CurveSample> sampleCurves(const LutAnalysis& a, double fromNits, double toNits,
                                      int count) {
    const double s = inputScale(a);
    const double tSource = a.source.targeted_system_display_maximum_luminance;
    const bool hasSource = a.source.tone_mapping_flag == 1 && tSource > 0;
    const ToneCurve adapted = toneCurveOf(a.adapted);
    const ToneCurve source = toneCurveOf(a.source);
    std::vector<CurveSample> samples;
    samples.reserve(static_cast<size_t>(std::max(count, 0)) + 1);
    for (int i = 0; i <= count; i++) {
        const double nits =
            fromNits * std::pow(toNits / fromNits, static_cast<double>(i) / std::max(count, 1));
        const double t = nits / s;
        const double x = t * kTableInputScale;
        CurveSample c;
        c.inputNits = nits;
        c.sourceNits = hasSource ? evaluate(source, t) * tSource : kNaN;
        c.adaptedNits = evaluate(adapted, t) * a.targetNits;
        c.adaptedGain = gainAt(adapted, x) / kUnitGain;
        const double interpolated = interpolateGain(a.points, x);
        c.tableNits = outputNits(a, x, interpolated);
        c.tableGain = interpolated / kUnitGain;
        samples.push_back(c);
    }
    return samples;
}

void defaultCurveRange(const LutAnalysis& a, double& fromNits, double& toNits) {
    const double s = inputScale(a);
    fromNits = std::pow(10.0, std::floor(std::log10(s * 1e-3)));
    toNits = s;
}

std::vector<FrameWarning> frameWarnings(const LutAnalysis& a) {
    std::vector<FrameWarning> warnings;
    if (a.firstDecrease >= 0) {
        warnings.push_back(
            {WarningKind::DecreasingInput, "table entry " + std::to_string(a.firstDecrease) +
                                               " has an abscissa below the entry before it"});
    }
    return warnings;
}

FrameRow analyseFrame(const Hdr10PlusFrame& frame, unsigned targetNits,
                      const ClipRequest& request) {
    FrameRow row;
    row.frame = frame.index;
    row.lut = analyseLut(frame.record, targetNits, request.layerNits);
    row.averageMaxRgbNits = frame.averageMaxRgbNits;
    row.sceneId = frame.sceneId;
    for (double level : request.levels) row.levelOutputs.push_back(outputAtLevel(row.lut, level));
    if (request.curveSamples > 0) {
        double from = 0, to = 0;
        defaultCurveRange(row.lut, from, to);
        row.curve = sampleCurves(row.lut, from, to, request.curveSamples);
    }
    row.warnings = frameWarnings(row.lut);
    return row;
}

ClipAnalysis analyseClip(const Hdr10PlusDocument& document, const ClipRequest& request,
                         const std::function<void(unsigned, unsigned)>& progress) {
    ClipAnalysis clip;
    clip.frameCount = document.frameCount;
    clip.rejected = document.errors;
    const unsigned total = static_cast<unsigned>(document.frames.size() * request.targets.size());
    unsigned done = 0;
    for (unsigned target : request.targets) {
        TargetRows rows;
        rows.targetNits = target;
        rows.frames.reserve(document.frames.size());
        for (const Hdr10PlusFrame& frame : document.frames) {
            rows.frames.push_back(analyseFrame(frame, target, request));
            if (progress) progress(++done, total);
        }
        clip.targets.push_back(std::move(rows));
    }
    return clip;
}

}  // namespace kestrel::tool
