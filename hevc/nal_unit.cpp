// SPDX-License-Identifier: Apache-2.0
#include "hevc/nal_unit.h"

#include <cstring>

namespace kestrel::hevc {

namespace {
// A first slice segment header reaches its picture order count within a few
// dozen bytes even with every optional flag present; 256 leaves ample room.
constexpr size_t kSliceHeaderBytes = 256;
constexpr size_t kWholeUnit = SIZE_MAX;
}  // namespace

size_t bytesNeeded(uint8_t type) {
    if (type <= nal::kLastVcl) return kSliceHeaderBytes;
    if (type == nal::kSps || type == nal::kPps || type == nal::kPrefixSei) return kWholeUnit;
    return nal::kHeaderSize;
}

void unescape(const uint8_t* data, size_t size, std::vector<uint8_t>& rbsp) {
    rbsp.resize(size);
    size_t out = 0;
    size_t i = 0;
    while (i < size) {
        // Copy up to the next zero pair in one go; escapes are rare.
        const void* zero = std::memchr(data + i, 0, size - i);
        size_t run =
            zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data) - i : size - i;
        std::memcpy(rbsp.data() + out, data + i, run);
        out += run;
        i += run;
        if (i >= size) break;
        // data[i] == 0
        if (i + 2 < size && data[i + 1] == 0 && data[i + 2] == 3) {
            rbsp[out++] = 0;
            rbsp[out++] = 0;
            i += 3;
        } else {
            rbsp[out++] = 0;
            ++i;
        }
    }
    rbsp.resize(out);
}

}  // namespace kestrel::hevc
