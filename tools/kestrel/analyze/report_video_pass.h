// SPDX-License-Identifier: Apache-2.0
// The one pass over a video that `kestrel report` makes when its input is
// a video: every picture decoded once, measured (clip_measurement.h: the
// statistics and the shots found in the pictures), and the frames the page
// will show kept, shrunk, on the way.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "clip/clip.h"
#include "common/status.h"
#include "tools/kestrel/preview/report_pictures.h"
#include "tools/kestrel/render/report_video.h"

namespace kestrel::tool {

// The frames to show, most important first, at most `maxFrames`: frame 0;
// then each change of metadata with the frame before it, so that a jump can
// be seen as the two pictures either side of it (thinned evenly when there
// are more changes than room); then frames evenly spread over the clip.
// Frames are those of `clip` (its frameCount()).
struct PicturePlan {
    std::vector<unsigned> frames;
    size_t firstSpread = 0;  // frames[firstSpread..] are the evenly spread ones
};
PicturePlan planPicturedFrames(const clip::Clip& clip, unsigned maxFrames);

struct ReportVideoPass {
    ReportVideo video;                      // pictures, size, shots, measured; no pictures yet
    // Most important first: frame 0 and the changes of metadata, the shots'
    // first pictures, then the evenly spread frames.
    std::vector<CapturedPicture> captured;
};

// Decodes and measures the video at `path`, keeping the `planned` frames and
// the first picture of up to `maxShotPictures` shots. Fails as measureClip
// does (not PQ, damaged, no pictures).
Result<ReportVideoPass> runReportVideoPass(const std::string& path,
                                           const PicturePlan& plan,
                                           unsigned maxShotPictures,
                                           const std::function<void(unsigned done)>& progress);

}  // namespace kestrel::tool
