// SPDX-License-Identifier: Apache-2.0
// Writes an HEVC Annex B stream again with one HDR10+ message per shown
// picture, from the layout a scan found (picture_layout.h): every byte of
// the input is copied unchanged except the HDR10+ messages the scan found,
// which go, and before each shown picture's first slice segment a new prefix
// SEI unit (4-byte start code) with one T.35 message.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "common/status.h"
#include "hevc/picture_layout.h"

namespace kestrel::hevc {

// The T.35 payload (from the country code on) for the picture shown at
// `displayIndex`. Returning the same vector for consecutive pictures lets
// the writer reuse the unit it built.
using PayloadOf = std::function<const std::vector<uint8_t>&(uint64_t displayIndex)>;

struct RewriteSummary {
    uint64_t bytesWritten = 0;
    uint64_t unitsAdded = 0;
};

// Reads `input` from its first byte (the file the layout was scanned from;
// its FILE position is neither used nor moved) and writes to `output` after
// what it holds: whatever its FILE buffers is flushed first, then the writer
// works on the descriptor, so the caller only closes it. Failures name the file
// at fault by `inputName` or `outputName`. `progress` gets the input bytes
// copied so far, every few MiB.
struct RewriteFiles {
    std::FILE* input;
    std::string inputName;
    std::FILE* output;
    std::string outputName;
};
Result<RewriteSummary> rewriteWithT35(const RewriteFiles& files,
                                      const PictureLayout& layout, const PayloadOf& payloadOf,
                                      const std::function<void(uint64_t)>& progress);

}  // namespace kestrel::hevc
