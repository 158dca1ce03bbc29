// SPDX-License-Identifier: Apache-2.0
#include "picture/yuv_to_rgb.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "picture/pq.h"
#include "picture/ycbcr_signal.h"
#include "picture/row_threads.h"

namespace kestrel::picture {

namespace {

// Where chroma sample 0 sits, in luma samples from luma sample 0.
void sitingOffsets(ChromaSiting s, float& h, float& v) {
    h = (s == ChromaSiting::Center || s == ChromaSiting::Top || s == ChromaSiting::Bottom) ? 0.5f
                                                                                           : 0.0f;
    switch (s) {
        case ChromaSiting::TopLeft:
        case ChromaSiting::Top:
            v = 0.0f;
            break;
        case ChromaSiting::BottomLeft:
        case ChromaSiting::Bottom:
            v = 1.0f;
            break;
        default:
            v = 0.5f;
    }
}

// The two chroma samples around luma position `pos` and the weight of the
// second: chroma sample k sits at luma position k * factor + offset.
struct Tap {
    unsigned first, second;
    float weight;
};

Tap tapAt(unsigned pos, unsigned shift, float offset, unsigned count) {
    if (shift == 0) return {pos, pos, 0.0f};
    const float u = (static_cast<float>(pos) - offset) / static_cast<float>(1u << shift);
    const float base = std::floor(u);
    const float weight = u - base;
    const long k = static_cast<long>(base);
    const long last = static_cast<long>(count) - 1;
    const auto clampIndex = [&](long i) { return static_cast<unsigned>(std::clamp(i, 0L, last)); };
    return {clampIndex(k), clampIndex(k + 1), weight};
}

void allocate(const YuvFrame& f, RgbImage& out) {
    out.width = f.width;
    out.height = f.height;
    const size_t n = static_cast<size_t>(f.width) * f.height;
    out.r.resize(n);
    out.g.resize(n);
    out.b.resize(n);
}

}  // namespace

SampleRange sampleRange(const YuvFrame& f) {
    const double step = std::ldexp(1.0, static_cast<int>(f.bitDepth) - 8);
    if (f.colour.fullRange) {
        const double max = std::ldexp(1.0, static_cast<int>(f.bitDepth)) - 1;
        return {0.0f, static_cast<float>(1 / max), static_cast<float>(128 * step),
                static_cast<float>(1 / max)};
    }
    return {static_cast<float>(16 * step), static_cast<float>(1 / (219 * step)),
            static_cast<float>(128 * step), static_cast<float>(1 / (224 * step))};
}

SignalRows::SignalRows(const YuvFrame& frame) : mFrame(frame), mRange(sampleRange(frame)) {
    float hOffset = 0;
    sitingOffsets(frame.colour.siting, hOffset, mVOffset);
    const unsigned cw = frame.chromaWidth();
    mFirst.resize(frame.width);
    mSecond.resize(frame.width);
    mWeight.resize(frame.width);
    for (unsigned x = 0; x < frame.width; x++) {
        const Tap t = tapAt(x, frame.chromaShiftX, hOffset, cw);
        mFirst[x] = t.first;
        mSecond[x] = t.second;
        mWeight[x] = t.weight;
    }
    mCbRow.resize(cw);
    mCrRow.resize(cw);
    mCbFull.resize(frame.width);
    mCrFull.resize(frame.width);
    mHalvesOnEvenColumns = frame.chromaShiftX == 1 && hOffset == 0.0f && cw > 0 &&
                           frame.width <= 2 * cw;
}

SignalRows::ChromaRow SignalRows::verticalChroma(unsigned y) {
    const YuvFrame& f = mFrame;
    const unsigned cw = f.chromaWidth();
    // Vertical interpolation of the two chroma rows around this luma row.
    const Tap row = tapAt(y, f.chromaShiftY, mVOffset, f.chromaHeight());
    const uint16_t* cb0 = f.cb.data() + static_cast<size_t>(row.first) * cw;
    const uint16_t* cb1 = f.cb.data() + static_cast<size_t>(row.second) * cw;
    const uint16_t* cr0 = f.cr.data() + static_cast<size_t>(row.first) * cw;
    const uint16_t* cr1 = f.cr.data() + static_cast<size_t>(row.second) * cw;
    float* cbRow = mCbRow.data();
    float* crRow = mCrRow.data();
    for (unsigned j = 0; j < cw; j++) {
        cbRow[j] = static_cast<float>(cb0[j]) +
                   row.weight * (static_cast<float>(cb1[j]) - static_cast<float>(cb0[j]));
        crRow[j] = static_cast<float>(cr0[j]) +
                   row.weight * (static_cast<float>(cr1[j]) - static_cast<float>(cr0[j]));
    }
    return {cbRow, crRow};
}

void SignalRows::convert(unsigned y, float* r, float* g, float* b) {
    const YuvFrame& f = mFrame;
    const unsigned cw = f.chromaWidth();
    const ChromaRow chroma = verticalChroma(y);
    const float* cbRow = chroma.cb;
    const float* crRow = chroma.cr;
    // Chroma across the row, at every luma column. Left-sited 4:2:0 and
    // 4:2:2 (the default of HEVC) take even columns straight from a chroma
    // sample (weight 0: c + 0 (c' - c) is c) and odd ones halfway to the
    // next, the same sums as the general taps; a loop without the look-up
    // of the taps.
    float* cbFull = mCbFull.data();
    float* crFull = mCrFull.data();
    if (mHalvesOnEvenColumns) {
        for (unsigned j = 0; j + 1 < cw; j++) {
            cbFull[2 * j] = cbRow[j];
            crFull[2 * j] = crRow[j];
            cbFull[2 * j + 1] = cbRow[j] + 0.5f * (cbRow[j + 1] - cbRow[j]);
            crFull[2 * j + 1] = crRow[j] + 0.5f * (crRow[j + 1] - crRow[j]);
        }
        // The last chroma sample repeats past the edge.
        for (unsigned x = 2 * (cw - 1); x < f.width; x++) {
            cbFull[x] = cbRow[cw - 1];
            crFull[x] = crRow[cw - 1];
        }
    } else {
        const unsigned* first = mFirst.data();
        const unsigned* second = mSecond.data();
        const float* weight = mWeight.data();
        for (unsigned x = 0; x < f.width; x++) {
            cbFull[x] = cbRow[first[x]] + weight[x] * (cbRow[second[x]] - cbRow[first[x]]);
            crFull[x] = crRow[first[x]] + weight[x] * (crRow[second[x]] - crRow[first[x]]);
        }
    }
    const uint16_t* luma = f.y.data() + static_cast<size_t>(y) * f.width;
    const SampleRange range = mRange;
    for (unsigned x = 0; x < f.width; x++) {
        const RgbSignal p = rgbSignal(static_cast<float>(luma[x]), cbFull[x], crFull[x], range);
        r[x] = p.r;
        g[x] = p.g;
        b[x] = p.b;
    }
}

Status checkPq(const Colour& colour) {
    if (colour.transfer != Transfer::Pq) {
        return Status::failure(ErrorKind::Unsupported,
                               std::string("its pictures are ") + transferName(colour.transfer) +
                                   ", not PQ: only PQ (HDR10, HDR10+) video is shown");
    }
    if (colour.matrix != Matrix::Bt2020Ncl && colour.matrix != Matrix::Unspecified) {
        return Status::failure(ErrorKind::Unsupported,
                               std::string("its pictures use the ") + matrixName(colour.matrix) +
                                   " matrix; only BT.2020 non-constant luminance is read");
    }
    return {};
}

RgbImage toSignal(const YuvFrame& frame) {
    RgbImage out;
    allocate(frame, out);
    SignalRows rows(frame);
    for (unsigned y = 0; y < frame.height; y++) {
        const size_t base = static_cast<size_t>(y) * frame.width;
        rows.convert(y, out.r.data() + base, out.g.data() + base, out.b.data() + base);
    }
    return out;
}

Result<RgbImage> toLinear(const YuvFrame& frame, unsigned threads) {
    Status pq = checkPq(frame.colour);
    if (!pq) return pq;
    RgbImage out;
    allocate(frame, out);
    forEachRowBlock(frame.height, threads, [&](unsigned from, unsigned to) {
        SignalRows rows(frame);
        for (unsigned y = from; y < to; y++) {
            const size_t base = static_cast<size_t>(y) * frame.width;
            rows.convert(y, out.r.data() + base, out.g.data() + base, out.b.data() + base);
        }
        const size_t begin = static_cast<size_t>(from) * frame.width;
        const size_t end = static_cast<size_t>(to) * frame.width;
        for (size_t i = begin; i < end; i++) {
            out.r[i] = pqEotf(out.r[i]);
            out.g[i] = pqEotf(out.g[i]);
            out.b[i] = pqEotf(out.b[i]);
        }
    });
    return out;
}

}  // namespace kestrel::picture
