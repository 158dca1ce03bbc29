// SPDX-License-Identifier: Apache-2.0
// Statistics of decoded pictures measured straight from their samples: each
// row converted to R'G'B' signal and counted at once (RowCounter, through the
// signal-threshold table of signal_code.h), so that no picture-sized planes
// are written and read again, on every core. Where the chroma sits on the
// even columns (nearly every stream) the conversion and the row's reduction
// are one pass (ycbcr_row.h); elsewhere picture::SignalRows converts the row
// first.
//
// The rows are split into one block per thread; each thread converts and
// counts its block with its own converter, row buffers and counter, kept from
// picture to picture. The counts are integers pooled after all threads are
// done, so the statistics are bit for bit those of one thread, and those of
// StatisticsCollector::add on picture::toLinear of the same frame.
#pragma once

#include <memory>
#include <vector>

#include "common/status.h"
#include "measure/luminance_statistics.h"
#include "picture/video_decoder.h"

namespace kestrel::measure {

class FrameMeasurer {
public:
    // `threads` 0 takes one per core.
    explicit FrameMeasurer(unsigned threads = 0);
    ~FrameMeasurer();
    FrameMeasurer(const FrameMeasurer&) = delete;
    FrameMeasurer& operator=(const FrameMeasurer&) = delete;

    // Whether `frame` can be measured: refused as picture::checkPq says, or
    // when the planes do not hold the samples the frame's size and
    // subsampling call for. add() fails exactly when this does, so that a
    // caller measuring on another thread can check first on its own.
    static Status check(const picture::YuvFrame& frame);
    // Adds every pixel of `frame` to `collector`. Refused, adding nothing,
    // as check() says.
    Status add(const picture::YuvFrame& frame, StatisticsCollector& collector);

private:
    struct Worker;
    unsigned mThreads;
    std::vector<std::unique_ptr<Worker>> mWorkers;
};

}  // namespace kestrel::measure
