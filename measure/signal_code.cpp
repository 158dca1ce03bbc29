// SPDX-License-Identifier: Apache-2.0
#include "measure/signal_code.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "measure/luminance_code.h"
#include "picture/pq.h"

namespace kestrel::measure {

namespace {

using signal_code_detail::kSteps;

uint32_t exactCode(float s) { return luminanceCode(static_cast<double>(picture::pqEotf(s))); }

struct TableStore {
    std::vector<float> threshold;     // kMaxCode + 1 entries, then the infinite ones
    std::vector<uint32_t> stepStart;  // kSteps + 1 entries
    std::vector<uint32_t> mixedSteps;  // a bit per step
    std::vector<signal_code_detail::OneThresholdStep> oneThreshold;  // kSteps + 1 entries
    std::vector<uint32_t> stepKinds;

    TableStore()
        : threshold(kMaxCode + 1 + kMaxThresholdsPerStep, std::numeric_limits<float>::infinity()),
          stepStart(kSteps + 1, 0), mixedSteps(kSteps / 32 + 1, 0), oneThreshold(kSteps + 1),
          stepKinds(kSteps / signal_code_detail::kStepKindsPerWord + 1, 0) {
        threshold[0] = 0.0f;
        for (uint32_t k = 1; k <= kMaxCode; ++k) {
            // Start where the code's lower edge lies, then walk float by
            // float to the first signal that reaches the code: the EOTF
            // decides, not its inverse.
            const double edge = (static_cast<double>(k) - 0.5) / kCodesPerNit;
            float s = static_cast<float>(picture::pqInverseEotf(edge));
            while (s > 0.0f && exactCode(std::nextafter(s, 0.0f)) >= k) s = std::nextafter(s, 0.0f);
            while (s < 1.0f && exactCode(s) < k) s = std::nextafter(s, 2.0f);
            threshold[k] = s;
        }
        uint32_t code = 0;
        for (uint32_t i = 0; i <= kSteps; ++i) {
            const float s = static_cast<float>(i) / kSteps;  // exact: a power of two
            while (code < kMaxCode && threshold[code + 1] <= s) ++code;
            stepStart[i] = code;
        }
        // Step i holds the signals [i, i + 1) / 2^16; one whose next step
        // starts at a higher code may hold a threshold (or have one at its
        // end, which only costs the exact search). The last step is the
        // single signal 1.0.
        for (uint32_t i = 0; i < kSteps; ++i)
            if (stepStart[i + 1] != stepStart[i]) mixedSteps[i / 32] |= uint32_t{1} << (i % 32);
        // The thresholds of step i are those of codes stepStart[i] + 1 to
        // stepStart[i + 1]; the last step (1.0 alone) holds none.
        using namespace signal_code_detail;
        for (uint32_t i = 0; i <= kSteps; ++i) {
            const uint32_t held = i < kSteps ? stepStart[i + 1] - stepStart[i] : 0;
            const StepKind kind = held == 0 ? kOneCode : held == 1 ? kOneThreshold : kSeveralThresholds;
            stepKinds[i / kStepKindsPerWord] |= uint32_t{kind} << (kStepKindBits * (i % kStepKindsPerWord));
            oneThreshold[i] = {stepStart[i], threshold[stepStart[i] + 1]};
        }
    }
};

}  // namespace

namespace signal_code_detail {

const Tables& tables() {
    static const TableStore store;  // built once, on first use, then only read
    static const Tables view{store.threshold.data(), store.stepStart.data(),
                             store.mixedSteps.data(), store.oneThreshold.data(),
                             store.stepKinds.data()};
    return view;
}

}  // namespace signal_code_detail

float signalThreshold(uint32_t code) {
    if (code == 0) return 0.0f;
    return signal_code_detail::tables().threshold[code < kMaxCode ? code : kMaxCode];
}

}  // namespace kestrel::measure
