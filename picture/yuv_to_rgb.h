// SPDX-License-Identifier: Apache-2.0
// Decoded Y'CbCr to linear RGB in cd/m², the way a PQ display decodes it.
//
// 1. Samples to the normalised signal, with the stream's range. At b bits,
//    limited range: Y = (Y' - 16 * 2^(b-8)) / (219 * 2^(b-8)),
//                   C = (C' - 128 * 2^(b-8)) / (224 * 2^(b-8));
//    full range:    Y = Y' / (2^b - 1), C = (C' - 2^(b-1)) / (2^b - 1).
// 2. Chroma up-sampled to the luma grid by linear interpolation between the
//    two nearest chroma samples in each direction (a triangle filter, edges
//    repeated), placed where the stream's chroma siting says (HEVC's default
//    "left": horizontally on the even luma columns, vertically halfway
//    between two luma rows). 4:4:4 needs none.
// 3. The BT.2020 non-constant-luminance matrix (Kr = 0.2627, Kb = 0.0593):
//    R' = Y + 2 (1 - Kr) Cr, B' = Y + 2 (1 - Kb) Cb,
//    G' = (Y - Kr R' - Kb B') / (1 - Kr - Kb).
// 4. Each of R', G', B' clamped to 0..1 (a limited-range signal may stray
//    below black and above 10000 cd/m²; no display shows either) and taken
//    through the PQ EOTF.
// All in single precision (float), the precision of the result.
#pragma once

#include <vector>

#include "common/status.h"
#include "picture/image.h"
#include "picture/video_decoder.h"
#include "picture/ycbcr_signal.h"

namespace kestrel::picture {

// Whether the picture can be shown as PQ video: PQ transfer and a BT.2020
// non-constant-luminance matrix (or none stated, which PQ video means).
// The failure names what the stream is instead ("HLG (ARIB STD-B67)").
Status checkPq(const Colour& colour);

// Steps 1 to 3 one row at a time, into the caller's buffers: for work that
// takes the signal row by row and never needs the whole picture as planes
// (measuring it). Each thread uses its own converter; the frame must
// outlive it. The values are exactly those of toSignal().
class SignalRows {
public:
    explicit SignalRows(const YuvFrame& frame);
    // Row y (below the frame's height) into r, g and b, width samples each.
    void convert(unsigned y, float* r, float* g, float* b);

    // The parts of convert() for loops that do the rest themselves: the
    // chroma of row y interpolated vertically (step 2 down the columns; the
    // frame's chromaWidth() codes each, valid until the next call), and
    // whether the chroma sits on the even luma columns, so that across the
    // row an even column x takes chroma sample x / 2 and an odd one the
    // halfway point c + 0.5 (c' - c) to the next (the last sample repeated
    // from column 2 (chromaWidth - 1) on). rgbSignal() does step 3.
    struct ChromaRow {
        const float* cb;
        const float* cr;
    };
    ChromaRow verticalChroma(unsigned y);
    bool chromaOnEvenColumns() const { return mHalvesOnEvenColumns; }
    const SampleRange& range() const { return mRange; }

private:
    const YuvFrame& mFrame;
    SampleRange mRange;
    float mVOffset = 0;
    // Per luma column: the two chroma samples around it and the second's weight.
    std::vector<unsigned> mFirst, mSecond;
    std::vector<float> mWeight;
    std::vector<float> mCbRow, mCrRow;  // this row's chroma, vertically interpolated
    std::vector<float> mCbFull, mCrFull;  // and at every luma column
    bool mHalvesOnEvenColumns = false;    // chroma on even columns, two columns apart
};

// The normalised non-linear R'G'B' of the picture (steps 1 to 3), unclamped.
RgbImage toSignal(const YuvFrame& frame);

// The picture in linear light (steps 1 to 4); refused as checkPq() says.
// `threads` 0 takes one per core.
Result<RgbImage> toLinear(const YuvFrame& frame, unsigned threads = 0);

}  // namespace kestrel::picture
