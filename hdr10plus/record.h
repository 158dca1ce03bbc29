// SPDX-License-Identifier: Apache-2.0
// The one projection of a Frame onto the host's 312-byte record, the form in
// which a composition host hands HDR10+ metadata to the plug-in.
//
// The record describes a single processing window, so it takes window 0, the
// whole picture, which is what a display processor that maps one curve per
// layer applies. Dropped on the way, since the record has no field for them:
//  - windows 1 and 2 with their geometry (a single-window processor has no
//    use for local statistics, and the record has no room for them);
//  - average_maxrgb and fraction_bright_pixels (the curve adaptation draws
//    on maxscl and the distribution only);
//  - the actual-peak matrices of the targeted and mastering displays (no
//    field; the adaptation assumes a display uniform across the screen);
//  - color_saturation_weight (the plug-in maps luminance, not saturation);
//  - application_version and the scene positions.
//
// The clamps happen here and nowhere else, so that every record the library
// produces keeps the plug-in's invariants even for a Frame that fails
// checkFrame: counts to 15 (the record's arrays), percentages to 100, knee
// coordinates to 4095 and anchors to 1023 (1.0). A valid frame passes
// unchanged. Reserved bytes are zero; tone_mapping_flag is 1 exactly when
// window 0 carries a curve, and the curve fields are zero when it does not.
#pragma once

#include "hdr10plus/export.h"
#include "hdr10plus/frame.h"
#include "metadata/VelmorHdrDynamicInfo.h"

namespace kestrel::hdr10plus {

// A frame with no window gives a record of zero statistics and no curve.
KESTREL_HDR10PLUS_EXPORT _VelmorHdrDynamicInfo toRecord(const Frame& frame);

}  // namespace kestrel::hdr10plus
