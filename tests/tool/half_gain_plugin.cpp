// SPDX-License-Identifier: Apache-2.0
// A stand-in for a modified plug-in build, for `lut --plugin` and `report
// --plugin`: it exports the two entry points the tool calls, under their real
// names, and makes a table no real build makes (every point at half of unit
// gain), so that a test can tell whose table a command shows. It talks on
// both streams, as the real one does, to show the tool keeps its own output
// clean of it.
#include <cstdio>

#include "metadata/VelmorHdrDynamicInfo.h"

__attribute__((visibility("default"))) void meta2lut_dtm(unsigned int, unsigned int, void*,
                                                         unsigned int* lutX, unsigned int* lutY,
                                                         unsigned int count) {
    std::printf("half-gain table\n");
    std::fprintf(stderr, "E/liborrin: half-gain stand-in\n");
    if (count < 2) return;
    // Points at x = 0, 2^22, 2*2^22, ... with a gain of 524287 / 1048575;
    // the last entry is the last segment's width and rise.
    for (unsigned i = 0; i + 1 < count; i++) {
        lutX[i] = i << 22;
        lutY[i] = i == 0 ? 0 : 524287;
    }
    lutX[count - 1] = 1u << 22;
    lutY[count - 1] = 0;
}

__attribute__((visibility("default"))) void meta2meta(unsigned int, unsigned int,
                                                      _VelmorHdrDynamicInfo&) {}
