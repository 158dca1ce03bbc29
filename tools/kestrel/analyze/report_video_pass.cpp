// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/analyze/report_video_pass.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <iterator>
#include <map>
#include <set>

#include "authoring/metadata_from_statistics.h"
#include "hdr10plus/record.h"
#include "measure/shot_cuts.h"
#include "metadata/tone_curve_adaptation.h"
#include "picture/yuv_to_rgb.h"
#include "tools/kestrel/analyze/clip_measurement.h"
#include "tools/kestrel/preview/picture_ops.h"

namespace kestrel::tool {

namespace {

// What the analysis sees of a frame's metadata: its record and the average
// maxRGB the record leaves out.
bool sameMetadata(const hdr10plus::Frame& a, const hdr10plus::Frame& b) {
    const _VelmorHdrDynamicInfo ra = hdr10plus::toRecord(a), rb = hdr10plus::toRecord(b);
    const auto average = [](const hdr10plus::Frame& f) {
        return f.windows.empty() ? 0u : f.windows[0].average_maxrgb;
    };
    return std::memcmp(&ra, &rb, sizeof ra) == 0 && average(a) == average(b);
}

// `count` of `items`, evenly spread (all when there are no more).
std::vector<unsigned> evenlyThinned(const std::vector<unsigned>& items, size_t count) {
    if (items.size() <= count) return items;
    std::vector<unsigned> kept;
    for (size_t k = 0; k < count; k++) kept.push_back(items[k * items.size() / count]);
    return kept;
}

// The measured statistics as metadata would carry them, and what the
// plug-in's rule makes of them: the same numbers the stated side is read with.
MeasuredFrame measuredFrame(const measure::LuminanceStatistics& statistics) {
    const _VelmorHdrDynamicInfo record =
        hdr10plus::toRecord(authoring::frameFromStatistics(statistics, {}));
    LuminanceParameters lp;
    fillLuminanceParameters(record, lp);
    MeasuredFrame m{getSourceMaxLuminance(lp), statistics.averageMaxRgb / 10.0, {}};
    for (size_t k = 0; k < std::size(kShownPercentages); k++)
        m.percentileNits[k] = distributionEntryNits(record, kShownPercentages[k]);
    return m;
}

Result<picture::RgbImage> shownPicture(const picture::YuvFrame& frame) {
    Result<picture::RgbImage> light = picture::toLinear(frame);
    if (!light) return light.status();
    return scaleImage(*light, fitFactor(light->width, kReportPictureWidth));
}

}  // namespace

PicturePlan planPicturedFrames(const clip::Clip& clip, unsigned maxFrames) {
    PicturePlan result;
    std::vector<unsigned>& plan = result.frames;
    std::set<unsigned> taken;
    auto take = [&](unsigned f) {
        if (plan.size() < maxFrames && f < clip.frameCount() && taken.insert(f).second)
            plan.push_back(f);
    };
    if (clip.frameCount() == 0 || maxFrames == 0) return result;
    take(0);
    std::vector<unsigned> changes;
    for (unsigned i = 1; i < clip.frameCount(); i++) {
        const std::optional<hdr10plus::Frame>& a = clip.frames[i - 1].metadata;
        const std::optional<hdr10plus::Frame>& b = clip.frames[i].metadata;
        if (a && b && !sameMetadata(*a, *b)) changes.push_back(i);
    }
    // Two frames a change; half the room, so that the clip's course is seen too.
    for (unsigned f : evenlyThinned(changes, std::max(1u, maxFrames / 4))) {
        take(f - 1);
        take(f);
    }
    result.firstSpread = plan.size();
    const unsigned rest = maxFrames > plan.size() ? maxFrames - static_cast<unsigned>(plan.size()) : 0;
    for (unsigned k = 1; k <= rest; k++)
        take(static_cast<unsigned>(uint64_t{k} * clip.frameCount() / (rest + 1)));
    return result;
}

Result<ReportVideoPass> runReportVideoPass(const std::string& path,
                                           const PicturePlan& plan,
                                           unsigned maxShotPictures,
                                           const std::function<void(unsigned done)>& progress) {
    ReportVideoPass pass;
    std::map<unsigned, size_t> rank;  // planned frame -> its place in the plan
    for (size_t k = 0; k < plan.frames.size(); k++) rank.emplace(plan.frames[k], k);
    std::map<size_t, CapturedPicture> byRank;
    std::vector<CapturedPicture> shotPictures;
    // The last pictures, until the shot cut detector has decided on them.
    std::deque<picture::YuvFrame> recent;
    Status failed;

    MeasureOptions options;
    options.onPicture = [&](const picture::YuvFrame& frame) {
        if (!failed) return;
        if (pass.video.pictures == 0) {
            pass.video.width = frame.width;
            pass.video.height = frame.height;
        }
        pass.video.pictures++;
        const auto r = rank.find(frame.index);
        if (r != rank.end()) {
            Result<picture::RgbImage> shown = shownPicture(frame);
            if (!shown) {
                failed = shown.status();
                return;
            }
            byRank[r->second] = CapturedPicture{frame.index, false, std::move(*shown)};
        }
        // Kept only while a shot's picture may still be wanted: a copy of a
        // 4K picture is some 25 MB.
        if (shotPictures.size() < maxShotPictures) {
            recent.push_back(frame);
            while (recent.size() > measure::kFlashPictures + 2) recent.pop_front();
        }
    };
    options.onShotStart = [&](unsigned index) {
        for (auto& [k, c] : byRank)
            if (c.frame == index) c.shotStart = true;
        if (!failed || rank.count(index) != 0 || shotPictures.size() >= maxShotPictures) return;
        for (const picture::YuvFrame& frame : recent) {
            if (frame.index != index) continue;
            Result<picture::RgbImage> shown = shownPicture(frame);
            if (!shown) {
                failed = shown.status();
                return;
            }
            shotPictures.push_back(CapturedPicture{index, true, std::move(*shown)});
        }
    };
    Result<ClipMeasurement> clip = measureClip(path, options, progress);
    if (!clip) return clip.status();
    if (!failed) return failed.prefixed(path + ": ");

    ReportVideo& video = pass.video;
    video.shotStarts = clip->shotStarts;
    for (const MeasuredPictureInfo& p : clip->pictures) video.measured.push_back(measuredFrame(p.statistics));
    // A shot's first picture is worth more than a frame spread over the
    // clip: after the changes of metadata, before the spread frames.
    for (auto& [k, c] : byRank)
        if (k < plan.firstSpread) pass.captured.push_back(std::move(c));
    for (CapturedPicture& c : shotPictures) pass.captured.push_back(std::move(c));
    for (auto& [k, c] : byRank)
        if (k >= plan.firstSpread) pass.captured.push_back(std::move(c));
    if (!pass.captured.empty()) {
        video.shownWidth = pass.captured.front().light.width;
        video.shownHeight = pass.captured.front().light.height;
    }
    return pass;
}

}  // namespace kestrel::tool
