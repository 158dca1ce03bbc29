// SPDX-License-Identifier: Apache-2.0
// One entry of a record's maxRGB distribution, read the way a person reads
// the metadata: "50 % of the pixels are at or below 12.3 cd/m²". The stated
// entries (the file's records) and the measured ones (the pictures'
// statistics written as a record) go through this one reading, so that the
// two traces of the report compare like with like.
#pragma once

#include <cstdint>

#include "metadata/VelmorHdrDynamicInfo.h"

namespace kestrel::tool {

// The percentages the report shows beside each other, stated and measured:
// the median of maxRGB and the 99 % entry, the one the source peak is
// capped with.
constexpr uint8_t kShownPercentages[] = {50, 99};

// The maxRGB in cd/m² of the entry for `percentage` percent, NaN when the
// record has no such entry. Only the first num_distribution_maxrgb_percentiles
// entries count (at most the array's size); the first entry with that
// percentage wins, as percentages never fall.
double distributionEntryNits(const _VelmorHdrDynamicInfo& record, uint8_t percentage);

}  // namespace kestrel::tool
