// Entry points that turn an HDR10+ record into a look-up table the display
// hardware interpolates linearly, and the exported pieces they are made of.
#pragma once

#include "common/export.h"

// SMPTE ST 2084 EOTF of code i/1023 in cd/m², i = 0..1024.
KESTREL_EXPORT extern const double dTable[1025];

// Tone-mapping table of `count` points: the record's curve adapted to
// target_max_luminance, sampled as a gain and reduced to knee points.
// lutX and lutY need room for max(count, 2) entries.
KESTREL_EXPORT void meta2lut_dtm(unsigned int target_max_luminance, unsigned int max_luminance,
                                 void* meta, unsigned int* lutX, unsigned int* lutY,
                                 unsigned int count);

// PQ EOTF table of `count` points, normalised by the record's statistics
// with peakLuminance as the lower bound of the normalisation luminance.
KESTREL_EXPORT void meta2lut_eotf(unsigned int peakLuminance, void* meta, unsigned int* lutX,
                                  unsigned int* lutY, unsigned int count);
