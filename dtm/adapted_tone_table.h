// SPDX-License-Identifier: Apache-2.0
// The tone-mapping table of meta2lut_dtm together with the curve it is made
// from, for in-process callers that also look at the curve (the tool draws it
// and measures the table against it): one adaptation serves both. Not
// exported by the plug-in; hosts call meta2lut_dtm, which goes through here.
#pragma once

#include "metadata/VelmorHdrDynamicInfo.h"

namespace kestrel {

// Adapts `working`, a copy of the layer's record, in place to
// target_max_luminance (meta2meta) and writes the table of `count` points
// that meta2lut_dtm writes for that record into lutX and lutY (max(count, 2)
// entries each, same layout). On return `working` holds the adapted curve.
// Prints what meta2lut_dtm prints, with the address of `working` as the
// copy's. The last tables made on the calling thread are kept with their
// adapted curves and sizes (GainTableMemo): a call that adapts to a kept
// curve for the same size copies its table instead of choosing the points
// again. Tables larger than 33 points may allocate, and throw std::bad_alloc
// when memory runs out; meta2lut_dtm stops that at the host boundary.
void adaptAndTabulate(unsigned target_max_luminance, unsigned max_luminance,
                      _VelmorHdrDynamicInfo& working, unsigned int* lutX, unsigned int* lutY,
                      unsigned int count);

}  // namespace kestrel
