// SPDX-License-Identifier: Apache-2.0
// Fields of a 32-bit Android dataspace.
#pragma once

#include <cstdint>

namespace kestrel {

constexpr uint32_t kStandardMask = 0x3F0000;   // bits 16..21
constexpr uint32_t kTransferMask = 0x7C00000;  // bits 22..26
constexpr uint32_t kTransferSrgb = 0x800000;
constexpr uint32_t kTransferGamma22 = 0x1000000;

inline uint32_t transferField(uint32_t dataspace) { return dataspace & kTransferMask; }

// sRGB, SMPTE 170M and gamma 2.2 (transfer codes 2 to 4): curves the display
// path applies itself, so layers between two of them need no tables.
inline bool isGammaTransfer(uint32_t dataspace) {
    uint32_t t = transferField(dataspace);
    return t >= kTransferSrgb && t <= kTransferGamma22;
}

}  // namespace kestrel
