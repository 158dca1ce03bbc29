// SPDX-License-Identifier: Apache-2.0
// The stored code (luminance_code.h) of the light a PQ signal stands for,
// without evaluating the EOTF per sample: codeOfSignal(s) is exactly
// luminanceCode(picture::pqEotf(s)) for every float s.
//
// The EOTF never decreases, so the code is a step function of the signal.
// A table holds, for each code k, the smallest float signal whose light has
// a code of k or more (found once, by evaluating the EOTF itself near
// pqInverseEotf of the code's lower edge); a second table, over 2^16 equal
// steps of the signal, gives the code at the start of each step, and a
// binary search among the thresholds inside the step (none or one in dark
// steps, a few dozen near 10000 cd/m² where the EOTF is steepest) the rest.
#pragma once

#include <algorithm>
#include <cstdint>

#include "measure/luminance_code.h"

namespace kestrel::measure {

namespace signal_code_detail {
constexpr unsigned kStepBits = 16;
constexpr uint32_t kSteps = uint32_t{1} << kStepBits;
struct Tables {
    const float* threshold;     // kMaxCode + 1 entries
    const uint32_t* stepStart;  // kSteps + 1 entries
};
const Tables& tables();  // built once, on first use, then only read
}  // namespace signal_code_detail

// The code of the light of PQ signal `s` (clamped to 0..1; NaN as 0).
// Inline: it is asked once per pixel.
inline uint32_t codeOfSignal(float s) {
    using namespace signal_code_detail;
    if (!(s > 0.0f)) return 0;
    if (s >= 1.0f) return kMaxCode;
    static const Tables& t = tables();
    // s * 2^16 is exact in float, so the step is the one s lies in; its
    // code is that of the step's start plus the thresholds inside the step
    // at or below s. Most steps hold none or one (below about 1000 cd/m²,
    // where most pixels lie); the rest are searched.
    const uint32_t step = static_cast<uint32_t>(s * static_cast<float>(kSteps));
    const uint32_t first = t.stepStart[step];
    const uint32_t last = t.stepStart[step + 1];
    if (last == first) return first;
    if (last == first + 1) return first + (t.threshold[last] <= s ? 1u : 0u);
    const float* begin = t.threshold + first + 1;
    return first + static_cast<uint32_t>(std::upper_bound(begin, t.threshold + last + 1, s) - begin);
}

// The step of signal `s` (in 0..1, not NaN) and the code at its start: the
// code of s is that plus the thresholds after the start at or below s.
constexpr uint32_t kSignalSteps = signal_code_detail::kSteps + 1;  // 1.0 is a step of its own
inline uint32_t signalStep(float s) {
    return static_cast<uint32_t>(s * static_cast<float>(signal_code_detail::kSteps));
}
inline uint32_t stepCode(uint32_t step) {
    static const signal_code_detail::Tables& t = signal_code_detail::tables();
    return t.stepStart[step];
}

// The smallest float signal whose light has code `code` or more (0 for 0).
float signalThreshold(uint32_t code);

}  // namespace kestrel::measure
