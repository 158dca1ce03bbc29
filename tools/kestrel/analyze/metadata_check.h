// SPDX-License-Identifier: Apache-2.0
// Does a stream's HDR10+ describe its pictures? Each picture's metadata held
// against the statistics measured in it (clip_measurement.h), with every
// difference in 10-bit PQ codes, the steps a display's signal is made of:
//
//  - understated: the source peak the metadata gives (its brightest
//    maxscl, capped by its 99 % entry as the plug-in caps it) lies more
//    than the margin below the one the measured statistics give by the same
//    rule: the display maps the highlights above the stated peak to its own
//    peak, clipping light the pictures hold below the measured one. (Not
//    the 99.9 % point against the stated peak: the plug-in caps the source
//    peak at the 99 % entry, so the metadata of every picture with
//    highlights above its 99th percentile, the exact one included, would
//    fail);
//  - overstated: the source peak lies more than the margin above the
//    brightest component measured: the display dims the picture for light
//    that is not there;
//  - percentile: an entry of the distribution (at a percentage measured
//    here) more than the margin away from the measured one (the worst is
//    given);
//  - unchanged at a cut: a picture that starts a shot carries exactly the
//    metadata of the picture before, from another shot;
//  - jump inside a shot: the source peak changes by more than the margin
//    between two pictures of one shot, which the display shows as the
//    picture brightening or dimming for no reason in the content;
//  - missing: the picture has no HDR10+ metadata.
// A run of pictures with the same finding is one finding, with the numbers
// of its worst picture.
#pragma once

#include <string>
#include <vector>

#include "tools/kestrel/analyze/clip_measurement.h"

namespace kestrel::tool {

constexpr double kDefaultCheckMarginCodes = 16;

enum class CheckKind { Understated, Overstated, Percentile, UnchangedAtCut, JumpInShot, Missing };

const char* checkKindName(CheckKind kind);  // "understated", ... for JSON

struct CheckFinding {
    CheckKind kind;
    unsigned first = 0, last = 0;  // pictures, display order
    unsigned picture = 0;          // the worst of them: the numbers below are its
    unsigned percentage = 0;       // Percentile: the entry
    double measuredNits = 0, statedNits = 0;
    double codes = 0;  // the difference in 10-bit PQ codes (signed: measured - stated)
    std::string text;  // one sentence, without the pictures
};

std::vector<CheckFinding> checkMetadata(const ClipMeasurement& clip, double marginCodes);

// The 10-bit PQ code of a luminance in cd/m², unrounded.
double pqCodes(double nits);

}  // namespace kestrel::tool
