// SPDX-License-Identifier: Apache-2.0
#include "analysis/clip_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>

#include "analysis/parallel_for.h"
#include "hdr10plus/record.h"
#include "metadata/tone_curve_adaptation.h"

namespace kestrel::analysis {

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

std::vector<FrameWarning> metadataConsistency(const hdr10plus::Frame& frame) {
    return metadataConsistency(hdr10plus::toRecord(frame));
}

namespace {

// What the file says about a frame beside the record.
void sourceFields(const hdr10plus::Frame& frame, FrameRow& row) {
    row.averageMaxRgbNits = frame.windows.empty() ? 0 : frame.windows[0].average_maxrgb / 10.0;
    if (frame.scene_id && *frame.scene_id <= 0x7fffffffu)
        row.sceneId = static_cast<int>(*frame.scene_id);
}

// Everything of a row that follows from the record, the target and the request.
FrameRow analyseRecord(const _VelmorHdrDynamicInfo& record, unsigned targetNits,
                       const ClipRequest& request) {
    FrameRow row;
    auto table = std::make_shared<LutAnalysis>(analyseLut(record, targetNits, request.layerNits, request.tables));
    const LutAnalysis& lut = *table;
    for (double level : request.levels) row.levelOutputs.push_back(outputAtLevel(lut, level));
    if (request.curveSamples > 0) {
        double from = 0, to = 0;
        defaultCurveRange(lut, from, to);
        row.curve = sampleCurves(lut, from, to, request.curveSamples);
    }
    row.warnings = frameWarnings(lut, request.maxError, request.maxRatio);
    row.table = std::move(table);
    return row;
}

}  // namespace

FrameRow analyseFrame(unsigned index, const hdr10plus::Frame& frame, unsigned targetNits,
                      const ClipRequest& request) {
    FrameRow row = analyseRecord(hdr10plus::toRecord(frame), targetNits, request);
    row.frame = index;
    sourceFields(frame, row);
    return row;
}

ClipAnalysis analyseClip(const clip::Clip& clip, const ClipRequest& request,
                         const std::function<void(unsigned, unsigned)>& progress) {
    ClipAnalysis analysis;
    analysis.frameCount = clip.frameCount();

    // The distinct records, in order of first appearance, and which one
    // each frame with metadata has. Records are filled whole with reserved
    // bytes zero (hdr10plus::toRecord), so equal bytes are equal records.
    std::vector<unsigned> accepted;
    std::vector<_VelmorHdrDynamicInfo> records;
    std::vector<unsigned> recordOf;
    std::vector<unsigned> framesOf;  // per record: how many frames have it
    std::unordered_map<std::string, unsigned> known;
    for (unsigned i = 0; i < clip.frameCount(); i++) {
        if (!clip.frames[i].metadata) {
            analysis.rejected.push_back(clip.name + ": " + clip.problemMessage(i));
            continue;
        }
        const _VelmorHdrDynamicInfo record = hdr10plus::toRecord(*clip.frames[i].metadata);
        std::string key(reinterpret_cast<const char*>(&record), sizeof record);
        auto [at, added] = known.emplace(std::move(key), static_cast<unsigned>(records.size()));
        if (added) {
            records.push_back(record);
            framesOf.push_back(0);
        }
        framesOf[at->second]++;
        accepted.push_back(i);
        recordOf.push_back(at->second);
    }
    known.clear();

    // One analysis per (target, record), on every core.
    const size_t targets = request.targets.size();
    std::vector<FrameRow> distinct(targets * records.size());
    const unsigned total = static_cast<unsigned>(accepted.size() * targets);
    unsigned done = 0;
    // A table maker of the caller's (a plug-in file whose lines are caught
    // from the process's standard output) may not be called from two threads
    // at once: it runs on this thread alone.
    const unsigned threads = request.tables ? 1u : request.threads;
    parallelFor(
        distinct.size(), threads,
        [&](size_t j) {
            distinct[j] =
                analyseRecord(records[j % records.size()], request.targets[j / records.size()],
                              request);
        },
        [&](size_t j) {
            done += framesOf[j % records.size()];
            if (progress) progress(done, total);
        });

    for (size_t t = 0; t < targets; t++) {
        TargetRows rows;
        rows.targetNits = request.targets[t];
        rows.frames.reserve(accepted.size());
        for (size_t k = 0; k < accepted.size(); k++) {
            FrameRow row = distinct[t * records.size() + recordOf[k]];
            row.frame = accepted[k];
            sourceFields(*clip.frames[accepted[k]].metadata, row);
            rows.frames.push_back(std::move(row));
        }
        analysis.targets.push_back(std::move(rows));
    }
    return analysis;
}

}  // namespace kestrel::analysis
