// SPDX-License-Identifier: Apache-2.0
// Small 8-bit sRGB pictures as baseline JPEG, in memory, for pages that
// carry their pictures inline (a data: URL) and must stay small.
//
// libavcodec's JPEG encoder, at 4:4:4 (no chroma halved: the tone stage
// changes colour at edges too) and a fixed quantiser scale, so that a
// picture's size depends on its content alone. A JPEG of a few hundred
// pixels across is a twentieth of the PNG of the same picture; its
// quantisation error at this scale (kJpegQuantiser) stays below the step
// of an 8-bit SDR view in smooth areas, where banding would be judged.
#pragma once

#include <cstdint>
#include <vector>

#include "common/status.h"

namespace kestrel::picture {

// The encoder's quantiser scale: 1 is the finest, 31 the coarsest.
constexpr int kJpegQuantiser = 3;

// Encodes `width` x `height` pixels of 8-bit sRGB, three bytes a pixel (R,
// G, B), rows `width * 3` bytes apart, as a JFIF file. Refused when the size
// is 0 or the encoder is missing from this libavcodec.
Result<std::vector<uint8_t>> encodeSrgbJpeg(unsigned width, unsigned height,
                                            const std::vector<uint8_t>& rgb);

}  // namespace kestrel::picture
