// SPDX-License-Identifier: Apache-2.0
#include "support/synthetic_video.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace kestrel::test {

namespace {

struct CodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

void copyPlane(const std::vector<uint16_t>& from, unsigned width, unsigned height, uint8_t* to,
               int linesize) {
    for (unsigned row = 0; row < height; row++) {
        std::memcpy(to + static_cast<size_t>(row) * static_cast<size_t>(linesize),
                    from.data() + static_cast<size_t>(row) * width, width * sizeof(uint16_t));
    }
}

void describeColour(AVCodecContext& ctx, const EncodeOptions& options) {
    ctx.color_primaries = AVCOL_PRI_BT2020;
    ctx.colorspace = AVCOL_SPC_BT2020_NCL;
    ctx.color_range = options.fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    switch (options.transfer) {
        case Transfer::Pq:
            ctx.color_trc = AVCOL_TRC_SMPTE2084;
            break;
        case Transfer::Hlg:
            ctx.color_trc = AVCOL_TRC_ARIB_STD_B67;
            break;
        case Transfer::Sdr:
            ctx.color_trc = AVCOL_TRC_BT709;
            break;
    }
}

// Encodes `pictures` with an opened encoder, handing each packet to `take`.
template <class Take>
bool encodeWith(AVCodecContext* ctx, const std::vector<YuvPicture>& pictures, Take take,
                std::string& error) {
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    int64_t pts = 0;
    auto drainTo = [&]() {
        for (;;) {
            const int rc = avcodec_receive_packet(ctx, packet.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
            if (rc < 0) {
                error = "encoder: " + avError(rc);
                return false;
            }
            take(*packet);
            av_packet_unref(packet.get());
        }
    };
    for (const YuvPicture& p : pictures) {
        av_frame_unref(frame.get());
        frame->format = ctx->pix_fmt;
        frame->width = ctx->width;
        frame->height = ctx->height;
        if (av_frame_get_buffer(frame.get(), 0) < 0) {
            error = "no frame buffer";
            return false;
        }
        copyPlane(p.y, p.width, p.height, frame->data[0], frame->linesize[0]);
        copyPlane(p.cb, p.chromaWidth(), p.chromaHeight(), frame->data[1], frame->linesize[1]);
        copyPlane(p.cr, p.chromaWidth(), p.chromaHeight(), frame->data[2], frame->linesize[2]);
        frame->pts = pts++;
        if (avcodec_send_frame(ctx, frame.get()) < 0) {
            error = "the encoder refuses a picture";
            return false;
        }
        if (!drainTo()) return false;
    }
    avcodec_send_frame(ctx, nullptr);
    return drainTo();
}

struct OutputFree {
    void operator()(AVFormatContext* c) const {
        if (c->pb) avio_closep(&c->pb);
        avformat_free_context(c);
    }
};

}  // namespace

YuvPicture flatPicture(unsigned width, unsigned height, uint16_t y, uint16_t cb, uint16_t cr,
                       bool chroma444) {
    YuvPicture p;
    p.width = width;
    p.height = height;
    p.chroma444 = chroma444;
    p.y.assign(static_cast<size_t>(width) * height, y);
    const size_t chroma = static_cast<size_t>(p.chromaWidth()) * p.chromaHeight();
    p.cb.assign(chroma, cb);
    p.cr.assign(chroma, cr);
    return p;
}

std::vector<uint8_t> encodeHevc(const std::vector<YuvPicture>& pictures,
                                const EncodeOptions& options, std::string& error) {
    std::vector<uint8_t> out;
    if (pictures.empty()) {
        error = "no pictures to encode";
        return out;
    }
    const AVCodec* codec = avcodec_find_encoder_by_name("libx265");
    if (codec == nullptr) {
        error = "libavcodec has no libx265 encoder";
        return out;
    }
    std::unique_ptr<AVCodecContext, CodecContextFree> ctx(avcodec_alloc_context3(codec));
    const YuvPicture& first = pictures.front();
    ctx->width = static_cast<int>(first.width);
    ctx->height = static_cast<int>(first.height);
    ctx->pix_fmt = first.chroma444 ? AV_PIX_FMT_YUV444P10 : AV_PIX_FMT_YUV420P10;
    ctx->time_base = AVRational{1, 25};
    ctx->framerate = AVRational{25, 1};
    ctx->max_b_frames = static_cast<int>(options.bFrames);
    ctx->log_level_offset = 64;  // the encoder's notes stay out of the test's output
    describeColour(*ctx, options);
    // One encoder thread and no information SEI: the same bytes on every run.
    std::string params = "lossless=1:log-level=error:info=0:pools=1:frame-threads=1:bframes=" +
                         std::to_string(options.bFrames);
    if (options.keyInterval > 0) {
        const std::string n = std::to_string(options.keyInterval);
        params += ":keyint=" + n + ":min-keyint=" + n + ":scenecut=0:open-gop=0";
    }
    av_opt_set(ctx->priv_data, "preset", "ultrafast", 0);
    av_opt_set(ctx->priv_data, "x265-params", params.c_str(), 0);
    int rc = avcodec_open2(ctx.get(), codec, nullptr);
    if (rc < 0) {
        error = "libx265 refuses " + std::to_string(first.width) + "x" +
                std::to_string(first.height) + ": " + avError(rc);
        return out;
    }

    for (const YuvPicture& p : pictures) {
        if (p.width != first.width || p.height != first.height || p.chroma444 != first.chroma444) {
            error = "every picture must have the first one's size and chroma format";
            return {};
        }
    }
    const bool encoded = encodeWith(
        ctx.get(), pictures,
        [&](const AVPacket& packet) { out.insert(out.end(), packet.data, packet.data + packet.size); },
        error);
    if (!encoded) return {};
    return out;
}

namespace {

// Bits of an RBSP, read and written most significant first.
struct BitReader {
    const std::vector<uint8_t>& bytes;
    size_t pos = 0;
    unsigned bit() {
        const unsigned b = (bytes[pos / 8] >> (7 - pos % 8)) & 1u;
        pos++;
        return b;
    }
    uint32_t bits(unsigned n) {
        uint32_t v = 0;
        for (unsigned i = 0; i < n; i++) v = (v << 1) | bit();
        return v;
    }
    uint32_t ue() {
        unsigned zeros = 0;
        while (bit() == 0) zeros++;
        return (1u << zeros) - 1 + bits(zeros);
    }
};

struct BitWriter {
    std::vector<uint8_t> bytes;
    size_t pos = 0;
    void bit(unsigned b) {
        if (pos % 8 == 0) bytes.push_back(0);
        if (b) bytes.back() |= static_cast<uint8_t>(0x80u >> (pos % 8));
        pos++;
    }
    void bits(uint32_t v, unsigned n) {
        for (unsigned i = n; i-- > 0;) bit((v >> i) & 1u);
    }
    void ue(uint32_t v) {
        const uint32_t code = v + 1;
        unsigned length = 0;
        while ((code >> length) > 1) length++;
        bits(0, length);
        bits(code, length + 1);
    }
};

std::vector<uint8_t> unescape(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    unsigned zeros = 0;
    for (size_t i = 0; i < size; i++) {
        if (zeros >= 2 && data[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = data[i] == 0 ? zeros + 1 : 0;
        out.push_back(data[i]);
    }
    return out;
}

std::vector<uint8_t> escape(const std::vector<uint8_t>& rbsp) {
    std::vector<uint8_t> out;
    unsigned zeros = 0;
    for (uint8_t b : rbsp) {
        if (zeros >= 2 && b <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        zeros = b == 0 ? zeros + 1 : 0;
        out.push_back(b);
    }
    return out;
}

// The SPS RBSP (after its 2-byte NAL header) with the new size, or empty.
std::vector<uint8_t> rewriteSps(const std::vector<uint8_t>& rbsp, unsigned width, unsigned height,
                                unsigned cropRight, unsigned cropBottom) {
    BitReader in{rbsp};
    BitWriter out;
    const uint32_t vpsId = in.bits(4);
    const uint32_t maxSubLayersMinus1 = in.bits(3);
    const uint32_t nesting = in.bit();
    if (maxSubLayersMinus1 != 0) return {};  // the encoder here writes one sub-layer
    out.bits(vpsId, 4);
    out.bits(maxSubLayersMinus1, 3);
    out.bit(nesting);
    for (int i = 0; i < 96; i++) out.bit(in.bit());  // profile_tier_level, general part
    out.ue(in.ue());                                 // sps_seq_parameter_set_id
    const uint32_t chroma = in.ue();
    out.ue(chroma);
    if (chroma == 3) out.bit(in.bit());  // separate_colour_plane_flag
    in.ue();
    in.ue();
    out.ue(width);
    out.ue(height);
    if (in.bit()) {
        for (int i = 0; i < 4; i++) in.ue();
    }
    const bool crop = cropRight > 0 || cropBottom > 0;
    out.bit(crop ? 1 : 0);
    if (crop) {
        out.ue(0);
        out.ue(cropRight);
        out.ue(0);
        out.ue(cropBottom);
    }
    // The rest as it was, up to the stop bit; then the stop bit and alignment.
    size_t end = rbsp.size() * 8;
    while (end > in.pos && ((rbsp[(end - 1) / 8] >> (7 - (end - 1) % 8)) & 1u) == 0) end--;
    if (end <= in.pos) return {};
    while (in.pos < end - 1) out.bit(in.bit());
    out.bit(1);
    while (out.pos % 8 != 0) out.bit(0);
    return out.bytes;
}

}  // namespace

bool rewritePictureSize(std::vector<uint8_t>& stream, unsigned width, unsigned height,
                        unsigned cropRight, unsigned cropBottom) {
    // NAL units between start codes (00 00 01); an SPS has type 33.
    std::vector<size_t> starts;
    for (size_t i = 0; i + 3 <= stream.size(); i++) {
        if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1) starts.push_back(i + 3);
    }
    bool rewritten = false;
    for (size_t k = starts.size(); k-- > 0;) {
        const size_t begin = starts[k];
        size_t end = k + 1 < starts.size() ? starts[k + 1] - 3 : stream.size();
        while (end > begin && stream[end - 1] == 0) end--;  // a 4-byte start code's zero
        if (end - begin < 3 || ((stream[begin] >> 1) & 0x3f) != 33) continue;
        const std::vector<uint8_t> rbsp = unescape(stream.data() + begin + 2, end - begin - 2);
        const std::vector<uint8_t> sps = rewriteSps(rbsp, width, height, cropRight, cropBottom);
        if (sps.empty()) return false;
        std::vector<uint8_t> unit(stream.begin() + static_cast<long>(begin),
                                  stream.begin() + static_cast<long>(begin) + 2);
        const std::vector<uint8_t> body = escape(sps);
        unit.insert(unit.end(), body.begin(), body.end());
        stream.erase(stream.begin() + static_cast<long>(begin),
                     stream.begin() + static_cast<long>(end));
        stream.insert(stream.begin() + static_cast<long>(begin), unit.begin(), unit.end());
        rewritten = true;
    }
    return rewritten;
}

bool writeAv1Matroska(const std::string& path, const std::vector<YuvPicture>& pictures,
                      const EncodeOptions& options, std::string& error) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libaom-av1");
    if (codec == nullptr || pictures.empty()) {
        error = "libavcodec has no libaom-av1 encoder";
        return false;
    }
    std::unique_ptr<AVCodecContext, CodecContextFree> ctx(avcodec_alloc_context3(codec));
    ctx->width = static_cast<int>(pictures.front().width);
    ctx->height = static_cast<int>(pictures.front().height);
    ctx->pix_fmt = pictures.front().chroma444 ? AV_PIX_FMT_YUV444P10 : AV_PIX_FMT_YUV420P10;
    ctx->time_base = AVRational{1, 25};
    ctx->framerate = AVRational{25, 1};
    ctx->thread_count = 1;
    ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;  // Matroska keeps the sequence header apart
    ctx->log_level_offset = 64;
    describeColour(*ctx, options);
    // Quantiser index 0 (crf 0, qmin = qmax = 0) is AV1's lossless mode.
    ctx->qmin = ctx->qmax = 0;
    if (av_opt_set_int(ctx->priv_data, "crf", 0, 0) < 0 ||
        av_opt_set_int(ctx->priv_data, "cpu-used", 8, 0) < 0) {
        error = "libaom-av1 takes no crf or cpu-used option here";
        return false;
    }
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) {
        error = "libaom-av1 does not open";
        return false;
    }
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, "matroska", path.c_str()) < 0) {
        error = "no Matroska muxer";
        return false;
    }
    std::unique_ptr<AVFormatContext, OutputFree> out(raw);
    AVStream* stream = avformat_new_stream(raw, nullptr);
    avcodec_parameters_from_context(stream->codecpar, ctx.get());
    stream->time_base = ctx->time_base;
    if (avio_open(&raw->pb, path.c_str(), AVIO_FLAG_WRITE) < 0 ||
        avformat_write_header(raw, nullptr) < 0) {
        error = "cannot start " + path;
        return false;
    }
    bool written = true;
    const bool encoded = encodeWith(
        ctx.get(), pictures,
        [&](AVPacket& packet) {
            av_packet_rescale_ts(&packet, ctx->time_base, stream->time_base);
            packet.stream_index = stream->index;
            written = written && av_interleaved_write_frame(raw, &packet) >= 0;
        },
        error);
    if (!encoded) return false;
    if (!written || av_write_trailer(raw) < 0) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

std::string writeTemporary(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("kestrel-" + std::to_string(getpid()) + "-" + name);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

}  // namespace kestrel::test
