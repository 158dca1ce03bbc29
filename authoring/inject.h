// SPDX-License-Identifier: Apache-2.0
// HDR10+ metadata written into an HEVC Annex B stream: one prefix SEI unit
// with a T.35 message before the first slice segment of every shown picture,
// frame i of the metadata on the picture shown i-th (display order, mapped to
// decoding order by the stream's own order counts). The stream's own HDR10+
// messages go; every other byte is kept. Matroska and MP4 files are not
// written (extract the stream, inject, mux again).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/status.h"
#include "hdr10plus/frame.h"
#include "hevc/picture_layout.h"

namespace kestrel::authoring {

struct InjectOptions {
    // Fewer frames than shown pictures: the last frame goes on the remaining
    // pictures. Without it that is an error, as more frames than pictures
    // always is (metadata for pictures that do not exist means it was made
    // for another cut of the stream).
    bool repeatLast = false;
};

struct InjectSummary {
    uint64_t pictures = 0;          // shown, each given a message
    uint64_t hiddenPictures = 0;    // decoded but never shown: given none
    uint64_t repeatedPictures = 0;  // given the last frame by repeatLast
    uint64_t removedMessages = 0;   // HDR10+ messages the stream had
    uint64_t bytesRead = 0;
    uint64_t bytesWritten = 0;
};

// Progress: `done` of `total` bytes of the current pass (1: the scan,
// 2: the writing).
using InjectProgress = std::function<void(int pass, uint64_t done, uint64_t total)>;

// Reads where the pictures of the stream at `path` are: the first pass.
// Fails for a file that is not a regular file, cannot be read, or holds a
// damaged or cut stream (ErrorKind::Damaged, with the byte offset).
Result<hevc::PictureLayout> scanStream(const std::string& path, const InjectProgress& progress);

// Writes the stream at `inputPath` (scanned into `layout`) with `frames` to
// `outputPath`, which appears only when everything was written (it may name
// the input). Fails with ErrorKind::Invalid when the frame count does not
// fit (Location::frame: the number of frames given), ErrorKind::OutOfRange
// when a frame cannot be written as a payload (Location::frame: which).
Result<InjectSummary> injectHdr10Plus(const std::string& inputPath,
                                      const hevc::PictureLayout& layout,
                                      const std::vector<hdr10plus::Frame>& frames,
                                      const std::string& outputPath, const InjectOptions& options,
                                      const InjectProgress& progress);

}  // namespace kestrel::authoring
