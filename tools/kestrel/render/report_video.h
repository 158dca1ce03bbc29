// SPDX-License-Identifier: Apache-2.0
// What `kestrel report` adds when its input is a video: the shots found in
// the pictures, the statistics measured in every picture beside those the
// metadata states, and a bounded set of frames shown as pictures through
// the table and the exact curve at each target. Plain data: it is made by
// the picture rooms and written here into the report's document.
#pragma once

#include <json/value.h>

#include <cstddef>
#include <iterator>
#include <string>
#include <vector>

#include "tools/kestrel/render/distribution_entry.h"

namespace kestrel::tool {

// How many frames of a video `report` shows as pictures unless told.
constexpr unsigned kDefaultPicturedFrames = 24;

// Measured in one picture, in cd/m² (NaN for a picture that was not
// decoded): the source peak by the rule the plug-in applies to metadata
// (the brightest MaxScl component, capped by the 99 % entry), the mean
// maxRGB, and the distribution's entries at kShownPercentages (50 and 99 %),
// all from the statistics as the payload would store them.
struct MeasuredFrame {
    double sourcePeakNits;
    double averageMaxRgbNits;
    double percentileNits[std::size(kShownPercentages)];
};

struct PicturedFrame {
    unsigned frame = 0;
    bool shotStart = false;  // the first picture of a shot found in the pictures
    // Per target (in the report's order), the picture through the table and
    // through the exact adapted curve, as data: URLs of JPEG files; empty
    // where the frame's tone stage was refused (the reason is in `refused`).
    std::vector<std::string> table, curve;
    std::vector<std::string> refused;
    // A small picture through the first target's table; where that target
    // refused the frame, its picture without tone mapping, clipped at the
    // target's peak.
    std::string thumbnail;
};

struct ReportVideo {
    unsigned pictures = 0;  // decoded, in display order
    unsigned width = 0, height = 0;
    unsigned shownWidth = 0, shownHeight = 0;  // the size of the pictures on the page
    std::vector<unsigned> shotStarts;
    std::vector<MeasuredFrame> measured;  // per picture
    std::vector<PicturedFrame> pictured;  // ascending frames
    // What the pictures cost the page, and the bound they were kept within.
    size_t pictureBytes = 0;
    size_t pictureBudgetBytes = 0;
    unsigned framesLeftOut = 0;  // planned frames dropped to stay within the bound
};

// The document's "video" member. `withPictures` adds the pictures and
// what they cost (the page); `--format json` has the shots and the measured
// statistics.
Json::Value reportVideoJson(const ReportVideo& video, bool withPictures);

// "data:image/jpeg;base64,..." of a file's bytes.
std::string jpegDataUrl(const std::vector<unsigned char>& bytes);

}  // namespace kestrel::tool
