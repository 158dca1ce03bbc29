// SPDX-License-Identifier: Apache-2.0
// Our reading of every sample stream against an independent one: FFmpeg's
// HEVC decoder attaches its own parse of each shown frame's HDR10+ metadata
// (AV_FRAME_DATA_DYNAMIC_HDR_PLUS). Both must give the same frames in the
// same order with the same value in every element. This test decodes the
// pictures (the streams are tiny); extraction itself never does.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/hdr_dynamic_metadata.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "container/hevc_track.h"
#include "hdr10plus/payload.h"
#include "hevc/annexb.h"

namespace kestrel::container {
namespace {

namespace fs = std::filesystem;

using DecodedFrames = std::vector<std::optional<AVDynamicHDRPlus>>;

// Every frame the decoder outputs, with its HDR10+ side data if any.
bool decodeWithFfmpeg(const std::string& path, DecodedFrames& frames, std::string& error) {
    av_log_set_level(AV_LOG_QUIET);
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        error = "cannot open";
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
        int status = av_read_frame(input.get(), packet.get());
        more = status >= 0;
        if (more && packet->stream_index != track) {
            av_packet_unref(packet.get());
            continue;
        }
        avcodec_send_packet(decoder.get(), more ? packet.get() : nullptr);
        if (more) av_packet_unref(packet.get());
        while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            const AVFrameSideData* side =
                av_frame_get_side_data(frame.get(), AV_FRAME_DATA_DYNAMIC_HDR_PLUS);
            if (side && side->size >= sizeof(AVDynamicHDRPlus))
                frames.push_back(*reinterpret_cast<const AVDynamicHDRPlus*>(side->data));
            else
                frames.push_back(std::nullopt);
            av_frame_unref(frame.get());
        }
    }
    return true;
}

// Our side: the reader's pictures, each payload parsed.
bool readOurs(const std::string& path, std::vector<std::optional<hdr10plus::Frame>>& frames,
              std::string& error) {
    auto sink = [&](hevc::Picture&& picture) {
        if (!picture.hdr10plus) {
            frames.push_back(std::nullopt);
            return;
        }
        Result<hdr10plus::Frame> parsed = hdr10plus::parsePayload(
            picture.hdr10plus->bytes.data(), picture.hdr10plus->bytes.size());
        if (parsed.ok())
            frames.push_back(*parsed);
        else
            error = "frame " + std::to_string(frames.size()) + ": " + parsed.status().message();
        if (!parsed.ok()) frames.push_back(std::nullopt);
    };
    Status damage;
    if (fs::path(path).extension() == ".mkv") {
        damage = readHevcTrack(path, sink, nullptr);
    } else {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                             &std::fclose);
        damage = hevc::readAnnexB(file.get(), sink, nullptr);
    }
    if (!damage.ok())
        error = "byte " + std::to_string(damage.where().byteOffset.value_or(0)) + ": " +
                damage.message();
    return error.empty();
}

// value / scale == r, exactly.
::testing::AssertionResult same(AVRational r, int64_t value, int64_t scale,
                                const std::string& what) {
    if (r.den != 0 && int64_t{r.num} * scale == value * int64_t{r.den})
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << what << ": FFmpeg " << r.num << "/" << r.den << ", ours " << value << "/" << scale;
}

void expectSameMatrix(const std::optional<hdr10plus::PeakLuminanceMatrix>& ours, uint8_t flag,
                      uint8_t rows, uint8_t cols, const AVRational (&theirs)[25][25],
                      const std::string& what) {
    ASSERT_EQ(ours.has_value(), flag != 0) << what;
    if (!ours) return;
    ASSERT_EQ(ours->rows, rows) << what;
    ASSERT_EQ(ours->cols, cols) << what;
    for (unsigned i = 0; i < rows; ++i)
        for (unsigned j = 0; j < cols; ++j) {
            EXPECT_TRUE(same(theirs[i][j], ours->values[i * cols + j], 15, what));
        }
}

void expectSameFrame(const hdr10plus::Frame& ours, const AVDynamicHDRPlus& theirs) {
    EXPECT_EQ(ours.application_version, theirs.application_version);
    ASSERT_EQ(ours.windows.size(), theirs.num_windows);
    EXPECT_TRUE(same(theirs.targeted_system_display_maximum_luminance,
                     ours.targeted_system_display_maximum_luminance, 1, "targeted peak"));
    expectSameMatrix(ours.targeted_system_display_actual_peak_luminance,
                     theirs.targeted_system_display_actual_peak_luminance_flag,
                     theirs.num_rows_targeted_system_display_actual_peak_luminance,
                     theirs.num_cols_targeted_system_display_actual_peak_luminance,
                     theirs.targeted_system_display_actual_peak_luminance, "targeted matrix");
    expectSameMatrix(ours.mastering_display_actual_peak_luminance,
                     theirs.mastering_display_actual_peak_luminance_flag,
                     theirs.num_rows_mastering_display_actual_peak_luminance,
                     theirs.num_cols_mastering_display_actual_peak_luminance,
                     theirs.mastering_display_actual_peak_luminance, "mastering matrix");
    for (size_t w = 0; w < ours.windows.size(); ++w) {
        SCOPED_TRACE("window " + std::to_string(w));
        const hdr10plus::Window& o = ours.windows[w];
        const AVHDRPlusColorTransformParams& t = theirs.params[w];
        if (w > 0) {
            ASSERT_TRUE(o.geometry.has_value());
            const hdr10plus::WindowGeometry& g = *o.geometry;
            EXPECT_TRUE(same(t.window_upper_left_corner_x, g.window_upper_left_corner_x, 1, "x0"));
            EXPECT_TRUE(same(t.window_upper_left_corner_y, g.window_upper_left_corner_y, 1, "y0"));
            EXPECT_TRUE(
                same(t.window_lower_right_corner_x, g.window_lower_right_corner_x, 1, "x1"));
            EXPECT_TRUE(
                same(t.window_lower_right_corner_y, g.window_lower_right_corner_y, 1, "y1"));
            EXPECT_EQ(t.center_of_ellipse_x, g.center_of_ellipse_x);
            EXPECT_EQ(t.center_of_ellipse_y, g.center_of_ellipse_y);
            EXPECT_EQ(t.rotation_angle, g.rotation_angle);
            EXPECT_EQ(t.semimajor_axis_internal_ellipse, g.semimajor_axis_internal_ellipse);
            EXPECT_EQ(t.semimajor_axis_external_ellipse, g.semimajor_axis_external_ellipse);
            EXPECT_EQ(t.semiminor_axis_external_ellipse, g.semiminor_axis_external_ellipse);
            EXPECT_EQ(static_cast<int>(t.overlap_process_option), g.overlap_process_option ? 1 : 0);
        }
        for (int c = 0; c < 3; ++c) {
            EXPECT_TRUE(same(t.maxscl[c], o.maxscl[c], 100000, "maxscl"));
        }
        EXPECT_TRUE(same(t.average_maxrgb, o.average_maxrgb, 100000, "average_maxrgb"));
        ASSERT_EQ(t.num_distribution_maxrgb_percentiles, o.distribution.size());
        for (size_t i = 0; i < o.distribution.size(); ++i) {
            EXPECT_EQ(t.distribution_maxrgb[i].percentage, o.distribution[i].percentage);
            EXPECT_TRUE(same(t.distribution_maxrgb[i].percentile, o.distribution[i].percentile,
                             100000, "percentile " + std::to_string(i)));
        }
        EXPECT_TRUE(same(t.fraction_bright_pixels, o.fraction_bright_pixels, 1000, "bright"));
        ASSERT_EQ(t.tone_mapping_flag != 0, o.tone_curve.has_value());
        if (o.tone_curve) {
            EXPECT_TRUE(same(t.knee_point_x, o.tone_curve->knee_point_x, 4095, "knee x"));
            EXPECT_TRUE(same(t.knee_point_y, o.tone_curve->knee_point_y, 4095, "knee y"));
            ASSERT_EQ(t.num_bezier_curve_anchors, o.tone_curve->bezier_curve_anchors.size());
            for (size_t i = 0; i < o.tone_curve->bezier_curve_anchors.size(); ++i) {
                EXPECT_TRUE(same(t.bezier_curve_anchors[i], o.tone_curve->bezier_curve_anchors[i],
                                 1023, "anchor " + std::to_string(i)));
            }
        }
        ASSERT_EQ(t.color_saturation_mapping_flag != 0, o.color_saturation_weight.has_value());
        if (o.color_saturation_weight) {
            EXPECT_TRUE(same(t.color_saturation_weight, *o.color_saturation_weight, 8, "weight"));
        }
    }
}

TEST(DecoderAgreement, EverySampleStreamFrameForFrame) {
    const std::string dir = KESTREL_HDR10PLUS_DIR;
    if (dir.empty() || !fs::is_directory(dir + "/streams"))
        GTEST_SKIP() << "no sample streams (KESTREL_HDR10PLUS_DIR)";
    std::vector<std::string> paths;
    for (const fs::directory_entry& e : fs::directory_iterator(dir + "/streams"))
        paths.push_back(e.path().string());
    std::sort(paths.begin(), paths.end());
    ASSERT_GE(paths.size(), 38u);
    size_t compared = 0;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        DecodedFrames theirs;
        std::string error;
        ASSERT_TRUE(decodeWithFfmpeg(path, theirs, error)) << error;
        std::vector<std::optional<hdr10plus::Frame>> ours;
        bool whole = readOurs(path, ours, error);
        // The damaged sample is damaged in a slice, which only a decoder sees;
        // every other stream reads without a fault.
        if (path.find("invalid") == std::string::npos) {
            EXPECT_TRUE(whole) << error;
        }
        ASSERT_EQ(ours.size(), theirs.size());
        for (size_t f = 0; f < ours.size(); ++f) {
            SCOPED_TRACE("frame " + std::to_string(f));
            ASSERT_EQ(ours[f].has_value(), theirs[f].has_value());
            if (ours[f]) expectSameFrame(*ours[f], *theirs[f]);
            ++compared;
        }
    }
    // 259 frames of each of the three regular streams alone.
    EXPECT_GT(compared, 3 * 259u);
}

}  // namespace
}  // namespace kestrel::container
