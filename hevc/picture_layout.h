// SPDX-License-Identifier: Apache-2.0
// Where, in an HEVC Annex B stream, each picture begins and which of its
// prefix SEI units carry HDR10+: what a writer needs to give every shown
// picture a new HDR10+ message and leave every other byte as it is.
//
// A scan reads the stream once, in decoding order, through the same reader
// as extraction (annexb.h, display_order.h), so "picture k in display order"
// means here what it means to every reader of the result.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

#include "common/status.h"

namespace kestrel::hevc {

// One picture, in decoding order.
struct PictureSlot {
    // Where a unit placed before the picture goes: the start of its first
    // slice segment's start code, its leading zero byte included when it
    // has one (the 4-byte form), so that the slice keeps its start code.
    uint64_t insertAt = 0;
    uint8_t temporalIdPlus1 = 1;  // an SEI unit joining the picture takes the same
    std::optional<uint64_t> displayIndex;  // empty: never shown
};

// A layer-0 prefix SEI unit that holds at least one HDR10+ message.
struct SeiRewrite {
    uint64_t begin = 0;  // bytes [begin, end) of the input are replaced
    uint64_t end = 0;
    // The unit again without its HDR10+ messages (escaped, no start code),
    // or empty when it held nothing else and goes with its start code.
    std::vector<uint8_t> replacement;
};

struct PictureLayout {
    std::vector<PictureSlot> pictures;  // decoding order
    std::vector<SeiRewrite> seiRewrites;  // stream order
    uint64_t shownPictures = 0;
    uint64_t hdr10plusMessages = 0;  // found in the stream (all removed by the rewrites)
    uint64_t bytes = 0;              // length of the stream
};

// Scans the stream in `file` from its first byte; the file must be seekable
// (a regular file): the start codes of first slices are looked at once more
// after the scan. A damaged or cut stream fails (ErrorKind::Damaged with the
// byte offset), as does one without pictures. `progress` gets the bytes
// read so far after each chunk.
Result<PictureLayout> scanPictureLayout(std::FILE* file,
                                        const std::function<void(uint64_t)>& progress);

}  // namespace kestrel::hevc
