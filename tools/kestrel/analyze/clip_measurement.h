// SPDX-License-Identifier: Apache-2.0
// A video's pictures measured: every picture's HDR10+ statistics in linear
// light, the shots found in the pictures, each shot's pooled statistics, and
// the HDR10+ metadata the stream itself carries for each picture, so that
// `analyze` can write metadata and `check` can hold the stream's against
// the pictures.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/status.h"
#include "measure/luminance_statistics.h"
#include "picture/video_decoder.h"

namespace kestrel::tool {

struct MeasuredPictureInfo {
    measure::LuminanceStatistics statistics;
    // False for pictures between the measured ones (--every, --keyframes):
    // they carry the statistics of the latest measured picture of their
    // shot (its first picture always is).
    bool measured = false;
    bool keyFrame = false;
    unsigned shot = 0;
    float cutDistance = 0.0f;  // to the picture before (measure/shot_cuts.h)
    std::optional<picture::DecodedHdr10Plus> stated;  // the stream's own metadata
};

struct ClipMeasurement {
    picture::StreamInfo stream;
    picture::Colour colour;
    unsigned width = 0, height = 0, bitDepth = 0;
    std::vector<MeasuredPictureInfo> pictures;  // display order
    std::vector<measure::LuminanceStatistics> shots;
    std::vector<unsigned> shotStarts;  // first picture of each shot
};

struct MeasureOptions {
    // Which pictures are measured: the first of every shot, and one in
    // `every` of the candidates, counted from the first candidate. The
    // candidates are all pictures, or with `keyFramesOnly` the key frames
    // alone (every Nth key frame, then). Every picture is still decoded,
    // numbered in display order and looked at for cuts.
    unsigned every = 1;
    bool keyFramesOnly = false;
    unsigned threads = 0;  // 0: one per core
    // Called with each decoded picture (display order, from 0) before it is
    // measured, so that a caller can keep what it needs of the pictures
    // without decoding the video a second time.
    std::function<void(const picture::YuvFrame&)> onPicture;
    // Called when a picture is found to start a shot; at most
    // measure::kFlashPictures pictures after onPicture gave it.
    std::function<void(unsigned picture)> onShotStart;
};

// Progress after each picture: pictures done so far.
using MeasureProgress = std::function<void(unsigned done)>;

// Decodes and measures the video at `path`. Fails, naming the file and what
// is wrong, when it cannot be decoded, is not PQ video, or is damaged (the
// failure says at which picture).
Result<ClipMeasurement> measureClip(const std::string& path, const MeasureOptions& options,
                                    const MeasureProgress& progress);

}  // namespace kestrel::tool
