// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/render/distribution_entry.h"

#include <algorithm>
#include <limits>

namespace kestrel::tool {

double distributionEntryNits(const _VelmorHdrDynamicInfo& record, uint8_t percentage) {
    const unsigned n = std::min<unsigned>(record.num_distribution_maxrgb_percentiles,
                                          kMaxDistributionEntries);
    for (unsigned i = 0; i < n; i++) {
        if (record.distribution_maxrgb_percentages[i] == percentage)
            return static_cast<double>(record.distribution_maxrgb_percentiles[i]) /
                   kLuminanceUnitsPerNit;
    }
    return std::numeric_limits<double>::quiet_NaN();
}

}  // namespace kestrel::tool
