// SPDX-License-Identifier: Apache-2.0
#include "measure/row_signal.h"

#include <algorithm>

#include "measure/signal_code.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrel::measure {

void reduceRow(const float* r, const float* g, const float* b, size_t n, float* maxRgb,
               uint32_t* step, RowPeaks& peaks) {
    const float steps = static_cast<float>(signal_code_detail::kSteps);
    row_signal_detail::RunningPeaks running(peaks);
    size_t i = 0;
#if defined(__SSE2__)
    // Four pixels at a time. cmpgt is false for NaN, so the mask keeps
    // exactly the values above 0 and leaves +0 elsewhere, as RunningPeaks;
    // after it no lane holds NaN or -0, so max and min select the same
    // value (the same bits) as std::max and std::min, and the truncating
    // conversion is static_cast's (the product is at most 2^16, exact).
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f), scale = _mm_set1_ps(steps);
    __m128 vR = _mm_set1_ps(running.r), vG = _mm_set1_ps(running.g), vB = _mm_set1_ps(running.b);
    __m128 vLow = _mm_set1_ps(running.lowest), vHigh = _mm_set1_ps(running.highest);
    for (; i + 4 <= n; i += 4) {
        __m128 red = _mm_loadu_ps(r + i), green = _mm_loadu_ps(g + i), blue = _mm_loadu_ps(b + i);
        red = _mm_and_ps(_mm_cmpgt_ps(red, zero), red);
        green = _mm_and_ps(_mm_cmpgt_ps(green, zero), green);
        blue = _mm_and_ps(_mm_cmpgt_ps(blue, zero), blue);
        vR = _mm_max_ps(vR, red);
        vG = _mm_max_ps(vG, green);
        vB = _mm_max_ps(vB, blue);
        const __m128 s = _mm_min_ps(_mm_max_ps(red, _mm_max_ps(green, blue)), one);
        vLow = _mm_min_ps(vLow, s);
        vHigh = _mm_max_ps(vHigh, s);
        _mm_storeu_ps(maxRgb + i, s);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(step + i),
                         _mm_cvttps_epi32(_mm_mul_ps(s, scale)));
    }
    alignas(16) float lanes[5][4];
    _mm_store_ps(lanes[0], vR);
    _mm_store_ps(lanes[1], vG);
    _mm_store_ps(lanes[2], vB);
    _mm_store_ps(lanes[3], vLow);
    _mm_store_ps(lanes[4], vHigh);
    running.addLanes(lanes[0], 4);
#endif
    for (; i < n; ++i) {
        const float s = running.add(r[i], g[i], b[i]);
        maxRgb[i] = s;
        step[i] = signalStep(s);
    }
    running.store(peaks);
}

}  // namespace kestrel::measure
