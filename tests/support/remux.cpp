// SPDX-License-Identifier: Apache-2.0
#include "support/remux.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::container::test {
namespace {

constexpr uint8_t kPrefixSei = 39;
// Files made by HDR10+ tools mark T.35 block additions with BlockAddID 4; this
// system's muxer writes only BlockAddID 1. The reader tells HDR10+ by the
// payload's T.35 header, not by the ID, so either exercises it.
constexpr uint64_t kBlockAddId = 1;

// The payloads of the prefix SEI units of a length-prefixed sample (4-byte
// lengths, as the sample's hvcC says), each from the country code on; and
// the sample without those units when `strip`.
std::vector<std::vector<uint8_t>> takeT35(AVPacket& packet, bool strip) {
    std::vector<std::vector<uint8_t>> payloads;
    std::vector<uint8_t> kept;
    for (int pos = 0; pos + 4 <= packet.size;) {
        int length = static_cast<int>(AV_RB32(packet.data + pos));
        const uint8_t* unit = packet.data + pos + 4;
        bool sei = ((unit[0] >> 1) & 0x3f) == kPrefixSei;
        // In these samples the SEI carries one T.35 message: type 4 and one
        // size byte, counted without the emulation-prevention bytes (a 03
        // after two zeros), which a block addition does not have.
        if (sei && unit[2] == 4) {
            std::vector<uint8_t> payload;
            unsigned zeros = 0;
            for (int i = 4; i < length && payload.size() < unit[3]; ++i) {
                if (zeros >= 2 && unit[i] == 3) {
                    zeros = 0;
                    continue;
                }
                zeros = unit[i] == 0 ? zeros + 1 : 0;
                payload.push_back(unit[i]);
            }
            payloads.push_back(payload);
        }
        const uint8_t* start = packet.data + pos;
        if (!(sei && strip)) kept.insert(kept.end(), start, unit + length);
        pos += 4 + length;
    }
    if (strip) {
        av_shrink_packet(&packet, static_cast<int>(kept.size()));
        std::copy(kept.begin(), kept.end(), packet.data);
    }
    return payloads;
}

}  // namespace

bool remux(const std::string& from, const std::string& to, const char* format,
           bool toBlockAdditions, std::string& error, Timing timing) {
    av_log_set_level(AV_LOG_QUIET);
    AVFormatContext* in = nullptr;
    if (avformat_open_input(&in, from.c_str(), nullptr, nullptr) < 0) {
        error = "cannot open " + from;
        return false;
    }
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> input(
        in, [](AVFormatContext* c) { avformat_close_input(&c); });
    // A raw stream states its picture size and parameter sets only in the
    // stream itself, and the muxers need them in the header.
    if (avformat_find_stream_info(in, nullptr) < 0) {
        error = "cannot read the stream of " + from;
        return false;
    }
    AVFormatContext* out = nullptr;
    if (avformat_alloc_output_context2(&out, nullptr, format, to.c_str()) < 0) {
        error = std::string("no muxer ") + format;
        return false;
    }
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> output(
        out, [](AVFormatContext* c) {
            if (c->pb) avio_closep(&c->pb);
            avformat_free_context(c);
        });
    AVStream* stream = avformat_new_stream(out, nullptr);
    avcodec_parameters_copy(stream->codecpar, in->streams[0]->codecpar);
    stream->codecpar->codec_tag = 0;
    stream->time_base = AVRational{1, 24};
    if (avio_open(&out->pb, to.c_str(), AVIO_FLAG_WRITE) < 0) {
        error = "cannot write " + to;
        return false;
    }
    if (avformat_write_header(out, nullptr) < 0) {
        error = "header";
        return false;
    }
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(),
                                                          [](AVPacket* p) { av_packet_free(&p); });
    // A stream copy starts decoding times as many frames before zero as the
    // decoder may hold pictures back, so that the first picture can be
    // shown at zero.
    int64_t frame = 0;
    if (timing == Timing::StreamCopy) frame = -int64_t{in->streams[0]->codecpar->video_delay};
    while (av_read_frame(in, packet.get()) >= 0) {
        if (packet->stream_index == 0) {
            if (toBlockAdditions) {
                auto payloads = takeT35(*packet, true);
                if (!payloads.empty()) {
                    const std::vector<uint8_t>& p = payloads.back();
                    uint8_t* side = av_packet_new_side_data(
                        packet.get(), AV_PKT_DATA_MATROSKA_BLOCKADDITIONAL, p.size() + 8);
                    AV_WB64(side, kBlockAddId);
                    std::copy(p.begin(), p.end(), side + 8);
                }
            }
            // Matroska leaves decoding times open, which MP4 needs, and a raw
            // stream has none at all; the reader orders pictures by their
            // order counts, not by time, so plain increasing times do.
            packet->pts = packet->dts = frame;
            packet->duration = 1;
            ++frame;
            av_packet_rescale_ts(packet.get(), AVRational{1, 24}, stream->time_base);
            packet->pos = -1;
            if (av_interleaved_write_frame(out, packet.get()) < 0) {
                error = "write";
                return false;
            }
        }
        av_packet_unref(packet.get());
    }
    if (av_write_trailer(out) < 0) {
        error = "trailer";
        return false;
    }
    return true;
}

}  // namespace kestrel::container::test
