// SPDX-License-Identifier: Apache-2.0
// Whether a container file is whole. A demuxer meets the end of a cut file as
// it meets the end of a whole one, and says so at most in its log; but the
// top-level structure of Matroska and MP4 declares its own size, so a cut is
// visible without reading any sample.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace kestrel::container {

struct Truncation {
    uint64_t declaredEnd;  // where the file's structure says it ends
    uint64_t fileSize;
    std::string element;  // "Segment", "mdat" box
};

// Checks the top level of a Matroska file (the EBML header, then the Segment
// whose size covers the rest) or of an MP4 file (a chain of boxes, each with
// its size). Other files, and sizes the format leaves open (a Matroska
// Segment of unknown size, a last box "to the end of the file"), pass.
std::optional<Truncation> findTruncation(std::FILE* file, uint64_t fileSize);

}  // namespace kestrel::container
