// SPDX-License-Identifier: Apache-2.0
// The byte level: start codes, emulation prevention and SEI messages.
#include "hevc/annexb.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hevc/nal_unit.h"
#include "hevc/sei.h"
#include "hevc/stream_builder.h"

namespace kestrel::hevc {
namespace {

struct Seen {
    std::vector<uint8_t> bytes;
    uint64_t offset;
};

std::vector<Seen> split(const std::vector<uint8_t>& stream, size_t chunk) {
    std::vector<Seen> units;
    AnnexBSplitter splitter([&](const NalUnit& unit) {
        units.push_back({std::vector<uint8_t>(unit.data, unit.data + unit.size), unit.offset});
        return true;
    });
    for (size_t i = 0; i < stream.size(); i += chunk)
        splitter.feed(stream.data() + i, std::min(chunk, stream.size() - i));
    splitter.finish();
    return units;
}

TEST(AnnexBSplitter, ThreeAndFourByteStartCodesAtEveryChunkBoundary) {
    // Three SEI units (kept whole): 3-byte start code, 4-byte, 3-byte; the
    // second ends in a zero pair that belongs to no unit (trailing zeros).
    std::vector<uint8_t> stream = {0x00, 0x00, 0x01, 0x4e, 0x01, 0xaa, 0x80, 0x00, 0x00,
                                   0x00, 0x01, 0x4e, 0x01, 0xbb, 0x01, 0x80, 0x00, 0x00,
                                   0x00, 0x00, 0x01, 0x4e, 0x01, 0xcc, 0x80};
    for (size_t chunk = 1; chunk <= stream.size(); ++chunk) {
        SCOPED_TRACE("chunk " + std::to_string(chunk));
        std::vector<Seen> units = split(stream, chunk);
        ASSERT_EQ(units.size(), 3u);
        EXPECT_EQ(units[0].bytes, (std::vector<uint8_t>{0x4e, 0x01, 0xaa, 0x80}));
        EXPECT_EQ(units[0].offset, 3u);
        // A 01 byte inside a unit is not a start code without two zeros before it.
        EXPECT_EQ(units[1].bytes, (std::vector<uint8_t>{0x4e, 0x01, 0xbb, 0x01, 0x80}));
        EXPECT_EQ(units[1].offset, 11u);
        EXPECT_EQ(units[2].bytes, (std::vector<uint8_t>{0x4e, 0x01, 0xcc, 0x80}));
        EXPECT_EQ(units[2].offset, 21u);
    }
}

TEST(AnnexBSplitter, KeepsOnlyTheHeadOfSliceData) {
    std::vector<uint8_t> stream = {0, 0, 1, 0x02, 0x01};
    stream.resize(stream.size() + 100000, 0x55);
    stream.insert(stream.end(), {0, 0, 1, 0x4e, 0x01, 0x80});
    std::vector<NalUnit> units;
    std::vector<size_t> sizes;
    std::vector<bool> complete;
    AnnexBSplitter splitter([&](const NalUnit& unit) {
        sizes.push_back(unit.size);
        complete.push_back(unit.complete);
        return true;
    });
    splitter.feed(stream.data(), stream.size());
    splitter.finish();
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0], bytesNeeded(1));
    EXPECT_FALSE(complete[0]);
    EXPECT_EQ(sizes[1], 3u);
    EXPECT_TRUE(complete[1]);
}

TEST(AnnexBSplitter, IgnoresBytesBeforeTheFirstStartCodeAndStopsWhenAsked) {
    std::vector<uint8_t> stream = {0x12, 0x34, 0, 0, 1,    0x4e, 0x01,
                                   0x80, 0,    0, 1, 0x4e, 0x01, 0x80};
    unsigned calls = 0;
    AnnexBSplitter splitter([&](const NalUnit& unit) {
        EXPECT_EQ(unit.offset, 5u);
        ++calls;
        return false;
    });
    EXPECT_FALSE(splitter.feed(stream.data(), stream.size()));
    EXPECT_FALSE(splitter.finish());
    EXPECT_EQ(calls, 1u);
}

TEST(Unescape, RemovesOnlyThe03AfterAZeroPair) {
    std::vector<uint8_t> rbsp;
    const std::vector<uint8_t> escaped = {0x11, 0x00, 0x00, 0x03, 0x01, 0x00, 0x03,
                                          0x00, 0x00, 0x03, 0x00, 0x00, 0x03};
    unescape(escaped.data(), escaped.size(), rbsp);
    EXPECT_EQ(rbsp,
              (std::vector<uint8_t>{0x11, 0x00, 0x00, 0x01, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00}));
    // The builder's escaping and the reader's unescaping are inverse.
    std::vector<uint8_t> original = {0, 0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0};
    std::vector<uint8_t> coded = test::escape(original);
    unescape(coded.data(), coded.size(), rbsp);
    EXPECT_EQ(rbsp, original);
}

TEST(SeiMessages, SeveralMessagesWithExtendedTypeAndSize) {
    std::vector<uint8_t> big(300, 0x42);
    std::vector<uint8_t> unit =
        test::sei({{5, {1, 2, 3}}, {4, test::hdr10plusPayload(7)}, {256 + 255 + 4, big}});
    std::vector<uint8_t> rbsp;
    unescape(unit.data(), unit.size(), rbsp);
    std::vector<SeiMessage> messages;
    Status read = readSeiMessages(rbsp.data(), rbsp.size(), messages);
    ASSERT_TRUE(read.ok()) << read.message();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].type, 5u);
    EXPECT_EQ(messages[0].size, 3u);
    EXPECT_EQ(messages[1].type, 4u);
    EXPECT_TRUE(isHdr10PlusT35(messages[1].payload, messages[1].size));
    EXPECT_EQ(messages[2].type, 515u);  // FF FF 05
    EXPECT_EQ(messages[2].size, 300u);  // FF 2D
    EXPECT_EQ(messages[2].payload[299], 0x42);
}

TEST(SeiMessages, AMessageCutShortIsAnErrorAfterTheWholeOnes) {
    // Second message declares 9 bytes; 4 remain (3 of payload and the stop byte).
    std::vector<uint8_t> rbsp = {0x4e, 0x01, 0x05, 0x01, 0xaa, 0x04, 0x09, 0xb5, 0x00, 0x3c, 0x80};
    std::vector<SeiMessage> messages;
    Status read = readSeiMessages(rbsp.data(), rbsp.size(), messages);
    EXPECT_FALSE(read.ok());
    EXPECT_EQ(read.kind(), ErrorKind::Truncated);
    EXPECT_EQ(read.message(), "SEI message 1 (type 4) declares 9 bytes but its unit holds 4");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].type, 5u);
    // Exactly fitting: 4 bytes declared, 4 there (no trailing bits at all).
    rbsp[6] = 0x04;
    EXPECT_TRUE(readSeiMessages(rbsp.data(), rbsp.size(), messages).ok());
    EXPECT_EQ(messages.size(), 2u);
    // A unit that ends inside a size byte run.
    std::vector<uint8_t> cut = {0x4e, 0x01, 0x04, 0xff, 0xff};
    read = readSeiMessages(cut.data(), cut.size(), messages);
    EXPECT_FALSE(read.ok());
    EXPECT_EQ(read.message(), "SEI message 0 (type 4) ends inside its size");
}

TEST(Hdr10PlusT35, RecognisedByItsSixHeaderBytesOnly) {
    std::vector<uint8_t> payload = test::hdr10plusPayload(1);
    EXPECT_TRUE(isHdr10PlusT35(payload.data(), payload.size()));
    EXPECT_TRUE(isHdr10PlusT35(payload.data(), 6));
    EXPECT_FALSE(isHdr10PlusT35(payload.data(), 5));
    for (size_t i = 0; i < 6; ++i) {
        std::vector<uint8_t> wrong = payload;
        wrong[i] ^= 0x01;  // another country, provider, oriented code or application
        EXPECT_FALSE(isHdr10PlusT35(wrong.data(), wrong.size())) << "byte " << i;
    }
}

}  // namespace
}  // namespace kestrel::hevc
