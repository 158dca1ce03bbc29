// SPDX-License-Identifier: Apache-2.0
// HDR stills as 16-bit PNG: RGB samples carrying the PQ signal on BT.2020
// primaries (full range: sample / 65535 is the signal E'), and the cICP
// chunk that says so (colour primaries 9, transfer 16, matrix 0, full
// range 1), which HDR-aware viewers read. The libpng of the day may not
// know cICP; it is read and written here as a chunk libpng passes through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "common/status.h"
#include "picture/image.h"

namespace kestrel::picture {

// The four bytes of a cICP chunk.
struct Cicp {
    uint8_t primaries = 0, transfer = 0, matrix = 0, fullRange = 0;
};
constexpr Cicp kPqBt2020Cicp{9, 16, 0, 1};

// The largest still read, in pixels and along either side.
constexpr uint64_t kMaxStillPixels = 8192ull * 4320ull;
constexpr uint32_t kMaxStillSide = 16384;

struct Still {
    RgbImage light;             // linear, cd/m²
    std::optional<Cicp> cicp;   // as found; absent: taken as PQ BT.2020 (the caller says so)
    bool alphaDropped = false;  // the file had an alpha channel, which was ignored
};

// Reads a PNG from memory. Refused, with the reason: not a PNG, damaged or
// cut, not 16 bits a sample, a cICP chunk that states something other than
// PQ BT.2020 RGB (named: "HLG", "SDR"), an sRGB or gAMA chunk without cICP
// (an SDR picture), or larger than the limits above.
Result<Still> readPngStill(const uint8_t* data, size_t size);
Result<Still> readPngStillFile(const std::string& path);

// Writes light in cd/m² as a 16-bit PQ BT.2020 PNG with a cICP chunk,
// through a temporary file renamed into place.
Status writePqPng(const std::string& path, const RgbImage& light);

// Writes an 8-bit sRGB picture (rows of `stride` bytes, pixels of 32 bits
// with red in bits 16-23, green 8-15, blue 0-7, as cairo keeps them) with an
// sRGB chunk, through a temporary file. Compressed fast (zlib level 2): an
// SDR preview is looked at, not archived.
Status writeSrgbPng(const std::string& path, unsigned width, unsigned height,
                    const uint8_t* pixels, size_t stride);

}  // namespace kestrel::picture
