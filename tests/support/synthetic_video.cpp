#include "support/synthetic_video.h"

extern "C" {
#include <libavcodec/avcodec.h>
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

// Takes every packet the encoder has ready; false with `error` on failure.
bool drain(AVCodecContext* ctx, AVPacket* packet, std::vector<uint8_t>& out, std::string& error) {
    for (;;) {
        const int rc = avcodec_receive_packet(ctx, packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
        if (rc < 0) {
            error = "libx265: " + avError(rc);
            return false;
        }
        out.insert(out.end(), packet->data, packet->data + packet->size);
        av_packet_unref(packet);
    }
}

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
    ctx->color_primaries = AVCOL_PRI_BT2020;
    ctx->colorspace = AVCOL_SPC_BT2020_NCL;
    ctx->color_range = options.fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    switch (options.transfer) {
        case Transfer::Pq:
            ctx->color_trc = AVCOL_TRC_SMPTE2084;
            break;
        case Transfer::Hlg:
            ctx->color_trc = AVCOL_TRC_ARIB_STD_B67;
            break;
        case Transfer::Sdr:
            ctx->color_trc = AVCOL_TRC_BT709;
            break;
    }
    // One encoder thread and no information SEI: the same bytes on every run.
    const std::string params = "lossless=1:log-level=error:info=0:pools=1:frame-threads=1:bframes=" +
                               std::to_string(options.bFrames);
    av_opt_set(ctx->priv_data, "preset", "ultrafast", 0);
    av_opt_set(ctx->priv_data, "x265-params", params.c_str(), 0);
    int rc = avcodec_open2(ctx.get(), codec, nullptr);
    if (rc < 0) {
        error = "libx265 refuses " + std::to_string(first.width) + "x" +
                std::to_string(first.height) + ": " + avError(rc);
        return out;
    }

    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    int64_t pts = 0;
    for (const YuvPicture& p : pictures) {
        if (p.width != first.width || p.height != first.height || p.chroma444 != first.chroma444) {
            error = "every picture must have the first one's size and chroma format";
            return {};
        }
        av_frame_unref(frame.get());
        frame->format = ctx->pix_fmt;
        frame->width = ctx->width;
        frame->height = ctx->height;
        if ((rc = av_frame_get_buffer(frame.get(), 0)) < 0) {
            error = "no frame buffer: " + avError(rc);
            return {};
        }
        copyPlane(p.y, p.width, p.height, frame->data[0], frame->linesize[0]);
        copyPlane(p.cb, p.chromaWidth(), p.chromaHeight(), frame->data[1], frame->linesize[1]);
        copyPlane(p.cr, p.chromaWidth(), p.chromaHeight(), frame->data[2], frame->linesize[2]);
        frame->pts = pts++;
        if ((rc = avcodec_send_frame(ctx.get(), frame.get())) < 0) {
            error = "libx265: " + avError(rc);
            return {};
        }
        if (!drain(ctx.get(), packet.get(), out, error)) return {};
    }
    avcodec_send_frame(ctx.get(), nullptr);
    if (!drain(ctx.get(), packet.get(), out, error)) return {};
    return out;
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
