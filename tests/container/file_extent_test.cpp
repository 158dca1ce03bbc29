// SPDX-License-Identifier: Apache-2.0
// The top-level sizes of Matroska and MP4 files against the file's length:
// a file that ends exactly where its structure says is whole, one byte less
// is cut, and sizes the format leaves open or that make no chain pass.
#include "container/file_extent.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace kestrel::container {
namespace {

using Bytes = std::string;

Bytes be32(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}
Bytes be64(uint64_t v) {
    return be32(static_cast<uint32_t>(v >> 32)) + be32(static_cast<uint32_t>(v));
}

std::optional<Truncation> check(const Bytes& file) {
    std::FILE* f = fmemopen(const_cast<char*>(file.data()), file.size(), "rb");
    if (f == nullptr) {
        ADD_FAILURE() << "fmemopen";
        return std::nullopt;
    }
    std::optional<Truncation> t = findTruncation(f, file.size());
    std::fclose(f);
    return t;
}

void expectCut(const Bytes& file, uint64_t declaredEnd, const std::string& element) {
    std::optional<Truncation> t = check(file);
    ASSERT_TRUE(t) << element;
    EXPECT_EQ(t->declaredEnd, declaredEnd);
    EXPECT_EQ(t->fileSize, file.size());
    EXPECT_EQ(t->element, element);
}

// --- Matroska: the EBML header element, then the Segment ---------------------

const Bytes kEbmlId = "\x1A\x45\xDF\xA3";
const Bytes kSegmentId = "\x18\x53\x80\x67";

// A header of 4 bytes' content (1-byte size 0x84): 9 bytes in all.
Bytes ebmlHeader() { return kEbmlId + "\x84" + Bytes(4, 'h'); }

TEST(FileExtentMatroska, SegmentEndingAtTheLastByteIsWholeAndOneByteShortIsCut) {
    const Bytes head = ebmlHeader() + kSegmentId + "\x8A";  // Segment of 10 bytes
    EXPECT_FALSE(check(head + Bytes(10, 's')));
    EXPECT_FALSE(check(head + Bytes(11, 's')));  // bytes after the Segment: not a cut
    // 9 + 4 + 1 + 10 = 24 bytes declared.
    expectCut(head + Bytes(9, 's'), 24, "Segment");
}

TEST(FileExtentMatroska, EbmlHeaderLongerThanTheFileIsNamed) {
    // Size 0x94 (20) declares 4 + 1 + 20 = 25 bytes; the file has 9.
    expectCut(kEbmlId + "\x94" + Bytes(4, 'h'), 25, "EBML header");
}

TEST(FileExtentMatroska, UnknownSegmentSizeOfAnyLengthPasses) {
    // All value bits set means "unknown": in 1 byte (0xFF) and in 8.
    EXPECT_FALSE(check(ebmlHeader() + kSegmentId + "\xFF" + "s"));
    EXPECT_FALSE(check(ebmlHeader() + kSegmentId + Bytes("\x01\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 8)));
    // One less than all ones is a size: 2^56 - 2 bytes after 9 + 4 + 8.
    expectCut(ebmlHeader() + kSegmentId + Bytes("\x01\xFF\xFF\xFF\xFF\xFF\xFF\xFE", 8),
              21 + (uint64_t{1} << 56) - 2, "Segment");
}

TEST(FileExtentMatroska, TwoByteSizeReadsItsSecondByte) {
    // 0x40 0x0A is 10 in two bytes: the Segment's content starts at 9 + 4 + 2.
    const Bytes head = ebmlHeader() + kSegmentId + Bytes("\x40\x0A", 2);
    EXPECT_FALSE(check(head + Bytes(10, 's')));
    expectCut(head + Bytes(9, 's'), 25, "Segment");
}

TEST(FileExtentMatroska, OtherStructuresPass) {
    // Not a Segment after the header, a size byte of 0 (no length marker),
    // and a size whose bytes the file does not have.
    EXPECT_FALSE(check(ebmlHeader() + "\x1F\x43\xB6\x75" + "\x8A" + "c"));
    EXPECT_FALSE(check(ebmlHeader() + kSegmentId + Bytes(1, '\0') + Bytes(20, 's')));
    EXPECT_FALSE(check(ebmlHeader() + kSegmentId + "\x01\xFF"));
}

// --- MP4: a chain of boxes -------------------------------------------------------

Bytes box(const char* type, uint32_t size, size_t contentBytes) {
    return be32(size) + type + Bytes(contentBytes, 'b');
}

TEST(FileExtentMp4, ChainEndingAtTheLastByteIsWholeAndOneByteShortIsCut) {
    const Bytes ftyp = box("ftyp", 16, 8);
    EXPECT_FALSE(check(ftyp + box("mdat", 20, 12)));
    expectCut(ftyp + box("mdat", 21, 12), 16 + 21, "mdat box");
    // Fewer than 8 bytes after the last box hold no box: nothing to check.
    EXPECT_FALSE(check(ftyp + box("mdat", 20, 12) + Bytes(7, 'x')));
}

TEST(FileExtentMp4, SizeZeroRunsToTheEndAndSizesBelowAHeaderEndTheChain) {
    EXPECT_FALSE(check(box("ftyp", 16, 8) + box("mdat", 0, 100)));
    EXPECT_FALSE(check(box("ftyp", 16, 8) + box("mdat", 7, 100)));
    // 8 is an empty box, so the chain goes on to the cut box after it.
    expectCut(box("ftyp", 16, 8) + box("free", 8, 0) + box("mdat", 30, 4), 16 + 8 + 30, "mdat box");
}

TEST(FileExtentMp4, SixtyFourBitSizes) {
    const Bytes ftyp = box("ftyp", 16, 8);
    const Bytes large = be32(1) + "mdat";
    EXPECT_FALSE(check(ftyp + large + be64(16 + 4) + Bytes(4, 'b')));
    expectCut(ftyp + large + be64(16 + 5) + Bytes(4, 'b'), 16 + 21, "mdat box");
    // A file ending inside the 16-byte header is cut at the header's end.
    expectCut(ftyp + large + Bytes(7, '\0'), 16 + 16, "mdat box");
    // Below 16 a 64-bit size is smaller than its own header: no chain.
    EXPECT_FALSE(check(ftyp + large + be64(15) + box("mdat", 100, 0)));
    expectCut(ftyp + large + be64(16) + box("mdat", 100, 0), 16 + 16 + 100, "mdat box");
}

TEST(FileExtentMp4, DeclaredEndBeyondSixtyFourBitsSaturates) {
    // 16 + (2^64 - 1) does not fit: the end is shown as the largest offset,
    // not as the 15 that wrap-around would give.
    expectCut(box("ftyp", 16, 8) + be32(1) + "mdat" + be64(UINT64_MAX), UINT64_MAX, "mdat box");
}

TEST(FileExtentMp4, OnlyKnownFirstBoxesAndWholeHeadersAreChecked) {
    EXPECT_FALSE(check(box("abcd", 100, 8)));  // not a box type that starts a file
    expectCut(box("moov", 100, 8), 100, "moov box");
    EXPECT_FALSE(check(Bytes("\0\0\0\x64moo", 7)));  // shorter than one header
}

}  // namespace
}  // namespace kestrel::container
