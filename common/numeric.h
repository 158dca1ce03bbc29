// SPDX-License-Identifier: Apache-2.0
// The two integer helpers that every exact computation goes through.
//
// A plain float-to-integer cast is undefined when the value is out of range,
// and the hardware disagrees about what it then yields (x86 gives INT_MIN,
// arm64 saturates). All conversions here truncate toward zero, saturate at
// the limits of int32 and turn NaN into 0, so results are identical on every
// target. Floats widen to double exactly, so one double overload serves both.
#pragma once

#include <cstdint>

namespace kestrel {

inline int32_t truncateToInt32(double v) {
    if (!(v == v)) return 0;  // NaN
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);  // in range: truncates toward zero
}

// 32-bit two's-complement wrap-around, done in unsigned arithmetic so that
// overflow is defined.
inline int32_t wrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

inline int32_t wrapSub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

}  // namespace kestrel
