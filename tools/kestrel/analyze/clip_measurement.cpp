// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/analyze/clip_measurement.h"

#include <array>
#include <deque>
#include <future>
#include <memory>
#include <optional>

#include "measure/frame_statistics.h"
#include "measure/shot_cuts.h"
#include "picture/yuv_to_rgb.h"

namespace kestrel::tool {

namespace {

// Codes of black and white of the luma signal at this depth and range.
void lumaRange(const picture::YuvFrame& frame, float& black, float& white) {
    if (frame.colour.fullRange) {
        black = 0.0f;
        white = static_cast<float>((1u << frame.bitDepth) - 1);
    } else {
        const float unit = static_cast<float>(1u << (frame.bitDepth - 8));
        black = 16.0f * unit;
        white = 235.0f * unit;
    }
}

// A picture whose shot is not decided yet: its statistics when measured,
// and its pixels kept while it is not, in case it turns out to start a shot
// (every shot has its first picture measured).
struct Pending {
    std::unique_ptr<measure::StatisticsCollector> collector;
    std::unique_ptr<picture::YuvFrame> frame;
};

Result<ClipMeasurement> measureUnnamed(const std::string& path, const MeasureOptions& options,
                                       const MeasureProgress& progress) {
    picture::DecoderOptions decoderOptions;
    decoderOptions.threads = options.threads;
    Result<std::unique_ptr<picture::VideoDecoder>> opened =
        picture::VideoDecoder::open(path, decoderOptions);
    if (!opened) return opened.status();
    picture::VideoDecoder& decoder = **opened;

    ClipMeasurement clip;
    clip.stream = decoder.info();
    const unsigned every = options.every == 0 ? 1 : options.every;
    measure::ShotCutDetector detector;
    std::deque<Pending> pending;  // pictures clip.pictures.size() - pending.size() onwards
    measure::StatisticsCollector shot;
    bool shotOpen = false;
    // The latest measured picture of the current shot (an index: the
    // vector grows).
    std::optional<size_t> latest;

    // Measured straight from the samples on every core; a picture's
    // collector goes back to `spare` once its shot has taken its pixels, so
    // that pictures do not each allocate and clear a fresh histogram.
    measure::FrameMeasurer measurer(options.threads);
    std::vector<std::unique_ptr<measure::StatisticsCollector>> spare;
    auto takeCollector = [&] {
        if (spare.empty()) return std::make_unique<measure::StatisticsCollector>();
        std::unique_ptr<measure::StatisticsCollector> collector = std::move(spare.back());
        spare.pop_back();
        return collector;
    };

    // A chosen picture is measured on other threads while the next one
    // decodes: the decoder leaves a core idle much of the time (its frame
    // threads wait on each other's references), and the measuring fills it.
    // The decoder writes the pictures into two frames in turn, so that the
    // one being measured stays as it is. One measuring at a time (the
    // measurer keeps its workers' buffers); the statistics are integers
    // pooled in a fixed order, so they are those of measuring in line.
    // The frame is checked here before measuring starts, so that a picture
    // that cannot be measured fails where it did in line.
    std::array<picture::YuvFrame, 2> frames;
    std::future<Status> measuring;  // after all it uses: waited for first on every return
    unsigned measuringPicture = 0;  // display index of the picture being measured
    auto finishMeasuring = [&]() -> Status {
        if (!measuring.valid()) return {};
        return measuring.get();
    };
    auto startMeasuring = [&](const picture::YuvFrame& frame, unsigned index,
                              measure::StatisticsCollector& collector) -> Status {
        Status finished = finishMeasuring();
        if (!finished) return finished;
        Status checked = measure::FrameMeasurer::check(frame);
        if (!checked) return checked;
        measuringPicture = index;
        // On one thread (--threads 1) the measuring waits to be asked for
        // its result, and so runs in line, between two pictures.
        measuring =
            std::async(options.threads == 1 ? std::launch::deferred : std::launch::async,
                       [&measurer, &frame, &collector] { return measurer.add(frame, collector); });
        return {};
    };
    // In line, for a picture kept unmeasured that turns out to start a shot.
    auto measure = [&](const picture::YuvFrame& frame) -> Result<std::unique_ptr<measure::StatisticsCollector>> {
        Status finished = finishMeasuring();
        if (!finished) return finished;
        std::unique_ptr<measure::StatisticsCollector> collector = takeCollector();
        Status s = measurer.add(frame, *collector);
        if (!s) return s;
        return collector;
    };

    // Settles the shot of the oldest pending picture.
    auto settle = [&](const measure::ShotCutDetector::Decision& d) -> Status {
        if (measuring.valid() && measuringPicture == d.picture) {
            Status finished = finishMeasuring();
            if (!finished) return finished;
        }
        Pending p = std::move(pending.front());
        pending.pop_front();
        MeasuredPictureInfo& info = clip.pictures[d.picture];
        info.cutDistance = d.distance;
        if (d.cut) {
            if (shotOpen) clip.shots.push_back(shot.statistics());
            shot.clear();
            shotOpen = true;
            clip.shotStarts.push_back(static_cast<unsigned>(d.picture));
            if (options.onShotStart) options.onShotStart(static_cast<unsigned>(d.picture));
            latest.reset();
            if (!p.collector) {
                auto measured = measure(*p.frame);
                if (!measured) return measured.status();
                p.collector = std::move(*measured);
            }
        }
        info.shot = static_cast<unsigned>(clip.shotStarts.size() - 1);
        if (p.collector) {
            info.statistics = p.collector->statistics();
            info.measured = true;
            shot.merge(*p.collector);
            latest = d.picture;
            p.collector->clear();
            spare.push_back(std::move(p.collector));
        } else if (latest) {
            info.statistics = clip.pictures[*latest].statistics;
        }
        return {};
    };

    uint64_t candidates = 0;  // pictures that could be measured so far (--every counts these)
    for (unsigned index = 0;; ++index) {
        picture::YuvFrame& frame = frames[index % 2];
        // The frame two pictures back may still be being measured.
        if (measuring.valid() && measuringPicture % 2 == index % 2) {
            Status finished = finishMeasuring();
            if (!finished) return finished;
        }
        Result<bool> got = decoder.next(frame);
        if (!got) return got.status();
        if (!*got) break;
        if (index == 0) {
            Status pq = picture::checkPq(frame.colour);
            if (!pq) return pq;
            clip.colour = frame.colour;
            clip.width = frame.width;
            clip.height = frame.height;
            clip.bitDepth = frame.bitDepth;
        }
        if (options.onPicture) options.onPicture(frame);
        MeasuredPictureInfo info;
        info.stated = frame.hdr10plus;
        info.keyFrame = frame.keyFrame;
        clip.pictures.push_back(std::move(info));

        bool chosen = false;
        if (!options.keyFramesOnly || frame.keyFrame) {
            chosen = candidates % every == 0;
            ++candidates;
        }
        Pending p;
        if (chosen) {
            p.collector = takeCollector();
            Status started = startMeasuring(frame, index, *p.collector);
            if (!started) return started;
        } else {
            p.frame = std::make_unique<picture::YuvFrame>(frame);
        }
        pending.push_back(std::move(p));

        float black = 0, white = 1;
        lumaRange(frame, black, white);
        for (const auto& d : detector.push(measure::lumaSignature(frame.y.data(), frame.width,
                                                                  frame.height, frame.width,
                                                                  black, white))) {
            Status s = settle(d);
            if (!s) return s;
        }
        if (progress) progress(index + 1);
    }
    for (const auto& d : detector.finish()) {
        Status s = settle(d);
        if (!s) return s;
    }
    Status finished = finishMeasuring();  // every picture is settled: nothing is left
    if (!finished) return finished;
    if (shotOpen) clip.shots.push_back(shot.statistics());
    if (clip.pictures.empty()) return Status::failure(ErrorKind::Invalid, "holds no pictures");
    return clip;
}

}  // namespace

Result<ClipMeasurement> measureClip(const std::string& path, const MeasureOptions& options,
                                    const MeasureProgress& progress) {
    Result<ClipMeasurement> clip = measureUnnamed(path, options, progress);
    if (!clip) return clip.status().prefixed(path + ": ");
    return clip;
}

}  // namespace kestrel::tool
