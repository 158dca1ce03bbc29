// SPDX-License-Identifier: Apache-2.0
// Writing a stream again with new HDR10+ messages: emulation prevention, SEI
// units that read back as written, and the rewrite of streams built with
// known picture orders, checked by reading the output back unit by unit.
#include "hevc/stream_rewrite.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "hevc/annexb.h"
#include "hevc/display_order.h"
#include "hevc/nal_unit.h"
#include "hevc/picture_layout.h"
#include "hevc/sei.h"
#include "hevc/sei_writer.h"
#include "hevc/stream_builder.h"

namespace kestrel::hevc {
namespace {

using test::append;
using test::hdr10plusPayload;
using test::sei;
using test::slice;

constexpr uint8_t kTrail = 1;
constexpr uint8_t kRasl = 9;
constexpr uint8_t kIdr = 19;
constexpr uint8_t kCra = 21;
constexpr unsigned kT35 = 4;
constexpr unsigned kUnregistered = 5;

using Bytes = std::vector<uint8_t>;
using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

File fileWith(const Bytes& bytes) {
    File file(std::tmpfile(), &std::fclose);
    std::fwrite(bytes.data(), 1, bytes.size(), file.get());
    std::fflush(file.get());
    std::rewind(file.get());
    return file;
}

Bytes contents(std::FILE* file) {
    std::fflush(file);
    std::fseek(file, 0, SEEK_SET);
    Bytes bytes;
    uint8_t buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    return bytes;
}

// The payload a picture gets: the HDR10+ header then its display index, so
// that a payload on the wrong picture shows.
Bytes payloadFor(uint64_t displayIndex) { return hdr10plusPayload(static_cast<uint8_t>(displayIndex)); }

struct Rewritten {
    Result<PictureLayout> layout = Status::failure(ErrorKind::Invalid, "not scanned");
    Bytes output;
};

Rewritten rewrite(const Bytes& stream) {
    Rewritten r;
    File in = fileWith(stream);
    r.layout = scanPictureLayout(in.get(), nullptr);
    if (!r.layout) return r;
    std::vector<Bytes> payloads;
    for (uint64_t i = 0; i < r.layout->shownPictures; ++i) payloads.push_back(payloadFor(i));
    File out(std::tmpfile(), &std::fclose);
    Result<RewriteSummary> done = rewriteWithT35(
        {in.get(), "in", out.get(), "out"}, *r.layout,
        [&](uint64_t i) -> const Bytes& { return payloads.at(i); }, nullptr);
    EXPECT_TRUE(done.ok()) << done.status().message();
    r.output = contents(out.get());
    if (done.ok()) {
        EXPECT_EQ(done->bytesWritten, r.output.size());
    }
    return r;
}

struct Unit {
    Bytes bytes;
    uint64_t offset;
};

std::vector<Unit> units(const Bytes& stream) {
    std::vector<Unit> all;
    AnnexBSplitter splitter([&](const NalUnit& u) {
        all.push_back({Bytes(u.data, u.data + u.size), u.offset});
        return true;
    });
    // Whole units whatever their type: one byte at a time never needs more.
    for (uint8_t byte : stream) splitter.feed(&byte, 1);
    splitter.finish();
    return all;
}

// Each shown picture's own HDR10+ payload, by display index.
struct Shown {
    uint64_t decodeIndex;
    Bytes payload;
    unsigned own;
};
std::vector<Shown> shown(const Bytes& stream) {
    std::vector<Shown> pictures;
    File file = fileWith(stream);
    auto error = readAnnexB(
        file.get(),
        [&](Picture&& p) {
            pictures.push_back({p.decodeIndex, p.hdr10plus ? p.hdr10plus->bytes : Bytes{},
                                p.ownMessages});
        },
        nullptr);
    EXPECT_TRUE(error.ok()) << error.message();
    return pictures;
}

Bytes header(unsigned pocBits, unsigned reorder, bool outputFlag = false) {
    Bytes s;
    append(s, test::sps(pocBits, reorder), true);
    append(s, test::pps(outputFlag), true);
    return s;
}

TEST(EmulationPrevention, EscapesExactlyTheBytesThatCouldStartACode) {
    auto escaped = [](const Bytes& rbsp) {
        Bytes out;
        unsigned zeros = 0;
        escapeInto(rbsp.data(), rbsp.size(), out, zeros);
        return out;
    };
    // 00 00 followed by 00, 01, 02 or 03 gets a 03; by 04, none.
    for (uint8_t b = 0; b <= 3; ++b)
        EXPECT_EQ(escaped({0xAA, 0, 0, b}), (Bytes{0xAA, 0, 0, 3, b})) << int(b);
    EXPECT_EQ(escaped({0, 0, 4}), (Bytes{0, 0, 4}));
    // A single zero before 01 is no start code; the escape resets the count.
    EXPECT_EQ(escaped({0, 1, 0, 0, 0, 0, 0}), (Bytes{0, 1, 0, 0, 3, 0, 0, 3, 0}));
    // The count carries across calls, so a unit can be escaped in pieces.
    Bytes out;
    unsigned zeros = 0;
    const uint8_t first[] = {7, 0, 0};
    const uint8_t second[] = {1};
    escapeInto(first, sizeof first, out, zeros);
    escapeInto(second, sizeof second, out, zeros);
    EXPECT_EQ(out, (Bytes{7, 0, 0, 3, 1}));
}

TEST(PrefixSeiUnit, ReadsBackAsWrittenAcrossTheSizeCodingSteps) {
    // Sizes 254, 255 and 510 sit on the steps of the FF-run coding; the
    // payloads are full of zeros so that escaping happens inside them.
    for (size_t size : {size_t{0}, size_t{254}, size_t{255}, size_t{510}}) {
        SCOPED_TRACE("size " + std::to_string(size));
        Bytes a(size, 0);
        for (size_t i = 0; i < size; i += 5) a[i] = static_cast<uint8_t>(i % 4);
        Bytes b = hdr10plusPayload(9);
        Bytes unit = prefixSeiUnit({{kT35, b.data(), b.size()}, {300, a.data(), a.size()}}, 3);
        EXPECT_EQ(unit[0], 39 << 1);
        EXPECT_EQ(unit[1], 3);
        // No start code and no 00 00 00 inside the escaped unit.
        for (size_t i = 2; i < unit.size(); ++i)
            ASSERT_FALSE(unit[i - 2] == 0 && unit[i - 1] == 0 && unit[i] <= 2) << i;
        Bytes rbsp;
        unescape(unit.data(), unit.size(), rbsp);
        std::vector<SeiMessage> messages;
        Status read = readSeiMessages(rbsp.data(), rbsp.size(), messages);
        ASSERT_TRUE(read.ok()) << read.message();
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(messages[0].type, kT35);
        EXPECT_EQ(Bytes(messages[0].payload, messages[0].payload + messages[0].size), b);
        EXPECT_EQ(messages[1].type, 300u);
        EXPECT_EQ(Bytes(messages[1].payload, messages[1].payload + messages[1].size), a);
    }
}

TEST(StreamRewrite, EveryShownPictureGetsItsDisplayFrameInAReorderedStream) {
    // Decoding order I0 P4 B2 b1 b3, shown 0 1 2 3 4: metadata by display
    // index must land on decoding positions 0 4 2 1 3... as the reader sees it.
    Bytes s = header(8, 2);
    append(s, slice(kIdr, 0, 8), true);
    for (unsigned poc : {4, 2, 1, 3}) append(s, slice(kTrail, poc, 8), true);
    Rewritten r = rewrite(s);
    ASSERT_TRUE(r.layout.ok()) << r.layout.status().message();
    EXPECT_EQ(r.layout->shownPictures, 5u);
    std::vector<Shown> out = shown(r.output);
    ASSERT_EQ(out.size(), 5u);
    for (size_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(out[i].payload, payloadFor(i)) << i;
        EXPECT_EQ(out[i].own, 1u) << i;
    }
    EXPECT_EQ(out[1].decodeIndex, 3u);  // b1 was decoded fourth
}

TEST(StreamRewrite, OldMessagesGoOtherMessagesStayOtherUnitsAreCopiedUnchanged) {
    Bytes userData = {0x11, 0x22, 0x00, 0x00, 0x01, 0x33};  // needs escaping
    Bytes s = header(8, 0);
    Bytes seiOnlyHdr = sei({{kT35, hdr10plusPayload(0xE0)}});
    Bytes seiMixed = sei({{kUnregistered, userData}, {kT35, hdr10plusPayload(0xE1)}});
    append(s, seiOnlyHdr);
    append(s, slice(kIdr, 0, 8), true);
    append(s, seiMixed);
    append(s, slice(kTrail, 1, 8));
    append(s, test::laterSlice(kTrail));
    append(s, slice(kTrail, 2, 8));
    Rewritten r = rewrite(s);
    ASSERT_TRUE(r.layout.ok()) << r.layout.status().message();
    EXPECT_EQ(r.layout->hdr10plusMessages, 2u);

    std::vector<Unit> before = units(s);
    std::vector<Unit> after = units(r.output);
    // The SEI unit of HDR10+ alone is gone; the mixed one keeps its other
    // message, byte for byte; each picture gets one new unit before it.
    Bytes mixedWithout = sei({{kUnregistered, userData}});
    std::vector<Bytes> expected;
    int picture = 0;
    for (const Unit& u : before) {
        if (u.bytes == seiOnlyHdr) continue;
        if (u.bytes == seiMixed) {
            expected.push_back(mixedWithout);
            continue;
        }
        if (u.bytes[0] >> 1 <= 31 && (u.bytes[2] & 0x80))
            expected.push_back(sei({{kT35, payloadFor(picture++)}}));
        expected.push_back(u.bytes);
    }
    ASSERT_EQ(after.size(), expected.size());
    for (size_t i = 0; i < after.size(); ++i) EXPECT_EQ(after[i].bytes, expected[i]) << "unit " << i;
}

TEST(StreamRewrite, NewUnitGoesBeforeTheFourByteStartCodeAndTakesThePicturesTemporalLayer) {
    Bytes s = header(8, 0);
    size_t idrAt = s.size();
    append(s, slice(kIdr, 0, 8), true);  // 00 00 00 01
    size_t trailAt = s.size();
    append(s, slice(kTrail, 1, 8, false, true, 3));  // 00 00 01, temporal id 2
    Rewritten r = rewrite(s);
    ASSERT_TRUE(r.layout.ok()) << r.layout.status().message();
    ASSERT_EQ(r.layout->pictures.size(), 2u);
    EXPECT_EQ(r.layout->pictures[0].insertAt, idrAt);
    EXPECT_EQ(r.layout->pictures[1].insertAt, trailAt);
    EXPECT_EQ(r.layout->pictures[1].temporalIdPlus1, 3);

    Bytes first = sei({{kT35, payloadFor(0)}});
    Bytes expectedHead(s.begin(), s.begin() + idrAt);
    expectedHead.insert(expectedHead.end(), {0, 0, 0, 1});
    expectedHead.insert(expectedHead.end(), first.begin(), first.end());
    expectedHead.insert(expectedHead.end(), {0, 0, 0, 1});
    ASSERT_GT(r.output.size(), expectedHead.size());
    EXPECT_EQ(Bytes(r.output.begin(), r.output.begin() + expectedHead.size()), expectedHead);
    std::vector<Unit> after = units(r.output);
    ASSERT_EQ(after.size(), 6u);
    EXPECT_EQ(after[4].bytes[1], 3);  // the SEI of the temporal-layer-2 picture
}

TEST(StreamRewrite, PicturesNeverShownGetNoMessage) {
    // A CRA starting the stream skips its RASL picture; a picture with
    // pic_output_flag 0 is decoded but not shown.
    Bytes s = header(8, 0, true);
    append(s, slice(kCra, 8, 8, true, true));
    append(s, slice(kRasl, 6, 8, true, true));
    append(s, slice(kTrail, 9, 8, true, false));
    append(s, slice(kTrail, 10, 8, true, true));
    Rewritten r = rewrite(s);
    ASSERT_TRUE(r.layout.ok()) << r.layout.status().message();
    EXPECT_EQ(r.layout->pictures.size(), 4u);
    EXPECT_EQ(r.layout->shownPictures, 2u);
    std::vector<Unit> after = units(r.output);
    int seiUnits = 0;
    for (const Unit& u : after) seiUnits += (u.bytes[0] >> 1) == 39;
    EXPECT_EQ(seiUnits, 2);
    std::vector<Shown> out = shown(r.output);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].decodeIndex, 0u);
    EXPECT_EQ(out[1].decodeIndex, 3u);
    EXPECT_EQ(out[1].payload, payloadFor(1));
}

TEST(PictureLayoutScan, CutAndEmptyStreamsFailWithWhere) {
    Bytes s = header(8, 0);
    append(s, slice(kIdr, 0, 8));
    size_t cutAt = s.size();
    append(s, sei({{kT35, hdr10plusPayload(1)}}));  // and then the stream ends
    File cut = fileWith(s);
    Result<PictureLayout> layout = scanPictureLayout(cut.get(), nullptr);
    ASSERT_FALSE(layout.ok());
    EXPECT_EQ(layout.status().kind(), ErrorKind::Damaged);
    EXPECT_EQ(layout.status().where().byteOffset, cutAt + 3);
    EXPECT_EQ(layout.status().message(),
              "byte " + std::to_string(cutAt + 3) +
                  ": the stream ends after an HDR10+ message, before its picture");

    File none = fileWith({0x12, 0x34, 0x56});
    layout = scanPictureLayout(none.get(), nullptr);
    ASSERT_FALSE(layout.ok());
    EXPECT_EQ(layout.status().message(), "byte 0: no HEVC NAL unit found (no 00 00 01 start code)");

    File parametersOnly = fileWith(header(8, 0));
    layout = scanPictureLayout(parametersOnly.get(), nullptr);
    ASSERT_FALSE(layout.ok());
    EXPECT_EQ(layout.status().message(), "byte 0: the stream holds no picture that is shown");
}

TEST(StreamRewrite, AnInputThatShrankSinceTheScanIsAnError) {
    Bytes s = header(8, 0);
    append(s, slice(kIdr, 0, 8));
    File in = fileWith(s);
    Result<PictureLayout> layout = scanPictureLayout(in.get(), nullptr);
    ASSERT_TRUE(layout.ok());
    File shorter = fileWith(Bytes(s.begin(), s.end() - 4));
    File out(std::tmpfile(), &std::fclose);
    Bytes payload = payloadFor(0);
    Result<RewriteSummary> done =
        rewriteWithT35({shorter.get(), "in.hevc", out.get(), "out.hevc"}, *layout,
                       [&](uint64_t) -> const Bytes& { return payload; }, nullptr);
    ASSERT_FALSE(done.ok());
    EXPECT_EQ(done.status().kind(), ErrorKind::Io);
    EXPECT_EQ(done.status().message().rfind("in.hevc: is " + std::to_string(s.size() - 4) +
                                                " bytes long, not " + std::to_string(s.size()),
                                            0),
              0u)
        << done.status().message();
}

}  // namespace
}  // namespace kestrel::hevc
