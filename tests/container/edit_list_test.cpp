// SPDX-License-Identifier: Apache-2.0
// An MP4 whose edit list leaves samples out of the presentation: the track
// reader must give exactly the pictures a player shows, in its order. The
// player here is libavcodec's decoder fed by libavformat's demuxer, which is
// what a player built on them shows; the pictures it gives out are told
// apart by their packets' (distinct) times.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "container/hevc_track.h"
#include "support/remux.h"

namespace kestrel::container {
namespace {

namespace fs = std::filesystem;

struct Sample {
    int64_t pos;
    int64_t size;
    bool outsideEdit;
};

struct Samples {
    std::vector<Sample> samples;    // in decoding order
    std::vector<size_t> displayed;  // the sample of each picture the decoder gives out
};

// The track's samples as the demuxer gives them, and which of them the
// decoder turns into pictures that it gives out, in the order it does.
Samples decode(const std::string& path, std::string& error) {
    Samples out;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        error = "cannot open " + path;
        return out;
    }
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> input(
        raw, [](AVFormatContext* c) { avformat_close_input(&c); });
    const AVCodecParameters* par = input->streams[0]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> decoder(
        avcodec_alloc_context3(codec), [](AVCodecContext* c) { avcodec_free_context(&c); });
    avcodec_parameters_to_context(decoder.get(), par);
    decoder->thread_count = 1;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        error = "no decoder";
        return out;
    }
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(),
                                                          [](AVPacket* p) { av_packet_free(&p); });
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(),
                                                       [](AVFrame* f) { av_frame_free(&f); });
    std::map<int64_t, size_t> sampleAt;  // by presentation time
    auto drain = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
            auto found = sampleAt.find(frame->pts);
            if (found == sampleAt.end()) {
                error = "a picture of no sample's time " + std::to_string(frame->pts);
                return;
            }
            out.displayed.push_back(found->second);
        }
    };
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (!sampleAt.emplace(packet->pts, out.samples.size()).second) {
            error = "two samples at time " + std::to_string(packet->pts);
            return out;
        }
        out.samples.push_back(
            {packet->pos, packet->size, (packet->flags & AV_PKT_FLAG_DISCARD) != 0});
        avcodec_send_packet(decoder.get(), packet.get());
        av_packet_unref(packet.get());
        drain();
    }
    avcodec_send_packet(decoder.get(), nullptr);
    drain();
    return out;
}

// The sample each picture our reader gives comes from, in its order.
std::vector<size_t> readerOrder(const std::string& path, const Samples& s, std::string& error) {
    std::vector<size_t> order;
    Status read = readHevcTrack(
        path,
        [&](hevc::Picture&& p) {
            const int64_t at = static_cast<int64_t>(p.offset);
            size_t i = 0;
            while (i < s.samples.size() &&
                   !(s.samples[i].pos <= at && at < s.samples[i].pos + s.samples[i].size))
                ++i;
            order.push_back(i);  // s.samples.size(): in no sample
        },
        nullptr);
    if (!read.ok()) error = read.message();
    return order;
}

class EditList : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string(KESTREL_HDR10PLUS_DIR).empty()) GTEST_SKIP() << "no sample streams";
        mWork = fs::temp_directory_path() / ("kestrel-edit-" + std::to_string(getpid()));
        fs::create_directories(mWork);
    }
    void TearDown() override {
        if (!mWork.empty()) fs::remove_all(mWork);
    }
    fs::path mWork;
};

// Nine pictures, an IDR picture and B-pictures two deep: copied as a stream
// copy does, the first two samples in decoding order (the IDR picture, shown
// first, and the picture decoded next, shown fifth) fall before the edit. A
// player shows seven pictures; the reader must give the same seven.
TEST_F(EditList, TheReaderGivesThePicturesAPlayerShowsInItsOrder) {
    const std::string from = std::string(KESTREL_HDR10PLUS_DIR) + "/streams/ToS-s07.h265";
    const std::string path = (mWork / "copy.mp4").string();
    std::string error;
    ASSERT_TRUE(test::remux(from, path, "mp4", false, error, test::Timing::StreamCopy)) << error;

    Samples s = decode(path, error);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_EQ(s.samples.size(), 9u);
    // The file really has an edit list that leaves out the first two.
    for (size_t i = 0; i < s.samples.size(); ++i)
        EXPECT_EQ(s.samples[i].outsideEdit, i < 2) << "sample " << i;
    ASSERT_EQ(s.displayed.size(), 7u);

    std::vector<size_t> got = readerOrder(path, s, error);
    EXPECT_TRUE(error.empty()) << error;
    EXPECT_EQ(got, s.displayed);
    // Not simply the first pictures in display order: the one decoded second
    // is shown between others, and is missing there.
    EXPECT_EQ(std::count(got.begin(), got.end(), 0u), 0);
    EXPECT_EQ(std::count(got.begin(), got.end(), 1u), 0);
}

// The same stream copied with presentation from its first sample has no
// samples outside an edit: all nine pictures, as before.
TEST_F(EditList, WithoutOneEveryPictureIsGiven) {
    const std::string from = std::string(KESTREL_HDR10PLUS_DIR) + "/streams/ToS-s07.h265";
    const std::string path = (mWork / "in-order.mp4").string();
    std::string error;
    ASSERT_TRUE(test::remux(from, path, "mp4", false, error, test::Timing::InOrder)) << error;

    Samples s = decode(path, error);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_EQ(s.samples.size(), 9u);
    for (const Sample& sample : s.samples) EXPECT_FALSE(sample.outsideEdit);
    ASSERT_EQ(s.displayed.size(), 9u);
    // The two samples the edit list leaves out are the first and the fifth
    // picture shown.
    EXPECT_EQ(s.displayed[0], 0u);
    EXPECT_EQ(s.displayed[4], 1u);
    EXPECT_EQ(readerOrder(path, s, error), s.displayed);
    EXPECT_TRUE(error.empty()) << error;
}

}  // namespace
}  // namespace kestrel::container
