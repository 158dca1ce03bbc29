// SPDX-License-Identifier: Apache-2.0
// Pictures in the order a player shows them, each with the metadata in
// effect, on streams built with known picture order counts.
#include "hevc/display_order.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hevc/annexb.h"
#include "hevc/stream_builder.h"

namespace kestrel::hevc {
namespace {

using test::append;
using test::hdr10plusPayload;
using test::sei;
using test::slice;

constexpr uint8_t kTrail = 1;   // TRAIL_R
constexpr uint8_t kTrailN = 0;  // sub-layer non-reference
constexpr uint8_t kRasl = 9;
constexpr uint8_t kIdr = 19;
constexpr uint8_t kCra = 21;
constexpr uint8_t kT35 = 4;

struct Shown {
    uint64_t decodeIndex;
    int tag;  // the payload's byte 7, -1 for none
    unsigned own;
};

struct Result {
    std::vector<Shown> shown;
    Status error;
};

Result run(const std::vector<uint8_t>& stream) {
    Result result;
    PictureSequencer sequencer([&](Picture&& p) {
        result.shown.push_back(
            {p.decodeIndex, p.hdr10plus ? p.hdr10plus->bytes[7] : -1, p.ownMessages});
    });
    AnnexBSplitter splitter([&](const NalUnit& unit) { return sequencer.push(unit); });
    splitter.feed(stream.data(), stream.size());
    splitter.finish();
    sequencer.finish();
    result.error = sequencer.error();
    return result;
}

std::vector<uint64_t> order(const Result& r) {
    std::vector<uint64_t> o;
    for (const Shown& s : r.shown) o.push_back(s.decodeIndex);
    return o;
}

std::vector<int> tags(const Result& r) {
    std::vector<int> t;
    for (const Shown& s : r.shown) t.push_back(s.tag);
    return t;
}

std::vector<uint8_t> header(unsigned pocBits, unsigned reorder, bool outputFlag = false) {
    std::vector<uint8_t> s;
    append(s, test::sps(pocBits, reorder));
    append(s, test::pps(outputFlag));
    return s;
}

TEST(DisplayOrder, HierarchicalGroupComesOutByOrderCount) {
    // Decoding order I0 P4 B2 b1 b3, shown 0 1 2 3 4: a picture leaves the
    // queue only once more than two wait.
    std::vector<uint8_t> s = header(8, 2);
    append(s, slice(kIdr, 0, 8));
    for (unsigned poc : {4, 2, 1, 3}) append(s, slice(kTrail, poc, 8));
    Result r = run(s);
    ASSERT_TRUE(r.error.ok()) << r.error.message();
    EXPECT_EQ(order(r), (std::vector<uint64_t>{0, 3, 2, 4, 1}));
}

TEST(DisplayOrder, OrderCountContinuesAcrossTheWrapOfItsLowBits) {
    // 4-bit counts: 14 15 0 1 after 13 are 14 15 16 17; without the carry the
    // last two would be shown first.
    std::vector<uint8_t> s = header(4, 1);
    append(s, slice(kIdr, 0, 4));
    for (unsigned poc : {2, 1, 4, 3, 6, 5, 8, 7, 10, 9, 12, 11, 14, 13, 0, 15, 1})
        append(s, slice(kTrail, poc, 4));
    Result r = run(s);
    ASSERT_TRUE(r.error.ok()) << r.error.message();
    EXPECT_EQ(order(r), (std::vector<uint64_t>{0, 2, 1, 4, 3, 6, 5, 8, 7, 10, 9, 12, 11, 14, 13, 16,
                                               15, 17}));
}

TEST(DisplayOrder, HalfAPeriodDownIsAWrapAndHalfAPeriodUpIsNot) {
    // 4-bit counts, a period of 16. After 12, low bits 4 lie exactly eight
    // below: that is a wrap, so the count is 20 and the picture is shown last.
    std::vector<uint8_t> s = header(4, 3);
    append(s, slice(kIdr, 0, 4));
    for (unsigned poc : {6, 12, 4}) append(s, slice(kTrail, poc, 4));
    Result r = run(s);
    ASSERT_TRUE(r.error.ok()) << r.error.message();
    EXPECT_EQ(order(r), (std::vector<uint64_t>{0, 1, 2, 3}));

    // The other way, after 4, low bits 12 lie exactly eight above: no wrap
    // back, so the count is 12, not -4, and the picture is shown after 4 and 6.
    s = header(4, 3);
    append(s, slice(kIdr, 0, 4));
    for (unsigned poc : {4, 12, 6}) append(s, slice(kTrail, poc, 4));
    r = run(s);
    ASSERT_TRUE(r.error.ok()) << r.error.message();
    EXPECT_EQ(order(r), (std::vector<uint64_t>{0, 1, 3, 2}));
}

TEST(DisplayOrder, OnlyReferencePicturesOfTheLowestSubLayerAnchorTheCount) {
    // 4-bit counts. After the anchor at 6, low bits 3 mean 3. Had the picture
    // at 13 anchored the count, 3 would have wrapped to 19 and been shown last.
    for (bool nonReference : {true, false}) {
        SCOPED_TRACE(nonReference ? "sub-layer non-reference picture" : "temporal id 1");
        std::vector<uint8_t> s = header(4, 3);
        append(s, slice(kIdr, 0, 4));
        append(s, slice(kTrail, 6, 4));
        if (nonReference)
            append(s, slice(kTrailN, 13, 4));
        else
            append(s, slice(kTrail, 13, 4, false, true, 2));
        append(s, slice(kTrail, 3, 4));
        Result r = run(s);
        ASSERT_TRUE(r.error.ok()) << r.error.message();
        EXPECT_EQ(order(r), (std::vector<uint64_t>{0, 3, 1, 2}));
    }
    // A reference picture of the lowest sub-layer does anchor it: 13 then 3 is 19.
    std::vector<uint8_t> s = header(4, 3);
    append(s, slice(kIdr, 0, 4));
    append(s, slice(kTrail, 6, 4));
    append(s, slice(kTrail, 13, 4));
    append(s, slice(kTrail, 3, 4));
    EXPECT_EQ(order(run(s)), (std::vector<uint64_t>{0, 1, 2, 3}));
}

TEST(DisplayOrder, NewSequenceShowsEverythingBefore) {
    // The second IDR restarts the count at 0; the pictures before it (count 4
    // and 2) are shown first even though their counts are larger.
    std::vector<uint8_t> s = header(8, 4);
    append(s, slice(kIdr, 0, 8));
    append(s, slice(kTrail, 4, 8));
    append(s, slice(kTrail, 2, 8));
    append(s, slice(kIdr, 0, 8));
    append(s, slice(kTrail, 1, 8));
    Result r = run(s);
    EXPECT_EQ(order(r), (std::vector<uint64_t>{0, 2, 1, 3, 4}));
}

TEST(DisplayOrder, PicturesNeverShownAreDropped) {
    // pic_output_flag 0, and the RASL pictures of the CRA that opens the
    // stream (their references precede it); after a later CRA they are shown.
    std::vector<uint8_t> s = header(8, 2, true);
    append(s, slice(kCra, 8, 8, true, true));
    append(s, slice(kRasl, 6, 8, true, true));
    append(s, slice(kTrail, 9, 8, true, false));
    append(s, slice(kTrail, 10, 8, true, true));
    append(s, slice(kCra, 16, 8, true, true));
    append(s, slice(kRasl, 14, 8, true, true));
    Result r = run(s);
    ASSERT_TRUE(r.error.ok()) << r.error.message();
    EXPECT_EQ(order(r), (std::vector<uint64_t>{0, 3, 5, 4}));
}

TEST(DisplayOrder, MetadataPersistsInDecodingOrderAndSaysWhoseItIs) {
    // Decoding order: I0 (tag 1), P4 (tag 2), B2, B1, B3. In display order
    // B1 B2 B3 come after P4 in decoding order, so they show tag 2.
    std::vector<uint8_t> s = header(8, 2);
    append(s, sei({{kT35, hdr10plusPayload(1)}}));
    append(s, slice(kIdr, 0, 8));
    append(s, sei({{kT35, hdr10plusPayload(2)}}));
    append(s, slice(kTrail, 4, 8));
    for (unsigned poc : {2, 1, 3}) append(s, slice(kTrail, poc, 8));
    Result r = run(s);
    ASSERT_TRUE(r.error.ok()) << r.error.message();
    EXPECT_EQ(tags(r), (std::vector<int>{1, 2, 2, 2, 2}));
    std::vector<unsigned> own;
    for (const Shown& p : r.shown) own.push_back(p.own);
    EXPECT_EQ(own, (std::vector<unsigned>{1, 0, 0, 0, 1}));
}

TEST(DisplayOrder, OnlyHdr10PlusMessagesAndTheLastOfSeveralCounts) {
    std::vector<uint8_t> other = hdr10plusPayload(9);
    other[5] = 5;  // application 5: not HDR10+
    std::vector<uint8_t> s = header(8, 0);
    append(s, slice(kIdr, 0, 8));  // before any metadata
    append(s, sei({{5, hdr10plusPayload(8)}, {kT35, other}}));
    append(s, slice(kTrail, 1, 8));  // still none: neither message counts
    append(s, sei({{kT35, hdr10plusPayload(3)}, {kT35, hdr10plusPayload(4)}}));
    append(s, slice(kTrail, 2, 8));
    append(s, test::laterSlice(kTrail));  // same picture
    append(s, slice(kTrail, 3, 8));
    Result r = run(s);
    ASSERT_TRUE(r.error.ok()) << r.error.message();
    EXPECT_EQ(tags(r), (std::vector<int>{-1, -1, 4, 4}));
    EXPECT_EQ(r.shown[2].own, 2u);
    EXPECT_EQ(r.shown[3].own, 0u);
}

TEST(DisplayOrder, DamageStopsTheStreamAndKeepsThePicturesBefore) {
    std::vector<uint8_t> s = header(8, 2);
    append(s, slice(kIdr, 0, 8));
    append(s, slice(kTrail, 2, 8));
    append(s, slice(kTrail, 1, 8));
    size_t damaged = s.size() + 3;
    // An SEI whose T.35 message declares more bytes than the unit holds.
    append(s, test::nalUnit(39, {4, 40, 0xB5, 0x00, 0x3C, 0x80}));
    append(s, slice(kTrail, 3, 8));
    Result r = run(s);
    ASSERT_FALSE(r.error.ok());
    EXPECT_EQ(r.error.where().byteOffset, damaged);
    EXPECT_EQ(r.error.message(), "SEI message 0 (type 4) declares 40 bytes but its unit holds 4");
    // The unit is cut short, and says which structure: kind and key survive
    // the sequencer, which adds only the offset.
    EXPECT_EQ(r.error.kind(), ErrorKind::Truncated);
    EXPECT_EQ(r.error.where().key, "sei_message");
    EXPECT_EQ(order(r), (std::vector<uint64_t>{0, 2, 1}));
}

TEST(DisplayOrder, SliceWithoutItsParameterSetsIsNamed) {
    std::vector<uint8_t> s;
    append(s, test::pps(false));
    append(s, slice(kIdr, 0, 8));
    Result r = run(s);
    ASSERT_FALSE(r.error.ok());
    EXPECT_EQ(r.error.where().byteOffset, s.size() - slice(kIdr, 0, 8).size());
    EXPECT_EQ(r.error.message(),
              "picture parameter set 0 refers to sequence parameter set 0, which the stream has "
              "not given");
    EXPECT_EQ(r.error.kind(), ErrorKind::Damaged);
    s.clear();
    append(s, slice(kIdr, 0, 8));
    r = run(s);
    ASSERT_FALSE(r.error.ok());
    EXPECT_EQ(r.error.message(),
              "slice refers to picture parameter set 0, which the stream has not given");
}

}  // namespace
}  // namespace kestrel::hevc
