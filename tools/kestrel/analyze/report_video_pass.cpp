#include "tools/kestrel/analyze/report_video_pass.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <set>

#include "authoring/metadata_from_statistics.h"
#include "measure/shot_cuts.h"
#include "metadata/tone_curve_adaptation.h"
#include "picture/yuv_to_rgb.h"
#include "tools/kestrel/analyze/clip_measurement.h"
#include "tools/kestrel/preview/picture_ops.h"

namespace kestrel::tool {

namespace {

bool sameMetadata(const Hdr10PlusFrame& a, const Hdr10PlusFrame& b) {
    return std::memcmp(&a.record, &b.record, sizeof a.record) == 0 &&
           a.averageMaxRgbNits == b.averageMaxRgbNits;
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
    const Hdr10PlusFrame frame = toolFrame(0, authoring::frameFromStatistics(statistics, {}));
    LuminanceParameters lp;
    fillLuminanceParameters(frame.record, lp);
    return MeasuredFrame{getSourceMaxLuminance(lp), statistics.averageMaxRgb / 10.0};
}

Result<picture::RgbImage> shownPicture(const picture::YuvFrame& frame) {
    Result<picture::RgbImage> light = picture::toLinear(frame);
    if (!light) return light.status();
    return scaleImage(*light, fitFactor(light->width, kReportPictureWidth));
}

}  // namespace

PicturePlan planPicturedFrames(const Hdr10PlusDocument& document, unsigned maxFrames) {
    PicturePlan result;
    std::vector<unsigned>& plan = result.frames;
    std::set<unsigned> taken;
    auto take = [&](unsigned f) {
        if (plan.size() < maxFrames && f < document.frameCount && taken.insert(f).second)
            plan.push_back(f);
    };
    if (document.frameCount == 0 || maxFrames == 0) return result;
    take(0);
    std::vector<unsigned> changes;
    for (size_t i = 1; i < document.frames.size(); i++) {
        const Hdr10PlusFrame& a = document.frames[i - 1];
        const Hdr10PlusFrame& b = document.frames[i];
        if (b.index == a.index + 1 && !sameMetadata(a, b)) changes.push_back(b.index);
    }
    // Two frames a change; half the room, so that the clip's course is seen too.
    for (unsigned f : evenlyThinned(changes, std::max(1u, maxFrames / 4))) {
        take(f - 1);
        take(f);
    }
    result.firstSpread = plan.size();
    const unsigned rest = maxFrames > plan.size() ? maxFrames - static_cast<unsigned>(plan.size()) : 0;
    for (unsigned k = 1; k <= rest; k++)
        take(static_cast<unsigned>(uint64_t{k} * document.frameCount / (rest + 1)));
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
