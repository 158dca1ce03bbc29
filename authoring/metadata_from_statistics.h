// SPDX-License-Identifier: Apache-2.0
// HDR10+ metadata from statistics measured in the pictures
// (measure/luminance_statistics.h): one frame of metadata per picture, each
// carrying its own picture's statistics or its shot's.
//
// A shot's statistics are those of its pooled pixels (the peak of the
// pictures' peaks, the mean over all pixels, the percentiles of the pooled
// distribution), so every picture of a shot carries the same metadata and a
// display maps the shot with one curve.
//
// The frame has one window (the whole picture), the nine distribution
// entries at 1, 5, 10, 25, 50, 75, 90, 95 and 99 % (or the ten-entry form,
// which adds 98 % between 95 and 99), and no tone curve unless one is asked
// for: a display then builds its own from the statistics.
//
// Why the 99.98 % point measured in the pictures is not written: the
// payload's percentages are whole percent. Written as a 99 % entry it would
// overstate the 99th percentile, which a reader takes as such (the plug-in
// caps the source peak with it); written as a 100 % entry after 99 it would
// claim the top of the distribution, and a reader that caps the source peak
// only with a last entry of 99 % stops capping it, so every table made from
// the metadata would change. Both forms written here end with the 99 % entry
// and so are read alike. fraction_bright_pixels stays 0, as in every stream
// at hand: the SceneInfo layout has no field for it, the payload does not say
// above which light a pixel counts as bright, and the plug-in never reads it.
#pragma once

#include <cstdint>
#include <vector>

#include "hdr10plus/frame.h"
#include "measure/luminance_statistics.h"

namespace kestrel::authoring {

enum class MetadataScope { Frame, Shot };

struct MetadataOptions {
    MetadataScope scope = MetadataScope::Shot;
    // targeted_system_display_maximum_luminance, whole cd/m², 1 to 10000:
    // the display the curve is made for. Written only with the curve:
    // without one the metadata names no display (0), as streams carry it
    // and as the checks of the metadata expect.
    uint32_t targetedPeak = 1000;
    // The distribution's entries: 9 (1 to 95, 99 %) or 10 (98 % added).
    unsigned distributionEntries = 9;
    // Add the curve that the basis OOTF (the same one the plug-in falls back
    // to for metadata without a curve) makes from the statistics for the
    // targeted display.
    bool toneCurve = false;
};

// The metadata of one picture or shot, without scene positions.
hdr10plus::Frame frameFromStatistics(const measure::LuminanceStatistics& statistics,
                                     const MetadataOptions& options);

struct MeasuredPicture {
    measure::LuminanceStatistics statistics;  // the picture's own
    unsigned shot = 0;                        // shots numbered from 0 in display order
};

// One frame per picture, in display order, with SceneId the shot,
// SceneFrameIndex the position in it and SequenceFrameIndex the position in
// the stream. With MetadataScope::Shot, `shots[s]` holds the pooled
// statistics of shot s (every shot a picture names must be there).
std::vector<hdr10plus::Frame> metadataFrames(const std::vector<MeasuredPicture>& pictures,
                                             const std::vector<measure::LuminanceStatistics>& shots,
                                             const MetadataOptions& options);

}  // namespace kestrel::authoring
