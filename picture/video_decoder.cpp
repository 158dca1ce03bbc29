// SPDX-License-Identifier: Apache-2.0
#include "picture/video_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/hdr_dynamic_metadata.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstdint>
#include <cerrno>
#include <cstdio>
#include <cstring>

// GCC says it builds for the thread sanitizer with __SANITIZE_THREAD__,
// clang through __has_feature.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KESTREL_THREAD_SANITIZER 1
#endif
#endif
#ifndef KESTREL_THREAD_SANITIZER
#define KESTREL_THREAD_SANITIZER 0
#endif

namespace kestrel::picture {

namespace {

// Messages of the decoder's context are raised by this much: an error
// (level 16) lands at 80, beyond even the trace level (56), so it is never
// printed whatever level the program chose.
constexpr int kSilencingOffset = 64;

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

struct InputCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

Transfer transferOf(AVColorTransferCharacteristic t) {
    switch (t) {
        case AVCOL_TRC_UNSPECIFIED:
            return Transfer::Unspecified;
        case AVCOL_TRC_SMPTE2084:
            return Transfer::Pq;
        case AVCOL_TRC_ARIB_STD_B67:
            return Transfer::Hlg;
        case AVCOL_TRC_BT709:
        case AVCOL_TRC_SMPTE170M:
        case AVCOL_TRC_BT2020_10:
        case AVCOL_TRC_BT2020_12:
        case AVCOL_TRC_IEC61966_2_1:
        case AVCOL_TRC_GAMMA22:
        case AVCOL_TRC_GAMMA28:
            return Transfer::Sdr;
        case AVCOL_TRC_LINEAR:
            return Transfer::Linear;
        default:
            return Transfer::Other;
    }
}

Matrix matrixOf(AVColorSpace m) {
    switch (m) {
        case AVCOL_SPC_UNSPECIFIED:
            return Matrix::Unspecified;
        case AVCOL_SPC_BT2020_NCL:
            return Matrix::Bt2020Ncl;
        case AVCOL_SPC_BT2020_CL:
            return Matrix::Bt2020Cl;
        case AVCOL_SPC_BT709:
            return Matrix::Bt709;
        case AVCOL_SPC_BT470BG:
        case AVCOL_SPC_SMPTE170M:
            return Matrix::Bt601;
        case AVCOL_SPC_RGB:
            return Matrix::Rgb;
        default:
            return Matrix::Other;
    }
}

Primaries primariesOf(AVColorPrimaries p) {
    switch (p) {
        case AVCOL_PRI_UNSPECIFIED:
            return Primaries::Unspecified;
        case AVCOL_PRI_BT2020:
            return Primaries::Bt2020;
        case AVCOL_PRI_BT709:
            return Primaries::Bt709;
        case AVCOL_PRI_SMPTE432:
            return Primaries::DisplayP3;
        default:
            return Primaries::Other;
    }
}

ChromaSiting sitingOf(AVChromaLocation l) {
    switch (l) {
        case AVCHROMA_LOC_CENTER:
            return ChromaSiting::Center;
        case AVCHROMA_LOC_TOPLEFT:
            return ChromaSiting::TopLeft;
        case AVCHROMA_LOC_TOP:
            return ChromaSiting::Top;
        case AVCHROMA_LOC_BOTTOMLEFT:
            return ChromaSiting::BottomLeft;
        case AVCHROMA_LOC_BOTTOM:
            return ChromaSiting::Bottom;
        default:  // unspecified or left: HEVC's default, type 0
            return ChromaSiting::Left;
    }
}

// A rational of libavutil's HDR10+ structure in the payload's units, where
// `unit` is the denominator the decoder gives it (1/100000 of 10000 cd/m²
// for MaxScl, so the numerator is the payload's 0.1 cd/m² count).
uint32_t payloadUnits(AVRational r, int64_t unit) {
    if (r.den <= 0 || r.num <= 0) return 0;
    return static_cast<uint32_t>(av_rescale(r.num, unit, r.den));
}

DecodedHdr10Plus hdr10PlusOf(const AVDynamicHDRPlus& m) {
    DecodedHdr10Plus d;
    d.targetedPeak = payloadUnits(m.targeted_system_display_maximum_luminance, 1);
    const AVHDRPlusColorTransformParams& p = m.params[0];
    for (int c = 0; c < 3; c++) d.maxscl[c] = payloadUnits(p.maxscl[c], 100000);
    d.averageMaxRgb = payloadUnits(p.average_maxrgb, 100000);
    for (int i = 0; i < p.num_distribution_maxrgb_percentiles && i < 15; i++) {
        d.distribution.emplace_back(p.distribution_maxrgb[i].percentage,
                                    payloadUnits(p.distribution_maxrgb[i].percentile, 100000));
    }
    d.brightFraction = payloadUnits(p.fraction_bright_pixels, 1000);
    d.toneMapping = p.tone_mapping_flag != 0;
    if (d.toneMapping) {
        d.kneeX = payloadUnits(p.knee_point_x, 4095);
        d.kneeY = payloadUnits(p.knee_point_y, 4095);
        for (int i = 0; i < p.num_bezier_curve_anchors && i < 15; i++)
            d.anchors.push_back(payloadUnits(p.bezier_curve_anchors[i], 1023));
    }
    return d;
}

std::string sizeText(uint64_t w, uint64_t h) { return std::to_string(w) + "x" + std::to_string(h); }

// "8192x4320 pixels" for the default, else the count.
std::string pixelLimit(uint64_t pixels) {
    if (pixels == kMaxPicturePixels) return "8192x4320 pixels";
    return std::to_string(pixels) + " pixels";
}

// The demuxer for the file's first bytes. Done here rather than by
// avformat_open_input, which would print its doubts about a weak match
// (text taken for a raw stream) on the process's standard error.
Result<const AVInputFormat*> probe(const std::string& path) {
    constexpr size_t kProbeBytes = 1 << 20;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) return Status::failure(ErrorKind::Io, std::string("cannot open it: ") +
                                                         std::strerror(errno));
    std::vector<uint8_t> head(kProbeBytes + AVPROBE_PADDING_SIZE, 0);
    const size_t got = std::fread(head.data(), 1, kProbeBytes, file.get());
    if (std::ferror(file.get()))
        return Status::failure(ErrorKind::Io, "cannot read it (a directory?)");
    if (got == 0) return Status::failure(ErrorKind::Format, "the file is empty");
    AVProbeData pd{};
    const std::string name = "file:" + path;
    pd.filename = name.c_str();
    pd.buf = head.data();
    pd.buf_size = static_cast<int>(got);
    int score = 0;
    const AVInputFormat* format = av_probe_input_format3(&pd, 1, &score);
    // Below the retry score the demuxer itself calls the match doubtful.
    if (format == nullptr || score <= AVPROBE_SCORE_RETRY)
        return Status::failure(ErrorKind::Format,
                               "no video the demuxer can read: its first bytes are of no "
                               "container or stream format it knows");
    return format;
}

}  // namespace

const char* transferName(Transfer t) {
    switch (t) {
        case Transfer::Unspecified:
            return "an unspecified transfer";
        case Transfer::Pq:
            return "PQ (SMPTE ST 2084)";
        case Transfer::Hlg:
            return "HLG (ARIB STD-B67)";
        case Transfer::Sdr:
            return "SDR (a BT.709/BT.1886-style gamma)";
        case Transfer::Linear:
            return "linear light";
        case Transfer::Other:
            return "another transfer";
    }
    return "another transfer";
}

const char* matrixName(Matrix m) {
    switch (m) {
        case Matrix::Unspecified:
            return "unspecified";
        case Matrix::Bt2020Ncl:
            return "BT.2020 non-constant luminance";
        case Matrix::Bt2020Cl:
            return "BT.2020 constant luminance";
        case Matrix::Bt709:
            return "BT.709";
        case Matrix::Bt601:
            return "BT.601";
        case Matrix::Rgb:
            return "RGB (identity)";
        case Matrix::Other:
            return "another matrix";
    }
    return "another matrix";
}

struct VideoDecoder::State {
    std::unique_ptr<AVFormatContext, InputCloser> input;
    std::unique_ptr<AVCodecContext, CodecFree> codec;
    std::unique_ptr<AVPacket, PacketFree> packet{av_packet_alloc()};
    std::unique_ptr<AVFrame, FrameFree> frame{av_frame_alloc()};
    int track = -1;
    uint64_t maxPixels = kMaxPicturePixels;
    StreamInfo info;
    unsigned delivered = 0;
    // Until the picture size is known (a raw stream states it only in its
    // sequence header), each packet goes through the codec's parser first,
    // which reads the headers without decoding, so that a huge size is
    // refused before the decoder allocates for it.
    std::unique_ptr<AVCodecParserContext, void (*)(AVCodecParserContext*)> parser{nullptr,
                                                                                  &av_parser_close};
    std::unique_ptr<AVCodecContext, CodecFree> parserContext;
    bool draining = false;  // the demuxer is at its end; the decoder is being flushed
    bool finished = false;

    Status failAt(ErrorKind kind, const std::string& message) const {
        Location where;
        where.frame = delivered;
        return Status::failure(kind, "picture " + std::to_string(delivered) + ": " + message,
                               where);
    }

    // The end of the stream: an error when it gave no picture at all.
    Result<bool> noMorePictures() const {
        if (delivered == 0)
            return failAt(ErrorKind::Damaged,
                          "the decoder gives no picture: the stream holds none it can decode");
        return false;
    }

    // The next decoded AVFrame into `frame`; false at the end.
    Result<bool> receive() {
        for (;;) {
            int rc = avcodec_receive_frame(codec.get(), frame.get());
            if (rc == 0) return true;
            if (rc == AVERROR_EOF) return noMorePictures();
            if (rc != AVERROR(EAGAIN))
                return failAt(ErrorKind::Damaged, "the decoder stopped: " + avError(rc));
            if (draining) return noMorePictures();
            // Feed the next packet of our track.
            for (;;) {
                rc = av_read_frame(input.get(), packet.get());
                if (rc == AVERROR_EOF) {
                    draining = true;
                    // With frame threads, a picture the decoder could not
                    // read whole (a stream cut inside its slice data) is
                    // reported only here, as the threads finish.
                    const int flushed = avcodec_send_packet(codec.get(), nullptr);
                    if (flushed < 0 && flushed != AVERROR_EOF)
                        return failAt(ErrorKind::Damaged,
                                      "the stream is cut or damaged in its last pictures: " +
                                          avError(flushed));
                    break;
                }
                if (rc < 0) return failAt(ErrorKind::Damaged, "the demuxer stopped: " + avError(rc));
                if (packet->stream_index != track) {
                    av_packet_unref(packet.get());
                    continue;
                }
                if (parser) {
                    Status size = checkDeclaredSize(*packet);
                    if (!size) {
                        av_packet_unref(packet.get());
                        return size;
                    }
                }
                rc = avcodec_send_packet(codec.get(), packet.get());
                av_packet_unref(packet.get());
                if (rc < 0 && rc != AVERROR(EAGAIN)) {
                    return failAt(ErrorKind::Damaged,
                                  "the decoder cannot read the stream here: " + avError(rc));
                }
                break;
            }
        }
    }

    Status checkDeclaredSize(const AVPacket& p) {
        uint8_t* out = nullptr;
        int outSize = 0;
        av_parser_parse2(parser.get(), parserContext.get(), &out, &outSize, p.data, p.size,
                         AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        const uint64_t w = parser->width > 0 ? static_cast<uint64_t>(parser->width) : 0;
        const uint64_t h = parser->height > 0 ? static_cast<uint64_t>(parser->height) : 0;
        if (w == 0 || h == 0) return {};
        parser.reset();
        parserContext.reset();
        if (info.width == 0) {
            info.width = static_cast<unsigned>(w);
            info.height = static_cast<unsigned>(h);
        }
        if (w * h > maxPixels)
            return failAt(ErrorKind::OutOfRange, "the stream declares pictures of " +
                                                     sizeText(w, h) + ", larger than the " +
                                                     pixelLimit(maxPixels) + " that are read");
        return {};
    }

    // Checks the decoded AVFrame and, when `copy`, fills `out` from it.
    Status take(YuvFrame& out, bool copy) {
        const AVFrame& f = *frame;
        if ((f.flags & AV_FRAME_FLAG_CORRUPT) != 0 || f.decode_error_flags != 0)
            return failAt(ErrorKind::Damaged, "the decoder found it damaged (the stream is cut "
                                              "or corrupt here)");
        if (f.width <= 0 || f.height <= 0 ||
            static_cast<uint64_t>(f.width) * static_cast<uint64_t>(f.height) > maxPixels)
            return failAt(ErrorKind::OutOfRange, "a picture of " + sizeText(f.width, f.height) +
                                                     " is larger than the " + pixelLimit(maxPixels) +
                                                     " that are read");
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f.format));
        if (d == nullptr || d->nb_components != 3 || (d->flags & AV_PIX_FMT_FLAG_RGB) != 0 ||
            (d->flags & AV_PIX_FMT_FLAG_PLANAR) == 0 || (d->flags & AV_PIX_FMT_FLAG_BE) != 0 ||
            (d->flags & AV_PIX_FMT_FLAG_FLOAT) != 0 || d->comp[0].depth > 16 ||
            d->comp[0].depth != d->comp[1].depth || d->comp[0].depth != d->comp[2].depth ||
            d->log2_chroma_w > 1 || d->log2_chroma_h > 1)
            return failAt(ErrorKind::Unsupported,
                          std::string("its samples are ") + (d ? d->name : "of an unknown format") +
                              ", not planar Y'CbCr");
        if (!copy) return {};
        out.index = delivered;
        out.codedOffset = f.pkt_pos;
        out.codedSize = f.pkt_size > 0 ? f.pkt_size : -1;
        out.keyFrame = f.key_frame != 0;
        out.width = static_cast<unsigned>(f.width);
        out.height = static_cast<unsigned>(f.height);
        out.bitDepth = static_cast<unsigned>(d->comp[0].depth);
        out.chromaShiftX = d->log2_chroma_w;
        out.chromaShiftY = d->log2_chroma_h;
        out.colour.transfer = transferOf(f.color_trc);
        out.colour.matrix = matrixOf(f.colorspace);
        out.colour.primaries = primariesOf(f.color_primaries);
        out.colour.fullRange = f.color_range == AVCOL_RANGE_JPEG;
        out.colour.siting = sitingOf(f.chroma_location);
        const bool wide = d->comp[0].step > 1;  // 2 bytes a sample
        auto plane = [&](int p, unsigned w, unsigned h, std::vector<uint16_t>& to) {
            to.resize(static_cast<size_t>(w) * h);
            for (unsigned row = 0; row < h; row++) {
                const uint8_t* src = f.data[p] + static_cast<ptrdiff_t>(row) * f.linesize[p];
                uint16_t* dst = to.data() + static_cast<size_t>(row) * w;
                if (wide) {
                    std::memcpy(dst, src, w * sizeof(uint16_t));
                } else {
                    for (unsigned x = 0; x < w; x++) dst[x] = src[x];
                }
            }
        };
        plane(0, out.width, out.height, out.y);
        plane(1, out.chromaWidth(), out.chromaHeight(), out.cb);
        plane(2, out.chromaWidth(), out.chromaHeight(), out.cr);
        out.hdr10plus.reset();
        if (const AVFrameSideData* s = av_frame_get_side_data(&f, AV_FRAME_DATA_DYNAMIC_HDR_PLUS)) {
            if (s->size >= sizeof(AVDynamicHDRPlus))
                out.hdr10plus = hdr10PlusOf(*reinterpret_cast<const AVDynamicHDRPlus*>(s->data));
        }
        return {};
    }

    Result<bool> step(YuvFrame& out, bool copy) {
        if (finished) return false;
        Result<bool> got = receive();
        if (!got) return got.status();
        if (!*got) {
            finished = true;
            return false;
        }
        Status taken = take(out, copy);
        av_frame_unref(frame.get());
        if (!taken) return taken;
        delivered++;
        return true;
    }
};

VideoDecoder::VideoDecoder(std::unique_ptr<State> state) : mState(std::move(state)) {}
VideoDecoder::~VideoDecoder() = default;

const StreamInfo& VideoDecoder::info() const { return mState->info; }
unsigned VideoDecoder::delivered() const { return mState->delivered; }

Result<std::unique_ptr<VideoDecoder>> VideoDecoder::open(const std::string& path,
                                                         const DecoderOptions& options) {
    auto state = std::make_unique<State>();
    Result<const AVInputFormat*> format = probe(path);
    if (!format) return format.status();
    AVFormatContext* raw = nullptr;
    // "file:" keeps a name with a colon from being taken for a protocol.
    const std::string url = "file:" + path;
    int rc = avformat_open_input(&raw, url.c_str(), *format, nullptr);
    if (rc < 0) {
        return Status::failure(rc == AVERROR(ENOENT) ? ErrorKind::Io : ErrorKind::Format,
                               "no video the demuxer can read: " + avError(rc));
    }
    state->input.reset(raw);
    for (unsigned i = 0; i < raw->nb_streams; i++) {
        if (raw->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            state->track = static_cast<int>(i);
            break;
        }
    }
    if (state->track < 0)
        return Status::failure(ErrorKind::Format,
                               std::string(raw->iformat->name) + " file without a video track");
    const AVCodecParameters& par = *raw->streams[state->track]->codecpar;
    state->info.container = raw->iformat->name;
    state->info.codec = avcodec_get_name(par.codec_id);
    state->info.width = par.width > 0 ? static_cast<unsigned>(par.width) : 0;
    state->info.height = par.height > 0 ? static_cast<unsigned>(par.height) : 0;
    state->maxPixels = options.maxPixels;
    if (static_cast<uint64_t>(state->info.width) * state->info.height > options.maxPixels) {
        return Status::failure(ErrorKind::OutOfRange,
                               "the stream declares pictures of " +
                                   sizeText(state->info.width, state->info.height) +
                                   ", larger than the " + pixelLimit(options.maxPixels) +
                                   " that are read");
    }
    const AVCodec* codec = avcodec_find_decoder(par.codec_id);
    if (codec == nullptr)
        return Status::failure(ErrorKind::Unsupported,
                               "no decoder for its " + state->info.codec + " video here");
    state->codec.reset(avcodec_alloc_context3(codec));
    if (!state->codec || avcodec_parameters_to_context(state->codec.get(), &par) < 0)
        return Status::failure(ErrorKind::Invalid, "the decoder cannot be set up");
    AVCodecContext& c = *state->codec;
    c.log_level_offset = kSilencingOffset;
    c.thread_count = static_cast<int>(options.threads);  // 0: libavcodec picks one per core
#if defined(__SANITIZE_THREAD__) || KESTREL_THREAD_SANITIZER
    // libavcodec's frame threads hand pictures back through atomics in code
    // not built for the thread sanitizer, which cannot see that they order
    // the accesses and reports every hand-off as a race. Under it the decoder
    // runs on the caller's thread, so that the threads it checks are ours.
    c.thread_count = 1;
#endif
    c.thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    // The decoder refuses a larger sequence header itself, before allocating.
    c.max_pixels = static_cast<int64_t>(std::min<uint64_t>(options.maxPixels, INT64_MAX));
    // A picture with missing references is never shown in its place.
    c.flags &= ~AV_CODEC_FLAG_OUTPUT_CORRUPT;
    // Damage in the coded data is an error, not a concealed picture.
    c.err_recognition |= AV_EF_EXPLODE | AV_EF_BITSTREAM | AV_EF_BUFFER;
    if (state->info.width == 0 || state->info.height == 0) {
        state->parser.reset(av_parser_init(par.codec_id));
        state->parserContext.reset(avcodec_alloc_context3(nullptr));
        if (state->parser && state->parserContext) {
            state->parserContext->log_level_offset = kSilencingOffset;
            state->parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
        } else {
            state->parser.reset();
            state->parserContext.reset();
        }
    }
    rc = avcodec_open2(&c, codec, nullptr);
    if (rc < 0)
        return Status::failure(ErrorKind::Unsupported,
                               "the " + state->info.codec + " decoder does not open: " + avError(rc));
    return std::unique_ptr<VideoDecoder>(new VideoDecoder(std::move(state)));
}

Result<bool> VideoDecoder::next(YuvFrame& frame) { return mState->step(frame, true); }

Result<YuvFrame> VideoDecoder::seekForward(unsigned index) {
    YuvFrame frame;
    while (mState->delivered <= index) {
        const bool wanted = mState->delivered == index;
        Result<bool> got = mState->step(frame, wanted);
        if (!got) return got.status();
        if (!*got) {
            Location where;
            where.frame = index;
            return Status::failure(ErrorKind::OutOfRange,
                                   "there is no picture " + std::to_string(index) +
                                       ": the stream has " + std::to_string(mState->delivered),
                                   where);
        }
        if (wanted) return frame;
    }
    Location where;
    where.frame = index;
    return Status::failure(ErrorKind::Invalid,
                           "picture " + std::to_string(index) + " was given out already", where);
}

}  // namespace kestrel::picture
