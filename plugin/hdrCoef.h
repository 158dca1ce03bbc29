// SPDX-License-Identifier: Apache-2.0
// The HDR coefficient block handed to the display processing unit: a fixed
// 1416-byte image of 32-bit words in native byte order. Each section is led
// by a flag word; the unnamed spans belong to the hardware layout and are
// never written by the plug-in, but keep the sections at their offsets.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrel {
// Points in the block's tables. The OETF and EOTF sections hold their
// x-values, then their y-values; the tone-mapping table is split into toneX
// and toneY, its last entry being the width and rise of the last segment.
constexpr unsigned kOetfPoints = 33;
constexpr unsigned kEotfPoints = 65;
constexpr unsigned kTonePoints = 33;
}  // namespace kestrel

typedef struct hdrCoef {
    uint32_t coefFlag;                             // word 0
    uint32_t reserved0;                            // word 1
    uint32_t oetfFlag;                             // word 2
    uint32_t oetfTable[2 * kestrel::kOetfPoints];  // words 3..68: 33 x-values, then 33 y-values
    uint32_t reserved1[64];                        // words 69..132
    uint32_t eotfFlag;                             // word 133
    uint32_t eotfTable[2 * kestrel::kEotfPoints];  // words 134..263: 65 x-values, then 65 y-values
    uint32_t reserved2[3];                         // words 264..266
    uint32_t gamutFlag;                            // word 267
    int32_t gamutMatrix[9];                        // words 268..276, row-major 3x3
    uint32_t reserved3[3];                         // words 277..279
    uint32_t toneFlag;                             // word 280
    uint32_t toneX[kestrel::kTonePoints];  // words 281..313; entry 32 = last segment's width
    uint32_t toneY[kestrel::kTonePoints];  // words 314..346; entry 32 = last segment's rise
    uint32_t reserved4[7];                 // words 347..353
} hdrCoef;

static_assert(sizeof(hdrCoef) == 1416, "the block is 1416 bytes");
static_assert(offsetof(hdrCoef, coefFlag) == 0, "");
static_assert(offsetof(hdrCoef, oetfFlag) == 8, "");
static_assert(offsetof(hdrCoef, oetfTable) == 12, "");
static_assert(offsetof(hdrCoef, reserved1) == 276, "");
static_assert(offsetof(hdrCoef, eotfFlag) == 532, "");
static_assert(offsetof(hdrCoef, eotfTable) == 536, "");
static_assert(offsetof(hdrCoef, reserved2) == 1056, "");
static_assert(offsetof(hdrCoef, gamutFlag) == 1068, "");
static_assert(offsetof(hdrCoef, gamutMatrix) == 1072, "");
static_assert(offsetof(hdrCoef, reserved3) == 1108, "");
static_assert(offsetof(hdrCoef, toneFlag) == 1120, "");
static_assert(offsetof(hdrCoef, toneX) == 1124, "");
static_assert(offsetof(hdrCoef, toneY) == 1256, "");
static_assert(offsetof(hdrCoef, reserved4) == 1388, "");
