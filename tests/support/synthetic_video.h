// SPDX-License-Identifier: Apache-2.0
// Test material made by the tests: pictures of known 10-bit codes, encoded
// losslessly with libx265 (through libavcodec) into a small HEVC Annex B
// stream, so that a decoder must give back exactly the codes written.
//
// Lossless coding keeps every sample, so a grey of luma code 800 decodes as
// 800 and its light is known to the last code; x265 still uses B-pictures,
// so the stream's decoding order differs from its display order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::test {

// One picture as 10-bit codes, planar. 4:2:0 chroma planes are
// ceil(width / 2) x ceil(height / 2); 4:4:4 ones are width x height.
struct YuvPicture {
    unsigned width = 0, height = 0;
    bool chroma444 = false;
    std::vector<uint16_t> y, cb, cr;

    unsigned chromaWidth() const { return chroma444 ? width : (width + 1) / 2; }
    unsigned chromaHeight() const { return chroma444 ? height : (height + 1) / 2; }
};

// A picture of one colour: every luma sample `y`, every chroma sample
// `cb`, `cr` (512, 512: a grey).
YuvPicture flatPicture(unsigned width, unsigned height, uint16_t y, uint16_t cb = 512,
                       uint16_t cr = 512, bool chroma444 = false);

// The transfer characteristic the stream's VUI states.
enum class Transfer { Pq, Hlg, Sdr };

struct EncodeOptions {
    Transfer transfer = Transfer::Pq;
    bool fullRange = false;  // the VUI's video_full_range_flag
    unsigned bFrames = 2;    // B-pictures between references (0: none)
    // A key frame (IDR, closed GOP) every this many pictures and nowhere
    // else, not even at a cut; 0 leaves it to the encoder.
    unsigned keyInterval = 0;
};

// The pictures, in display order, as an HEVC Annex B stream (10-bit,
// BT.2020 primaries and non-constant-luminance matrix, lossless). Empty
// with `error` set when the encoder refuses them.
std::vector<uint8_t> encodeHevc(const std::vector<YuvPicture>& pictures,
                                const EncodeOptions& options, std::string& error);

// The pictures as lossless 10-bit AV1 (libaom through libavcodec) in a
// Matroska file at `path`, with the same colour description. False with
// `error` set when the encoder or the muxer refuses.
bool writeAv1Matroska(const std::string& path, const std::vector<YuvPicture>& pictures,
                      const EncodeOptions& options, std::string& error);

// Rewrites the picture size the stream's sequence parameter sets declare:
// pic_width/height_in_luma_samples, and a conformance window that crops
// `cropRight` and `cropBottom` (in chroma samples' units: luma samples for
// 4:4:4, pairs for 4:2:0) off the decoded picture. The coded slices are left
// as they are: a size that disagrees with them makes a hostile stream.
// False when the stream has no SPS this can rewrite.
bool rewritePictureSize(std::vector<uint8_t>& stream, unsigned width, unsigned height,
                        unsigned cropRight = 0, unsigned cropBottom = 0);

// Writes `bytes` to a new file under the system's temporary folder named
// after `name` (made unique per process); returns its path.
std::string writeTemporary(const std::string& name, const std::vector<uint8_t>& bytes);

}  // namespace kestrel::test
