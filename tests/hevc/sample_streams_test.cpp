// SPDX-License-Identifier: Apache-2.0
// The reader on the real sample streams, whole and damaged: cut at every byte
// and with bytes overwritten, it never reads outside its input, never hands a
// picture on twice, and names the damage inside the bytes it was given.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "hevc/annexb.h"

namespace kestrel::hevc {
namespace {

std::vector<uint8_t> sample(const std::string& name) {
    std::ifstream in(std::string(KESTREL_HDR10PLUS_DIR) + "/streams/" + name, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

struct Read {
    std::vector<uint64_t> decodeOrder;
    Status error;
};

Read readBytes(std::vector<uint8_t> bytes) {
    Read result;
    if (bytes.empty()) bytes.push_back(0);  // fmemopen needs a buffer
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(fmemopen(bytes.data(), bytes.size(), "rb"),
                                                         &std::fclose);
    result.error = readAnnexB(
        file.get(), [&](Picture&& p) { result.decodeOrder.push_back(p.decodeIndex); }, nullptr);
    return result;
}

class SampleStreams : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string(KESTREL_HDR10PLUS_DIR).empty()) GTEST_SKIP() << "no sample streams";
    }
};

TEST_F(SampleStreams, CutAtEveryByteGivesAPrefixOfTheWholeOrder) {
    // dhdr10-opt reorders pictures, so a cut stream must still come out in
    // display order: the pictures it shows are those of the whole stream
    // that were decoded before the cut, in the whole stream's order.
    std::vector<uint8_t> whole = sample("dhdr10-opt.hevc");
    ASSERT_GT(whole.size(), 4000u);
    Read all = readBytes(whole);
    ASSERT_TRUE(all.error.ok()) << all.error.message();
    ASSERT_EQ(all.decodeOrder.size(), 30u);
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        Read part = readBytes(std::vector<uint8_t>(whole.begin(), whole.begin() + cut));
        ASSERT_LE(part.decodeOrder.size(), all.decodeOrder.size()) << "cut at " << cut;
        std::vector<uint64_t> expected;
        for (uint64_t d : all.decodeOrder)
            if (d < part.decodeOrder.size()) expected.push_back(d);
        ASSERT_EQ(part.decodeOrder, expected) << "cut at " << cut;
        if (!part.error.ok()) {
            ASSERT_LE(part.error.where().byteOffset.value(), cut) << "cut at " << cut;
        }
    }
}

TEST_F(SampleStreams, OverwrittenBytesNeverBreakTheReader) {
    std::vector<uint8_t> whole = sample("single-frame.hevc");
    ASSERT_GT(whole.size(), 2000u);
    uint32_t x = 2024;
    for (int trial = 0; trial < 3000; ++trial) {
        std::vector<uint8_t> damaged = whole;
        for (int k = 0; k < 4; ++k) {
            x = x * 1664525u + 1013904223u;
            damaged[(x >> 8) % damaged.size()] = static_cast<uint8_t>(x >> 3);
        }
        Read r = readBytes(damaged);
        std::set<uint64_t> unique(r.decodeOrder.begin(), r.decodeOrder.end());
        ASSERT_EQ(unique.size(), r.decodeOrder.size());
        if (!r.error.ok()) {
            ASSERT_LT(r.error.where().byteOffset.value(), damaged.size());
        }
    }
}

}  // namespace
}  // namespace kestrel::hevc
