// SPDX-License-Identifier: Apache-2.0
// The decoder on streams made in the test (lossless, so every sample is
// known) and on the sample streams, whose HDR10+ metadata tells each
// picture's place in display order: the decoder's pictures must carry the
// metadata our own reader assigns to the same display index.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "hdr10plus/payload.h"
#include "hevc/annexb.h"
#include "picture/video_decoder.h"
#include "support/remux.h"
#include "support/synthetic_video.h"
#ifdef KESTREL_HAVE_CONTAINERS
#include "container/hevc_track.h"
#endif

namespace kestrel::picture {
namespace {

using test::EncodeOptions;
using test::YuvPicture;

std::string encodeToFile(const std::string& name, const std::vector<YuvPicture>& pictures,
                         const EncodeOptions& options = {}) {
    std::string error;
    std::vector<uint8_t> bytes = test::encodeHevc(pictures, options, error);
    EXPECT_FALSE(bytes.empty()) << error;
    return test::writeTemporary(name, bytes);
}

std::vector<YuvFrame> decodeAll(const std::string& path, const DecoderOptions& options = {}) {
    std::vector<YuvFrame> frames;
    auto decoder = VideoDecoder::open(path, options);
    EXPECT_TRUE(decoder.ok()) << decoder.status().message();
    if (!decoder.ok()) return frames;
    for (;;) {
        YuvFrame f;
        Result<bool> got = (*decoder)->next(f);
        EXPECT_TRUE(got.ok()) << got.status().message();
        if (!got.ok() || !*got) break;
        frames.push_back(std::move(f));
    }
    return frames;
}

// A 4:2:0 picture whose every sample differs from its neighbours: any
// lost, swapped or shifted sample shows.
YuvPicture texture(unsigned w, unsigned h, unsigned seed) {
    YuvPicture p = test::flatPicture(w, h, 0);
    for (unsigned i = 0; i < p.y.size(); i++) p.y[i] = static_cast<uint16_t>(64 + (i * 37 + seed) % 877);
    for (unsigned i = 0; i < p.cb.size(); i++) {
        p.cb[i] = static_cast<uint16_t>(64 + (i * 53 + seed) % 897);
        p.cr[i] = static_cast<uint16_t>(64 + (i * 71 + seed * 3) % 897);
    }
    return p;
}

TEST(VideoDecoder, LosslessStreamWithBPicturesComesBackExactlyInDisplayOrder) {
    // Each picture its own grey, so a picture out of place is seen.
    std::vector<YuvPicture> pictures;
    for (unsigned i = 0; i < 7; i++)
        pictures.push_back(test::flatPicture(64, 48, static_cast<uint16_t>(100 + 100 * i)));
    pictures[3] = texture(64, 48, 3);
    const std::string path = encodeToFile("order.hevc", pictures);
    std::vector<YuvFrame> frames = decodeAll(path);
    ASSERT_EQ(frames.size(), pictures.size());
    for (unsigned i = 0; i < frames.size(); i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(frames[i].index, i);
        EXPECT_EQ(frames[i].width, 64u);
        EXPECT_EQ(frames[i].height, 48u);
        EXPECT_EQ(frames[i].bitDepth, 10u);
        EXPECT_EQ(frames[i].chromaShiftX, 1u);
        EXPECT_EQ(frames[i].chromaShiftY, 1u);
        EXPECT_EQ(frames[i].y, pictures[i].y);
        EXPECT_EQ(frames[i].cb, pictures[i].cb);
        EXPECT_EQ(frames[i].cr, pictures[i].cr);
        EXPECT_EQ(frames[i].colour.transfer, Transfer::Pq);
        EXPECT_EQ(frames[i].colour.matrix, Matrix::Bt2020Ncl);
        EXPECT_EQ(frames[i].colour.primaries, Primaries::Bt2020);
        EXPECT_FALSE(frames[i].colour.fullRange);
        EXPECT_FALSE(frames[i].hdr10plus);
    }
    std::filesystem::remove(path);
}

TEST(VideoDecoder, SeekForwardGivesThePictureOfThatDisplayIndexAndCountsTheStream) {
    std::vector<YuvPicture> pictures;
    for (unsigned i = 0; i < 5; i++)
        pictures.push_back(test::flatPicture(32, 32, static_cast<uint16_t>(200 + i), 512, 512, true));
    const std::string path = encodeToFile("seek.hevc", pictures);
    auto decoder = VideoDecoder::open(path);
    ASSERT_TRUE(decoder.ok());
    Result<YuvFrame> third = (*decoder)->seekForward(3);
    ASSERT_TRUE(third.ok()) << third.status().message();
    EXPECT_EQ(third->index, 3u);
    EXPECT_EQ(third->chromaShiftX, 0u);
    EXPECT_EQ(third->y.front(), 203);
    Result<YuvFrame> past = (*decoder)->seekForward(5);
    ASSERT_FALSE(past.ok());
    EXPECT_EQ(past.status().message(), "there is no picture 5: the stream has 5");
    EXPECT_EQ(past.status().kind(), ErrorKind::OutOfRange);
    std::filesystem::remove(path);
}

TEST(VideoDecoder, FullRangeAndOtherTransfersAreReportedAsTheStreamStatesThem) {
    EncodeOptions full;
    full.fullRange = true;
    const std::string a = encodeToFile("full.hevc", {test::flatPicture(16, 16, 1000)}, full);
    std::vector<YuvFrame> frames = decodeAll(a);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(frames[0].colour.fullRange);
    EXPECT_EQ(frames[0].y.front(), 1000);

    EncodeOptions hlg;
    hlg.transfer = test::Transfer::Hlg;
    const std::string b = encodeToFile("hlg.hevc", {test::flatPicture(16, 16, 500)}, hlg);
    frames = decodeAll(b);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].colour.transfer, Transfer::Hlg);
    std::filesystem::remove(a);
    std::filesystem::remove(b);
}

TEST(VideoDecoder, HostileFilesEndWithTheirReason) {
    // Not a video at all.
    const std::string text = test::writeTemporary("text.hevc", {'h', 'e', 'l', 'l', 'o', '\n'});
    auto none = VideoDecoder::open(text);
    ASSERT_FALSE(none.ok());
    EXPECT_NE(none.status().message().find("no video the demuxer can read"), std::string::npos)
        << none.status().message();
    std::filesystem::remove(text);

    auto missing = VideoDecoder::open("/nonexistent/clip.hevc");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.status().kind(), ErrorKind::Io);

    // Larger than the limit: refused at the picture, before its samples are copied.
    const std::string big = encodeToFile("big.hevc", {test::flatPicture(64, 64, 300)});
    DecoderOptions small;
    small.maxPixels = 64 * 64 - 1;
    auto decoder = VideoDecoder::open(big, small);
    if (decoder.ok()) {
        YuvFrame f;
        Result<bool> got = (*decoder)->next(f);
        ASSERT_FALSE(got.ok());
        EXPECT_EQ(got.status().kind(), ErrorKind::OutOfRange) << got.status().message();
    } else {
        EXPECT_EQ(decoder.status().kind(), ErrorKind::OutOfRange);
    }
    small.maxPixels = 64 * 64;  // exactly at the limit: taken
    EXPECT_EQ(decodeAll(big, small).size(), 1u);
    std::filesystem::remove(big);
}

TEST(VideoDecoder, CutStreamEndsEarlyAndSaysHowManyPicturesItHas) {
    std::vector<YuvPicture> pictures;
    for (unsigned i = 0; i < 6; i++) pictures.push_back(texture(64, 64, i));
    std::string error;
    std::vector<uint8_t> bytes = test::encodeHevc(pictures, {}, error);
    ASSERT_FALSE(bytes.empty()) << error;
    bytes.resize(bytes.size() * 2 / 3);
    const std::string path = test::writeTemporary("cut.hevc", bytes);
    auto decoder = VideoDecoder::open(path);
    ASSERT_TRUE(decoder.ok());
    Result<YuvFrame> first = (*decoder)->seekForward(0);
    ASSERT_TRUE(first.ok()) << first.status().message();
    EXPECT_EQ(first->y, pictures[0].y);
    EXPECT_EQ(first->codedOffset, 0);
    // The pictures coded after the cut are not there. (The one cut in the
    // middle of its slice data decodes, unflagged, from what is left: the
    // decoder cannot tell; its coded offset shows it is not picture 1.)
    Result<YuvFrame> past = (*decoder)->seekForward(5);
    ASSERT_FALSE(past.ok());
    EXPECT_EQ(past.status().kind(), ErrorKind::OutOfRange);
    EXPECT_NE(past.status().message().find("there is no picture 5: the stream has "),
              std::string::npos)
        << past.status().message();
    std::filesystem::remove(path);
}

TEST(VideoDecoder, LosslessStreamsInEveryContainerAndAv1DecodeToTheSameSamples) {
    std::vector<YuvPicture> pictures;
    for (unsigned i = 0; i < 4; i++) pictures.push_back(texture(64, 32, i));
    const std::string annexB = encodeToFile("containers.hevc", pictures);
    std::vector<std::string> files = {annexB};
    for (const auto& [format, name] : {std::pair<const char*, const char*>{"mp4", "c.mp4"},
                                       {"mpegts", "c.ts"},
                                       {"matroska", "c.mkv"}}) {
        const std::string to = test::writeTemporary(name, {});
        std::string error;
        ASSERT_TRUE(container::test::remux(annexB, to, format, false, error)) << error;
        files.push_back(to);
    }
    const std::string av1 = test::writeTemporary("c-av1.mkv", {});
    std::string error;
    const bool haveAv1 = test::writeAv1Matroska(av1, pictures, {}, error);
    if (haveAv1) files.push_back(av1);
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        std::vector<YuvFrame> frames = decodeAll(file);
        ASSERT_EQ(frames.size(), pictures.size());
        for (unsigned i = 0; i < frames.size(); i++) {
            EXPECT_EQ(frames[i].y, pictures[i].y) << i;
            EXPECT_EQ(frames[i].cr, pictures[i].cr) << i;
            EXPECT_EQ(frames[i].colour.transfer, Transfer::Pq);
            EXPECT_EQ(frames[i].colour.matrix, Matrix::Bt2020Ncl);
        }
        std::filesystem::remove(file);
    }
    // Debian's libavcodec decodes AV1 (libdav1d) and encodes it (libaom).
    EXPECT_TRUE(haveAv1) << error;
}

// --- the sample streams -------------------------------------------------------

class SampleStreams : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (std::string(KESTREL_HDR10PLUS_DIR).empty()) GTEST_SKIP() << "no sample streams";
    }
};

// Our reader's HDR10+ frame for each display index (empty optional where a
// picture carries no message of its own).
std::vector<std::optional<hdr10plus::Frame>> ownMetadata(const std::string& path) {
    std::vector<std::optional<hdr10plus::Frame>> frames;
    auto sink = [&](hevc::Picture&& p) {
        std::optional<hdr10plus::Frame> f;
        if (p.hdr10plus && p.ownMessages > 0) {
            Result<hdr10plus::Frame> r =
                hdr10plus::parsePayload(p.hdr10plus->bytes.data(), p.hdr10plus->bytes.size());
            if (r.ok()) f = *r;
        }
        frames.push_back(f);
    };
#ifdef KESTREL_HAVE_CONTAINERS
    if (path.size() > 4 && path.substr(path.size() - 4) == ".mkv") {
        EXPECT_TRUE(container::readHevcTrack(path, sink, nullptr).ok());
        return frames;
    }
#endif
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    EXPECT_TRUE(hevc::readAnnexB(file.get(), sink, nullptr).ok());
    return frames;
}

TEST_P(SampleStreams, EveryPictureCarriesTheMetadataOurReaderGivesItsDisplayIndex) {
    const std::string path = std::string(KESTREL_HDR10PLUS_DIR) + "/streams/" + GetParam();
    std::vector<std::optional<hdr10plus::Frame>> expected = ownMetadata(path);
    std::vector<YuvFrame> frames = decodeAll(path);
    ASSERT_EQ(frames.size(), expected.size());
    unsigned compared = 0;
    for (size_t i = 0; i < frames.size(); i++) {
        SCOPED_TRACE("picture " + std::to_string(i));
        EXPECT_EQ(frames[i].colour.transfer, Transfer::Pq);
        if (!expected[i]) continue;
        ASSERT_TRUE(frames[i].hdr10plus);
        const hdr10plus::Window& w = expected[i]->windows.at(0);
        const DecodedHdr10Plus& d = *frames[i].hdr10plus;
        EXPECT_EQ(d.targetedPeak, expected[i]->targeted_system_display_maximum_luminance);
        EXPECT_EQ(d.maxscl[0], w.maxscl[0]);
        EXPECT_EQ(d.maxscl[1], w.maxscl[1]);
        EXPECT_EQ(d.maxscl[2], w.maxscl[2]);
        EXPECT_EQ(d.averageMaxRgb, w.average_maxrgb);
        ASSERT_EQ(d.distribution.size(), w.distribution.size());
        for (size_t k = 0; k < w.distribution.size(); k++) {
            EXPECT_EQ(d.distribution[k].first, w.distribution[k].percentage);
            EXPECT_EQ(d.distribution[k].second, w.distribution[k].percentile);
        }
        compared++;
    }
    EXPECT_GT(compared, 0u);
}

#ifdef KESTREL_HAVE_CONTAINERS
// An MP4 copied from a raw stream as a stream copy does has an edit list
// that leaves the first two samples (the IDR picture, shown first, and the
// picture decoded next, shown fifth) out of the presentation. The decoder
// gives out the seven pictures a player shows; frame N must be the picture
// our reader gives as frame N, with that picture's metadata.
TEST_F(SampleStreams, AnEditListedCopyPairsEachPictureWithItsMetadata) {
    const std::string from = std::string(KESTREL_HDR10PLUS_DIR) + "/streams/ToS-s07.h265";
    const std::string path = test::writeTemporary("edit-listed.mp4", {});
    std::string error;
    ASSERT_TRUE(container::test::remux(from, path, "mp4", false, error,
                                       container::test::Timing::StreamCopy))
        << error;
    struct Shown {
        uint64_t offset;
        std::optional<hdr10plus::Frame> metadata;
    };
    std::vector<Shown> shown;
    Status read = container::readHevcTrack(
        path,
        [&](hevc::Picture&& p) {
            Shown s{p.offset, std::nullopt};
            if (p.hdr10plus && p.ownMessages > 0) {
                Result<hdr10plus::Frame> r =
                    hdr10plus::parsePayload(p.hdr10plus->bytes.data(), p.hdr10plus->bytes.size());
                if (r.ok()) s.metadata = *r;
            }
            shown.push_back(std::move(s));
        },
        nullptr);
    ASSERT_TRUE(read.ok()) << read.message();
    std::vector<YuvFrame> frames = decodeAll(path);
    std::filesystem::remove(path);
    ASSERT_EQ(shown.size(), 7u);
    ASSERT_EQ(frames.size(), 7u);
    unsigned compared = 0;
    for (size_t i = 0; i < frames.size(); i++) {
        SCOPED_TRACE("picture " + std::to_string(i));
        // The picture's first slice lies in the sample the decoder made it from.
        const int64_t at = static_cast<int64_t>(shown[i].offset);
        EXPECT_LE(frames[i].codedOffset, at);
        EXPECT_LT(at, frames[i].codedOffset + frames[i].codedSize);
        if (!shown[i].metadata) continue;
        ASSERT_TRUE(frames[i].hdr10plus);
        EXPECT_EQ(frames[i].hdr10plus->maxscl[0], shown[i].metadata->windows.at(0).maxscl[0]);
        EXPECT_EQ(frames[i].hdr10plus->averageMaxRgb,
                  shown[i].metadata->windows.at(0).average_maxrgb);
        compared++;
    }
    EXPECT_GT(compared, 0u);
}
#endif

INSTANTIATE_TEST_SUITE_P(ReorderedStreams, SampleStreams,
                         ::testing::Values("regular.hevc", "dhdr10-opt.hevc", "ToS-s01.h265",
                                           "ToS-s07.h265", "ToS-s09.h265"
#ifdef KESTREL_HAVE_CONTAINERS
                                           ,
                                           "regular.mkv"
#endif
                                           ));

}  // namespace
}  // namespace kestrel::picture
