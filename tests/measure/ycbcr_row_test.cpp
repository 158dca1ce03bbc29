// SPDX-License-Identifier: Apache-2.0
// A row of Y'CbCr reduced in one pass, eight pixels at a time and one at a
// time, against the two passes it replaces: the row converted to R'G'B'
// (picture::SignalRows::convert) then reduced (reduceRow). Every maxRGB,
// step and peak equal to the bit, at widths on both sides of the groups of
// eight and of the last chroma sample, at 8 and 10 bits, limited and full
// range, with codes past black and white so that components stray below 0
// and above 1.
#include "measure/ycbcr_row.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "picture/video_decoder.h"
#include "picture/yuv_to_rgb.h"

namespace kestrel::measure {
namespace {

uint32_t bitsOf(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

picture::YuvFrame frameOf(unsigned w, unsigned h, unsigned depth, bool full, unsigned seed) {
    picture::YuvFrame f;
    f.width = w;
    f.height = h;
    f.bitDepth = depth;
    f.chromaShiftX = f.chromaShiftY = 1;
    f.colour.transfer = picture::Transfer::Pq;
    f.colour.matrix = picture::Matrix::Bt2020Ncl;
    f.colour.fullRange = full;
    std::mt19937 random(seed);
    const uint16_t top = static_cast<uint16_t>((1u << depth) - 1);
    // Mostly any code; a quarter at the extremes, where the matrix gives
    // negative components and components above 1.
    auto code = [&] {
        const unsigned pick = random() % 8;
        if (pick == 0) return uint16_t{0};
        if (pick == 1) return top;
        return static_cast<uint16_t>(random() % (top + 1u));
    };
    f.y.resize(size_t{w} * h);
    for (auto& v : f.y) v = code();
    f.cb.resize(size_t{f.chromaWidth()} * f.chromaHeight());
    f.cr.resize(f.cb.size());
    for (auto& v : f.cb) v = code();
    for (auto& v : f.cr) v = code();
    return f;
}

struct Reduced {
    std::vector<float> maxRgb;
    std::vector<uint32_t> step;
    RowPeaks peaks;
};

void expectSame(const Reduced& got, const Reduced& want, const std::string& what) {
    for (size_t x = 0; x < want.maxRgb.size(); ++x) {
        ASSERT_EQ(bitsOf(got.maxRgb[x]), bitsOf(want.maxRgb[x])) << what << ", column " << x;
        ASSERT_EQ(got.step[x], want.step[x]) << what << ", column " << x;
    }
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(bitsOf(got.peaks.component[c]), bitsOf(want.peaks.component[c])) << what;
    EXPECT_EQ(bitsOf(got.peaks.lowest), bitsOf(want.peaks.lowest)) << what;
    EXPECT_EQ(bitsOf(got.peaks.highest), bitsOf(want.peaks.highest)) << what;
}

TEST(YcbcrRow, OnePassEqualsConvertingThenReducingToTheBit) {
    const bool wide = ycbcr_row_detail::haveWideVectors();
    if (!wide) std::printf("no AVX2 here: only the pixel-by-pixel pass is checked\n");
    unsigned rows = 0;
    for (unsigned depth : {8u, 10u}) {
        for (bool full : {false, true}) {
            // 1 to 40 columns (odd widths end on a chroma sample of their
            // own), and a film's width.
            std::vector<unsigned> widths;
            for (unsigned w = 1; w <= 40; ++w) widths.push_back(w);
            widths.push_back(1950);
            for (unsigned w : widths) {
                const picture::YuvFrame f = frameOf(w, 3, depth, full, w * 7 + depth + full);
                picture::SignalRows plainRows(f), fusedRows(f);
                ASSERT_TRUE(fusedRows.chromaOnEvenColumns());
                std::vector<float> r(w), g(w), b(w);
                // Peaks carried in from an earlier row, so that both keep
                // what they were given.
                RowPeaks start;
                start.component = {0.25f, 0.5f, 0.75f};
                start.lowest = 0.5f;
                start.highest = 0.5f;
                for (unsigned y = 0; y < f.height; ++y) {
                    const std::string what = std::to_string(w) + " columns, " +
                                             std::to_string(depth) + " bits, " +
                                             (full ? "full" : "limited") + ", row " +
                                             std::to_string(y);
                    Reduced want{std::vector<float>(w), std::vector<uint32_t>(w), start};
                    plainRows.convert(y, r.data(), g.data(), b.data());
                    reduceRow(r.data(), g.data(), b.data(), w, want.maxRgb.data(),
                              want.step.data(), want.peaks);
                    const picture::SignalRows::ChromaRow chroma = fusedRows.verticalChroma(y);
                    const YcbcrRow row{f.y.data() + size_t{y} * w, chroma.cb, chroma.cr, w,
                                       f.chromaWidth()};
                    Reduced plain{std::vector<float>(w), std::vector<uint32_t>(w), start};
                    ycbcr_row_detail::reducePlain(row, fusedRows.range(), plain.maxRgb.data(),
                                                  plain.step.data(), plain.peaks);
                    expectSame(plain, want, what + ", one at a time");
                    if (wide) {
                        Reduced vec{std::vector<float>(w), std::vector<uint32_t>(w), start};
                        ycbcr_row_detail::reduceWide(row, fusedRows.range(), vec.maxRgb.data(),
                                                     vec.step.data(), vec.peaks);
                        expectSame(vec, want, what + ", eight at a time");
                    }
                    ++rows;
                }
            }
        }
    }
    EXPECT_EQ(rows, 4u * 41u * 3u);
}

TEST(YcbcrRow, ChromaOffTheEvenColumnsIsNotForTheOnePass) {
    // Centre-sited chroma lies between two columns: the plain taps.
    picture::YuvFrame f = frameOf(16, 2, 10, false, 1);
    EXPECT_TRUE(picture::SignalRows(f).chromaOnEvenColumns());
    f.colour.siting = picture::ChromaSiting::Center;
    EXPECT_FALSE(picture::SignalRows(f).chromaOnEvenColumns());
    f.colour.siting = picture::ChromaSiting::Left;
    f.chromaShiftX = f.chromaShiftY = 0;  // 4:4:4
    f.cb.resize(f.y.size());
    f.cr.resize(f.y.size());
    EXPECT_FALSE(picture::SignalRows(f).chromaOnEvenColumns());
}

}  // namespace
}  // namespace kestrel::measure
