// SPDX-License-Identifier: Apache-2.0
// Every sample stream injected with its own metadata: the payload each shown
// picture carries afterwards is the one in effect before, byte for byte;
// FFmpeg's decoder attaches the same HDR10+ to every frame of the output as
// we read into it; and the decoded pictures of input and output are the same
// to the bit (a checksum of every plane of every frame).
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/hdr_dynamic_metadata.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "authoring/inject.h"
#include "hdr10plus/payload.h"
#include "hevc/annexb.h"

namespace kestrel::authoring {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct DecodedFrame {
    uint64_t checksum;
    std::optional<Bytes> hdr10plus;  // FFmpeg's parse, written back as a payload
};

// FNV-1a over the visible samples of every plane, row by row (the padding
// at the end of each row is the decoder's, not the picture's).
uint64_t pictureChecksum(const AVFrame* frame) {
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    uint64_t h = 1469598103934665603ull;
    int bytesPerSample = desc->comp[0].depth > 8 ? 2 : 1;
    for (int plane = 0; plane < desc->nb_components; ++plane) {
        int w = plane == 0 ? frame->width : AV_CEIL_RSHIFT(frame->width, desc->log2_chroma_w);
        int rows = plane == 0 ? frame->height : AV_CEIL_RSHIFT(frame->height, desc->log2_chroma_h);
        for (int y = 0; y < rows; ++y) {
            const uint8_t* row = frame->data[plane] + static_cast<ptrdiff_t>(y) * frame->linesize[plane];
            for (int x = 0; x < w * bytesPerSample; ++x) {
                h ^= row[x];
                h *= 1099511628211ull;
            }
        }
    }
    return h;
}

// FFmpeg's side data as our frame, element by element, so that the two can
// be compared as payloads.
hdr10plus::Frame fromFfmpeg(const AVDynamicHDRPlus& t) {
    auto scaled = [](AVRational r, int64_t scale) {
        return static_cast<uint32_t>(r.den == 0 ? 0 : int64_t{r.num} * scale / r.den);
    };
    hdr10plus::Frame f;
    f.application_version = t.application_version;
    f.targeted_system_display_maximum_luminance =
        scaled(t.targeted_system_display_maximum_luminance, 1);
    auto matrix = [&](uint8_t flag, uint8_t rows, uint8_t cols, const AVRational (&v)[25][25])
        -> std::optional<hdr10plus::PeakLuminanceMatrix> {
        if (!flag) return std::nullopt;
        hdr10plus::PeakLuminanceMatrix m;
        m.rows = rows;
        m.cols = cols;
        for (unsigned i = 0; i < rows; ++i)
            for (unsigned j = 0; j < cols; ++j) m.values.push_back(static_cast<uint8_t>(scaled(v[i][j], 15)));
        return m;
    };
    f.targeted_system_display_actual_peak_luminance =
        matrix(t.targeted_system_display_actual_peak_luminance_flag,
               t.num_rows_targeted_system_display_actual_peak_luminance,
               t.num_cols_targeted_system_display_actual_peak_luminance,
               t.targeted_system_display_actual_peak_luminance);
    f.mastering_display_actual_peak_luminance =
        matrix(t.mastering_display_actual_peak_luminance_flag,
               t.num_rows_mastering_display_actual_peak_luminance,
               t.num_cols_mastering_display_actual_peak_luminance,
               t.mastering_display_actual_peak_luminance);
    for (unsigned w = 0; w < t.num_windows; ++w) {
        const AVHDRPlusColorTransformParams& p = t.params[w];
        hdr10plus::Window win;
        if (w > 0) {
            hdr10plus::WindowGeometry g;
            g.window_upper_left_corner_x = static_cast<uint16_t>(scaled(p.window_upper_left_corner_x, 1));
            g.window_upper_left_corner_y = static_cast<uint16_t>(scaled(p.window_upper_left_corner_y, 1));
            g.window_lower_right_corner_x = static_cast<uint16_t>(scaled(p.window_lower_right_corner_x, 1));
            g.window_lower_right_corner_y = static_cast<uint16_t>(scaled(p.window_lower_right_corner_y, 1));
            g.center_of_ellipse_x = p.center_of_ellipse_x;
            g.center_of_ellipse_y = p.center_of_ellipse_y;
            g.rotation_angle = p.rotation_angle;
            g.semimajor_axis_internal_ellipse = p.semimajor_axis_internal_ellipse;
            g.semimajor_axis_external_ellipse = p.semimajor_axis_external_ellipse;
            g.semiminor_axis_external_ellipse = p.semiminor_axis_external_ellipse;
            g.overlap_process_option = p.overlap_process_option != 0;
            win.geometry = g;
        }
        for (int c = 0; c < 3; ++c) win.maxscl[c] = scaled(p.maxscl[c], 100000);
        win.average_maxrgb = scaled(p.average_maxrgb, 100000);
        for (unsigned i = 0; i < p.num_distribution_maxrgb_percentiles; ++i)
            win.distribution.push_back({p.distribution_maxrgb[i].percentage,
                                        scaled(p.distribution_maxrgb[i].percentile, 100000)});
        win.fraction_bright_pixels = static_cast<uint16_t>(scaled(p.fraction_bright_pixels, 1000));
        if (p.tone_mapping_flag) {
            hdr10plus::ToneCurve curve;
            curve.knee_point_x = static_cast<uint16_t>(scaled(p.knee_point_x, 4095));
            curve.knee_point_y = static_cast<uint16_t>(scaled(p.knee_point_y, 4095));
            for (unsigned i = 0; i < p.num_bezier_curve_anchors; ++i)
                curve.bezier_curve_anchors.push_back(
                    static_cast<uint16_t>(scaled(p.bezier_curve_anchors[i], 1023)));
            win.tone_curve = curve;
        }
        if (p.color_saturation_mapping_flag)
            win.color_saturation_weight = static_cast<uint8_t>(scaled(p.color_saturation_weight, 8));
        f.windows.push_back(win);
    }
    return f;
}

bool decode(const std::string& path, std::vector<DecodedFrame>& frames, std::string& error) {
    av_log_set_level(AV_LOG_QUIET);
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        error = "cannot open " + path;
        return false;
    }
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> input(
        raw, [](AVFormatContext* c) { avformat_close_input(&c); });
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        error = "no stream info";
        return false;
    }
    int track = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (track < 0) {
        error = "no video track";
        return false;
    }
    const AVCodec* codec = avcodec_find_decoder(input->streams[track]->codecpar->codec_id);
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> decoder(
        avcodec_alloc_context3(codec), [](AVCodecContext* c) { avcodec_free_context(&c); });
    avcodec_parameters_to_context(decoder.get(), input->streams[track]->codecpar);
    decoder->thread_count = 1;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        error = "cannot open the decoder";
        return false;
    }
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(),
                                                          [](AVPacket* p) { av_packet_free(&p); });
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(),
                                                       [](AVFrame* f) { av_frame_free(&f); });
    for (bool more = true; more;) {
        more = av_read_frame(input.get(), packet.get()) >= 0;
        if (more && packet->stream_index != track) {
            av_packet_unref(packet.get());
            continue;
        }
        avcodec_send_packet(decoder.get(), more ? packet.get() : nullptr);
        if (more) av_packet_unref(packet.get());
        while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            DecodedFrame d{pictureChecksum(frame.get()), std::nullopt};
            const AVFrameSideData* side =
                av_frame_get_side_data(frame.get(), AV_FRAME_DATA_DYNAMIC_HDR_PLUS);
            if (side && side->size >= sizeof(AVDynamicHDRPlus)) {
                auto written = hdr10plus::writePayload(
                    fromFfmpeg(*reinterpret_cast<const AVDynamicHDRPlus*>(side->data)));
                d.hdr10plus = written.ok() ? *written : Bytes{};
            }
            frames.push_back(std::move(d));
            av_frame_unref(frame.get());
        }
    }
    return true;
}

// The payload in effect for every shown picture, in display order.
std::vector<Bytes> payloadsShown(const std::string& path, std::string& error) {
    std::vector<Bytes> payloads;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    auto damage = hevc::readAnnexB(
        file,
        [&](hevc::Picture&& p) { payloads.push_back(p.hdr10plus ? p.hdr10plus->bytes : Bytes{}); },
        nullptr);
    std::fclose(file);
    if (!damage.ok()) error = damage.message();
    return payloads;
}

TEST(SampleReinjection, PayloadsSideDataAndPicturesSurviveInjection) {
    const std::string dir = KESTREL_HDR10PLUS_DIR;
    if (dir.empty() || !fs::is_directory(dir + "/streams"))
        GTEST_SKIP() << "no sample streams (KESTREL_HDR10PLUS_DIR)";
    std::vector<std::string> paths;
    for (const fs::directory_entry& e : fs::directory_iterator(dir + "/streams")) {
        std::string ext = e.path().extension().string();
        if (ext == ".hevc" || ext == ".h265") paths.push_back(e.path().string());
    }
    std::sort(paths.begin(), paths.end());
    ASSERT_GE(paths.size(), 37u);
    char folder[] = "/tmp/kestrel-reinject-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    size_t frames = 0;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        std::string error;
        std::vector<Bytes> before = payloadsShown(path, error);
        // Damaged in a slice only a decoder reads; our reading is whole.
        ASSERT_TRUE(error.empty()) << error;
        std::vector<hdr10plus::Frame> metadata;
        for (const Bytes& p : before) {
            ASSERT_FALSE(p.empty()) << "a picture before the first metadata";
            auto parsed = hdr10plus::parsePayload(p.data(), p.size());
            ASSERT_TRUE(parsed.ok()) << parsed.status().message();
            metadata.push_back(*parsed);
        }
        Result<hevc::PictureLayout> layout = scanStream(path, nullptr);
        ASSERT_TRUE(layout.ok()) << layout.status().message();
        std::string out = std::string(folder) + "/" + fs::path(path).filename().string();
        Result<InjectSummary> done = injectHdr10Plus(path, *layout, metadata, out, {}, nullptr);
        ASSERT_TRUE(done.ok()) << done.status().message();

        EXPECT_EQ(payloadsShown(out, error), before);
        std::vector<DecodedFrame> in, re;
        ASSERT_TRUE(decode(path, in, error)) << error;
        ASSERT_TRUE(decode(out, re, error)) << error;
        ASSERT_EQ(re.size(), in.size());
        ASSERT_EQ(re.size(), before.size());
        for (size_t f = 0; f < re.size(); ++f) {
            SCOPED_TRACE("frame " + std::to_string(f));
            EXPECT_EQ(re[f].checksum, in[f].checksum);
            ASSERT_TRUE(re[f].hdr10plus.has_value());
            EXPECT_EQ(*re[f].hdr10plus, before[f]);
        }
        frames += re.size();
        fs::remove(out);
    }
    fs::remove_all(folder);
    // 259 frames of each of the two regular streams alone.
    EXPECT_GT(frames, 2 * 259u);
}

}  // namespace
}  // namespace kestrel::authoring
