// SPDX-License-Identifier: Apache-2.0
#include "measure/frame_statistics.h"

#include <algorithm>
#include <string>
#include <thread>

#include "picture/yuv_to_rgb.h"

namespace kestrel::measure {

struct FrameMeasurer::Worker {
    RowCounter counter;
    std::vector<float> r, g, b;  // one row of signal, where it is converted first

    void measureRows(const picture::YuvFrame& frame, unsigned from, unsigned to) {
        picture::SignalRows rows(frame);
        if (rows.chromaOnEvenColumns()) {
            // Nearly every stream: converted and reduced in one pass.
            for (unsigned y = from; y < to; ++y) {
                const picture::SignalRows::ChromaRow chroma = rows.verticalChroma(y);
                counter.addYcbcr({frame.y.data() + size_t{y} * frame.width, chroma.cb, chroma.cr,
                                  frame.width, frame.chromaWidth()},
                                 rows.range());
            }
            return;
        }
        r.resize(frame.width);
        g.resize(frame.width);
        b.resize(frame.width);
        for (unsigned y = from; y < to; ++y) {
            rows.convert(y, r.data(), g.data(), b.data());
            counter.addSignal(r.data(), g.data(), b.data(), frame.width);
        }
    }
};

FrameMeasurer::FrameMeasurer(unsigned threads)
    : mThreads(threads != 0 ? threads : std::max(1u, std::thread::hardware_concurrency())) {}

FrameMeasurer::~FrameMeasurer() = default;

Status FrameMeasurer::check(const picture::YuvFrame& frame) {
    Status pq = picture::checkPq(frame.colour);
    if (!pq) return pq;
    const size_t luma = size_t{frame.width} * frame.height;
    const size_t chroma = size_t{frame.chromaWidth()} * frame.chromaHeight();
    if (frame.y.size() != luma || frame.cb.size() != chroma || frame.cr.size() != chroma)
        return Status::failure(ErrorKind::Invalid,
                               "a " + std::to_string(frame.width) + "x" +
                                   std::to_string(frame.height) +
                                   " picture whose planes do not hold that many samples");
    return {};
}

Status FrameMeasurer::add(const picture::YuvFrame& frame, StatisticsCollector& collector) {
    Status checked = check(frame);
    if (!checked) return checked;
    if (frame.y.empty()) return {};

    const unsigned blocks = std::min(mThreads, frame.height);
    while (mWorkers.size() < blocks) mWorkers.push_back(std::make_unique<Worker>());
    const unsigned per = (frame.height + blocks - 1) / blocks;
    std::vector<std::thread> others;
    for (unsigned k = 1; k < blocks && k * per < frame.height; ++k) {
        Worker* w = mWorkers[k].get();
        const unsigned from = k * per, to = std::min(frame.height, from + per);
        others.emplace_back([w, &frame, from, to] { w->measureRows(frame, from, to); });
    }
    mWorkers[0]->measureRows(frame, 0, std::min(frame.height, per));
    for (std::thread& t : others) t.join();
    for (unsigned k = 0; k < blocks; ++k) mWorkers[k]->counter.poolInto(collector);
    return {};
}

}  // namespace kestrel::measure
