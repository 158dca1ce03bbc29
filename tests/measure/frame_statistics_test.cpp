// SPDX-License-Identifier: Apache-2.0
// Pictures measured straight from their Y'CbCr samples, row by row on
// several threads, against the light of the whole picture (picture::toLinear,
// the PQ EOTF per sample) counted by the collector on one thread: the same
// histogram, bit for bit, on made-up pictures of awkward sizes and on every
// picture of a real film sample (its first also against the light).
#include "measure/frame_statistics.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "picture/video_decoder.h"
#include "picture/yuv_to_rgb.h"

namespace kestrel::measure {
namespace {

// Everything a collector holds, compared: the whole histogram and the peaks
// (through the statistics).
void expectSameCollectors(const StatisticsCollector& a, const StatisticsCollector& b,
                          const std::string& what) {
    EXPECT_TRUE(a.statistics() == b.statistics()) << what;
    ASSERT_EQ(a.histogram().total(), b.histogram().total()) << what;
    for (uint32_t c = 0; c < MaxRgbHistogram::kBins; ++c)
        ASSERT_EQ(a.histogram().count(c), b.histogram().count(c)) << what << ", code " << c;
}

StatisticsCollector throughLight(const picture::YuvFrame& frame) {
    StatisticsCollector c;
    auto light = picture::toLinear(frame, 1);
    EXPECT_TRUE(light.ok());
    if (light) {
        EXPECT_TRUE(c.add(*light, 1).ok());
    }
    return c;
}

picture::YuvFrame randomFrame(unsigned w, unsigned h, unsigned seed, bool fullRange) {
    picture::YuvFrame f;
    f.width = w;
    f.height = h;
    f.bitDepth = 10;
    f.chromaShiftX = f.chromaShiftY = 1;
    f.colour.transfer = picture::Transfer::Pq;
    f.colour.matrix = picture::Matrix::Bt2020Ncl;
    f.colour.fullRange = fullRange;
    std::srand(seed);
    // Every code, below black and above white included, so that signals
    // stray past 0 and 1 as limited-range video can.
    f.y.resize(size_t{w} * h);
    for (auto& v : f.y) v = static_cast<uint16_t>(std::rand() % 1024);
    f.cb.resize(size_t{f.chromaWidth()} * f.chromaHeight());
    f.cr.resize(f.cb.size());
    for (auto& v : f.cb) v = static_cast<uint16_t>(std::rand() % 1024);
    for (auto& v : f.cr) v = static_cast<uint16_t>(std::rand() % 1024);
    return f;
}

TEST(FrameStatisticsThreads, RowsOnAnyThreadCountGiveTheLightsHistogram) {
    // Odd sizes: blocks of unequal height, a last chroma row and column of
    // their own, more threads than rows. Left-sited chroma (HEVC's default)
    // takes the one-pass rows, centre-sited the general conversion.
    struct Case {
        unsigned w, h;
        bool full;
        picture::ChromaSiting siting;
    };
    const auto left = picture::ChromaSiting::Left, centre = picture::ChromaSiting::Center;
    for (const Case c : {Case{97, 41, false, left}, Case{64, 3, true, left}, Case{1, 1, false, left},
                         Case{255, 130, true, left}, Case{97, 41, false, centre}}) {
        picture::YuvFrame frame = randomFrame(c.w, c.h, c.w * 131 + c.h, c.full);
        frame.colour.siting = c.siting;
        const StatisticsCollector expected = throughLight(frame);
        for (unsigned threads : {1u, 2u, 5u}) {
            FrameMeasurer measurer(threads);
            StatisticsCollector got;
            ASSERT_TRUE(measurer.add(frame, got).ok());
            expectSameCollectors(got, expected,
                                 std::to_string(c.w) + "x" + std::to_string(c.h) + " on " +
                                     std::to_string(threads) + " threads");
        }
    }
}

TEST(FrameStatisticsThreads, AMeasurerKeptFromPictureToPictureStartsEachAfresh) {
    // Its counters are reused: nothing of one picture may leak into the next.
    FrameMeasurer measurer(2);
    for (unsigned seed : {1u, 2u, 3u}) {
        const picture::YuvFrame frame = randomFrame(120, 68, seed, false);
        StatisticsCollector got;
        ASSERT_TRUE(measurer.add(frame, got).ok());
        expectSameCollectors(got, throughLight(frame), "picture " + std::to_string(seed));
    }
}

TEST(FrameStatisticsThreads, EveryPictureOfARealFilmSampleOnTwoThreadsAsOnOne) {
    const std::string dir = KESTREL_HDR10PLUS_DIR;
    if (dir.empty()) GTEST_SKIP() << "the shared HDR10+ samples are not here";
    // The decoder on one thread: the threads under test are the measurer's.
    picture::DecoderOptions single;
    single.threads = 1;
    auto decoder = picture::VideoDecoder::open(dir + "/streams/ToS-s01.h265", single);
    ASSERT_TRUE(decoder.ok()) << decoder.status().message();
    FrameMeasurer one(1), two(2);
    picture::YuvFrame frame;
    unsigned pictures = 0;
    for (;;) {
        auto got = (*decoder)->next(frame);
        ASSERT_TRUE(got.ok()) << got.status().message();
        if (!*got) break;
        StatisticsCollector a, b;
        ASSERT_TRUE(one.add(frame, a).ok());
        ASSERT_TRUE(two.add(frame, b).ok());
        expectSameCollectors(b, a, "picture " + std::to_string(pictures));
        // The EOTF per sample is slow (under the sanitizers above all): the
        // independent way once.
        if (pictures == 0) expectSameCollectors(a, throughLight(frame), "picture 0");
        ++pictures;
    }
    EXPECT_EQ(pictures, 6u);
}

TEST(FrameStatistics, PicturesThatAreNotPqOrWhosePlanesDoNotFitAreRefusedAddingNothing) {
    FrameMeasurer measurer(2);
    picture::YuvFrame hlg = randomFrame(16, 8, 5, false);
    hlg.colour.transfer = picture::Transfer::Hlg;
    StatisticsCollector c;
    Status refused = measurer.add(hlg, c);
    EXPECT_FALSE(refused.ok());
    EXPECT_NE(refused.message().find("HLG"), std::string::npos) << refused.message();

    picture::YuvFrame cut = randomFrame(16, 8, 6, false);
    cut.cr.pop_back();
    refused = measurer.add(cut, c);
    EXPECT_EQ(refused.message(), "a 16x8 picture whose planes do not hold that many samples");
    EXPECT_EQ(c.histogram().total(), 0u);
}

}  // namespace
}  // namespace kestrel::measure
