// SPDX-License-Identifier: Apache-2.0
#include "measure/ycbcr_row.h"

#include <algorithm>

#include "measure/signal_code.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KESTREL_YCBCR_ROW_AVX2 1
#include <immintrin.h>
#endif

namespace kestrel::measure {

namespace {

// The chroma code of column x: the sample on even columns, halfway to the
// next on odd ones, the last repeated (SignalRows::convert's sums).
inline float chromaAt(const float* c, unsigned x, unsigned chromaWidth) {
    const unsigned j = x / 2;
    if (j + 1 >= chromaWidth) return c[chromaWidth - 1];
    return (x & 1u) == 0 ? c[j] : c[j] + 0.5f * (c[j + 1] - c[j]);
}

// Columns [from, width) one at a time.
void reduceFrom(const YcbcrRow& row, unsigned from, const picture::SampleRange& range,
                float* maxRgb, uint32_t* step, RowPeaks& peaks) {
    row_signal_detail::RunningPeaks running(peaks);
    for (unsigned x = from; x < row.width; ++x) {
        const picture::RgbSignal p =
            picture::rgbSignal(static_cast<float>(row.luma[x]), chromaAt(row.cb, x, row.chromaWidth),
                               chromaAt(row.cr, x, row.chromaWidth), range);
        const float s = running.add(p.r, p.g, p.b);
        maxRgb[x] = s;
        step[x] = signalStep(s);
    }
    running.store(peaks);
}

}  // namespace

namespace ycbcr_row_detail {

void reducePlain(const YcbcrRow& row, const picture::SampleRange& range, float* maxRgb,
                 uint32_t* step, RowPeaks& peaks) {
    reduceFrom(row, 0, range, maxRgb, step, peaks);
}

#if defined(KESTREL_YCBCR_ROW_AVX2)

bool haveWideVectors() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

namespace {

// Chroma across eight columns from the four samples at c and the one
// after: even columns the samples, odd ones halfway.
__attribute__((target("avx2"))) inline __m256 across(const float* c) {
    const __m128 c0 = _mm_loadu_ps(c), c1 = _mm_loadu_ps(c + 1);
    const __m128 mid = _mm_add_ps(c0, _mm_mul_ps(_mm_set1_ps(0.5f), _mm_sub_ps(c1, c0)));
    return _mm256_set_m128(_mm_unpackhi_ps(c0, mid), _mm_unpacklo_ps(c0, mid));
}

}  // namespace

// Eight columns x .. x + 7 from four chroma samples j = x / 2 .. j + 3 and
// the one after (for column x + 7), so while j + 4 < chromaWidth; the rest
// one at a time. Each lane does rgbSignal's operations in its order
// (products and sums each rounded to float: no fused multiply-add is
// asked for), and the selections are reduceRow's (see row_signal.cpp).
__attribute__((target("avx2"))) void reduceWide(const YcbcrRow& row,
                                                const picture::SampleRange& range,
                                                float* maxRgb, uint32_t* step,
                                                RowPeaks& peaks) {
    using namespace picture::bt2020;
    const __m256 yOffset = _mm256_set1_ps(range.yOffset), yScale = _mm256_set1_ps(range.yScale);
    const __m256 cOffset = _mm256_set1_ps(range.cOffset), cScale = _mm256_set1_ps(range.cScale);
    const __m256 crToR = _mm256_set1_ps(kCrToR), cbToB = _mm256_set1_ps(kCbToB);
    const __m256 yToG = _mm256_set1_ps(kYToG), rToG = _mm256_set1_ps(kRToG),
                 bToG = _mm256_set1_ps(kBToG);
    const __m256 zero = _mm256_setzero_ps(), one = _mm256_set1_ps(1.0f);
    const __m256 steps = _mm256_set1_ps(static_cast<float>(signal_code_detail::kSteps));
    __m256 vR = _mm256_set1_ps(peaks.component[0]), vG = _mm256_set1_ps(peaks.component[1]);
    __m256 vB = _mm256_set1_ps(peaks.component[2]);
    __m256 vLow = _mm256_set1_ps(peaks.lowest), vHigh = _mm256_set1_ps(peaks.highest);
    unsigned x = 0;
    for (; x + 8 <= row.width && x / 2 + 4 < row.chromaWidth; x += 8) {
        const __m128i codes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row.luma + x));
        const __m256 luma = _mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(codes));
        const __m256 yy = _mm256_mul_ps(_mm256_sub_ps(luma, yOffset), yScale);
        const __m256 u = _mm256_mul_ps(_mm256_sub_ps(across(row.cb + x / 2), cOffset), cScale);
        const __m256 v = _mm256_mul_ps(_mm256_sub_ps(across(row.cr + x / 2), cOffset), cScale);
        __m256 red = _mm256_add_ps(yy, _mm256_mul_ps(crToR, v));
        __m256 blue = _mm256_add_ps(yy, _mm256_mul_ps(cbToB, u));
        __m256 green = _mm256_sub_ps(
            _mm256_sub_ps(_mm256_mul_ps(yToG, yy), _mm256_mul_ps(rToG, red)),
            _mm256_mul_ps(bToG, blue));
        red = _mm256_and_ps(_mm256_cmp_ps(red, zero, _CMP_GT_OQ), red);
        green = _mm256_and_ps(_mm256_cmp_ps(green, zero, _CMP_GT_OQ), green);
        blue = _mm256_and_ps(_mm256_cmp_ps(blue, zero, _CMP_GT_OQ), blue);
        vR = _mm256_max_ps(vR, red);
        vG = _mm256_max_ps(vG, green);
        vB = _mm256_max_ps(vB, blue);
        const __m256 s = _mm256_min_ps(_mm256_max_ps(red, _mm256_max_ps(green, blue)), one);
        vLow = _mm256_min_ps(vLow, s);
        vHigh = _mm256_max_ps(vHigh, s);
        _mm256_storeu_ps(maxRgb + x, s);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(step + x),
                            _mm256_cvttps_epi32(_mm256_mul_ps(s, steps)));
    }
    alignas(32) float lanes[5][8];
    _mm256_store_ps(lanes[0], vR);
    _mm256_store_ps(lanes[1], vG);
    _mm256_store_ps(lanes[2], vB);
    _mm256_store_ps(lanes[3], vLow);
    _mm256_store_ps(lanes[4], vHigh);
    row_signal_detail::RunningPeaks running(peaks);
    running.addLanes(lanes[0], 8);
    running.store(peaks);
    reduceFrom(row, x, range, maxRgb, step, peaks);
}

#else

bool haveWideVectors() { return false; }
void reduceWide(const YcbcrRow& row, const picture::SampleRange& range, float* maxRgb,
                uint32_t* step, RowPeaks& peaks) {
    reducePlain(row, range, maxRgb, step, peaks);
}

#endif

}  // namespace ycbcr_row_detail

void reduceYcbcrRow(const YcbcrRow& row, const picture::SampleRange& range, float* maxRgb,
                    uint32_t* step, RowPeaks& peaks) {
    if (ycbcr_row_detail::haveWideVectors())
        ycbcr_row_detail::reduceWide(row, range, maxRgb, step, peaks);
    else
        ycbcr_row_detail::reducePlain(row, range, maxRgb, step, peaks);
}

}  // namespace kestrel::measure
