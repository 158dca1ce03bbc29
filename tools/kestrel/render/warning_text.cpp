// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/render/warning_text.h"

#include <cstdio>

namespace kestrel::tool {

namespace {

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", v);
    return text;
}

// A statistic stored in 0.1 cd/m², exactly: "2500", "2500.1".
std::string tenths(uint32_t v) {
    return std::to_string(v / 10) + (v % 10 ? "." + std::to_string(v % 10) : "");
}

std::string metadataText(const FrameWarning& w) {
    switch (w.problem) {
        case MetadataProblem::MaxSclBelowTop:
            return "MaxScl (" + tenths(w.maxScl) + " cd/m²) is below the 99 % entry (" +
                   tenths(w.topPercentile) + " cd/m²)";
        case MetadataProblem::ZeroTargetedDisplay:
            return "the tone curve is made for a targeted display of 0 cd/m²";
        case MetadataProblem::PercentagesOutOfOrder:
            return "distribution percentages out of order: " + std::to_string(w.percentAfter) +
                   " % follows " + std::to_string(w.percentBefore) + " %";
        case MetadataProblem::TargetedDisplayWithoutCurve:
            return "a targeted display of " + std::to_string(w.targetedDisplayNits) +
                   " cd/m² is given without a tone curve";
        case MetadataProblem::None:
            break;
    }
    return "the statistics or the curve contradict themselves";
}

// What the straight line of a refused target does: the curve's input 1.0
// is the source peak and its output 1.0 the target, so the identity between
// them multiplies every luminance by target / source peak.
std::string straightLineConsequence(const FrameWarning& w) {
    const std::string tail = " instead of tone-mapping it";
    if (!(w.sourcePeak > 0))
        return "which scales the whole picture by the target over the (unknown) source peak" + tail;
    const double scale = w.targetNits / w.sourcePeak;
    std::string text = "which scales the whole picture by " + std::to_string(w.targetNits) + " / " +
                       number(w.sourcePeak) + " = " + number(scale);
    if (scale < 1) {
        text += " (every level " + number(1 / scale) + " times darker than mastered, shadows too)";
    } else if (scale > 1) {
        text += " (every level " + number(scale) + " times brighter than mastered)";
    }
    return text + tail;
}

// "2.77 times as bright as mastered (1000 -> 2770 cd/m²)"
std::string brighter(const RatioPeak& peak) {
    return number(peak.ratio) + " times as bright as mastered (" + number(peak.inputNits) +
           " -> " + number(peak.outputNits) + " cd/m²)";
}

}  // namespace

std::string unknownPeakReason(UnknownPeak why, double maxSclNits) {
    switch (why) {
        case UnknownPeak::Known:
            return "";
        case UnknownPeak::NoStatistics:
            return "no statistics";
        case UnknownPeak::ZeroMaxScl:
            return "MaxScl is 0";
        case UnknownPeak::ZeroPercentile99:
            return "the 99 % entry is 0, although MaxScl is " + number(maxSclNits) + " cd/m²";
    }
    return "";
}

std::string warningText(const FrameWarning& w) {
    switch (w.kind) {
        case WarningKind::TargetRefused:
            return "the library adapts no curve to a target below " + std::to_string(w.floorNits) +
                   " cd/m²: the " + std::to_string(w.targetNits) +
                   " cd/m² target gets a straight line, " + straightLineConsequence(w);
        case WarningKind::InterpolationError:
            return "largest interpolation error " + number(w.error) + " of unit gain (at " +
                   number(w.atInput) + (w.relativeInput ? " of the source peak" : " cd/m²") +
                   ") is above the limit of " + number(w.limit);
        case WarningKind::InconsistentMetadata:
            return metadataText(w);
        case WarningKind::FallingOutput:
            return "the table's output falls from " + number(w.fromOutputNits) + " to " +
                   number(w.toOutputNits) + " cd/m² between entries " +
                   std::to_string(w.entry - 1) + " and " + std::to_string(w.entry) + " (input " +
                   number(w.fromInput) + " to " + number(w.toInput) +
                   (w.relativeInput ? " of the source peak)" : " cd/m²)");
        case WarningKind::DecreasingInput:
            return "table entry " + std::to_string(w.entry) +
                   " has an abscissa below the entry before it";
        case WarningKind::Brightening:
            return "the table shows the picture up to " + brighter(w.peak) +
                   ", above the limit of " + number(w.maxRatio);
        case WarningKind::Fade:
            return "the source peak " + number(w.sourcePeak) + " cd/m² is under " +
                   number(w.fadeFloor) + " cd/m² (a fade): the table shows it up to " +
                   brighter(w.peak);
        case WarningKind::UnknownSourcePeak:
            return "the source peak is unknown: " + unknownPeakReason(w.unknownPeak, w.maxSclNits) +
                   "; input is shown relative to the peak (1.0), and no luminance ratio exists";
    }
    return warningKindName(w.kind);
}

std::vector<LibraryLine> errorsBesideWarnings(const FrameRow& row) {
    bool refused = false;
    for (const FrameWarning& w : row.warnings) refused |= w.kind == WarningKind::TargetRefused;
    std::vector<LibraryLine> errors;
    for (const LibraryLine& line : row.lut().diagnostics) {
        if (!isError(line)) continue;
        if (refused) {
            refused = false;  // the warning's own line
            continue;
        }
        errors.push_back(line);
    }
    return errors;
}

}  // namespace kestrel::tool
