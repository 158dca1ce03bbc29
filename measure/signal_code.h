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
// search of fixed depth among the thresholds inside the step (none or one
// in dark steps, up to 15 near 10000 cd/m² where the EOTF is steepest) the
// rest.
#pragma once

#include <algorithm>
#include <cstdint>

#include "measure/luminance_code.h"

namespace kestrel::measure {

namespace signal_code_detail {
constexpr unsigned kStepBits = 16;
constexpr uint32_t kSteps = uint32_t{1} << kStepBits;
// A step holding exactly one threshold (inside it or at its end), in one
// load: the code at its start and that threshold, so that a signal s of the
// step has code firstCode + (s >= threshold). Most mixed steps below about
// 700 cd/m² hold one, and most pixels of a film lie there.
struct OneThresholdStep {
    uint32_t firstCode;
    float threshold;
};
// What a step holds, two bits per step (kStepKindBits): no threshold
// (one code), one, or several.
enum StepKind : uint32_t { kOneCode = 0, kOneThreshold = 1, kSeveralThresholds = 2 };
constexpr unsigned kStepKindBits = 2;
constexpr unsigned kStepKindsPerWord = 32 / kStepKindBits;
struct Tables {
    // kMaxCode + 1 entries, then kMaxThresholdsPerStep infinite ones, so
    // that the search past the last code needs no bound.
    const float* threshold;
    const uint32_t* stepStart;  // kSteps + 1 entries
    // A bit per step (kSteps + 1), set where a threshold lies inside the
    // step, so that signals in it have more than one code; every signal of
    // a step whose bit is clear has the code stepStart gives.
    const uint32_t* mixedSteps;
    // kSteps + 1 entries; those of steps of kind kOneThreshold are read.
    const OneThresholdStep* oneThreshold;
    const uint32_t* stepKinds;  // kStepKindsPerWord steps per word
};
const Tables& tables();  // built once, on first use, then only read
}  // namespace signal_code_detail

// At most this many thresholds lie in one step (15, in the steps just
// below 10000 cd/m², where the EOTF is steepest; the test of the tables
// counts them), so that the thresholds of a step are found by a search of
// fixed depth over the 15 after the step's first code.
constexpr uint32_t kMaxThresholdsPerStep = 15;

namespace signal_code_detail {
// The code of signal `s` in [0, 1] (not NaN) from the tables: the code at
// the start of s's step (s * 2^16 is exact in float, so the step is the one
// s lies in) plus the thresholds after it at or below s. Those are a prefix
// of the next 15, since the thresholds are sorted and every one past the
// step's own lies above the step and so above s: counting those of the 15
// at or below s counts the prefix. The 15 loads depend only on the step's
// first code and lie in one or two cache lines, so they wait on memory
// once; a search by halving waits four times in a row, and a walk
// mispredicts its end on about every pixel of a bright picture.
inline uint32_t codeInRange(float s, const Tables& t) {
    const uint32_t step = static_cast<uint32_t>(s * static_cast<float>(kSteps));  // signalStep
    const uint32_t start = t.stepStart[step];
    const float* after = t.threshold + start + 1;
    uint32_t more = 0;
    for (uint32_t j = 0; j < kMaxThresholdsPerStep; ++j) more += after[j] <= s ? 1u : 0u;
    return start + more;
}
// The kind of step `step` (at most kSteps).
inline StepKind stepKind(const Tables& t, uint32_t step) {
    const uint32_t word = t.stepKinds[step / kStepKindsPerWord];
    return static_cast<StepKind>((word >> (kStepKindBits * (step % kStepKindsPerWord))) & 3u);
}

// The code of signal `s` in [0, 1] whose step holds one threshold.
inline uint32_t codeInOneThresholdStep(float s, const Tables& t) {
    const OneThresholdStep& step = t.oneThreshold[static_cast<uint32_t>(s * static_cast<float>(kSteps))];
    return step.firstCode + (s >= step.threshold ? 1u : 0u);
}
}  // namespace signal_code_detail

// The step of signal `s` in [0, 1] (not NaN): s * 2^16 is exact in float.
inline uint32_t signalStep(float s) {
    return static_cast<uint32_t>(s * static_cast<float>(signal_code_detail::kSteps));
}
constexpr uint32_t kSignalSteps = signal_code_detail::kSteps + 1;  // 1.0 is a step of its own

// The code of the light of PQ signal `s` (clamped to 0..1; NaN as 0).
// Inline: it is asked once per pixel.
inline uint32_t codeOfSignal(float s) {
    using namespace signal_code_detail;
    if (!(s > 0.0f)) return 0;
    if (s >= 1.0f) return kMaxCode;
    static const Tables& t = tables();
    return codeInRange(s, t);
}

// The smallest float signal whose light has code `code` or more (0 for 0).
float signalThreshold(uint32_t code);

}  // namespace kestrel::measure
