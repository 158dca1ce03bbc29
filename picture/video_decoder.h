// SPDX-License-Identifier: Apache-2.0
// Decoded pictures of a video file, in the order a player shows them.
//
// libavformat finds the video track (HEVC as an Annex B stream, or in
// Matroska, MP4 or MPEG-TS; AV1 in the same containers), libavcodec decodes
// it with frame threads on every core. Pictures are numbered from 0 in
// display order, which is the order the decoder gives them out, and so the
// order in which `kestrel metadata` numbers the stream's HDR10+ frames: the
// picture and the metadata of frame N belong together.
//
// Nothing here touches process-wide state: the decoder's messages are
// pushed below any log level a program normally sets (the context's log
// level offset), and what they would say about damage is returned as the
// error instead. The demuxer has no such offset; it says nothing about
// well-formed files.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/status.h"

namespace kestrel::picture {

// What the stream states about its pictures (the VUI of HEVC, the sequence
// header of AV1, or the container).
enum class Transfer { Unspecified, Pq, Hlg, Sdr, Linear, Other };
enum class Matrix { Unspecified, Bt2020Ncl, Bt2020Cl, Bt709, Bt601, Rgb, Other };
enum class Primaries { Unspecified, Bt2020, Bt709, DisplayP3, Other };
// Where a 4:2:0 picture's chroma samples sit among the luma samples
// (HEVC's chroma_sample_loc_type; Left, type 0, when the stream is silent).
enum class ChromaSiting { Left, Center, TopLeft, Top, BottomLeft, Bottom };

struct Colour {
    Transfer transfer = Transfer::Unspecified;
    Matrix matrix = Matrix::Unspecified;
    Primaries primaries = Primaries::Unspecified;
    bool fullRange = false;  // limited range (64..940 at 10 bits) unless stated
    ChromaSiting siting = ChromaSiting::Left;
};

// Names for messages: "PQ (SMPTE ST 2084)", "HLG (ARIB STD-B67)", ...
const char* transferName(Transfer t);
const char* matrixName(Matrix m);

// HDR10+ metadata the decoder attached to a picture, in the payload's own
// units (MaxScl and percentiles in 0.1 cd/m², knee over 4095, anchors over
// 1023, the targeted peak in cd/m²), first window only.
struct DecodedHdr10Plus {
    uint32_t targetedPeak = 0;
    uint32_t maxscl[3] = {0, 0, 0};
    uint32_t averageMaxRgb = 0;
    std::vector<std::pair<unsigned, uint32_t>> distribution;  // (percentage, percentile)
    unsigned brightFraction = 0;                              // over 1000
    bool toneMapping = false;
    unsigned kneeX = 0, kneeY = 0;
    std::vector<unsigned> anchors;
};

// One picture as the decoder gave it: integer samples of `bitDepth` bits,
// planar. Chroma planes are the luma size shifted right by the subsampling
// (rounded up): 4:2:0 has chromaShiftX = chromaShiftY = 1, 4:4:4 none.
struct YuvFrame {
    unsigned index = 0;  // display order, from 0
    // Where the coded picture starts in the file (the demuxer's packet
    // position; -1 where it does not know), so that a caller can check the
    // picture against metadata read from the same bytes. The index counts
    // the pictures the decoder gives out: a picture it drops (a reference
    // missing in a damaged stream) shifts the indices after it, which this
    // offset shows.
    int64_t codedOffset = -1;
    int64_t codedSize = -1;  // bytes of that packet; -1 where unknown
    // A key frame: a picture decodable without any before it (in HEVC an
    // IRAP picture: IDR, CRA or BLA), where a player can start or seek.
    bool keyFrame = false;
    unsigned width = 0, height = 0;
    unsigned bitDepth = 0;
    unsigned chromaShiftX = 0, chromaShiftY = 0;
    std::vector<uint16_t> y, cb, cr;
    Colour colour;
    std::optional<DecodedHdr10Plus> hdr10plus;

    unsigned chromaWidth() const { return (width + (1u << chromaShiftX) - 1) >> chromaShiftX; }
    unsigned chromaHeight() const { return (height + (1u << chromaShiftY) - 1) >> chromaShiftY; }
};

struct StreamInfo {
    std::string container;  // the demuxer's name: "hevc", "matroska,webm", "mov,mp4,...", "mpegts"
    std::string codec;      // "hevc", "av1"
    unsigned width = 0, height = 0;  // as the stream declares them
};

// The largest picture the decoder takes by default: 8K (8192 x 4320). A
// stream that declares more is refused before any memory is spent on it.
constexpr uint64_t kMaxPicturePixels = 8192ull * 4320ull;

struct DecoderOptions {
    unsigned threads = 0;  // 0: one per core
    uint64_t maxPixels = kMaxPicturePixels;
};

class VideoDecoder {
public:
    // Opens the file and its first video track. Fails, naming what is wrong,
    // when the file cannot be read, has no video track, or its codec is one
    // libavcodec cannot decode here.
    static Result<std::unique_ptr<VideoDecoder>> open(const std::string& path,
                                                      const DecoderOptions& options = {});
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    const StreamInfo& info() const;

    // The next picture in display order into `frame`; false at the end of
    // the stream. A damaged picture, a sample format other than planar YUV,
    // or a picture larger than kMaxPicturePixels is an error, located at the
    // picture's display index.
    Result<bool> next(YuvFrame& frame);

    // Decodes forward to picture `index` (counting from the pictures given
    // so far) and returns it; skipped pictures are not copied out. An index
    // past the end is an error that says how many pictures the stream has.
    Result<YuvFrame> seekForward(unsigned index);

    // Pictures given out so far.
    unsigned delivered() const;

private:
    struct State;
    explicit VideoDecoder(std::unique_ptr<State> state);
    std::unique_ptr<State> mState;
};

}  // namespace kestrel::picture
