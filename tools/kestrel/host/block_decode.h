// SPDX-License-Identifier: Apache-2.0
// A readable account of an HDR coefficient block: the flag words, the OETF
// and EOTF tables as points, the gamut matrix, and the tone-mapping table as
// points plus its last segment.
#pragma once

#include <ostream>

#include "plugin/hdrCoef.h"

namespace kestrel::tool {

// `previous` (may be null) is the block as the last frame left it: sections
// that did not change since are said to be unchanged rather than repeated.
void describeBlock(std::ostream& out, const hdrCoef& block, const hdrCoef* previous);

}  // namespace kestrel::tool
