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
        case MetadataProblem::None:
            break;
    }
    return "the statistics or the curve contradict themselves";
}

}  // namespace

std::string warningText(const FrameWarning& w) {
    switch (w.kind) {
        case WarningKind::TargetRefused:
            return "the library adapts no curve to a target below " + std::to_string(w.floorNits) +
                   " cd/m²: the " + std::to_string(w.targetNits) +
                   " cd/m² target gets a straight line";
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
    }
    return warningKindName(w.kind);
}

}  // namespace kestrel::tool
