// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/preview/report_pictures.h"

#include <algorithm>
#include <string>

#include "picture/jpeg_still.h"
#include "tools/kestrel/preview/picture_ops.h"
#include "tools/kestrel/preview/preview_page.h"
#include "tools/kestrel/preview/tone_stage.h"

namespace kestrel::tool {

namespace {

// Panel light of `peakNits` in the SDR view, as a data: URL of a JPEG.
Result<std::string> sdrJpeg(const picture::RgbImage& light, double peakNits) {
    std::vector<uint8_t> rgb(size_t{light.width} * light.height * 3);
    for (size_t i = 0; i < light.r.size(); i++)
        sdrPixel(light.r[i], light.g[i], light.b[i], peakNits, &rgb[3 * i]);
    Result<std::vector<uint8_t>> jpeg = picture::encodeSrgbJpeg(light.width, light.height, rgb);
    if (!jpeg) return jpeg.status();
    return jpegDataUrl(*jpeg);
}

}  // namespace

size_t reportPictureBudget(size_t restBytes) {
    const size_t rest = restBytes + kPictureListingBytes;
    return rest < kReportPageBoundBytes
               ? std::min(kReportPictureBudgetBytes, kReportPageBoundBytes - rest)
               : 0;
}

void addReportPictures(const std::vector<CapturedPicture>& captured, const RecordOf& recordOf,
                       const std::vector<unsigned>& targets, unsigned layerNits,
                       size_t budgetBytes, ReportVideo& video) {
    for (size_t k = 0; k < captured.size(); k++) {
        const CapturedPicture& c = captured[k];
        PicturedFrame p;
        p.frame = c.frame;
        p.shotStart = c.shotStart;
        size_t bytes = 0;
        const _VelmorHdrDynamicInfo* record = recordOf(c.frame);
        for (size_t t = 0; t < targets.size(); t++) {
            std::string reason;
            if (record == nullptr) {
                reason = "frame " + std::to_string(c.frame) + " has no metadata the tool accepts";
            } else {
                Result<ToneStage> stage = makeToneStage(*record, targets[t], layerNits);
                if (!stage) {
                    reason = stage.status().message();
                } else {
                    // One thread: the pictures are small, and the page's
                    // frames many; the decoder's threads are done by now.
                    const picture::RgbImage table =
                        applyToneStage(*stage, TonePath::Table, c.light, 1);
                    const picture::RgbImage curve =
                        applyToneStage(*stage, TonePath::Curve, c.light, 1);
                    Result<std::string> tableUrl = sdrJpeg(table, targets[t]);
                    Result<std::string> curveUrl = sdrJpeg(curve, targets[t]);
                    if (tableUrl && curveUrl) {
                        p.table.push_back(std::move(*tableUrl));
                        p.curve.push_back(std::move(*curveUrl));
                        if (t == 0) {
                            Result<std::string> thumb = sdrJpeg(
                                scaleImage(table, fitFactor(table.width, kReportThumbnailWidth)),
                                targets[t]);
                            if (thumb) p.thumbnail = std::move(*thumb);
                        }
                    } else {
                        reason = (tableUrl ? curveUrl.status() : tableUrl.status()).message();
                    }
                }
            }
            if (!reason.empty()) {
                p.table.emplace_back();
                p.curve.emplace_back();
            }
            p.refused.push_back(reason);
            bytes += p.table.back().size() + p.curve.back().size();
        }
        // A frame the first target refused still has a thumbnail: its
        // picture without tone mapping, clipped at that target's peak (the
        // page says so by the refusal beside it).
        if (p.thumbnail.empty() && !targets.empty()) {
            ToneStage none;
            none.lut.targetNits = targets[0];
            const picture::RgbImage source = applyToneStage(
                none, TonePath::Source,
                scaleImage(c.light, fitFactor(c.light.width, kReportThumbnailWidth)), 1);
            Result<std::string> thumb = sdrJpeg(source, targets[0]);
            if (thumb) p.thumbnail = std::move(*thumb);
        }
        bytes += p.thumbnail.size();
        if (video.pictureBytes + bytes > budgetBytes) {
            video.framesLeftOut = static_cast<unsigned>(captured.size() - k);
            break;
        }
        video.pictureBytes += bytes;
        video.pictured.push_back(std::move(p));
    }
    std::sort(video.pictured.begin(), video.pictured.end(),
              [](const PicturedFrame& a, const PicturedFrame& b) { return a.frame < b.frame; });
}

}  // namespace kestrel::tool
