// SPDX-License-Identifier: Apache-2.0
// A picture in linear light, the form every measurement and every model of
// the tone stage works on.
//
// Planar and row-major: the sample of column x, row y of a plane sits at
// index y * width + x. Each sample is the light of one colour component in
// cd/m² (the PQ EOTF of ST 2084 already applied, so 10000 is the largest a
// PQ signal can carry), on BT.2020 primaries. Nothing is clipped or scaled
// beyond what the EOTF gives.
#pragma once

#include <vector>

namespace kestrel::picture {

struct RgbImage {
    unsigned width = 0, height = 0;
    std::vector<float> r, g, b;
};

}  // namespace kestrel::picture
