#include "tools/kestrel/render/warning_text.h"

#include <cstdio>

namespace kestrel::tool {

namespace {

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", v);
    return text;
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
        default:
            return w.text;
    }
}

}  // namespace kestrel::tool
