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
#include "support/remux.h"

namespace kestrel::container {
namespace {

namespace fs = std::filesystem;

using test::remux;

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
