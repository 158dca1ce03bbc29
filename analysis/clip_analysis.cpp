#include "analysis/clip_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "metadata/tone_curve_adaptation.h"

namespace kestrel::tool {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool tableUsable(const LutAnalysis& a) { return a.firstDecrease < 0; }

// The darkest input the curve charts show: about the black of a good
// display. Below it the table's points sit at doubling inputs on the
// straight segment, where every frame's curve has the same constant gain.
constexpr double kShadowNits = 0.01;

// Statistics that cannot all be true of one picture.
void checkStatistics(const _VelmorHdrDynamicInfo& r, std::vector<FrameWarning>& warnings) {
    auto warn = [&](MetadataProblem problem) -> FrameWarning& {
        FrameWarning w{WarningKind::InconsistentMetadata};
        w.problem = problem;
        warnings.push_back(w);
        return warnings.back();
    };
    const unsigned n =
        std::min<unsigned>(r.num_distribution_maxrgb_percentiles, kMaxDistributionEntries);
    // No pixel's maxRGB exceeds the brightest component of the scene, so
    // no percentile of maxRGB can either.
    const uint32_t maxScl = std::max({r.maxscl[0], r.maxscl[1], r.maxscl[2]});
    for (unsigned i = 0; i < n; i++) {
        if (r.distribution_maxrgb_percentages[i] == 99 &&
            r.distribution_maxrgb_percentiles[i] > maxScl) {
            FrameWarning& w = warn(MetadataProblem::MaxSclBelowTop);
            w.maxScl = maxScl;
            w.topPercentile = r.distribution_maxrgb_percentiles[i];
            break;
        }
    }
    if (r.tone_mapping_flag == 1 && r.targeted_system_display_maximum_luminance == 0) {
        warn(MetadataProblem::ZeroTargetedDisplay);
    }
    // The targeted display is what a curve is made for; without one it
    // describes nothing the record carries.
    if (r.tone_mapping_flag != 1 && r.targeted_system_display_maximum_luminance > 0) {
        warn(MetadataProblem::TargetedDisplayWithoutCurve).targetedDisplayNits =
            r.targeted_system_display_maximum_luminance;
    }
    // Only the percentages must rise. The values need not: real streams
    // carry a small value at the 10 % entry, below the 5 % one, in every frame.
    for (unsigned i = 1; i < n; i++) {
        const unsigned before = r.distribution_maxrgb_percentages[i - 1];
        const unsigned after = r.distribution_maxrgb_percentages[i];
        if (after <= before) {
            FrameWarning& w = warn(MetadataProblem::PercentagesOutOfOrder);
            w.percentBefore = before;
            w.percentAfter = after;
            break;
        }
    }
}

// The first place where a brighter input gives a darker output. Output is
// proportional to gain * x, compared exactly in 64 bits (|gain| < 2^31,
// x <= 2^27).
void checkFallingOutput(const LutAnalysis& a, std::vector<FrameWarning>& warnings) {
    for (size_t i = 1; i < a.points.size(); i++) {
        const TablePoint& p = a.points[i - 1];
        const TablePoint& q = a.points[i];
        const int64_t before = static_cast<int64_t>(p.gain) * static_cast<int64_t>(p.x);
        const int64_t after = static_cast<int64_t>(q.gain) * static_cast<int64_t>(q.x);
        if (after < before) {
            FrameWarning w{WarningKind::FallingOutput};
            w.entry = static_cast<unsigned>(i);
            w.fromOutputNits = outputNits(a, p.x, p.gain);
            w.toOutputNits = outputNits(a, q.x, q.gain);
            w.fromInput = inputNits(a, p.x);
            w.toInput = inputNits(a, q.x);
            w.relativeInput = !(a.sourcePeak > 0);
            warnings.push_back(w);
            return;
        }
    }
}

}  // namespace

double inputScale(const LutAnalysis& a) { return inputScale(a.sourcePeak); }

double inputNits(const LutAnalysis& a, double x) { return inputNits(a.sourcePeak, x); }

double outputNits(const LutAnalysis& a, double x, double gain) {
    return outputNits(a.targetNits, x, gain);
}

double luminanceRatio(const LutAnalysis& a, const TablePoint& p) {
    return luminanceRatio(a.sourcePeak, a.targetNits, p);
}

double outputAtLevel(const LutAnalysis& a, double level) {
    if (!tableUsable(a)) return kNaN;
    return outputAtLevel(a.points, a.sourcePeak, a.targetNits, level);
}

std::vector<CurveSample> sampleCurvesAt(const LutAnalysis& a, const std::vector<double>& inputs) {
    const double s = inputScale(a);
    const double tSource = a.source.targeted_system_display_maximum_luminance;
    const bool hasSource = a.source.tone_mapping_flag == 1 && tSource > 0;
    const ToneCurve adapted = toneCurveOf(a.adapted);
    const ToneCurve source = toneCurveOf(a.source);
    std::vector<CurveSample> samples;
    samples.reserve(inputs.size());
    for (double nits : inputs) {
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

std::vector<CurveSample> sampleCurves(const LutAnalysis& a, double fromNits, double toNits,
                                      int count) {
    std::vector<double> inputs;
    for (int i = 0; i <= count; i++) {
        inputs.push_back(fromNits *
                         std::pow(toNits / fromNits, static_cast<double>(i) / std::max(count, 1)));
    }
    return sampleCurvesAt(a, inputs);
}

void defaultCurveRange(const LutAnalysis& a, double& fromNits, double& toNits) {
    toNits = inputScale(a);
    fromNits = a.sourcePeak > 0 ? kShadowNits : kShadowNits / 1000;
}

void kneeNits(const LutAnalysis& a, const _VelmorHdrDynamicInfo& curve, double displayNits,
              double& in, double& out) {
    const ToneCurve c = toneCurveOf(curve);
    in = c.kneeX * inputScale(a);
    out = c.kneeY * displayNits;
}

const char* warningKindName(WarningKind kind) {
    switch (kind) {
        case WarningKind::TargetRefused:
            return "target_refused";
        case WarningKind::InterpolationError:
            return "interpolation_error";
        case WarningKind::InconsistentMetadata:
            return "inconsistent_metadata";
        case WarningKind::FallingOutput:
            return "falling_output";
        case WarningKind::DecreasingInput:
            return "decreasing_input";
        case WarningKind::Brightening:
            return "brightening";
        case WarningKind::Fade:
            return "fade";
        case WarningKind::UnknownSourcePeak:
            return "unknown_source_peak";
    }
    return "unknown";
}

double maxSclNits(const _VelmorHdrDynamicInfo& r) {
    return std::max({r.maxscl[0], r.maxscl[1], r.maxscl[2]}) / 10.0;
}

UnknownPeak whyPeakUnknown(const _VelmorHdrDynamicInfo& r, double sourcePeak) {
    if (sourcePeak > 0) return UnknownPeak::Known;
    const unsigned n =
        std::min<unsigned>(r.num_distribution_maxrgb_percentiles, kMaxDistributionEntries);
    if (std::max({r.maxscl[0], r.maxscl[1], r.maxscl[2]}) == 0) {
        return n == 0 ? UnknownPeak::NoStatistics : UnknownPeak::ZeroMaxScl;
    }
    return UnknownPeak::ZeroPercentile99;
}

std::vector<FrameWarning> metadataConsistency(const _VelmorHdrDynamicInfo& record) {
    std::vector<FrameWarning> warnings;
    checkStatistics(record, warnings);
    return warnings;
}

bool largestLuminanceRatio(const LutAnalysis& a, RatioPeak& peak) {
    if (a.sourcePeak <= 0 || !tableUsable(a)) return false;
    bool found = false;
    for (const TablePoint& p : a.points) {
        // Input 0 has no ratio; points past the source peak (x above 2^27,
        // none in a usable table) show nothing that was mastered.
        if (p.x <= 0 || p.x > kTableInputScale) continue;
        // On a tie the brighter point is named: the straight segment below
        // the knee has one ratio, and its top is where it shows.
        const double ratio = luminanceRatio(a, p);
        if (!found || ratio >= peak.ratio) {
            peak = RatioPeak{ratio, inputNits(a, p.x), outputNits(a, p.x, p.gain)};
            found = true;
        }
    }
    return found;
}

std::vector<FrameWarning> frameWarnings(const LutAnalysis& a, double maxError, double maxRatio) {
    std::vector<FrameWarning> warnings;
    if (a.source.tone_mapping_flag == 1 && a.targetNits < kMinTargetPeak) {
        FrameWarning w{WarningKind::TargetRefused};
        w.targetNits = a.targetNits;
        w.floorNits = kMinTargetPeak;
        w.sourcePeak = a.sourcePeak;
        warnings.push_back(w);
    }
    if (tableUsable(a) && a.maxError / kUnitGain > maxError) {
        FrameWarning w{WarningKind::InterpolationError};
        w.error = a.maxError / kUnitGain;
        w.limit = maxError;
        w.atInput = inputNits(a, a.maxErrorAt);
        w.relativeInput = !(a.sourcePeak > 0);
        warnings.push_back(w);
    }
    checkStatistics(a.source, warnings);
    if (tableUsable(a)) checkFallingOutput(a, warnings);
    if (a.firstDecrease >= 0) {
        FrameWarning w{WarningKind::DecreasingInput};
        w.entry = static_cast<unsigned>(a.firstDecrease);
        warnings.push_back(w);
    }
    const UnknownPeak unknown = whyPeakUnknown(a.source, a.sourcePeak);
    if (unknown == UnknownPeak::ZeroMaxScl || unknown == UnknownPeak::ZeroPercentile99) {
        FrameWarning w{WarningKind::UnknownSourcePeak};
        w.unknownPeak = unknown;
        w.maxSclNits = maxSclNits(a.source);
        warnings.push_back(w);
    }
    RatioPeak peak;
    if (largestLuminanceRatio(a, peak)) {
        FrameWarning w{WarningKind::Brightening};
        w.peak = peak;
        w.maxRatio = maxRatio;
        w.sourcePeak = a.sourcePeak;
        if (a.sourcePeak < kFadePeakFloor) {
            w.kind = WarningKind::Fade;
            w.fadeFloor = kFadePeakFloor;
            warnings.push_back(w);
        } else if (peak.ratio > maxRatio) {
            warnings.push_back(w);
        }
    }
    return warnings;
}

FrameRow analyseFrame(const Hdr10PlusFrame& frame, unsigned targetNits,
                      const ClipRequest& request) {
    FrameRow row;
    row.frame = frame.index;
    row.lut = analyseLut(frame.record, targetNits, request.layerNits, request.tables);
    row.averageMaxRgbNits = frame.averageMaxRgbNits;
    row.sceneId = frame.sceneId;
    for (double level : request.levels) row.levelOutputs.push_back(outputAtLevel(row.lut, level));
    if (request.curveSamples > 0) {
        double from = 0, to = 0;
        defaultCurveRange(row.lut, from, to);
        row.curve = sampleCurves(row.lut, from, to, request.curveSamples);
    }
    row.warnings = frameWarnings(row.lut, request.maxError, request.maxRatio);
    return row;
}

ClipAnalysis analyseClip(const Hdr10PlusDocument& document, const ClipRequest& request,
                         const std::function<void(unsigned, unsigned)>& progress) {
    ClipAnalysis clip;
    clip.frameCount = document.frameCount;
    for (const hdr10plus::JsonError& e : document.errors)
        clip.rejected.push_back(document.message(e));
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
