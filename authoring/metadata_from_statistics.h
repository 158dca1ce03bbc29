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
// entries at 1, 5, 10, 25, 50, 75, 90, 95 and 99 %, and no tone curve unless
// one is asked for: a display then builds its own from the statistics.
#pragma once

#include <cstdint>
#include <vector>

#include "hdr10plus/frame.h"
#include "measure/luminance_statistics.h"

namespace kestrel::authoring {

enum class MetadataScope { Frame, Shot };

struct MetadataOptions {
    MetadataScope scope = MetadataScope::Shot;
    // targeted_system_display_maximum_luminance, whole cd/m², 0 to 10000:
    // the display the metadata (and its curve, if any) is made for.
    uint32_t targetedPeak = 1000;
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
