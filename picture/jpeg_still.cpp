// SPDX-License-Identifier: Apache-2.0
#include "picture/jpeg_still.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace kestrel::picture {

namespace {

struct ContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

uint8_t clampByte(double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0l, 255l)); }

}  // namespace

Result<std::vector<uint8_t>> encodeSrgbJpeg(unsigned width, unsigned height,
                                            const std::vector<uint8_t>& rgb) {
    if (width == 0 || height == 0 || rgb.size() != size_t{width} * height * 3)
        return Status::failure(ErrorKind::Invalid, "a JPEG needs at least one pixel and "
                                                   "three bytes for each");
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    if (codec == nullptr)
        return Status::failure(ErrorKind::Unsupported, "this libavcodec has no JPEG encoder");
    std::unique_ptr<AVCodecContext, ContextFree> context(avcodec_alloc_context3(codec));
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    if (!context || !frame || !packet) return Status::failure(ErrorKind::Io, "out of memory");
    context->width = static_cast<int>(width);
    context->height = static_cast<int>(height);
    // Full-range Y'CbCr, as JFIF means it.
    context->pix_fmt = AV_PIX_FMT_YUVJ444P;
    context->color_range = AVCOL_RANGE_JPEG;
    context->time_base = AVRational{1, 25};
    context->flags |= AV_CODEC_FLAG_QSCALE;
    context->global_quality = kJpegQuantiser * FF_QP2LAMBDA;
    context->thread_count = 1;
    if (avcodec_open2(context.get(), codec, nullptr) < 0)
        return Status::failure(ErrorKind::Unsupported, "the JPEG encoder refused the picture");

    frame->format = context->pix_fmt;
    frame->width = context->width;
    frame->height = context->height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return Status::failure(ErrorKind::Io, "out of memory");
    frame->quality = context->global_quality;
    // JFIF's matrix: BT.601 coefficients over the full 0..255 range.
    for (unsigned y = 0; y < height; y++) {
        uint8_t* py = frame->data[0] + size_t(y) * frame->linesize[0];
        uint8_t* pb = frame->data[1] + size_t(y) * frame->linesize[1];
        uint8_t* pr = frame->data[2] + size_t(y) * frame->linesize[2];
        const uint8_t* in = rgb.data() + size_t(y) * width * 3;
        for (unsigned x = 0; x < width; x++) {
            const double r = in[3 * x], g = in[3 * x + 1], b = in[3 * x + 2];
            py[x] = clampByte(0.299 * r + 0.587 * g + 0.114 * b);
            pb[x] = clampByte(128 - 0.168736 * r - 0.331264 * g + 0.5 * b);
            pr[x] = clampByte(128 + 0.5 * r - 0.418688 * g - 0.081312 * b);
        }
    }
    std::vector<uint8_t> out;
    if (avcodec_send_frame(context.get(), frame.get()) < 0 ||
        avcodec_send_frame(context.get(), nullptr) < 0)
        return Status::failure(ErrorKind::Invalid, "the JPEG encoder refused the picture");
    while (avcodec_receive_packet(context.get(), packet.get()) == 0) {
        out.insert(out.end(), packet->data, packet->data + packet->size);
        av_packet_unref(packet.get());
    }
    if (out.empty()) return Status::failure(ErrorKind::Invalid, "the JPEG encoder gave nothing");
    return out;
}

}  // namespace kestrel::picture
