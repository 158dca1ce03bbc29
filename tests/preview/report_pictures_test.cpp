// SPDX-License-Identifier: Apache-2.0
// The report page's pictures: JPEG files that decode to the pixels given
// (checked with libavcodec's own JPEG decoder), the tone stage's ends seen
// through them (black stays black; light above the source peak is the
// panel's peak, SDR white), refusals with their reason, and the bound on
// their bytes.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <cmath>
#include <string>
#include <vector>

#include "analysis/clip_analysis.h"
#include "tools/kestrel/library_names.h"
#include "picture/jpeg_still.h"
#include "tools/kestrel/preview/report_pictures.h"

namespace kestrel::tool {
namespace {

// The JPEG decoded by libavcodec into 8-bit R, G, B (JFIF's inverse matrix).
std::vector<uint8_t> decodeJpeg(const std::vector<uint8_t>& file, unsigned& width,
                                unsigned& height) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
    AVCodecContext* c = avcodec_alloc_context3(codec);
    EXPECT_EQ(avcodec_open2(c, codec, nullptr), 0);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    packet->data = const_cast<uint8_t*>(file.data());
    packet->size = static_cast<int>(file.size());
    std::vector<uint8_t> rgb;
    if (avcodec_send_packet(c, packet) == 0 && avcodec_receive_frame(c, frame) == 0) {
        EXPECT_TRUE(frame->format == AV_PIX_FMT_YUVJ444P || frame->format == AV_PIX_FMT_YUV444P);
        width = static_cast<unsigned>(frame->width);
        height = static_cast<unsigned>(frame->height);
        for (unsigned y = 0; y < height; y++) {
            for (unsigned x = 0; x < width; x++) {
                const double Y = frame->data[0][y * frame->linesize[0] + x];
                const double cb = frame->data[1][y * frame->linesize[1] + x] - 128.0;
                const double cr = frame->data[2][y * frame->linesize[2] + x] - 128.0;
                for (double v : {Y + 1.402 * cr, Y - 0.344136 * cb - 0.714136 * cr, Y + 1.772 * cb})
                    rgb.push_back(static_cast<uint8_t>(std::lround(std::fmin(255, std::fmax(0, v)))));
            }
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&c);
    return rgb;
}

std::vector<uint8_t> fromDataUrl(const std::string& url) {
    const std::string prefix = "data:image/jpeg;base64,";
    EXPECT_EQ(url.rfind(prefix, 0), 0u);
    const std::string digits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<uint8_t> out;
    unsigned bits = 0, n = 0;
    for (size_t i = prefix.size(); i < url.size() && url[i] != '='; i++) {
        bits = (bits << 6) | static_cast<unsigned>(digits.find(url[i]));
        n += 6;
        if (n >= 8) {
            n -= 8;
            out.push_back(static_cast<uint8_t>(bits >> n));
        }
    }
    return out;
}

TEST(ReportPictures, AJpegDecodesToThePixelsGiven) {
    // Four flat quarters: red, a mid grey, black, a pale blue.
    const unsigned w = 48, h = 32;
    const uint8_t colours[4][3] = {{220, 30, 40}, {128, 128, 128}, {0, 0, 0}, {150, 190, 250}};
    std::vector<uint8_t> rgb;
    for (unsigned y = 0; y < h; y++)
        for (unsigned x = 0; x < w; x++)
            for (int c = 0; c < 3; c++) rgb.push_back(colours[(y >= h / 2) * 2 + (x >= w / 2)][c]);
    Result<std::vector<uint8_t>> jpeg = picture::encodeSrgbJpeg(w, h, rgb);
    ASSERT_TRUE(jpeg.ok()) << jpeg.status().message();
    unsigned dw = 0, dh = 0;
    const std::vector<uint8_t> back = decodeJpeg(*jpeg, dw, dh);
    ASSERT_EQ(dw, w);
    ASSERT_EQ(dh, h);
    // Away from the quarters' edges, within 2 codes.
    for (unsigned q = 0; q < 4; q++) {
        const unsigned x = (q % 2) * w / 2 + w / 4, y = (q / 2) * h / 2 + h / 4;
        for (int c = 0; c < 3; c++)
            EXPECT_NEAR(back[(y * w + x) * 3 + c], colours[q][c], 2) << q << " " << c;
    }
    EXPECT_FALSE(picture::encodeSrgbJpeg(0, 4, {}).ok());
    EXPECT_FALSE(picture::encodeSrgbJpeg(2, 2, std::vector<uint8_t>(5)).ok());
}

// A record whose statistics give a source peak of 2000 cd/m².
_VelmorHdrDynamicInfo record() {
    _VelmorHdrDynamicInfo r{};
    r.maxscl[0] = r.maxscl[1] = r.maxscl[2] = 20000;
    const uint8_t percentages[9] = {1, 5, 10, 25, 50, 75, 90, 95, 99};
    const uint32_t values[9] = {1, 10, 30, 120, 500, 1500, 4000, 9000, 21000};
    r.num_distribution_maxrgb_percentiles = 9;
    for (int i = 0; i < 9; i++) {
        r.distribution_maxrgb_percentages[i] = percentages[i];
        r.distribution_maxrgb_percentiles[i] = values[i];
    }
    return r;
}

// Left half black, right half 10000 cd/m² (above the source peak).
CapturedPicture blackAndBright(unsigned frame) {
    CapturedPicture c;
    c.frame = frame;
    c.light.width = 32;
    c.light.height = 16;
    for (unsigned y = 0; y < 16; y++)
        for (unsigned x = 0; x < 32; x++) {
            const float v = x < 16 ? 0.0f : 10000.0f;
            c.light.r.push_back(v);
            c.light.g.push_back(v);
            c.light.b.push_back(v);
        }
    return c;
}

TEST(ReportPictures, BlackStaysBlackAndLightAboveTheSourcePeakIsThePanelsPeak) {
    const _VelmorHdrDynamicInfo r = record();
    ReportVideo video;
    addReportPictures({blackAndBright(5)}, [&](unsigned) { return &r; }, {400, 1000},
                      kDefaultLayerNits, kReportPictureBudgetBytes, video);
    ASSERT_EQ(video.pictured.size(), 1u);
    const PicturedFrame& p = video.pictured[0];
    EXPECT_EQ(p.frame, 5u);
    ASSERT_EQ(p.table.size(), 2u);
    for (size_t t = 0; t < 2; t++) {
        EXPECT_EQ(p.refused[t], "");
        for (const std::string* url : {&p.table[t], &p.curve[t]}) {
            unsigned w = 0, h = 0;
            const std::vector<uint8_t> rgb = decodeJpeg(fromDataUrl(*url), w, h);
            ASSERT_EQ(w, 32u);
            for (int c = 0; c < 3; c++) {
                EXPECT_LE(rgb[(8 * 32 + 4) * 3 + c], 2) << t;    // black
                EXPECT_GE(rgb[(8 * 32 + 28) * 3 + c], 253) << t;  // SDR white: the panel's peak
            }
        }
    }
    EXPECT_FALSE(p.thumbnail.empty());
}

TEST(ReportPictures, RefusedFramesSayWhyAndTheBytesStayWithinTheBound) {
    const _VelmorHdrDynamicInfo r = record();
    _VelmorHdrDynamicInfo noPeak{};
    const RecordOf recordOf = [&](unsigned frame) -> const _VelmorHdrDynamicInfo* {
        return frame == 0 ? nullptr : frame == 1 ? &noPeak : &r;
    };
    ReportVideo all;
    addReportPictures({blackAndBright(2), blackAndBright(1), blackAndBright(0)}, recordOf, {600},
                      kDefaultLayerNits, kReportPictureBudgetBytes, all);
    ASSERT_EQ(all.pictured.size(), 3u);
    EXPECT_EQ(all.pictured[0].frame, 0u);  // ascending, whatever the order of importance
    EXPECT_EQ(all.pictured[0].refused[0], "frame 0 has no metadata the tool accepts");
    EXPECT_NE(all.pictured[1].refused[0].find("source peak of 0 cd/m²"), std::string::npos);
    EXPECT_TRUE(all.pictured[1].table[0].empty());
    const size_t first = all.pictured[2].table[0].size() + all.pictured[2].curve[0].size() +
                         all.pictured[2].thumbnail.size();
    // A refused frame costs its thumbnail only: its untonemapped picture,
    // black and the target's peak (SDR white), as the clipped source shows.
    EXPECT_EQ(all.pictureBytes, first + all.pictured[0].thumbnail.size() +
                                    all.pictured[1].thumbnail.size());
    unsigned w = 0, h = 0;
    const std::vector<uint8_t> thumb = decodeJpeg(fromDataUrl(all.pictured[0].thumbnail), w, h);
    ASSERT_EQ(w, 32u);  // narrower than a thumbnail: not shrunk
    EXPECT_LE(thumb[(8 * 32 + 4) * 3], 2);
    EXPECT_GE(thumb[(8 * 32 + 28) * 3], 253);

    // A bound one byte short of the first frame's pictures: none is kept.
    ReportVideo tight;
    addReportPictures({blackAndBright(2), blackAndBright(3)}, recordOf, {600}, kDefaultLayerNits,
                      first - 1, tight);
    EXPECT_TRUE(tight.pictured.empty());
    EXPECT_EQ(tight.framesLeftOut, 2u);
    // Exactly the first frame's: it is kept, the next is left out.
    ReportVideo one;
    addReportPictures({blackAndBright(2), blackAndBright(3)}, recordOf, {600}, kDefaultLayerNits,
                      first, one);
    ASSERT_EQ(one.pictured.size(), 1u);
    EXPECT_EQ(one.pictured[0].frame, 2u);
    EXPECT_EQ(one.pictureBytes, first);
    EXPECT_EQ(one.framesLeftOut, 1u);
}

TEST(ReportPictures, AFilmsPageLeavesThePicturesWhatRemainsOfFifteenMegabytes) {
    EXPECT_EQ(reportPictureBudget(200'000), 4u << 20);  // a short clip: the whole 4 MiB
    // A film's data of 14.1 MB: the pictures get the rest of 15 MB, less the
    // room kept for their listing.
    EXPECT_EQ(reportPictureBudget(14'100'000), 15'000'000u - 14'100'000u - 8192u);
    EXPECT_EQ(reportPictureBudget(15'000'000 - 8192), 0u);
    EXPECT_EQ(reportPictureBudget(20'000'000), 0u);
}

}  // namespace
}  // namespace kestrel::tool
