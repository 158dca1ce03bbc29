// SPDX-License-Identifier: Apache-2.0
// Entry points that turn an HDR10+ record into a look-up table the display
// hardware interpolates linearly, and the exported table they are made of.
//
// Both entry points write max(count, 2) entries into lutX and lutY (fewer when
// the curve's range runs out of points to add): entries 0 to w-2 are points in
// ascending abscissa, and the last entry holds the width and the rise of the
// last segment, modulo 2^32 (a fall is stored as its two's complement). A
// count whose count - 2 is negative as an int selects no point and writes the
// two end entries. With a null meta, lutX or lutY nothing is written. The
// caller's record is only read.
#pragma once

#include <cstdint>

#include "common/export.h"

// Scales of the tone-mapping table: abscissae run from 0 to 2^27 for inputs
// 0.0 to 1.0, and ordinates are gains (output / input) in units of 1/1048575,
// so that 2^20 - 1 is a gain of exactly 1.
constexpr int32_t kToneTableInputOne = 1 << 27;
constexpr int32_t kToneTableUnitGain = 1048575;

// SMPTE ST 2084 EOTF of code i/1023 in cd/m², i = 0..1024.
KESTREL_EXPORT extern const double dTable[1025];

// Tone-mapping table of `count` points: the record's curve adapted to
// target_max_luminance, sampled as a gain (1048575 = 1.0) over inputs 0 to
// 2^27, and reduced to knee points. Prints the address of its working copy.
KESTREL_EXPORT void meta2lut_dtm(unsigned int target_max_luminance, unsigned int max_luminance,
                                 void* meta, unsigned int* lutX, unsigned int* lutY,
                                 unsigned int count);

// PQ EOTF table of `count` points over codes 0 to 1024, as a fraction (65535 =
// 1.0) of the larger of peakLuminance and the record's source peak.
KESTREL_EXPORT void meta2lut_eotf(unsigned int peakLuminance, void* meta, unsigned int* lutX,
                                  unsigned int* lutY, unsigned int count);
