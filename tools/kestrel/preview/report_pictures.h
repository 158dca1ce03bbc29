// SPDX-License-Identifier: Apache-2.0
// The report page's pictures: frames of a video through the tone stage of
// each target (tone_stage.h: the table the plug-in writes, and the exact
// adapted curve), in the preview's SDR view (preview_page.h: the target peak
// as SDR white, BT.709 primaries, sRGB), as small JPEG files inline in the
// page, within a bound on the bytes they add.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "metadata/VelmorHdrDynamicInfo.h"
#include "picture/image.h"
#include "tools/kestrel/render/report_video.h"

namespace kestrel::tool {

// The width of a picture on the page, and of a thumbnail; heights keep the
// picture's aspect.
constexpr unsigned kReportPictureWidth = 384;
constexpr unsigned kReportThumbnailWidth = 128;

// The bound on the pictures' bytes in a page (their text in the page, base64
// included): 4 MiB, about 24 frames at three targets. The page as a whole
// is kept within kReportPageBoundBytes: the pictures take only what the
// rest of the page leaves of it.
constexpr size_t kReportPictureBudgetBytes = 4u << 20;
constexpr size_t kReportPageBoundBytes = 15'000'000;
// Room kept for the JSON around the pictures (quotes, commas, keys).
constexpr size_t kPictureListingBytes = 8192;

// The bytes the pictures may take in a page whose other text (template and
// data without the pictures) is `restBytes`: kReportPictureBudgetBytes, or
// what the rest leaves of kReportPageBoundBytes after kPictureListingBytes,
// whichever is less; 0 when the rest alone reaches the bound.
size_t reportPictureBudget(size_t restBytes);

// A decoded frame kept for the page: its light, already shrunk to
// kReportPictureWidth (light averaged, as the preview does).
struct CapturedPicture {
    unsigned frame = 0;
    bool shotStart = false;
    picture::RgbImage light;
};

// The metadata record of a frame; null for a frame without one (rejected).
using RecordOf = std::function<const _VelmorHdrDynamicInfo*(unsigned frame)>;

// Renders `captured` (in the order of their importance) through the tone
// stage of each target and adds them to `video.pictured` (kept ascending),
// until the next frame's pictures would take the pictures' bytes above
// `budgetBytes`; the frames that did not fit are counted in
// video.framesLeftOut. `layerNits` as the report's analysis takes it.
void addReportPictures(const std::vector<CapturedPicture>& captured, const RecordOf& recordOf,
                       const std::vector<unsigned>& targets, unsigned layerNits,
                       size_t budgetBytes, ReportVideo& video);

}  // namespace kestrel::tool
