#include "measure/signal_code.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "measure/luminance_code.h"
#include "picture/pq.h"

namespace kestrel::measure {

namespace {

constexpr unsigned kStepBits = 16;
constexpr uint32_t kSteps = uint32_t{1} << kStepBits;

uint32_t exactCode(float s) { return luminanceCode(static_cast<double>(picture::pqEotf(s))); }

struct Tables {
    std::vector<float> threshold;  // kMaxCode + 1 entries
    std::vector<uint32_t> stepStart;  // kSteps + 1 entries

    Tables() : threshold(kMaxCode + 1, 0.0f), stepStart(kSteps + 1, 0) {
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
    }
};

const Tables& tables() {
    static const Tables t;  // built once, on first use, then only read
    return t;
}

}  // namespace

uint32_t codeOfSignal(float s) {
    if (!(s > 0.0f)) return 0;
    if (s >= 1.0f) return kMaxCode;
    static const Tables& t = tables();
    // s * 2^16 is exact in float, so the step is the one s lies in; its
    // code is that of the step's start plus the thresholds inside the step
    // at or below s.
    const uint32_t step = static_cast<uint32_t>(s * static_cast<float>(kSteps));
    const uint32_t first = t.stepStart[step];
    const uint32_t last = t.stepStart[step + 1];
    const float* begin = t.threshold.data() + first + 1;
    return first + static_cast<uint32_t>(std::upper_bound(begin, t.threshold.data() + last + 1, s) - begin);
}

float signalThreshold(uint32_t code) {
    if (code == 0) return 0.0f;
    return tables().threshold[code < kMaxCode ? code : kMaxCode];
}

}  // namespace kestrel::measure
