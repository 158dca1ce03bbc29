// SPDX-License-Identifier: Apache-2.0
// Builds store entries by hand, the way a loaded file would leave them, so
// the lookups and dumps can be tested without the loader.
#pragma once

#include <memory>
#include <vector>

#include "support/capture.h"

#include "preset/Hdr10Lut.h"

using kestrel_test::CapturedText;
using kestrel_test::captureText;

// A table of `points` x-values then `points` y-values; every word is distinct
// and carries `tag` in its upper bits, so a test can tell entries apart.
inline LutEntry makeEntry(unsigned int luminance, unsigned int points, unsigned int tag = 0) {
    LutEntry e{luminance, {}};
    for (unsigned int i = 0; i < 2 * points; i++) e.values.push_back((tag << 20) | i);
    return e;
}

constexpr unsigned int kPq = 0x1c00000;   // transfer index 7
constexpr unsigned int kHlg = 0x2000000;  // transfer index 8
constexpr unsigned int kSrgb = 0x800000;  // transfer index 2
constexpr unsigned int kBt709 = 0x10000;
constexpr unsigned int kBt2020 = 0x60000;
constexpr unsigned int kDciP3 = 0xa0000;
constexpr unsigned int kRangeFull = 0x8000000;

// A store built without the constructor's notice reaching a test's capture.
inline std::unique_ptr<Hdr10Lut> quietStore() {
    std::unique_ptr<Hdr10Lut> store;
    captureText([&] { store = std::make_unique<Hdr10Lut>(); });
    return store;
}
