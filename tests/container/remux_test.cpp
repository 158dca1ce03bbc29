// SPDX-License-Identifier: Apache-2.0
// The Matroska sample remuxed into other containers by libavformat's muxers:
// MP4 (hvcC, length-prefixed samples), MPEG-TS (Annex B samples), and
// Matroska with the HDR10+ payloads moved out of the samples' SEI into block
// additions. Each must give the same payload for every picture as the
// original file. A raw stream with a NAL unit over 64 KiB, remuxed into MP4
// and Matroska, must give the raw stream's pictures.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/log.h>
}

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "container/hevc_track.h"
#include "hevc/annexb.h"

namespace kestrel::container {
namespace {

namespace fs = std::filesystem;

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

// Copies the video track of `from` into a new file of `format`.
bool remux(const std::string& from, const std::string& to, const char* format,
           bool toBlockAdditions, std::string& error) {
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
    int64_t frame = 0;
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
            // Matroska leaves decoding times open, which MP4 needs; the
            // reader orders pictures by their order counts, not by time, so
            // plain increasing times do.
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

std::vector<std::vector<uint8_t>> payloadsOf(const std::string& path, std::string& error) {
    std::vector<std::vector<uint8_t>> payloads;
    auto damage = readHevcTrack(
        path,
        [&](hevc::Picture&& p) {
            payloads.push_back(p.hdr10plus ? p.hdr10plus->bytes : std::vector<uint8_t>());
        },
        nullptr);
    if (!damage.ok()) error = damage.message();
    return payloads;
}

TEST(Remux, EveryContainerGivesTheSamePayloadsAsTheOriginal) {
    const std::string dir = KESTREL_HDR10PLUS_DIR;
    if (dir.empty()) GTEST_SKIP() << "no sample streams";
    const std::string original = dir + "/streams/regular.mkv";
    std::string error;
    std::vector<std::vector<uint8_t>> expected = payloadsOf(original, error);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_EQ(expected.size(), 259u);

    fs::path work = fs::temp_directory_path() / ("kestrel-remux-" + std::to_string(getpid()));
    fs::create_directories(work);
    struct Case {
        const char* name;
        const char* format;
        bool blockAdditions;
    };
    for (const Case& c : {Case{"clip.mp4", "mp4", false}, Case{"clip.ts", "mpegts", false},
                          Case{"additions.mkv", "matroska", true}}) {
        SCOPED_TRACE(c.name);
        std::string path = (work / c.name).string();
        ASSERT_TRUE(remux(original, path, c.format, c.blockAdditions, error)) << error;
        std::vector<std::vector<uint8_t>> got = payloadsOf(path, error);
        EXPECT_TRUE(error.empty()) << error;
        ASSERT_EQ(got.size(), expected.size());
        for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], expected[i]) << "frame " << i;
    }
    fs::remove_all(work);
}

// The largest NAL unit of an Annex B file, by the distance between its start
// codes (less the start code and a fourth zero byte of the next one).
size_t largestUnit(const std::vector<uint8_t>& bytes) {
    size_t largest = 0, start = 0;
    for (size_t i = 0; i + 3 <= bytes.size(); ++i) {
        if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1) {
            if (start > 0) largest = std::max(largest, i - start - 1);
            start = i + 3;
        }
    }
    return std::max(largest, bytes.size() - start);
}

// The clip's intra picture is one slice of about 170 KB, so its length field
// needs more than its two low bytes: in MP4 and Matroska the clip must give
// the raw stream's pictures, one for one, with the same metadata.
TEST(Remux, SamplesWithUnitsOver64KiBGiveTheRawStreamsPictures) {
    const std::string dir = KESTREL_HDR10PLUS_DIR;
    if (dir.empty()) GTEST_SKIP() << "no sample streams";
    const std::string original = dir + "/streams/ToS-s01.h265";
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(original.c_str(), "rb"),
                                                         &std::fclose);
    ASSERT_TRUE(file);
    std::vector<uint8_t> bytes(1 << 20);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
    ASSERT_GE(largestUnit(bytes), size_t{1} << 16);

    struct Shown {
        uint64_t decodeIndex;
        std::vector<uint8_t> payload;
    };
    auto collect = [](std::vector<Shown>& into) {
        return [&into](hevc::Picture&& p) {
            into.push_back(
                {p.decodeIndex, p.hdr10plus ? p.hdr10plus->bytes : std::vector<uint8_t>()});
        };
    };
    std::vector<Shown> expected;
    std::rewind(file.get());
    auto damage = hevc::readAnnexB(file.get(), collect(expected), nullptr);
    ASSERT_TRUE(damage.ok()) << damage.message();
    ASSERT_EQ(expected.size(), 6u);
    ASSERT_FALSE(expected[0].payload.empty());

    fs::path work = fs::temp_directory_path() / ("kestrel-large-" + std::to_string(getpid()));
    fs::create_directories(work);
    for (const auto& [name, format] : {std::pair{"large.mp4", "mp4"}, {"large.mkv", "matroska"}}) {
        SCOPED_TRACE(name);
        const std::string path = (work / name).string();
        std::string error;
        ASSERT_TRUE(remux(original, path, format, false, error)) << error;
        std::vector<Shown> got;
        damage = readHevcTrack(path, collect(got), nullptr);
        EXPECT_TRUE(damage.ok()) << damage.message();
        ASSERT_EQ(got.size(), expected.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].decodeIndex, expected[i].decodeIndex) << "picture " << i;
            EXPECT_EQ(got[i].payload, expected[i].payload) << "picture " << i;
        }
    }
    fs::remove_all(work);
}

// A file is a file whatever its name: a relative name with a colon
// ("take:1.mkv") reads like any other, and does not name a protocol.
TEST(ContainerPath, RelativeNameWithAColonIsAFile) {
    const std::string dir = KESTREL_HDR10PLUS_DIR;
    if (dir.empty()) GTEST_SKIP() << "no sample streams";
    fs::path work = fs::temp_directory_path() / ("kestrel-colon-" + std::to_string(getpid()));
    fs::create_directories(work);
    fs::copy_file(dir + "/streams/regular.mkv", work / "take:1.mkv",
                  fs::copy_options::overwrite_existing);
    const fs::path before = fs::current_path();
    fs::current_path(work);
    std::string error;
    std::vector<std::vector<uint8_t>> got = payloadsOf("take:1.mkv", error);
    fs::current_path(before);
    fs::remove_all(work);
    EXPECT_TRUE(error.empty()) << error;
    EXPECT_EQ(got.size(), 259u);
}

}  // namespace
}  // namespace kestrel::container
