// SPDX-License-Identifier: Apache-2.0
// A row of decoded Y'CbCr reduced straight to what counting it needs, the
// conversion (picture/ycbcr_signal.h) and reduceRow (row_signal.h) in one
// pass: no row of R', G' and B' is written to be read again.
//
// For the chroma layout of nearly every HEVC stream: chroma on the even luma
// columns (left-sited 4:2:0 and 4:2:2), the odd columns halfway between two
// chroma samples (picture::SignalRows::chromaOnEvenColumns). The chroma
// comes in already interpolated down the columns (verticalChroma).
//
// The float operations per pixel are those of SignalRows::convert then
// reduceRow, in the same order, so every value is the same, bit for bit: on
// x86-64 eight pixels at a time where the processor has AVX2 (chosen once,
// at the first call), plain C++ elsewhere and for the row's last pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "measure/row_signal.h"
#include "picture/ycbcr_signal.h"

namespace kestrel::measure {

// The pixels of one row: `width` luma codes, `chromaWidth` chroma codes of
// each kind (width <= 2 chromaWidth, chromaWidth >= 1).
struct YcbcrRow {
    const uint16_t* luma;
    const float* cb;
    const float* cr;
    unsigned width, chromaWidth;
};

// As reduceRow(r, g, b, ...) on the row's R'G'B' signal.
void reduceYcbcrRow(const YcbcrRow& row, const picture::SampleRange& range, float* maxRgb,
                    uint32_t* step, RowPeaks& peaks);

namespace ycbcr_row_detail {
// The two ways, for the tests: eight pixels at a time (only where
// haveWideVectors() says so) and one at a time.
bool haveWideVectors();
void reduceWide(const YcbcrRow& row, const picture::SampleRange& range, float* maxRgb,
                uint32_t* step, RowPeaks& peaks);
void reducePlain(const YcbcrRow& row, const picture::SampleRange& range, float* maxRgb,
                 uint32_t* step, RowPeaks& peaks);
}  // namespace ycbcr_row_detail

}  // namespace kestrel::measure
