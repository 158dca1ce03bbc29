// SPDX-License-Identifier: Apache-2.0
// Test material: a file's HEVC track copied into another container by
// libavformat's muxers, as a stream copy does, without decoding a picture.
#pragma once

#include <string>

namespace kestrel::container::test {

// How the copy times its packets. Neither source format the tests copy
// gives times a muxer can use (Matroska leaves decoding times open, a raw
// stream has none), so every packet gets one frame (1/24 s) after the one
// before, in decoding order, as its decoding and its presentation time.
enum class Timing {
    // From zero: nothing is shown before it is decoded, and the MP4 muxer
    // writes no edit list.
    InOrder,
    // From as many frames before zero as the stream says its decoder may
    // hold pictures back (two for a stream with B-pictures), as a stream
    // copy of a raw stream does. Presentation starts at zero, so the MP4
    // muxer writes an edit list that leaves the first packets outside it.
    StreamCopy,
};

// Copies the first track of `from` into a new file `to` of `format` ("mp4",
// "mpegts", "matroska"). With `toBlockAdditions` (Matroska) each sample's
// HDR10+ SEI messages move out of the sample into a block addition. False,
// with `error` set, when a step fails.
bool remux(const std::string& from, const std::string& to, const char* format,
           bool toBlockAdditions, std::string& error, Timing timing = Timing::InOrder);

}  // namespace kestrel::container::test
