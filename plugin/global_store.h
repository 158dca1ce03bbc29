// SPDX-License-Identifier: Apache-2.0
// The library's one preset store, shared by every command writer. Internal:
// not exported, reached by the conversion writer and by tests.
#pragma once

#include "preset/Hdr10Lut.h"

extern Hdr10Lut gHdr10Lut;
