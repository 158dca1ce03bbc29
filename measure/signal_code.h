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

#include <cstdint>

namespace kestrel::measure {

// The code of the light of PQ signal `s` (clamped to 0..1; NaN as 0).
uint32_t codeOfSignal(float s);

// The smallest float signal whose light has code `code` or more (0 for 0).
float signalThreshold(uint32_t code);

}  // namespace kestrel::measure
